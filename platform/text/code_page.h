#pragma once
// The system ANSI code page and the conversions between it and UTF-16.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pvn::text {

inline constexpr unsigned kDefaultAnsiCodePage = 1252;

// Value ACP of HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage, or 1252
// when it is missing, unreadable or names a code page the system lacks.
unsigned AnsiCodePage();

// WideCharToMultiByte: characters the code page lacks become '?'.
std::string WideToAnsi(std::u16string_view text, unsigned codePage = AnsiCodePage());
// The same, but nullopt when any character cannot be represented.
std::optional<std::string> WideToAnsiExact(std::u16string_view text,
                                           unsigned codePage = AnsiCodePage());
// MultiByteToWideChar: bytes the code page does not define become U+FFFD.
std::u16string AnsiToWide(std::string_view text, unsigned codePage = AnsiCodePage());

// The C library's multibyte-to-wide conversion in the default "C" locale, as
// the Windows C library performs it: every byte becomes the code unit of the
// same value. Converts up to the first NUL or `max` units, whichever comes
// first; the terminator is written only when there is room. Returns the
// number of units written without the terminator.
std::size_t MultiByteToWideDefaultLocale(const char* source, char16_t* target, std::size_t max);

}  // namespace pvn::text
