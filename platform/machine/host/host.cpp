#include "platform/machine/host/host.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/fs/prefix.h"
#include "platform/machine/client/machine_client.h"

namespace pvn::machine {

namespace {
constexpr std::size_t kMaxLine = 16 << 20;
}

class SocketSession : public Session {
 public:
  SocketSession(int fd, std::uint64_t id) : fd_(fd), id_(id) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0) pid_ = credentials.pid;
    // A client that stops reading is cut off rather than holding up the
    // broadcasts to everyone else.
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
  ~SocketSession() override { ::close(fd_); }

  bool Send(const Json& message) override {
    std::string line = message.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    std::lock_guard lock(writeMutex_);
    if (!open_) return false;
    for (std::size_t at = 0; at < line.size();) {
      ssize_t n = ::send(fd_, line.data() + at, line.size() - at, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        open_ = false;
        ::shutdown(fd_, SHUT_RDWR);
        return false;
      }
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool open() const override { return open_; }
  int peerPid() const override { return pid_; }
  std::uint64_t id() const override { return id_; }

  // Reads one line; false at the end of the connection.
  bool ReadLine(std::string* line) {
    for (;;) {
      if (auto at = buffer_.find('\n'); at != std::string::npos) {
        *line = buffer_.substr(0, at);
        buffer_.erase(0, at + 1);
        return true;
      }
      if (buffer_.size() > kMaxLine) return false;
      char chunk[65536];
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  void Hangup() {
    {
      std::lock_guard lock(writeMutex_);
      open_ = false;
    }
    ::shutdown(fd_, SHUT_RDWR);
  }

  std::atomic<bool> subscribed{false};

 private:
  int fd_;
  std::uint64_t id_;
  int pid_ = 0;
  std::mutex writeMutex_;
  std::atomic<bool> open_{true};
  std::string buffer_;
};

Host::Host(Machine::Options options, std::vector<std::unique_ptr<HostModule>> modules)
    : machine_(options), modules_(std::move(modules)) {
  machine_.Subscribe([this](const Json& event) { Broadcast(event); });
}

Host::~Host() {
  if (listenFd_ >= 0) {
    ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    ::close(listenFd_);
  }
  std::list<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    for (auto& session : sessions_) session->Hangup();
    threads.swap(threads_);
  }
  for (auto& thread : threads) thread.join();
  if (lockFd_ >= 0) {
    std::error_code ec;
    std::filesystem::remove(MachineSocketPath(), ec);
    ::close(lockFd_);
  }
}

Result<bool, std::string> Host::Start() {
  using R = Result<bool, std::string>;
  auto socketPath = MachineSocketPath();
  std::filesystem::create_directories(socketPath.parent_path());
  auto lockPath = socketPath.parent_path() / "pvnhost.lock";
  lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd_ < 0) return R::Fail("cannot open " + lockPath.string() + ": " + std::strerror(errno));
  if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd_);
    lockFd_ = -1;
    return R::Fail("a machine is already running on " + fs::Prefix().string());
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.native().size() >= sizeof address.sun_path)
    return R::Fail("the socket path " + socketPath.string() + " is too long for a unix socket");
  std::strcpy(address.sun_path, socketPath.c_str());
  ::unlink(socketPath.c_str());  // left by a machine that did not shut down
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0)
    return R::Fail("cannot listen on " + socketPath.string() + ": " + std::strerror(errno));
  // Serving starts before the boot so that what modules start at boot (the
  // services) can already connect.
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  machine_.Boot();
  for (auto& module : modules_) module->Boot(*this);
  std::lock_guard lock(mutex_);
  generation_ = 1;
  changed_.notify_all();
  return true;
}

void Host::Notice(const char* kind) {
  Broadcast({{"event", "notice"}, {"kind", kind}});
}

void Host::Run() {
  for (;;) {
    Pending kind;
    {
      std::unique_lock lock(mutex_);
      while (!changed_.wait_for(lock, std::chrono::seconds(1),
                                [&] { return pending_ != Pending::kNone; })) {
        // A machine whose prefix was deleted under it shuts down.
        std::error_code ec;
        if (!std::filesystem::exists(MachineSocketPath(), ec)) pending_ = Pending::kShutdown;
        if (scheduled_ && std::chrono::steady_clock::now() >= *scheduled_) {
          pending_ = scheduledKind_;
          scheduled_.reset();
        }
      }
      kind = pending_;
    }
    bool restarting = kind == Pending::kRestart;
    Notice(restarting ? "restart" : "shutdown");
    for (auto it = modules_.rbegin(); it != modules_.rend(); ++it)
      (*it)->Shutdown(*this, restarting);
    machine_.Shutdown();
    if (restarting) {
      machine_.Boot();
      for (auto& module : modules_) module->Boot(*this);
      std::lock_guard lock(mutex_);
      pending_ = Pending::kNone;
      ++generation_;
      changed_.notify_all();
      continue;
    }
    std::lock_guard lock(mutex_);
    down_ = true;
    changed_.notify_all();
    break;
  }
  // Let those who waited for the shutdown hear that it happened.
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(2), [&] { return waiters_ == 0; });
}

void Host::Broadcast(const Json& event) {
  std::lock_guard lock(mutex_);
  for (auto& session : sessions_)
    if (session->subscribed) session->Send(event);
}

void Host::RequestRestart() {
  std::lock_guard lock(mutex_);
  if (pending_ == Pending::kNone) pending_ = Pending::kRestart;
  changed_.notify_all();
}

void Host::RequestShutdown() {
  std::lock_guard lock(mutex_);
  pending_ = Pending::kShutdown;
  changed_.notify_all();
}

void Host::AcceptLoop() {
  for (;;) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // the listening socket was shut down
    }
    auto session = std::make_shared<SocketSession>(fd, nextSession_++);
    std::lock_guard lock(mutex_);
    if (down_) {
      session->Hangup();
      continue;
    }
    sessions_.push_back(session);
    threads_.emplace_back([this, session] { Serve(session); });
  }
}

void Host::Serve(std::shared_ptr<SocketSession> session) {
  std::string line;
  while (session->ReadLine(&line)) {
    if (line.empty()) continue;
    Json request = Json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object()) {
      session->Send({{"ok", false}, {"error", "a request is one JSON object per line"}});
      continue;
    }
    if (auto answer = Handle(request, session)) session->Send(*answer);
  }
  session->Hangup();
  for (auto& module : modules_) module->SessionClosed(session);
  std::lock_guard lock(mutex_);
  sessions_.remove(session);
}

Json Host::DeviceAnswer(const Result<NTSTATUS, std::string>& result, const std::string& instance) {
  if (!result) return {{"ok", false}, {"error", result.error()}};
  Json answer = {{"ok", true}, {"status", StatusText(*result)}};
  if (auto device = machine_.Device(instance)) answer["device"] = ToJson(*device);
  return answer;
}

std::optional<Json> Host::Handle(const Json& request,
                                 const std::shared_ptr<SocketSession>& session) {
  auto fail = [](const std::string& error) { return Json{{"ok", false}, {"error", error}}; };
  if (request.contains("module")) {
    if (!request["module"].is_string()) return fail("\"module\" must be a string");
    for (auto& module : modules_)
      if (module->Name() == request["module"].get<std::string>())
        return module->HandleRequest(request, session);
    return fail("no module " + request["module"].dump() + " runs in this machine");
  }
  if (!request.contains("cmd") || !request["cmd"].is_string())
    return fail("a request needs \"cmd\" or \"module\"");
  const std::string cmd = request["cmd"];
  auto text = [&](const char* field) -> std::string {
    return request.contains(field) && request[field].is_string() ? request[field].get<std::string>()
                                                                 : std::string();
  };
  std::uint64_t generation;
  {
    // Machine commands wait while the machine boots or restarts.
    std::unique_lock lock(mutex_);
    bool power = cmd == "reboot" || cmd == "shutdown";
    if (cmd != "ping" && cmd != "subscribe")
      changed_.wait(lock, [&] {
        return (generation_ > 0 && (power || pending_ == Pending::kNone)) || down_;
      });
    // The command line (which waits for the result) takes over from a
    // restart scheduled for later; programs are told one is in progress.
    if (power && request.value("wait", false)) scheduled_.reset();
    if (power && !down_ && (pending_ != Pending::kNone || scheduled_))
      return Json{{"ok", false},
                  {"in_progress", true},
                  {"error", "the machine is already shutting down or restarting"}};
    if (down_ && cmd != "ping") return fail("the machine is shutting down");
    generation = generation_;
  }
  if (cmd == "ping") return Json{{"ok", true}, {"booted", generation > 0}};
  if (cmd == "subscribe") {
    session->subscribed = true;
    return Json{{"ok", true}};
  }
  if (cmd == "list") {
    Json devices = Json::array(), drivers = Json::array();
    for (const auto& d : machine_.Devices()) devices.push_back(ToJson(d));
    for (const auto& d : machine_.Drivers()) drivers.push_back(ToJson(d));
    return Json{{"ok", true}, {"devices", devices}, {"drivers", drivers}};
  }
  if (cmd == "plug") {
    auto result = machine_.Plug(text("device"), text("parent"));
    if (!result) return fail(result.error());
    Json answer = {
        {"ok", true}, {"instance_id", result->instanceId}, {"enumerated", result->enumerated}};
    if (auto device = machine_.Device(result->instanceId)) answer["device"] = ToJson(*device);
    return answer;
  }
  const std::string instance = text("instance_id");
  if (cmd == "unplug") return DeviceAnswer(machine_.Unplug(instance), instance);
  if (cmd == "disable") return DeviceAnswer(machine_.Disable(instance), instance);
  if (cmd == "enable") return DeviceAnswer(machine_.Enable(instance), instance);
  if (cmd == "rebalance") return DeviceAnswer(machine_.Rebalance(instance), instance);
  if (cmd == "device_control") {
    if (!request.contains("code") || !request["code"].is_number_unsigned())
      return fail("device_control needs a numeric \"code\"");
    return DeviceAnswer(machine_.DeviceControl(instance, request["code"].get<ULONG>()), instance);
  }
  if (cmd == "reboot" || cmd == "shutdown") {
    bool wait = request.value("wait", false);
    if (request.contains("delay_seconds") && request["delay_seconds"].is_number_unsigned() &&
        request["delay_seconds"].get<std::uint64_t>() > 0) {
      // Happens later, on the machine's own thread.
      std::lock_guard lock(mutex_);
      scheduled_ = std::chrono::steady_clock::now() +
                   std::chrono::seconds(request["delay_seconds"].get<std::uint64_t>());
      scheduledKind_ = cmd == "reboot" ? Pending::kRestart : Pending::kShutdown;
      return Json{{"ok", true}};
    }
    if (!wait) {
      if (cmd == "reboot")
        RequestRestart();
      else
        RequestShutdown();
      return Json{{"ok", true}};
    }
    // The answer comes once the machine has booted again or gone down.
    std::unique_lock lock(mutex_);
    ++waiters_;
    if (cmd == "reboot" && pending_ == Pending::kNone) pending_ = Pending::kRestart;
    if (cmd == "shutdown") pending_ = Pending::kShutdown;
    changed_.notify_all();
    changed_.wait(lock, [&] { return generation_ > generation || down_; });
    lock.unlock();
    session->Send({{"ok", true}});
    lock.lock();
    --waiters_;
    changed_.notify_all();
    return std::nullopt;
  }
  return fail("unknown request \"" + cmd + "\"");
}

}  // namespace pvn::machine
