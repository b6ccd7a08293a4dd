#include "platform/machine/pnp/setup_classes.h"

#include <cctype>

namespace pvn::machine {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string ClassName(std::string_view classGuid) {
  std::string guid = UpperAscii(classGuid);
  if (guid == kClassUsb) return "USB";
  if (guid == kClassKeyboard) return "Keyboard";
  if (guid == kClassMouse) return "Mouse";
  if (guid == kClassHid) return "HIDClass";
  if (guid == kClassDiskDrive) return "DiskDrive";
  if (guid == kClassSystem) return "System";
  return {};
}

}  // namespace pvn::machine
