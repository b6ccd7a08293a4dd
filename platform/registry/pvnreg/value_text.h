#pragma once
// Registry values as reg.exe shows them and as its /t and /d switches give them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/key.h"

namespace pvn::reg::tool {

// "REG_SZ", "REG_DWORD", ... for a type number.
std::string TypeName(std::uint32_t type);
// The type that pvnreg add accepts for a /t argument (any case).
std::optional<std::uint32_t> TypeFromName(std::string_view name);

// The data column of reg query: strings up to their terminator, numbers as
// 0x hex, multi-strings joined by a literal \0, other data as upper-case hex.
std::string DataText(const Value& value);
// One value line of reg query: four blanks, name, type and data, each
// separated by four blanks; "(Default)" names the default value.
std::string ValueLine(std::u16string_view name, const Value& value);

// The data of /d for `type`. `separator` splits REG_MULTI_SZ items (the
// two characters \0 when empty).
enum class DataError { kNone, kNumber, kSyntax };
struct ParsedData {
  Value value;
  DataError error = DataError::kNone;
};
ParsedData ParseData(std::uint32_t type, std::string_view data, std::string_view separator);

}  // namespace pvn::reg::tool
