#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "console/ui/dialog_services.h"
#include "console/ui/win_constants.h"
#include "platform/fs/windows_path.h"

namespace pvn::ui {

namespace {

std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}

QString HostFolder(const QString& windowsPath) {
  if (windowsPath.isEmpty()) return QString();
  auto host = fs::ToHostPath(ToU16(windowsPath));
  return host ? QString::fromStdString(host->string()) : QString();
}

QString WindowsPathOf(const QString& hostPath) {
  const std::u16string path = fs::ToWindowsPath(hostPath.toStdString());
  return QString::fromUtf16(path.data(), static_cast<qsizetype>(path.size()));
}

// "Name (*.a)|*.a|All (*.*)|*.*||" gives the descriptions, which already
// carry their patterns.
QString QtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList names;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (!parts[i].isEmpty()) names << parts[i];
  }
  return names.join(";;");
}

std::unique_ptr<QFileDialog> MakeFileDialog(const FileDialogRequest& r) {
  auto dialog = std::make_unique<QFileDialog>(r.owner, r.title, HostFolder(r.initialFolder),
                                              QtFilter(r.filter));
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setDefaultSuffix(r.defaultExtension);
  if (!r.fileName.isEmpty()) dialog->selectFile(r.fileName);
  return dialog;
}

}  // namespace

int QtDialogServices::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                 std::uint32_t type) {
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONEXCLAMATION:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
  }
  switch (type & MB_TYPEMASK) {
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
  }
  box.setWindowModality(Qt::WindowModal);  // blocks its owner only, as the dialogs do
  switch (box.exec()) {
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

std::optional<QString> QtDialogServices::GetOpenFileName(const FileDialogRequest& request) {
  auto dialog = MakeFileDialog(request);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode((request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                          : QFileDialog::AnyFile);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
  return WindowsPathOf(dialog->selectedFiles().first());
}

std::optional<QString> QtDialogServices::GetSaveFileName(const FileDialogRequest& request) {
  auto dialog = MakeFileDialog(request);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, !(request.flags & OFN_OVERWRITEPROMPT));
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
  return WindowsPathOf(dialog->selectedFiles().first());
}

std::optional<QString> QtDialogServices::BrowseForFolder(const FolderRequest& request) {
  const QString folder = QFileDialog::getExistingDirectory(
      request.owner, request.text, HostFolder(QStringLiteral("C:\\")), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return WindowsPathOf(folder);
}

}  // namespace pvn::ui
