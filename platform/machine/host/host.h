#pragma once
// The running machine behind pvnhost: the plug-and-play manager, the host
// modules, and the socket <prefix>/run/pvnhost.sock through which commands,
// modules' requests and broadcasts travel as JSON lines.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/result.h"
#include "platform/machine/host/host_module.h"
#include "platform/machine/pnp/machine.h"

namespace pvn::machine {

class SocketSession;

class Host : public HostContext {
 public:
  Host(Machine::Options options, std::vector<std::unique_ptr<HostModule>> modules);
  ~Host() override;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Claims the prefix (one machine per prefix), boots and starts serving.
  // The error says why the machine cannot run.
  Result<bool, std::string> Start();
  // Serves until the machine shuts down; restarts happen in here.
  void Run();

  void Broadcast(const Json& event) override;
  void RequestRestart() override;
  void RequestShutdown() override;

  Machine& machine() { return machine_; }

 private:
  void AcceptLoop();
  void Serve(std::shared_ptr<SocketSession> session);
  std::optional<Json> Handle(const Json& request, const std::shared_ptr<SocketSession>& session);
  Json DeviceAnswer(const Result<NTSTATUS, std::string>& result, const std::string& instance);
  void Notice(const char* kind);

  Machine machine_;
  std::vector<std::unique_ptr<HostModule>> modules_;
  int listenFd_ = -1;
  int lockFd_ = -1;
  std::thread acceptThread_;

  std::mutex mutex_;
  std::condition_variable changed_;
  enum class Pending { kNone, kRestart, kShutdown } pending_ = Pending::kNone;
  std::uint64_t generation_ = 0;  // completed boots
  bool down_ = false;
  int waiters_ = 0;
  // A restart or shutdown asked for later (InitiateSystemShutdown's time-out).
  std::optional<std::chrono::steady_clock::time_point> scheduled_;
  Pending scheduledKind_ = Pending::kNone;  // sessions waiting for a restart or shutdown to finish
  std::list<std::shared_ptr<SocketSession>> sessions_;
  std::list<std::thread> threads_;
  std::atomic<std::uint64_t> nextSession_{1};
};

}  // namespace pvn::machine
