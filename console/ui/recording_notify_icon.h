#pragma once
// A notification-area icon that records what it is told, for tests and the
// picture renderer. Clicks and menu choices are made by calling Click and
// ChooseMenuItem, as a user's mouse would.
#include <vector>

#include "console/ui/notify_icon.h"

namespace pvn::ui {

class RecordingNotifyIcon : public NotifyIcon {
 public:
  struct Call {
    std::uint32_t message;
    NotifyIconData data;
  };

  bool Notify(std::uint32_t message, const NotifyIconData& data) override;
  void TrackPopupMenu(const MenuTemplate& menu, const QPoint& pos, CommandTarget* target) override;

  const std::vector<Call>& Calls() const { return calls_; }
  // The balloon texts shown so far, in order.
  std::vector<QString> Balloons() const;
  bool IsAdded() const { return added_; }
  void Clear() { calls_.clear(); }

  // A mouse message on the icon (WM_LBUTTONDOWN, WM_RBUTTONUP, ...).
  void Click(std::uint32_t mouseMessage) { Deliver(mouseMessage); }
  bool MenuOpen() const { return menuTarget_ != nullptr; }
  const MenuTemplate& LastMenu() const { return menu_; }
  // Picks an enabled item of the open menu; false when there is none with
  // that command.
  bool ChooseMenuItem(int id);

 private:
  std::vector<Call> calls_;
  bool added_ = false;
  MenuTemplate menu_;
  CommandTarget* menuTarget_ = nullptr;
};

}  // namespace pvn::ui
