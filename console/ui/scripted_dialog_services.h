#pragma once
// Dialog services that answer from a script and record every request, for
// tests and for rendering pictures: no window opens and no modal loop runs.
#include <deque>
#include <functional>
#include <vector>

#include "console/ui/dialog_services.h"

namespace pvn::ui {

class ScriptedDialogServices : public DialogServices {
 public:
  struct MessageBoxCall {
    QString text;
    QString caption;
    std::uint32_t type = 0;
    bool owned = false;
  };
  enum class FileKind { kOpen, kSave };
  struct FileCall {
    FileKind kind;
    FileDialogRequest request;
  };

  // Answers for the next message boxes, in order. Without a scripted answer
  // a box returns its first button: IDOK, or IDYES for Yes/No.
  void AnswerMessageBox(int result) { boxAnswers_.push_back(result); }
  // A path, or nothing for a cancelled dialog.
  void AnswerFile(std::optional<QString> path) {
    fileAnswers_.push_back({path.has_value(), path.value_or(QString())});
  }
  void AnswerFolder(std::optional<QString> path) {
    folderAnswers_.push_back({path.has_value(), path.value_or(QString())});
  }

  const std::vector<MessageBoxCall>& MessageBoxes() const { return boxes_; }
  const std::vector<FileCall>& FileDialogs() const { return files_; }
  const std::vector<FolderRequest>& FolderBrowsers() const { return folders_; }
  void Clear() { boxes_.clear(), files_.clear(), folders_.clear(); }

  // Called when a message box is requested, before it is answered.
  std::function<void(const MessageBoxCall&)> onMessageBox;

  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 std::uint32_t type) override;
  std::optional<QString> GetOpenFileName(const FileDialogRequest& request) override;
  std::optional<QString> GetSaveFileName(const FileDialogRequest& request) override;
  std::optional<QString> BrowseForFolder(const FolderRequest& request) override;

 private:
  std::optional<QString> NextFile(FileKind kind, const FileDialogRequest& request);

  std::deque<int> boxAnswers_;
  struct PathAnswer {
    bool chosen;
    QString path;
  };
  static std::optional<QString> Take(std::deque<PathAnswer>& answers);

  std::deque<PathAnswer> fileAnswers_;
  std::deque<PathAnswer> folderAnswers_;
  std::vector<MessageBoxCall> boxes_;
  std::vector<FileCall> files_;
  std::vector<FolderRequest> folders_;
};

}  // namespace pvn::ui
