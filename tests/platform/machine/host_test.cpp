// Host modules inside the running machine: their requests, their deferred
// answers, and where they stand in a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/machine/client/machine_client.h"
#include "platform/machine/host/host.h"
#include "tests/support/temp_prefix.h"

#include <unistd.h>

namespace pvn::machine {
namespace {

// Records what happens to it; answers {"echo": ...} at once, or later when
// asked to ("later": true).
class RecordingModule : public HostModule {
 public:
  explicit RecordingModule(std::shared_ptr<std::vector<std::string>> log) : log_(std::move(log)) {}
  std::string Name() const override { return "rec"; }
  void Boot(HostContext&) override { Note("boot"); }
  void Shutdown(HostContext&, bool restarting) override {
    Note(restarting ? "shutdown restarting" : "shutdown");
  }
  std::optional<Json> HandleRequest(const Json& request,
                                    const std::shared_ptr<Session>& session) override {
    if (request.value("later", false)) {
      later_ = std::thread([session, x = request["x"]] {
        session->Send({{"ok", true}, {"late", x}});
      });
      return std::nullopt;
    }
    return Json{{"ok", true}, {"echo", request["x"]}, {"pid", session->peerPid()}};
  }
  void SessionClosed(const std::shared_ptr<Session>&) override { Note("closed"); }

  void Note(const std::string& what) {
    std::lock_guard lock(mutex_);
    log_->push_back(what);
  }
  std::vector<std::string> Snapshot() {
    std::lock_guard lock(mutex_);
    return *log_;
  }
  bool Has(const std::string& what) {
    std::lock_guard lock(mutex_);
    return std::find(log_->begin(), log_->end(), what) != log_->end();
  }
  ~RecordingModule() override {
    if (later_.joinable()) later_.join();
  }

 private:
  std::thread later_;
  std::mutex mutex_;
  std::shared_ptr<std::vector<std::string>> log_;
};

class HostTest : public pvn::testing::PrefixTest {};

TEST_F(HostTest, ModulesAnswerTheirRequestsAndFollowRestarts) {
  auto log = std::make_shared<std::vector<std::string>>();
  std::vector<std::unique_ptr<HostModule>> modules;
  modules.push_back(std::make_unique<RecordingModule>(log));
  auto* module = static_cast<RecordingModule*>(modules.back().get());
  Host host({}, std::move(modules));
  ASSERT_TRUE(host.Start());
  std::thread runner([&] { host.Run(); });

  {
    auto client = MachineClient::Connect();
    ASSERT_TRUE(client) << client.error();
    auto echo = client->Request({{"module", "rec"}, {"x", 7}});
    ASSERT_TRUE(echo);
    EXPECT_EQ((*echo)["echo"], 7);
    EXPECT_EQ((*echo)["pid"], static_cast<int>(getpid()));
    auto late = client->Request({{"module", "rec"}, {"x", 8}, {"later", true}});
    ASSERT_TRUE(late);
    EXPECT_EQ((*late)["late"], 8);
    auto unknown = client->Request({{"module", "nope"}});
    EXPECT_EQ((*unknown)["ok"], false);
    EXPECT_EQ((*unknown)["error"], "no module \"nope\" runs in this machine");
    auto broken = client->Request({{"cmd", "fly"}});
    EXPECT_EQ((*broken)["error"], "unknown request \"fly\"");
    auto restarted = client->Request({{"cmd", "reboot"}, {"wait", true}});
    EXPECT_EQ((*restarted)["ok"], true);
  }
  // The session above closed; a module hears of it.
  for (int i = 0; i < 200 && !module->Has("closed"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  auto client = MachineClient::Connect();
  ASSERT_TRUE(client);
  ASSERT_EQ((*client->Request({{"cmd", "shutdown"}, {"wait", true}}))["ok"], true);
  runner.join();
  // Sessions may close at any time; the rest comes in this order.
  std::vector<std::string> order;
  for (const auto& entry : module->Snapshot())
    if (entry != "closed") order.push_back(entry);
  EXPECT_EQ(order, (std::vector<std::string>{"boot", "shutdown restarting", "boot", "shutdown"}));
  EXPECT_TRUE(module->Has("closed"));
}

}  // namespace
}  // namespace pvn::machine
