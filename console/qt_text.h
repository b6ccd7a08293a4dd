#pragma once
// Wide text between Qt and the platform layer: both are UTF-16.
#include <QString>
#include <string>
#include <string_view>

namespace pvn::console {

inline std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

inline QString FromU16(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace pvn::console
