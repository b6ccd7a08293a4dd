#pragma once
// A dialog built from a template: controls by identifier, commands routed as
// a dialog manager routes them, and a modal run that ends only by EndDialog.
//
// The modal run has its own event loop: hiding the window does not end it,
// which the main window relies on when it hides into the notification area.
// While it exists the window is announced on the machine's desktop with the
// dialog window class, so other programs can find it by its title.
#include <QDialog>
#include <QEventLoop>
#include <QMenu>
#include <memory>
#include <optional>

#include "console/ui/controls.h"
#include "console/ui/dialog_template.h"
#include "console/ui/win_constants.h"
#include "platform/desktop/top_level_windows.h"

namespace pvn::ui {

// The window class of dialogs, as FindWindowExW sees it.
inline constexpr char16_t kDialogClass[] = u"#32770";

class Dialog : public QDialog, public CommandTarget {
 public:
  // `dialog` may be null for a window that lays itself out.
  explicit Dialog(const DialogTemplate* dialog, QWidget* owner = nullptr);
  ~Dialog() override;

  // Runs the dialog modally and returns the value given to EndDialog.
  int DoModal();
  // Ends the modal run with `result`; the window is destroyed afterwards.
  void EndDialog(int result);
  bool IsRunning() const { return loop_ != nullptr; }

  QWidget* Item(int id) const { return controls_.Item(id); }
  ControlSet& Controls() { return controls_; }
  const BaseUnits& Units() const { return units_; }

  // SetWindowText: also renames the desktop announcement.
  void SetWindowText(const QString& title);

  // The window menu (Alt+Space): "&Close" and what the program appends.
  // Commands chosen from it go to OnSysCommand.
  QMenu* SystemMenu();
  void AppendSystemMenu(std::uint32_t command, const QString& text);
  void AppendSystemMenuSeparator();
  void ShowSystemMenu(const QPoint& globalPos);
  // WM_SYSCOMMAND. The default closes the window on SC_CLOSE.
  virtual void OnSysCommand(std::uint32_t command);
  static constexpr std::uint32_t SC_CLOSE = 0xF060;

  // WM_COMMAND. The default sends IDOK to OnOK and IDCANCEL to OnCancel.
  bool OnCommand(int id) override;

 protected:
  // WM_INITDIALOG, after the controls exist and before the window shows.
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The window is being destroyed at the end of the modal run (WM_DESTROY).
  virtual void OnDestroy() {}

  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void ConnectButtons();

  std::unique_ptr<QMenu> systemMenu_;
  ControlSet controls_;
  BaseUnits units_;
  QEventLoop* loop_ = nullptr;
  int result_ = 0;
  std::optional<desktop::TopLevelWindow> announced_;
};

}  // namespace pvn::ui
