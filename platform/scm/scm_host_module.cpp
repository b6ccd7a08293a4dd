// The Service Control Manager as a module of the running machine: automatic
// services start when the machine has booted, every service is told to shut
// down before a restart or shutdown (and ended after the time-out), and
// clients' requests arrive through the machine's socket.
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/machine/host/host_module.h"
#include "platform/scm/channel.h"
#include "platform/scm/scm_requests.h"
#include "platform/scm/service_manager.h"

namespace pvn::scm {

namespace {

class ScmModule : public machine::HostModule {
  struct Waiter {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

 public:
  ~ScmModule() override {
    stopping_ = true;
    std::list<Waiter> waiters;
    {
      std::lock_guard lock(mutex_);
      waiters.swap(waiters_);
    }
    for (auto& waiter : waiters) waiter.thread.join();
  }

  std::string Name() const override { return detail::kScmModuleName; }

  void Boot(machine::HostContext& /*host*/) override { manager_.StartAutomatic(); }

  void Shutdown(machine::HostContext& /*host*/, bool /*restarting*/) override {
    manager_.ShutdownAll();
  }

  std::optional<machine::Json> HandleRequest(
      const machine::Json& request, const std::shared_ptr<machine::Session>& session) override {
    if (detail::Str(request, "op") != "wait")
      return HandleScmRequest(manager_, request, [] { return false; });
    // A wait may last long: it is answered later from a thread of its own,
    // and ends when its client goes away.
    std::lock_guard lock(mutex_);
    for (auto it = waiters_.begin(); it != waiters_.end();) {
      if (*it->done) {
        it->thread.join();
        it = waiters_.erase(it);
      } else {
        ++it;
      }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, request, session, done] {
      auto answer = HandleScmRequest(manager_, request,
                                     [this, session] { return stopping_ || !session->open(); });
      session->Send(answer);
      *done = true;
    });
    waiters_.push_back(Waiter{std::move(thread), done});
    return std::nullopt;
  }

 private:
  ServiceManager manager_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::list<Waiter> waiters_;
};

}  // namespace

PVN_REGISTER_HOST_MODULE(ScmModule);

}  // namespace pvn::scm
