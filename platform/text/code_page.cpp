#include "platform/text/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/base/unicode.h"
#include "platform/registry/key.h"

namespace pvn::text {

namespace {

std::string IconvName(unsigned codePage) {
  if (codePage == 65001) return "UTF-8";
  if (codePage == 20127) return "ASCII";
  if (codePage == 28591) return "ISO-8859-1";
  return "CP" + std::to_string(codePage);
}

// One iconv conversion descriptor, closed on scope exit.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

bool CodePageKnown(unsigned codePage) { return Converter("UTF-16LE", IconvName(codePage)).ok(); }

// Converts one unit (or surrogate pair) at a time, so that a character the
// target lacks can be replaced without losing the rest.
std::optional<std::string> Encode(std::u16string_view text, unsigned codePage, bool exact) {
  if (codePage == 65001) return Utf16ToUtf8(text);
  Converter conv(IconvName(codePage), "UTF-16LE");
  if (!conv.ok()) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      units = 2;
    char in[4];
    for (std::size_t k = 0; k < units; ++k) {
      in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
    }
    char buf[16];
    char* inPtr = in;
    char* outPtr = buf;
    std::size_t inLeft = units * 2, outLeft = sizeof buf;
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(conv.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      if (exact) return std::nullopt;
      out += '?';
    } else {
      out.append(buf, static_cast<std::size_t>(outPtr - buf));
    }
    i += units;
  }
  return out;
}

}  // namespace

unsigned AnsiCodePage() {
  auto key = reg::Key::Open(u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", reg::KEY_READ);
  if (!key) return kDefaultAnsiCodePage;
  auto value = key->GetValue(u"ACP");
  if (!value || (value->type != reg::REG_SZ && value->type != reg::REG_EXPAND_SZ))
    return kDefaultAnsiCodePage;
  unsigned codePage = 0;
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8));
    if (c == 0) break;
    if (c < u'0' || c > u'9' || codePage > 100000) return kDefaultAnsiCodePage;
    codePage = codePage * 10 + (c - u'0');
  }
  return codePage && CodePageKnown(codePage) ? codePage : kDefaultAnsiCodePage;
}

std::string WideToAnsi(std::u16string_view text, unsigned codePage) {
  auto out = Encode(text, codePage, false);
  return out ? *out : std::string();
}

std::optional<std::string> WideToAnsiExact(std::u16string_view text, unsigned codePage) {
  return Encode(text, codePage, true);
}

std::u16string AnsiToWide(std::string_view text, unsigned codePage) {
  if (codePage == 65001) return Utf8ToUtf16(text);
  Converter conv("UTF-16LE", IconvName(codePage));
  std::u16string out;
  if (!conv.ok()) return out;
  std::size_t i = 0;
  while (i < text.size()) {
    // Double-byte code pages need up to two bytes for one character.
    bool done = false;
    for (std::size_t len = 1; len <= 2 && i + len <= text.size() && !done; ++len) {
      char in[2] = {text[i], len == 2 ? text[i + 1] : '\0'};
      char buf[8];
      char* inPtr = in;
      char* outPtr = buf;
      std::size_t inLeft = len, outLeft = sizeof buf;
      iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
      if (iconv(conv.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
          inLeft == 0) {
        for (char* p = buf; p + 1 < outPtr; p += 2)
          out += static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                       (static_cast<unsigned char>(p[1]) << 8));
        i += len;
        done = true;
      } else if (errno != EINVAL) {
        break;  // an invalid byte, not an incomplete character
      }
    }
    if (!done) {
      out += char16_t{0xFFFD};
      ++i;
    }
  }
  return out;
}

std::size_t MultiByteToWideDefaultLocale(const char* source, char16_t* target, std::size_t max) {
  std::size_t n = 0;
  while (n < max && source[n] != '\0') {
    target[n] = static_cast<unsigned char>(source[n]);
    ++n;
  }
  if (n < max) target[n] = 0;
  return n;
}

}  // namespace pvn::text
