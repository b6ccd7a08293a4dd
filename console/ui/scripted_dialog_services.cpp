#include "console/ui/scripted_dialog_services.h"

#include "console/ui/win_constants.h"

namespace pvn::ui {

int ScriptedDialogServices::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                       std::uint32_t type) {
  boxes_.push_back({text, caption, type, owner != nullptr});
  if (onMessageBox) onMessageBox(boxes_.back());
  if (!boxAnswers_.empty()) {
    const int answer = boxAnswers_.front();
    boxAnswers_.pop_front();
    return answer;
  }
  return (type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

std::optional<QString> ScriptedDialogServices::NextFile(FileKind kind,
                                                        const FileDialogRequest& request) {
  files_.push_back({kind, request});
  return Take(fileAnswers_);
}

std::optional<QString> ScriptedDialogServices::Take(std::deque<PathAnswer>& answers) {
  if (answers.empty()) return std::nullopt;
  const PathAnswer answer = answers.front();
  answers.pop_front();
  if (!answer.chosen) return std::nullopt;
  return answer.path;
}

std::optional<QString> ScriptedDialogServices::GetOpenFileName(const FileDialogRequest& request) {
  return NextFile(FileKind::kOpen, request);
}

std::optional<QString> ScriptedDialogServices::GetSaveFileName(const FileDialogRequest& request) {
  return NextFile(FileKind::kSave, request);
}

std::optional<QString> ScriptedDialogServices::BrowseForFolder(const FolderRequest& request) {
  folders_.push_back(request);
  return Take(folderAnswers_);
}

}  // namespace pvn::ui
