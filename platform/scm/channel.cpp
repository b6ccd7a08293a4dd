#include "platform/scm/channel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pvn::scm::detail {

Channel::Channel(Channel&& other) noexcept : fd_(other.fd_), pending_(std::move(other.pending_)) {
  other.fd_ = -1;
}

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    pending_ = std::move(other.pending_);
    other.fd_ = -1;
  }
  return *this;
}

Channel::~Channel() {
  Close();
}

void Channel::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void Channel::Shutdown() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool Channel::Send(const nlohmann::json& message) {
  if (fd_ < 0) return false;
  std::string line = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  line += '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool Channel::Receive(nlohmann::json* message) {
  if (fd_ < 0) return false;
  for (;;) {
    std::size_t eol = pending_.find('\n');
    if (eol != std::string::npos) {
      std::string line = pending_.substr(0, eol);
      pending_.erase(0, eol + 1);
      *message = nlohmann::json::parse(line, nullptr, false);
      return !message->is_discarded() && message->is_object();
    }
    if (pending_.size() > kMaxMessageBytes) return false;
    char chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::uint32_t U32(const nlohmann::json& message, const char* key, std::uint32_t fallback) {
  if (!message.is_object()) return fallback;
  auto found = message.find(key);
  if (found == message.end() || !found->is_number_unsigned()) return fallback;
  auto value = found->get<std::uint64_t>();
  return value > 0xFFFFFFFFu ? fallback : static_cast<std::uint32_t>(value);
}

std::string Str(const nlohmann::json& message, const char* key) {
  if (!message.is_object()) return {};
  auto found = message.find(key);
  if (found == message.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

}  // namespace pvn::scm::detail
