// pvnreg query KEY [/v NAME | /ve] [/s]
//
//   <blank line>
//   HKEY_LOCAL_MACHINE\SOFTWARE\KVR\Usb Portvane
//       Stor Enable    REG_DWORD    0x1
//   <blank line>
//   HKEY_LOCAL_MACHINE\SOFTWARE\KVR\Usb Portvane\Sub
//
// The key line and its values appear when the key has values; subkeys follow
// one per line. With /s each subkey is followed by its own values and
// subkeys. With /v or /ve and /s, every key holding the value is listed and a
// count of matches ends the output.
#include "platform/base/unicode.h"
#include "platform/registry/pvnreg/command_line.h"
#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"
#include "platform/registry/pvnreg/value_text.h"

namespace pvn::reg::tool {

namespace {

constexpr std::string_view kOperation = "QUERY";

std::string Join(const std::u16string& display, const std::u16string& name) {
  return Utf8(display) + "\\" + Utf8(name);
}

// Prints the key's values as a block: key line, value lines, blank line.
win::Error PrintValues(const Key& key, const std::u16string& display, bool always) {
  auto values = key.Values();
  if (!values) return values.error();
  if (values->empty() && !always) return win::ERROR_SUCCESS;
  std::string text = Utf8(display) + "\n";
  for (const auto& named : *values) text += ValueLine(named.name, named.value) + "\n";
  Out(text + "\n");
  return win::ERROR_SUCCESS;
}

win::Error PrintSubKeys(const Key& key, const std::u16string& display, bool recurse) {
  auto names = key.SubKeyNames();
  if (!names) return names.error();
  for (const auto& name : *names) {
    if (!recurse) {
      Out(Join(display, name) + "\n");
      continue;
    }
    auto child = key.OpenSubKey(name, KEY_READ);
    if (!child) return child.error();
    std::u16string childDisplay = display + u"\\" + name;
    auto values = child->Values();
    if (!values) return values.error();
    if (values->empty()) {
      Out(Utf8(childDisplay) + "\n");
    } else if (win::Error err = PrintValues(*child, childDisplay, true)) {
      return err;
    }
    if (win::Error err = PrintSubKeys(*child, childDisplay, true)) return err;
  }
  return win::ERROR_SUCCESS;
}

// /v or /ve with /s: each key of the tree that holds the value.
win::Error Search(const Key& key, const std::u16string& display, std::u16string_view name,
                  std::size_t* matches) {
  if (auto value = key.GetValue(name)) {
    Out(Utf8(display) + "\n" + ValueLine(name, *value) + "\n\n");
    ++*matches;
  }
  auto names = key.SubKeyNames();
  if (!names) return names.error();
  for (const auto& sub : *names) {
    auto child = key.OpenSubKey(sub, KEY_READ);
    if (!child) return child.error();
    if (win::Error err = Search(*child, display + u"\\" + sub, name, matches)) return err;
  }
  return win::ERROR_SUCCESS;
}

}  // namespace

int Query(const Args& args) {
  auto line = ParseCommandLine(std::string(kOperation), args,
                               {{"v", true}, {"ve"}, {"s"}, {"reg:32"}, {"reg:64"}});
  if (!line || line->positional.size() != 1 || (line->Has("v") && line->Has("ve")))
    return SyntaxError(kOperation);
  auto name = ParseKeyName(line->positional[0]);
  if (!name) return InvalidKeyName(kOperation);
  auto key = Key::Open(name->path, KEY_READ);
  if (!key) return RegistryError(key.error());

  bool recurse = line->Has("s");
  if (line->Has("v") || line->Has("ve")) {
    std::u16string valueName = line->Has("v") ? Utf8ToUtf16(*line->Value("v")) : u"";
    Out("\n");
    if (recurse) {
      std::size_t matches = 0;
      if (win::Error err = Search(*key, name->display, valueName, &matches))
        return RegistryError(err);
      Out("End of search: " + std::to_string(matches) + " match(es) found.\n");
      return matches ? kExitSuccess : kExitFailure;
    }
    auto value = key->GetValue(valueName);
    if (!value && value.error() == win::ERROR_FILE_NOT_FOUND && valueName.empty()) {
      Out(Utf8(name->display) + "\n    (Default)    REG_SZ    (value not set)\n\n");
      return kExitSuccess;
    }
    if (!value) return RegistryError(value.error());
    Out(Utf8(name->display) + "\n" + ValueLine(valueName, *value) + "\n\n");
    return kExitSuccess;
  }

  Out("\n");
  if (win::Error err = PrintValues(*key, name->display, false)) return RegistryError(err);
  if (win::Error err = PrintSubKeys(*key, name->display, recurse)) return RegistryError(err);
  return kExitSuccess;
}

}  // namespace pvn::reg::tool
