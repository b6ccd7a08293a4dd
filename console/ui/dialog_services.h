#pragma once
// Message boxes, the common file dialogs and the folder browser behind one
// interface. The program shows real modal dialogs (QtDialogServices); tests
// and the picture renderer answer them from a script without any modal loop
// (ScriptedDialogServices).
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace pvn::ui {

// Flags of the file dialogs that the console passes.
inline constexpr std::uint32_t OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr std::uint32_t OFN_HIDEREADONLY = 0x00000004;
inline constexpr std::uint32_t OFN_NOCHANGEDIR = 0x00000008;
inline constexpr std::uint32_t OFN_FILEMUSTEXIST = 0x00001000;
// Flags of the folder browser.
inline constexpr std::uint32_t BIF_RETURNONLYFSDIRS = 0x00000001;
inline constexpr std::uint32_t BIF_EDITBOX = 0x00000010;

struct FileDialogRequest {
  QWidget* owner = nullptr;
  QString filter;  // "Name (*.ext)|*.ext||"
  QString defaultExtension;
  QString fileName;  // proposed name
  QString title;
  QString initialFolder;  // a Windows path
  std::uint32_t flags = 0;
};

struct FolderRequest {
  QWidget* owner = nullptr;
  QString text;  // the instruction shown above the tree
  std::uint32_t flags = 0;
};

class DialogServices {
 public:
  virtual ~DialogServices() = default;
  // MessageBoxW: `type` holds the MB_ buttons and icon; returns IDOK, IDYES,
  // IDNO or IDCANCEL.
  virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                         std::uint32_t type) = 0;
  // GetOpenFileNameW / GetSaveFileNameW: the chosen Windows path, or nothing
  // when the user cancelled.
  virtual std::optional<QString> GetOpenFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> GetSaveFileName(const FileDialogRequest& request) = 0;
  // SHBrowseForFolderW followed by SHGetPathFromIDListW: a file-system
  // folder as a Windows path, or nothing.
  virtual std::optional<QString> BrowseForFolder(const FolderRequest& request) = 0;
};

// Real dialogs on screen.
class QtDialogServices : public DialogServices {
 public:
  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 std::uint32_t type) override;
  std::optional<QString> GetOpenFileName(const FileDialogRequest& request) override;
  std::optional<QString> GetSaveFileName(const FileDialogRequest& request) override;
  std::optional<QString> BrowseForFolder(const FolderRequest& request) override;
};

}  // namespace pvn::ui
