// pvnreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//
// Creates the key when it is missing and, when a value is named (or /t or
// /d is given, which address the default value), sets it. An existing value
// is only overwritten after a yes to "Value NAME exists, overwrite(Yes/No)?"
// unless /f is given. DATA is taken as is: a trailing backslash stays.
#include "platform/base/unicode.h"
#include "platform/registry/pvnreg/command_line.h"
#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"
#include "platform/registry/pvnreg/value_text.h"

namespace pvn::reg::tool {

namespace {

constexpr std::string_view kOperation = "ADD";

}  // namespace

int Add(const Args& args) {
  auto line = ParseCommandLine(
      std::string(kOperation), args,
      {{"v", true}, {"ve"}, {"t", true}, {"s", true}, {"d", true}, {"f"}, {"reg:32"}, {"reg:64"}});
  if (!line || line->positional.size() != 1 || (line->Has("v") && line->Has("ve")))
    return SyntaxError(kOperation);
  auto name = ParseKeyName(line->positional[0]);
  if (!name) return InvalidKeyName(kOperation);

  std::uint32_t type = REG_SZ;
  if (auto typeName = line->Value("t")) {
    auto parsed = TypeFromName(*typeName);
    if (!parsed) return SyntaxError(kOperation);
    type = *parsed;
  }
  std::string separator = line->Value("s").value_or("");
  if (line->Has("s") && (type != REG_MULTI_SZ || Utf8ToUtf16(separator).size() != 1))
    return SyntaxError(kOperation);

  bool setsValue = line->Has("v") || line->Has("ve") || line->Has("t") || line->Has("d");
  std::u16string valueName = line->Has("v") ? Utf8ToUtf16(*line->Value("v")) : u"";
  ParsedData data;
  if (setsValue) {
    data = ParseData(type, line->Value("d").value_or(""), separator);
    if (data.error == DataError::kNumber) {
      Err("ERROR: Invalid syntax. Specify valid numeric value for '/d'.\n");
      return kExitFailure;
    }
    if (data.error != DataError::kNone) return SyntaxError(kOperation);
  }

  auto key = Key::Create(name->path, setsValue ? KEY_READ | KEY_WRITE : KEY_READ);
  if (!key) return RegistryError(key.error());
  if (setsValue) {
    if (!line->Has("f") &&
        key->QueryValue(valueName, nullptr, nullptr, nullptr) == win::ERROR_SUCCESS) {
      std::string shown = valueName.empty() ? "(Default)" : Utf8(valueName);
      if (!Confirm("Value " + shown + " exists, overwrite(Yes/No)? ")) {
        Out(std::string(kCanceled) + "\n");
        return kExitFailure;
      }
    }
    const auto& bytes = data.value.data;
    if (win::Error err =
            key->SetValue(valueName, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())))
      return RegistryError(err);
  }
  Out(std::string(kCompleted) + "\n");
  return kExitSuccess;
}

}  // namespace pvn::reg::tool
