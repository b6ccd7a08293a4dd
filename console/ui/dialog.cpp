#include "console/ui/dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>

#include "console/ui/win_constants.h"

namespace pvn::ui {

namespace {
std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}
}  // namespace

Dialog::Dialog(const DialogTemplate* dialog, QWidget* owner) : QDialog(owner) {
  setFont(DialogFont());
  units_ = BaseUnitsOf(font());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  if (dialog) {
    setWindowTitle(QString::fromUtf8(dialog->title));
    setFixedSize(controls_.Build(this, *dialog, units_));
    ConnectButtons();
  }
}

Dialog::~Dialog() = default;

void Dialog::ConnectButtons() {
  for (QPushButton* button : findChildren<QPushButton*>()) {
    const int id = ControlId(button);
    if (id == IDC_STATIC) continue;
    connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  }
}

int Dialog::DoModal() {
  if (loop_) return -1;
  result_ = IDCANCEL;
  QEventLoop loop;
  loop_ = &loop;
  // The window exists, and is found by other programs, from here until the
  // end of the modal run, whether it is visible or not.
  auto announced = desktop::TopLevelWindow::Create(kDialogClass, ToU16(windowTitle()));
  if (announced) announced_.emplace(std::move(*announced));
  OnInitDialog();
  if (announced_) announced_->SetTitle(ToU16(windowTitle()));
  // OnInitDialog may already have ended the dialog.
  if (loop_) {
    // Modal as a dialog box is: its owner takes no input until it ends, every
    // other window of the program (the notification icon's too) still does.
    setWindowModality(Qt::WindowModal);
    show();
    loop.exec();
  }
  loop_ = nullptr;
  OnDestroy();
  hide();
  announced_.reset();
  return result_;
}

void Dialog::EndDialog(int result) {
  result_ = result;
  if (loop_) {
    QEventLoop* loop = loop_;
    loop_ = nullptr;
    loop->exit(result);
  }
}

void Dialog::SetWindowText(const QString& title) {
  setWindowTitle(title);
  if (announced_) announced_->SetTitle(ToU16(title));
}

QMenu* Dialog::SystemMenu() {
  if (!systemMenu_) {
    systemMenu_ = std::make_unique<QMenu>(this);
    AppendSystemMenu(SC_CLOSE, "&Close");
    auto* shortcut =
        AdoptObject(std::make_unique<QShortcut>(QKeySequence(Qt::ALT | Qt::Key_Space), this), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
  }
  return systemMenu_.get();
}

void Dialog::AppendSystemMenu(std::uint32_t command, const QString& text) {
  QAction* action = SystemMenu()->addAction(text);
  action->setData(command);
  connect(action, &QAction::triggered, this, [this, command] { OnSysCommand(command); });
}

void Dialog::AppendSystemMenuSeparator() {
  SystemMenu()->addSeparator();
}

void Dialog::ShowSystemMenu(const QPoint& globalPos) {
  SystemMenu()->popup(globalPos);
}

void Dialog::OnSysCommand(std::uint32_t command) {
  if ((command & 0xFFF0) == SC_CLOSE) close();
}

bool Dialog::OnCommand(int id) {
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

void Dialog::keyPressEvent(QKeyEvent* event) {
  // Enter presses the default button, or sends IDOK when there is none; Esc
  // sends IDCANCEL (through reject).
  if (!event->modifiers() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    for (QPushButton* button : findChildren<QPushButton*>()) {
      if (button->isDefault() && button->isVisible() && button->isEnabled()) {
        button->click();
        return;
      }
    }
    OnCommand(IDOK);
    return;
  }
  QDialog::keyPressEvent(event);
}

void Dialog::closeEvent(QCloseEvent* event) {
  // The close box sends IDCANCEL; the window stays until EndDialog.
  event->ignore();
  if (loop_) OnCommand(IDCANCEL);
}

void Dialog::reject() {
  if (loop_) OnCommand(IDCANCEL);
}

}  // namespace pvn::ui
