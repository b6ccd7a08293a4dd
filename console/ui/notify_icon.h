#pragma once
// The notification-area icon: added, modified (tip, balloon) and deleted as
// with Shell_NotifyIconW. Mouse messages on the icon are handed to a sink as
// the window's callback message would carry them (WM_LBUTTONDOWN, ...), and
// the owner shows its popup menu through TrackPopupMenu.
#include <QIcon>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>

#include "console/ui/menu_template.h"

namespace pvn::ui {

inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

inline constexpr std::uint32_t NIF_MESSAGE = 0x01;
inline constexpr std::uint32_t NIF_ICON = 0x02;
inline constexpr std::uint32_t NIF_TIP = 0x04;
inline constexpr std::uint32_t NIF_INFO = 0x10;

inline constexpr std::uint32_t NIIF_NONE = 0x0;
inline constexpr std::uint32_t NIIF_INFO = 0x1;

struct NotifyIconData {
  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::uint32_t callbackMessage = 0;
  QIcon icon;
  QString tip;
  QString info;       // balloon text
  QString infoTitle;  // balloon title
  std::uint32_t timeout = 0;
  std::uint32_t infoFlags = NIIF_NONE;
};

class NotifyIcon {
 public:
  using MouseSink = std::function<void(std::uint32_t mouseMessage)>;

  virtual ~NotifyIcon() = default;
  // Shell_NotifyIconW.
  virtual bool Notify(std::uint32_t message, const NotifyIconData& data) = 0;
  // TrackPopupMenu at `pos` (screen coordinates); the chosen item's command
  // goes to `target`.
  virtual void TrackPopupMenu(const MenuTemplate& menu, const QPoint& pos,
                              CommandTarget* target) = 0;
  void SetMouseSink(MouseSink sink) { sink_ = std::move(sink); }

 protected:
  void Deliver(std::uint32_t mouseMessage) {
    if (sink_) sink_(mouseMessage);
  }

 private:
  MouseSink sink_;
};

// The icon in the desktop's system tray.
class QtNotifyIcon : public NotifyIcon {
 public:
  QtNotifyIcon();
  ~QtNotifyIcon() override;
  bool Notify(std::uint32_t message, const NotifyIconData& data) override;
  void TrackPopupMenu(const MenuTemplate& menu, const QPoint& pos, CommandTarget* target) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pvn::ui
