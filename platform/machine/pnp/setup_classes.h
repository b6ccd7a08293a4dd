#pragma once
// The setup classes the machine's devices belong to, and the device
// interfaces their function drivers register once a device has started.
#include <string>
#include <string_view>

namespace pvn::machine {

inline constexpr std::string_view kClassUsb = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr std::string_view kClassKeyboard = "{4D36E96B-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassMouse = "{4D36E96F-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassHid = "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}";
inline constexpr std::string_view kClassDiskDrive = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassSystem = "{4D36E97D-E325-11CE-BFC1-08002BE10318}";

inline constexpr std::string_view kInterfaceUsbDevice = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
inline constexpr std::string_view kInterfaceUsbHub = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
inline constexpr std::string_view kInterfaceUsbHostController =
    "{3abf6f2d-71c4-462a-8a92-1e6861e6af27}";
inline constexpr std::string_view kInterfaceDisk = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
inline constexpr std::string_view kInterfaceKeyboard = "{884b96c3-56ef-11d1-bc8c-00a0c91405dd}";
inline constexpr std::string_view kInterfaceMouse = "{378de44c-56ef-11d1-882d-00a0c91ed1d1}";
inline constexpr std::string_view kInterfaceHid = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::string UpperAscii(std::string_view text);
// "USB", "Keyboard", ... for the classes above; empty otherwise.
std::string ClassName(std::string_view classGuid);

}  // namespace pvn::machine
