#pragma once
// Numbers the console's documents use for commands, messages and message-box
// styles. They keep their Windows values, so that identifiers read the same
// in the code as in the documents.
#include <cstdint>

namespace pvn::ui {

// Command identifiers of the standard buttons and message-box results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDHELP = 9;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
// The property sheet's Apply button and its tab control.
inline constexpr int ID_APPLY_NOW = 0x3021;
inline constexpr int ID_TAB_CONTROL = 0x3020;

// Message-box style bits: buttons and icon.
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_OKCANCEL = 0x1;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_ICONERROR = 0x10;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr std::uint32_t MB_TYPEMASK = 0xF;
inline constexpr std::uint32_t MB_ICONMASK = 0xF0;

// Window messages the console handles.
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_HELP = 0x0053;
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint32_t WM_TIMER = 0x0113;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_DEVICECHANGE = 0x0219;
inline constexpr std::uint32_t WM_USER = 0x0400;

// Virtual keys.
inline constexpr std::uint32_t VK_PRIOR = 0x21;  // Page Up
inline constexpr std::uint32_t VK_NEXT = 0x22;   // Page Down
inline constexpr std::uint32_t VK_F1 = 0x70;

}  // namespace pvn::ui
