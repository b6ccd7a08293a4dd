// pvnreg delete KEY [/v NAME | /ve | /va] [/f]
//
// Deletes one value, the default value, all values of the key, or the key
// with everything below it. Without /f it asks first, in reg.exe's words.
#include "platform/base/unicode.h"
#include "platform/registry/batch.h"
#include "platform/registry/pvnreg/command_line.h"
#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"

namespace pvn::reg::tool {

namespace {

constexpr std::string_view kOperation = "DELETE";

}  // namespace

int Delete(const Args& args) {
  auto line = ParseCommandLine(std::string(kOperation), args,
                               {{"v", true}, {"ve"}, {"va"}, {"f"}, {"reg:32"}, {"reg:64"}});
  if (!line || line->positional.size() != 1 ||
      line->Has("v") + line->Has("ve") + line->Has("va") > 1)
    return SyntaxError(kOperation);
  auto name = ParseKeyName(line->positional[0]);
  if (!name) return InvalidKeyName(kOperation);
  auto key = Key::Open(name->path, KEY_READ);
  if (!key) return RegistryError(key.error());
  bool force = line->Has("f");

  std::string question;
  std::vector<Change> changes;
  if (line->Has("v") || line->Has("ve")) {
    std::u16string valueName = line->Has("v") ? Utf8ToUtf16(*line->Value("v")) : u"";
    if (win::Error err = key->QueryValue(valueName, nullptr, nullptr, nullptr))
      return RegistryError(err);
    question = "Delete the registry value " +
               (valueName.empty() ? std::string("(Default)") : Utf8(valueName)) + " (Yes/No)? ";
    changes.push_back(Change::DeleteValue(name->path, valueName));
  } else if (line->Has("va")) {
    auto values = key->Values();
    if (!values) return RegistryError(values.error());
    question = "Delete all values under the registry key " + Utf8(name->display) + " (Yes/No)? ";
    for (const auto& named : *values)
      changes.push_back(Change::DeleteValue(name->path, named.name));
  } else {
    if (name->path.empty()) return RegistryError(win::ERROR_ACCESS_DENIED);
    question = "Permanently delete the registry key " + Utf8(name->display) + " (Yes/No)? ";
    changes.push_back(Change::DeleteTree(name->path));
  }

  if (!force) {
    if (!Confirm(question)) {
      Out(std::string(kCanceled) + "\n");
      return kExitFailure;
    }
    Out("\n");
  }
  // One transaction, so that /va never leaves half of the values behind.
  BatchResult result = ApplyBatch(changes);
  if (result.error) return RegistryError(result.error);
  Out(std::string(kCompleted) + "\n");
  return kExitSuccess;
}

}  // namespace pvn::reg::tool
