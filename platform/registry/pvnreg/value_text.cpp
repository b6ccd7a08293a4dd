#include "platform/registry/pvnreg/value_text.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/base/unicode.h"

namespace pvn::reg::tool {

namespace {

constexpr std::array<std::string_view, 12> kTypeNames = {"REG_NONE",
                                                         "REG_SZ",
                                                         "REG_EXPAND_SZ",
                                                         "REG_BINARY",
                                                         "REG_DWORD",
                                                         "REG_DWORD_BIG_ENDIAN",
                                                         "REG_LINK",
                                                         "REG_MULTI_SZ",
                                                         "REG_RESOURCE_LIST",
                                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                                         "REG_QWORD"};

std::u16string Units(const std::vector<std::uint8_t>& data) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  return text;
}

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data) {
  std::uint64_t n = 0;
  for (std::size_t i = data.size(); i-- > 0;) n = n << 8 | data[i];
  return n;
}

std::string Hex(const std::vector<std::uint8_t>& data) {
  std::string out;
  char pair[3];
  for (std::uint8_t b : data) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    out += pair;
  }
  return out;
}

std::vector<std::uint8_t> Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

// A decimal or 0x-prefixed hex number no larger than `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view s, std::uint64_t max) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t n = 0;
  for (char c : s) {
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                : -1;
    if (d < 0) return std::nullopt;
    if (n > (max - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
      return std::nullopt;
    n = n * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  return n;
}

}  // namespace

std::string TypeName(std::uint32_t type) {
  return type < kTypeNames.size() ? std::string(kTypeNames[type]) : "REG_UNKNOWN";
}

std::optional<std::uint32_t> TypeFromName(std::string_view name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (std::uint32_t type :
       {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE})
    if (upper == kTypeNames[type]) return type;
  return std::nullopt;
}

std::string DataText(const Value& value) {
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::u16string text = Units(value.data);
      return Utf16ToUtf8(std::u16string_view(text).substr(0, text.find(u'\0')));
    }
    case REG_MULTI_SZ: {
      std::u16string text = Units(value.data);
      std::string out;
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find(u'\0', start);
        if (end == start) break;  // the empty string that ends the list
        if (start) out += "\\0";
        out += Utf16ToUtf8(std::u16string_view(text).substr(start, end - start));
        if (end == std::u16string::npos) break;
        start = end + 1;
      }
      return out;
    }
    case REG_DWORD:
    case REG_QWORD:
      if (value.data.size() == (value.type == REG_DWORD ? 4u : 8u)) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%llx",
                      static_cast<unsigned long long>(LittleEndian(value.data)));
        return text;
      }
      return Hex(value.data);
    default:
      return Hex(value.data);
  }
}

std::string ValueLine(std::u16string_view name, const Value& value) {
  return "    " + (name.empty() ? std::string("(Default)") : Utf16ToUtf8(name)) + "    " +
         TypeName(value.type) + "    " + DataText(value);
}

ParsedData ParseData(std::uint32_t type, std::string_view data, std::string_view separator) {
  ParsedData out;
  out.value.type = type;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      out.value.data = Bytes(Utf8ToUtf16(data) + u'\0');
      break;
    case REG_MULTI_SZ: {
      std::string_view sep = separator.empty() ? std::string_view("\\0") : separator;
      std::u16string list;
      std::size_t start = 0;
      while (start < data.size()) {
        std::size_t end = data.find(sep, start);
        std::string_view item =
            data.substr(start, end == std::string_view::npos ? end : end - start);
        // An empty item in the middle would end the list for every reader.
        if (item.empty()) return {{}, DataError::kSyntax};
        list += Utf8ToUtf16(item) + u'\0';
        if (end == std::string_view::npos) break;
        start = end + sep.size();
      }
      list += u'\0';
      out.value.data = Bytes(list);
      break;
    }
    case REG_DWORD:
    case REG_QWORD: {
      bool dword = type == REG_DWORD;
      auto n = data.empty() ? std::optional<std::uint64_t>(0)
                            : ParseNumber(data, dword ? 0xFFFFFFFFull : ~0ull);
      if (!n) return {{}, DataError::kNumber};
      for (int i = 0; i < (dword ? 4 : 8); ++i)
        out.value.data.push_back(static_cast<std::uint8_t>(*n >> (8 * i)));
      break;
    }
    default: {  // REG_BINARY, REG_NONE: hex digits, two per byte
      if (data.size() % 2) return {{}, DataError::kSyntax};
      for (std::size_t i = 0; i < data.size(); i += 2) {
        auto byte = ParseNumber("0x" + std::string(data.substr(i, 2)), 0xFF);
        if (!byte) return {{}, DataError::kSyntax};
        out.value.data.push_back(static_cast<std::uint8_t>(*byte));
      }
      break;
    }
  }
  return out;
}

}  // namespace pvn::reg::tool
