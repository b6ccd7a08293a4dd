#include "platform/machine/client/machine_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/prefix.h"

namespace pvn::machine {

std::filesystem::path MachineSocketPath() {
  return fs::RunDir() / "pvnhost.sock";
}

MachineClient::MachineClient(MachineClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pending_(std::move(other.pending_)) {}

MachineClient& MachineClient::operator=(MachineClient&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    pending_ = std::move(other.pending_);
  }
  return *this;
}

MachineClient::~MachineClient() {
  Close();
}

void MachineClient::Interrupt() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void MachineClient::Close() {
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    fd_ = -1;
  }
}

Result<MachineClient, std::string> MachineClient::Connect() {
  using R = Result<MachineClient, std::string>;
  auto path = MachineSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof address.sun_path)
    return R::Fail("the socket path " + path.string() + " is too long for a unix socket");
  std::strcpy(address.sun_path, path.c_str());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return R::Fail(std::string("cannot create a socket: ") + std::strerror(errno));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return R::Fail("the machine is not running (start it with 'pvnhost boot')");
  }
  return MachineClient(fd);
}

bool MachineClient::Send(const Json& message) {
  if (fd_ < 0) return false;
  std::string line = message.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  for (std::size_t at = 0; at < line.size();) {
    ssize_t n = ::send(fd_, line.data() + at, line.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

Result<Json, std::string> MachineClient::Receive(std::chrono::milliseconds timeout) {
  using R = Result<Json, std::string>;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto at = pending_.find('\n'); at != std::string::npos) {
      Json message = Json::parse(pending_.substr(0, at), nullptr, false);
      pending_.erase(0, at + 1);
      if (message.is_discarded()) return R::Fail("the machine sent something that is not JSON");
      return R(std::move(message));
    }
    if (fd_ < 0) return R::Fail("not connected to the machine");
    int wait = -1;
    if (timeout.count() >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() < 0) return R::Fail("the machine did not answer in time");
      wait = static_cast<int>(left.count());
    }
    pollfd p{fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return R::Fail("the machine did not answer in time");
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return R::Fail("the machine closed the connection");
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
}

Result<Json, std::string> MachineClient::Request(const Json& request) {
  if (!Send(request)) return Result<Json, std::string>::Fail("the machine closed the connection");
  return Receive();
}

// ---------------------------------------------------------------- subscriptions

Result<std::unique_ptr<BroadcastSubscription>, std::string> BroadcastSubscription::Start(
    Callback callback) {
  using R = Result<std::unique_ptr<BroadcastSubscription>, std::string>;
  auto client = MachineClient::Connect();
  if (!client) return R::Fail(client.error());
  auto answer = client->Request({{"cmd", "subscribe"}});
  if (!answer) return R::Fail(answer.error());
  if (!answer->value("ok", false)) return R::Fail(answer->value("error", "subscription refused"));
  return R(std::make_unique<BroadcastSubscription>(Token{}, client.take(), std::move(callback)));
}

BroadcastSubscription::BroadcastSubscription(Token, MachineClient client, Callback callback)
    : client_(std::move(client)), callback_(std::move(callback)) {
  thread_ = std::thread([this] {
    for (;;) {
      auto message = client_.Receive();
      if (!message) break;
      callback_(*message);
    }
    callback_({{"event", "closed"}});
  });
}

BroadcastSubscription::~BroadcastSubscription() {
  // Shutting the socket down ends the reader's Receive.
  client_.Interrupt();
  if (thread_.joinable()) thread_.join();
  client_.Close();
}

}  // namespace pvn::machine
