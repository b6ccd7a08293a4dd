#pragma once
// JSON messages, one per line, over a stream socket: the channel between the
// manager and a service program it started.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace pvn::scm::detail {

class Channel {
 public:
  Channel() = default;
  explicit Channel(int fd) : fd_(fd) {}
  Channel(Channel&& other) noexcept;
  Channel& operator=(Channel&& other) noexcept;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
  ~Channel();

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Whole messages; false when the peer has gone or the line is not JSON.
  bool Send(const nlohmann::json& message);
  bool Receive(nlohmann::json* message);
  // Ends a Receive blocked on another thread, and every later one.
  void Shutdown();
  void Close();

 private:
  int fd_ = -1;
  std::string pending_;  // bytes received beyond the last whole line
};

// Fields of a received message. Messages come from other processes, so a
// missing field or one of another type gives the fallback, never an exception.
std::uint32_t U32(const nlohmann::json& message, const char* key, std::uint32_t fallback = 0);
std::string Str(const nlohmann::json& message, const char* key);

// Longest line accepted, so that a broken peer cannot grow memory.
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

// The module name under which the running machine routes requests to the
// Service Control Manager.
inline constexpr const char* kScmModuleName = "scm";

}  // namespace pvn::scm::detail
