#include "console/ui/recording_notify_icon.h"

namespace pvn::ui {

bool RecordingNotifyIcon::Notify(std::uint32_t message, const NotifyIconData& data) {
  calls_.push_back({message, data});
  if (message == NIM_ADD) {
    if (added_) return false;
    added_ = true;
    return true;
  }
  if (message == NIM_DELETE) {
    const bool was = added_;
    added_ = false;
    return was;
  }
  return added_;
}

void RecordingNotifyIcon::TrackPopupMenu(const MenuTemplate& menu, const QPoint&,
                                         CommandTarget* target) {
  menu_ = menu;
  menuTarget_ = target;
}

std::vector<QString> RecordingNotifyIcon::Balloons() const {
  std::vector<QString> texts;
  for (const Call& call : calls_) {
    if (call.message == NIM_MODIFY && (call.data.flags & NIF_INFO)) texts.push_back(call.data.info);
  }
  return texts;
}

bool RecordingNotifyIcon::ChooseMenuItem(int id) {
  if (!menuTarget_) return false;
  for (const MenuItemTemplate& item : menu_) {
    if (!item.separator && !item.grayed && item.id == id) {
      CommandTarget* target = menuTarget_;
      menuTarget_ = nullptr;
      target->OnCommand(id);
      return true;
    }
  }
  return false;
}

}  // namespace pvn::ui
