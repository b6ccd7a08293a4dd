#pragma once
// Top-level windows that other programs of the same machine can find.
//
// A program announces each of its top-level windows with its window class and
// title; any program running on the same machine prefix can then walk them
// with FindWindowExW and read their titles with GetWindowTextW, as it could on
// one Windows desktop. The announcements live in <prefix>/run/desktop/ and
// vanish with the window, or with the process when it dies without cleaning
// up (a dead owner's entries are ignored and swept by the next reader).
//
//   auto window = desktop::TopLevelWindow::Create(u"#32770", u"Sample");
//   for (desktop::Hwnd w = desktop::FindWindowExW(0, 0, u"#32770", nullptr); w;
//        w = desktop::FindWindowExW(0, w, u"#32770", nullptr)) { ... }
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"

namespace pvn::desktop {

// A window handle: the owner's process ID in the high half, a per-process
// sequence number in the low half. 0 is no window.
using Hwnd = std::uint64_t;

// One announced top-level window; the announcement ends with the object.
class TopLevelWindow {
 public:
  TopLevelWindow() = default;
  TopLevelWindow(TopLevelWindow&& other) noexcept;
  TopLevelWindow& operator=(TopLevelWindow&& other) noexcept;
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;
  ~TopLevelWindow();

  static Result<TopLevelWindow, win::Error> Create(std::u16string_view className,
                                                   std::u16string_view title);

  Hwnd handle() const { return hwnd_; }
  // SetWindowTextW: other programs see the new title from their next call on.
  win::Error SetTitle(std::u16string_view title);

 private:
  win::Error Publish() const;
  void Destroy();

  Hwnd hwnd_ = 0;
  std::u16string className_;
  std::u16string title_;
};

// FindWindowExW for top-level windows: `parent` must be 0 (the desktop). The
// search starts after `childAfter` (0: from the first window) in a fixed order
// and returns the next window whose class and title match; a null class or
// title matches any. Both are compared without regard to case, as Windows
// does. Returns 0 when there is none.
Hwnd FindWindowExW(Hwnd parent, Hwnd childAfter, const char16_t* className,
                   const char16_t* windowName);

// GetWindowTextW: copies at most maxCount - 1 units of the title and a
// terminating zero into `buffer`; returns the number of units copied, 0 for a
// window that does not exist or a maxCount below 1.
int GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount);

// IsWindow: the window exists and its owner is alive.
bool IsWindow(Hwnd window);

}  // namespace pvn::desktop
