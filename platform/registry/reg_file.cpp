// Writing registry scripts, and export and import on top of the parser.
#include "platform/registry/reg_file.h"

#include <optional>

namespace pvn::reg {

namespace {

// A hex list line is broken once it has reached this many characters, so no
// line, with its trailing '\', is longer than 80.
constexpr std::size_t kWrapColumn = 77;
constexpr std::u16string_view kContinuation = u"\\\r\n  ";

std::u16string Escape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

void AppendHex(std::u16string& out, std::uint32_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    out.push_back(kDigits[(value >> shift) & 0xF]);
}

// The string a REG_SZ holds, when it can be written quoted and read back to
// the same bytes: one terminated string with no NUL inside and no line break
// (which would end the line in the script).
std::optional<std::u16string> PlainString(const std::vector<std::uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i < data.size(); i += 2)
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  if (text.back() != u'\0') return std::nullopt;
  text.pop_back();
  if (text.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos)
    return std::nullopt;
  return text;
}

void AppendBytes(std::u16string& line, std::size_t column, const std::vector<std::uint8_t>& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    AppendHex(line, data[i], 2);
    if (i + 1 == data.size()) break;
    line.push_back(u',');
    column += 3;
    if (column >= kWrapColumn) {
      line += kContinuation;
      column = 2;
    }
  }
}

void AppendLittleEndian(std::string& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
}

win::Error ReadTree(const Key& key, std::vector<RegFileKey>& out) {
  auto values = key.Values();
  if (!values) return values.error();
  out.push_back(RegFileKey{key.path(), std::move(*values)});
  auto names = key.SubKeyNames();
  if (!names) return names.error();
  for (const auto& name : *names) {
    auto child = key.OpenSubKey(name, KEY_READ);
    if (!child) return child.error();
    if (win::Error err = ReadTree(*child, out)) return err;
  }
  return win::ERROR_SUCCESS;
}

}  // namespace

std::u16string FormatRegValue(std::u16string_view name, const Value& value) {
  std::u16string line = name.empty() ? u"@=" : u"\"" + Escape(name) + u"\"=";
  if (value.type == REG_SZ) {
    if (auto text = PlainString(value.data)) return line + u"\"" + Escape(*text) + u"\"";
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                           static_cast<std::uint32_t>(value.data[3]) << 24;
    line += u"dword:";
    AppendHex(line, number, 8);
    return line;
  }
  if (value.type == REG_BINARY) {
    line += u"hex:";
  } else {
    line += u"hex(";
    std::u16string digits;
    AppendHex(digits, value.type, 8);
    std::size_t first = digits.find_first_not_of(u'0');
    line += first == std::u16string::npos ? u"0" : digits.substr(first);
    line += u"):";
  }
  AppendBytes(line, line.size(), value.data);
  return line;
}

std::string FormatRegFile(const std::vector<RegFileKey>& keys) {
  std::u16string text(kRegFileHeader);
  text += u"\r\n\r\n";
  for (const auto& key : keys) {
    text += u"[";
    text += kMachineRootName;
    if (!key.path.empty()) text += u"\\" + key.path;
    text += u"]\r\n";
    for (const auto& named : key.values) text += FormatRegValue(named.name, named.value) + u"\r\n";
    text += u"\r\n";
  }
  std::string bytes = "\xFF\xFE";
  AppendLittleEndian(bytes, text);
  return bytes;
}

Result<std::vector<RegFileKey>, win::Error> ReadKeyTree(std::u16string_view path) {
  using R = Result<std::vector<RegFileKey>, win::Error>;
  auto key = Key::Open(path, KEY_READ);
  if (!key) return R::Fail(key.error());
  std::vector<RegFileKey> keys;
  if (win::Error err = ReadTree(*key, keys)) return R::Fail(err);
  return keys;
}

Result<std::string, win::Error> ExportRegFile(std::u16string_view path) {
  auto keys = ReadKeyTree(path);
  if (!keys) return Result<std::string, win::Error>::Fail(keys.error());
  return FormatRegFile(*keys);
}

ImportResult ImportRegFile(std::string_view bytes, unsigned ansiCodePage) {
  ImportResult result;
  auto script = ParseRegFile(bytes, ansiCodePage);
  if (!script) {
    result.status = ImportResult::Status::kBadFile;
    result.badFile = script.error();
    return result;
  }
  BatchResult applied = ApplyBatch(script->changes);
  if (applied.error) {
    result.status = ImportResult::Status::kRegistryError;
    result.error = applied.error;
    result.line = applied.failed < script->lines.size() ? script->lines[applied.failed] : 0;
  }
  return result;
}

}  // namespace pvn::reg
