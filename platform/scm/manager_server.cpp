#include "platform/scm/manager_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/base/unicode.h"
#include "platform/scm/channel.h"
#include "platform/scm/service_database.h"

namespace pvn::scm {

namespace {

nlohmann::json StatusJson(const SERVICE_STATUS_PROCESS& s) {
  return {{"type", s.dwServiceType},
          {"state", s.dwCurrentState},
          {"accepted", s.dwControlsAccepted},
          {"exit", s.dwWin32ExitCode},
          {"specific", s.dwServiceSpecificExitCode},
          {"checkpoint", s.dwCheckPoint},
          {"hint", s.dwWaitHint},
          {"pid", s.dwProcessId}};
}

std::u16string Text(const nlohmann::json& request, const char* field) {
  auto found = request.find(field);
  if (found == request.end() || !found->is_string()) return {};
  return Utf8ToUtf16(found->get<std::string>());
}

std::optional<std::uint32_t> Number(const nlohmann::json& request, const char* field) {
  // A field that is missing or no 32-bit number means "no change".
  std::uint32_t value = detail::U32(request, field, SERVICE_NO_CHANGE);
  if (value == SERVICE_NO_CHANGE) return std::nullopt;
  return value;
}

// True when the peer has closed its end.
bool PeerGone(int fd) {
  pollfd p{fd, POLLIN | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  return (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace

ManagerServer::ManagerServer(ServiceManager& manager) : manager_(manager) {}

ManagerServer::~ManagerServer() {
  Stop();
}

win::Error ManagerServer::Start() {
  path_ = detail::ManagerSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) return win::ERROR_FILENAME_EXCED_RANGE;
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  // A socket nobody answers on is left from a machine that ended; one that
  // answers belongs to a running machine.
  if (detail::Channel::Connect(path_).valid()) return win::ERROR_ALREADY_EXISTS;
  ::unlink(path_.c_str());
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return win::ERROR_NOT_ENOUGH_MEMORY;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0 || ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
    ::close(listenFd_);
    listenFd_ = -1;
    return win::ERROR_ACCESS_DENIED;
  }
  acceptor_ = std::thread(&ManagerServer::AcceptLoop, this);
  return win::ERROR_SUCCESS;
}

void ManagerServer::Stop() {
  if (listenFd_ < 0 || stopping_.exchange(true)) return;
  char byte = 0;
  (void)!::write(wakeFds_[1], &byte, 1);
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
  }
  {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return active_ == 0; });
  }
  ::close(listenFd_);
  ::close(wakeFds_[0]);
  ::close(wakeFds_[1]);
  ::unlink(path_.c_str());
  listenFd_ = -1;
}

void ManagerServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    clients_.push_back(fd);
    ++active_;
    std::thread(&ManagerServer::Serve, this, fd).detach();
  }
}

void ManagerServer::Serve(int fd) {
  detail::Channel channel(fd);
  nlohmann::json request;
  while (channel.Receive(&request)) {
    std::string op = detail::Str(request, "op");
    std::u16string name = Text(request, "name");
    nlohmann::json answer = {{"error", win::ERROR_SUCCESS}};
    auto fail = [&answer](win::Error error) { answer["error"] = error; };
    if (op == "hello") {
    } else if (op == "open") {
      ServiceRecord record;
      if (win::Error error = ReadServiceRecord(name, &record))
        fail(error);
      else
        answer["name"] = Utf16ToUtf8(record.name);
    } else if (op == "create") {
      ServiceRecord record;
      record.name = name;
      record.displayName = Text(request, "display");
      record.imagePath = Text(request, "path");
      record.type = Number(request, "type").value_or(0);
      record.start = Number(request, "start").value_or(0xFF);
      record.errorControl = Number(request, "errorControl").value_or(SERVICE_ERROR_NORMAL);
      fail(CreateServiceRecord(record));
    } else if (op == "delete") {
      fail(manager_.Delete(name));
    } else if (op == "start") {
      std::vector<std::u16string> arguments;
      if (request.contains("args") && request["args"].is_array())
        for (const auto& arg : request["args"])
          if (arg.is_string()) arguments.push_back(Utf8ToUtf16(arg.get<std::string>()));
      fail(manager_.Start(name, arguments));
    } else if (op == "control") {
      SERVICE_STATUS status{};
      fail(manager_.Control(name, Number(request, "control").value_or(0), &status));
      answer["status"] = StatusJson(SERVICE_STATUS_PROCESS{
          status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
          status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
          status.dwWaitHint, 0, 0});
    } else if (op == "query") {
      SERVICE_STATUS_PROCESS status{};
      fail(manager_.Query(name, &status));
      answer["status"] = StatusJson(status);
    } else if (op == "wait") {
      SERVICE_STATUS_PROCESS status{};
      std::uint32_t mask = Number(request, "mask").value_or(0);
      fail(manager_.WaitForState(
          name, mask, [&] { return stopping_.load() || PeerGone(fd); }, &status));
      answer["status"] = StatusJson(status);
    } else if (op == "config") {
      std::u16string path = Text(request, "path"), display = Text(request, "display");
      fail(ChangeServiceRecord(name, Number(request, "type"), Number(request, "start"),
                               Number(request, "errorControl"),
                               request.contains("path") ? &path : nullptr,
                               request.contains("display") ? &display : nullptr));
    } else if (op == "qc") {
      ServiceRecord record;
      if (win::Error error = ReadServiceRecord(name, &record)) {
        fail(error);
      } else {
        answer["type"] = record.type;
        answer["start"] = record.start;
        answer["errorControl"] = record.errorControl;
        answer["path"] = Utf16ToUtf8(record.imagePath);
        answer["display"] = Utf16ToUtf8(record.displayName);
      }
    } else {
      fail(win::ERROR_INVALID_FUNCTION);
    }
    if (!channel.Send(answer)) break;
  }
  std::lock_guard lock(mutex_);
  clients_.erase(std::remove(clients_.begin(), clients_.end(), fd), clients_.end());
  channel.Close();
  --active_;
  idle_.notify_all();
}

}  // namespace pvn::scm
