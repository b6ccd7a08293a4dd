#pragma once
// Settings and helpers shared by the agent's tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "common/settings/registry_layout.h"
#include "common/settings/rmt_param.h"
#include "platform/fs/file.h"
#include "platform/registry/key.h"

namespace pvn::testing {

inline constexpr char16_t kInstallFolder[] = u"C:\\Program Files\\Usb Portvane\\";
inline constexpr char16_t kLogFolder[] = u"C:\\Program Files\\Usb Portvane\\SysLog";

// The application key with AppPath, and the two drivers' service keys.
inline void InstallApplicationKey(std::u16string appPath = kInstallFolder) {
  auto app = reg::Key::Create(settings::kAppKeyPath, reg::KEY_ALL_ACCESS);
  app->SetString(settings::kAppPathValue, appPath);
  reg::Key::Create(settings::kPortGateKeyPath, reg::KEY_ALL_ACCESS);
  reg::Key::Create(settings::kHidGateKeyPath, reg::KEY_ALL_ACCESS);
  fs::CreateDirectory(u"C:\\Program Files\\Usb Portvane");
}

inline void WriteRemote(std::uint32_t enable, std::uint32_t port, const char* token) {
  settings::RmtParam param = settings::kDefaultRmtParam;
  param.bWebSrvEnable = enable;
  param.nPort = port;
  std::memset(param.szToken, 0, sizeof param.szToken);
  std::strncpy(param.szToken, token, sizeof param.szToken - 1);
  auto app = reg::Key::Open(settings::kAppKeyPath, reg::KEY_ALL_ACCESS);
  app->SetValue(settings::kRemoteValue, reg::REG_BINARY, &param, sizeof param);
}

// A switch value, or -1 when it cannot be read.
inline long ReadSwitch(std::u16string_view keyPath, std::u16string_view name) {
  auto key = reg::Key::Open(keyPath, reg::KEY_READ);
  if (!key) return -1;
  auto value = key->GetValue(name);
  if (!value || value->data.size() != 4) return -1;
  std::uint32_t v;
  std::memcpy(&v, value->data.data(), 4);
  return v;
}

// A TCP port nobody listens on right now.
inline unsigned FreePort() {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::tcp::v4(), 0));
  return acceptor.local_endpoint().port();
}

// The agent logs of the folder, oldest first.
inline std::vector<std::string> AgentLogs() {
  std::vector<std::string> logs;
  auto names = fs::ListDirectory(kLogFolder);
  if (!names) return logs;
  for (const auto& name : *names) {
    auto bytes = fs::ReadFileBytes(std::u16string(kLogFolder) + u"\\" + name);
    logs.push_back(bytes ? *bytes : std::string());
  }
  return logs;
}

// The messages of a log, without the time prefix of each line.
inline std::vector<std::string> LogMessages(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t at = 0;
  while (at < log.size()) {
    std::size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    messages.push_back(line.size() > 16 ? line.substr(16) : line);
    at = end + 1;
  }
  return messages;
}

}  // namespace pvn::testing
