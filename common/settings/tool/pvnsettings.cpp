// pvnsettings: switches the locks and shows the settings through the same
// settings store the console and the agent use.
//
//   pvnsettings stor on|off     storage lock (application key and PvnPortGate)
//   pvnsettings kbm on|off      keyboard/mouse lock (application key and PvnHidGate)
//   pvnsettings show            switches, AppPath and the remote-control record
#include <cstdio>
#include <cstring>
#include <string>

#include "common/settings/rmt_param.h"
#include "common/settings/usb_pvn_envment.h"
#include "platform/base/unicode.h"

using pvn::settings::CUsbPvnEnvment;

namespace {

int Usage() {
  std::fputs(
      "Usage: pvnsettings stor on|off\n"
      "       pvnsettings kbm on|off\n"
      "       pvnsettings show\n",
      stderr);
  return 2;
}

void ShowSwitch(const char* label, const char16_t* name) {
  std::uint32_t value = 0;
  if (CUsbPvnEnvment::GetRegDWORD(name, &value))
    std::printf("%-20s %s (%u)\n", label, value ? "on" : "off", value);
  else
    std::printf("%-20s not set\n", label);
}

int Show() {
  char16_t appPath[257] = {};
  if (CUsbPvnEnvment::GetAppPath(appPath, 257))
    std::printf("%-20s %s\n", "AppPath", pvn::Utf16ToUtf8(appPath).c_str());
  ShowSwitch("Storage lock", u"Stor Enable");
  ShowSwitch("Keyboard/mouse lock", u"KeybMous Enable");
  pvn::settings::RmtParam remote = pvn::settings::kDefaultRmtParam;
  bool stored = CUsbPvnEnvment::GetRegBinary(u"Remote", &remote, sizeof remote);
  char token[sizeof remote.szToken + 1] = {};
  std::memcpy(token, remote.szToken, sizeof remote.szToken);
  std::printf("%-20s web service %s, port %u, token %s%s\n", "Remote",
              remote.bWebSrvEnable ? "on" : "off", remote.nPort, token,
              stored ? "" : " (defaults)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "show") == 0) return Show();
  if (argc != 3) return Usage();
  std::string lock = argv[1], state = argv[2];
  if (state != "on" && state != "off") return Usage();
  std::uint32_t value = state == "on" ? 1 : 0;
  if (lock == "stor") CUsbPvnEnvment::SetStorEnable(value);
  else if (lock == "kbm") CUsbPvnEnvment::SetKeybMousEnable(value);
  else return Usage();
  return 0;
}
