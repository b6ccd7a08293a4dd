#pragma once
// Where Portvane keeps its settings, below HKEY_LOCAL_MACHINE.
#include <string_view>

namespace pvn::settings {

// The console's and the agent's key; installation creates it with AppPath.
inline constexpr std::u16string_view kAppKeyPath = u"SOFTWARE\\KVR\\Usb Portvane";
// The drivers' own service keys, which they read once per load.
inline constexpr std::u16string_view kPortGateKeyPath =
    u"SYSTEM\\CurrentControlSet\\Services\\PvnPortGate";
inline constexpr std::u16string_view kHidGateKeyPath =
    u"SYSTEM\\CurrentControlSet\\Services\\PvnHidGate";

inline constexpr std::u16string_view kAppPathValue = u"AppPath";
inline constexpr std::u16string_view kPasswordValue = u"Password";
inline constexpr std::u16string_view kRemoteValue = u"Remote";
inline constexpr std::u16string_view kImpExpCfgValue = u"ImpExpCfg";
inline constexpr std::u16string_view kPortEnableValue = u"Port Enable";
inline constexpr std::u16string_view kPortWhitelistValue = u"Port Whitelist";
inline constexpr std::u16string_view kStorEnableValue = u"Stor Enable";
inline constexpr std::u16string_view kStorWhitelistValue = u"Stor Whitelist";
inline constexpr std::u16string_view kKeybMousEnableValue = u"KeybMous Enable";
inline constexpr std::u16string_view kKeybMousWhitelistValue = u"KeybMous Whitelist";

}  // namespace pvn::settings
