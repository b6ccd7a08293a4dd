// Reading registry scripts. The whole file is decoded to UTF-16 first, then
// read line by line; every change is collected with its line before anything
// is applied, so that a bad line anywhere refuses the whole script.
#include <optional>

#include "platform/base/unicode.h"
#include "platform/registry/reg_file.h"
#include "platform/text/code_page.h"

namespace pvn::reg {

namespace {

using ParseResult = Result<RegScript, RegFileError>;

std::u16string Decode(std::string_view bytes, unsigned codePage) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return text;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return Utf8ToUtf16(bytes.substr(3));
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::u16string(bytes.begin(), bytes.end());
  return text::AnsiToWide(bytes, codePage);
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  while (true) {
    std::size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
    if (text.empty()) break;  // a line end closes the last line; it opens no new one
  }
  return lines;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Parses 1 to `maxDigits` hex digits making up all of `s`.
std::optional<std::uint32_t> ParseHex(std::u16string_view s, std::size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  std::uint32_t value = 0;
  for (char16_t c : s) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(d);
  }
  return value;
}

std::vector<std::uint8_t> Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

class Parser {
 public:
  Parser(std::u16string_view text, unsigned codePage)
      : lines_(SplitLines(text)), codePage_(codePage) {}

  ParseResult Run() {
    std::u16string_view header = TrimRight(lines_[0]);
    if (header == kRegFileHeader) {
      script_.regedit4 = false;
    } else if (header == kRegFileHeader4) {
      script_.regedit4 = true;
    } else {
      return Fail(1,
                  "not a registry script (the first line must be \"Windows Registry Editor "
                  "Version 5.00\" or \"REGEDIT4\")");
    }
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      std::u16string_view line = TrimLeft(lines_[index_]);
      if (line.empty() || line.front() == u';') continue;
      bool ok = line.front() == u'['                           ? Section(line)
                : line.front() == u'"' || line.front() == u'@' ? ValueLine(line)
                                                               : Error("unexpected text");
      if (!ok) return ParseResult::Fail(error_);
    }
    return std::move(script_);
  }

 private:
  std::size_t LineNumber() const { return index_ + 1; }

  static ParseResult Fail(std::size_t line, std::string reason) {
    return ParseResult::Fail(RegFileError{line, std::move(reason)});
  }

  bool Error(std::string reason) {
    error_ = RegFileError{LineNumber(), std::move(reason)};
    return false;
  }

  void Add(Change change, std::size_t line) {
    script_.changes.push_back(std::move(change));
    script_.lines.push_back(line);
  }

  // "[HKEY_LOCAL_MACHINE\path]" or "[-HKEY_LOCAL_MACHINE\path]".
  bool Section(std::u16string_view line) {
    line = TrimRight(line);
    if (line.back() != u']') return Error("a key name must end with ']'");
    std::u16string_view name = line.substr(1, line.size() - 2);
    bool remove = !name.empty() && name.front() == u'-';
    if (remove) name.remove_prefix(1);

    std::size_t slash = name.find(u'\\');
    std::u16string_view root = name.substr(0, slash);
    std::u16string_view path =
        slash == std::u16string_view::npos ? std::u16string_view() : name.substr(slash + 1);
    if (!EqualsNoCase(root, kMachineRootName) && !EqualsNoCase(root, u"HKLM")) {
      for (std::u16string_view other : {u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
                                        u"HKEY_CURRENT_CONFIG", u"HKCU", u"HKCR", u"HKU", u"HKCC"})
        if (EqualsNoCase(root, other))
          return Error("only keys of HKEY_LOCAL_MACHINE can be imported");
      return Error("invalid key name");
    }
    if (!SplitKeyPath(path)) return Error("invalid key name");
    if (path.ends_with(u'\\')) path.remove_suffix(1);

    if (remove) {
      if (path.empty()) return Error("HKEY_LOCAL_MACHINE itself cannot be deleted");
      Add(Change::DeleteTree(std::u16string(path)), LineNumber());
      key_.reset();
    } else {
      Add(Change::CreateKey(std::u16string(path)), LineNumber());
      key_ = std::u16string(path);
    }
    return true;
  }

  // A quoted string starting at `s[0]` == '"', with \\ and \" escapes.
  // Leaves `s` after the closing quote.
  std::optional<std::u16string> Quoted(std::u16string_view& s) {
    std::u16string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
      char16_t c = s[i];
      if (c == u'"') {
        s.remove_prefix(i + 1);
        return out;
      }
      if (c == u'\\') {
        if (i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
          out.push_back(s[++i]);
          continue;
        }
        Error("invalid escape in a quoted name or string (only \\\\ and \\\" are allowed)");
        return std::nullopt;
      }
      out.push_back(c);
    }
    Error("missing closing '\"'");
    return std::nullopt;
  }

  bool ValueLine(std::u16string_view line) {
    std::size_t start = LineNumber();  // a hex list may run on over further lines
    std::u16string name;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else {
      auto quoted = Quoted(line);
      if (!quoted) return false;
      name = std::move(*quoted);
      if (name.size() > kMaxValueNameLength) return Error("value name too long");
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != u'=') return Error("'=' expected after the value name");
    line = TrimLeft(line.substr(1));
    if (!key_) return Error("a value must follow the key it belongs to");

    if (TrimRight(line) == u"-") {
      Add(Change::DeleteValue(*key_, std::move(name)), start);
      return true;
    }
    Value value;
    if (!line.empty() && line.front() == u'"') {
      auto text = Quoted(line);
      if (!text) return false;
      if (!TrimRight(line).empty()) return Error("unexpected text after the closing '\"'");
      text->push_back(u'\0');
      value = Value{REG_SZ, Bytes(*text)};
    } else if (StartsWithNoCase(line, u"dword:")) {
      auto number = ParseHex(TrimRight(line.substr(6)), 8);
      if (!number) return Error("a dword needs 1 to 8 hex digits");
      value.type = REG_DWORD;
      for (int shift = 0; shift < 32; shift += 8)
        value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    } else if (StartsWithNoCase(line, u"hex")) {
      if (!HexValue(line.substr(3), &value)) return false;
    } else {
      return Error("unknown value type");
    }
    Add(Change::SetValue(*key_, std::move(name), std::move(value)), start);
    return true;
  }

  // "hex:" or "hex(N):" followed by bytes, possibly continued over lines
  // ending in '\'. `s` starts after "hex".
  bool HexValue(std::u16string_view s, Value* value) {
    value->type = REG_BINARY;
    if (!s.empty() && s.front() == u'(') {
      std::size_t close = s.find(u')');
      if (close == std::u16string_view::npos) return Error("missing ')' after the value type");
      auto type = ParseHex(s.substr(1, close - 1), 8);
      if (!type) return Error("the value type in hex(N) must be 1 to 8 hex digits");
      value->type = *type;
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != u':') return Error("':' expected after hex");
    s.remove_prefix(1);

    bool byteExpected = true;
    for (;;) {
      s = TrimRight(s);
      bool continued = !s.empty() && s.back() == u'\\';
      if (continued) s.remove_suffix(1);
      for (std::size_t i = 0; i < s.size();) {
        char16_t c = s[i];
        if (IsBlank(c)) {
          ++i;
        } else if (c == u',') {
          if (byteExpected) return Error("a byte is missing before ','");
          byteExpected = true;
          ++i;
        } else if (HexDigit(c) >= 0) {
          if (!byteExpected) return Error("',' expected between bytes");
          std::size_t n = 1;
          while (i + n < s.size() && HexDigit(s[i + n]) >= 0) ++n;
          auto byte = ParseHex(s.substr(i, n), 2);
          if (!byte) return Error("a byte must be 1 or 2 hex digits");
          value->data.push_back(static_cast<std::uint8_t>(*byte));
          byteExpected = false;
          i += n;
        } else {
          return Error("invalid character in hex data");
        }
      }
      if (!continued) break;
      if (index_ + 1 >= lines_.size()) return Error("the file ends inside a value");
      ++index_;
      s = TrimLeft(lines_[index_]);
      if (s.empty()) return Error("hex data expected after a line ending in '\\'");
    }
    if (script_.regedit4 &&
        (value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ)) {
      // REGEDIT4 keeps these as single-byte text; the registry holds UTF-16.
      std::string narrow(value->data.begin(), value->data.end());
      value->data = Bytes(text::AnsiToWide(narrow, codePage_));
    }
    return true;
  }

  std::vector<std::u16string_view> lines_;
  unsigned codePage_;
  std::size_t index_ = 0;
  std::optional<std::u16string> key_;
  RegScript script_;
  RegFileError error_;
};

}  // namespace

Result<RegScript, RegFileError> ParseRegFile(std::string_view bytes, unsigned ansiCodePage) {
  std::u16string text = Decode(bytes, ansiCodePage);
  return Parser(text, ansiCodePage).Run();
}

}  // namespace pvn::reg
