#pragma once
// Talking to the running machine (pvnhost) of the current prefix over its
// socket <prefix>/run/pvnhost.sock: one JSON object per line each way.
//
//   auto client = pvn::machine::MachineClient::Connect();
//   if (!client) return;                                  // machine not running
//   auto answer = client->Request({{"cmd", "list"}});     // {"ok": true, ...}
//   auto scm = client->Request({{"module", "scm"}, {"op", "query"}, ...});
//
//   // Broadcasts and the restart/shutdown notice, on a thread of its own:
//   auto sub = pvn::machine::BroadcastSubscription::Start([](const Json& e) { ... });
//
// Requests of the machine itself ("cmd"): ping, list, plug, unplug, disable,
// enable, rebalance, reboot, shutdown, subscribe (see docs/machine.md).
// Every answer has "ok"; a failed one has "error" with a one-line message.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/base/result.h"

namespace pvn::machine {

using Json = nlohmann::json;

// <prefix>/run/pvnhost.sock
std::filesystem::path MachineSocketPath();

class MachineClient {
 public:
  MachineClient(MachineClient&& other) noexcept;
  MachineClient& operator=(MachineClient&& other) noexcept;
  MachineClient(const MachineClient&) = delete;
  MachineClient& operator=(const MachineClient&) = delete;
  ~MachineClient();

  // Fails with a one-line reason ("the machine is not running") when there
  // is no machine to talk to.
  static Result<MachineClient, std::string> Connect();

  // Sends a request and reads its answer. A request the machine refused
  // still succeeds here: look at the answer's "ok".
  Result<Json, std::string> Request(const Json& request);
  // The lower level: one message out, one message in (waiting at most
  // `timeout`; forever when it is negative).
  bool Send(const Json& message);
  Result<Json, std::string> Receive(
      std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
  // Makes a Receive blocked on another thread return (as closed); call
  // Close once that thread is done with the client.
  void Interrupt();
  void Close();

 private:
  explicit MachineClient(int fd) : fd_(fd) {}
  int fd_ = -1;
  std::string pending_;  // bytes read past the last line
};

// Delivers every broadcast of the machine to a callback, on a thread of its
// own, until destroyed. Messages:
//   {"event":"arrival"|"removal","type":"interface"|"volume",...}  device broadcasts
//   {"event":"notice","kind":"restart"|"shutdown"}   the machine is going down:
//                                                    a desktop program ends now
//   {"event":"closed"}                               the machine went away
class BroadcastSubscription {
 public:
  using Callback = std::function<void(const Json&)>;
  static Result<std::unique_ptr<BroadcastSubscription>, std::string> Start(Callback callback);
  ~BroadcastSubscription();
  BroadcastSubscription(const BroadcastSubscription&) = delete;
  BroadcastSubscription& operator=(const BroadcastSubscription&) = delete;

  struct Token {};  // construction goes through Start
  BroadcastSubscription(Token, MachineClient client, Callback callback);

 private:
  MachineClient client_;
  Callback callback_;
  std::thread thread_;
};

}  // namespace pvn::machine
