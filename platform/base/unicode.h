#pragma once
// UTF-8 / UTF-16 conversion and the case-insensitive comparison that Windows
// applies to file names and registry names. Wide text is char16_t everywhere.
#include <cstddef>
#include <string>
#include <string_view>

namespace pvn {

// Invalid sequences become U+FFFD; the conversions never fail.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Upper-cases one code unit for name comparison: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters. Other code units stay as they are.
char16_t FoldCase(char16_t c);
std::u16string FoldCase(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Length of a NUL-terminated wide string, at most `max` units.
std::size_t WideLength(const char16_t* text, std::size_t max = std::u16string_view::npos);

}  // namespace pvn
