#include "courier/remote_command.h"

#include "courier/rmt_http_listener.h"

namespace pvn::courier {

namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

constexpr RemoteCommand kTable[] = {
    {"KBM_ON", 0x21, &CPvnRmtHttpListener::RunCommand},
    {"KBM_OFF", 0x22, &CPvnRmtHttpListener::RunCommand},
    {"STORAGE_ON", 0x31, &CPvnRmtHttpListener::RunCommand},
    {"STORAGE_OFF", 0x32, &CPvnRmtHttpListener::RunCommand},
    {"ALLCFG_ON", 0x51, &CPvnRmtHttpListener::RunCommand},
    {"ALLCFG_OFF", 0x52, &CPvnRmtHttpListener::RunCommand},
    {"SYS_REBOOT", 0x62, &CPvnRmtHttpListener::RunCommand},
    {nullptr, 0, nullptr},
};

}  // namespace

const RemoteCommand* RemoteCommandTable() {
  return kTable;
}

bool ParseRemoteQuery(std::string_view rawUrl, std::string* command, std::string* parameter) {
  std::size_t question = rawUrl.find('?');
  if (question == std::string_view::npos) return false;
  std::string_view rest = rawUrl.substr(question + 1);
  while (!rest.empty()) {
    std::size_t amp = rest.find('&');
    std::string_view piece = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = piece.substr(0, equals);
    std::string_view value = piece.substr(equals + 1);
    if (EqualsNoCase(name, "PVN_CMD"))
      *command = std::string(value);
    else if (EqualsNoCase(name, "PVN_PARAM"))
      *parameter = std::string(value);
  }
  return true;
}

const RemoteCommand* FindRemoteCommand(std::string_view command) {
  for (const RemoteCommand* entry = kTable; entry->code != 0; ++entry)
    if (EqualsNoCase(command, entry->name)) return entry;
  return nullptr;
}

}  // namespace pvn::courier
