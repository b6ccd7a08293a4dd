#include "console/ui/property_sheet.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>

namespace pvn::ui {

namespace {

// Sheet geometry in dialog units: the margin around the tab control, the
// gap above the buttons and the buttons' size and spacing.
constexpr int kMargin = 4;
constexpr int kButtonGap = 4;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonSpacing = 4;

std::uint32_t VirtualKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_F1:
      return VK_F1;
    default:
      return 0;
  }
}

}  // namespace

PropertyPage::PropertyPage(const DialogTemplate& dialog) : template_(dialog) {}
PropertyPage::~PropertyPage() = default;

void PropertyPage::Create(PropertySheet* sheet, const BaseUnits& units) {
  if (created_) return;
  sheet_ = sheet;
  controls_.Build(this, template_, units);
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
    const int id = ControlId(button);
    if (id == IDC_STATIC) continue;
    connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
  }
  created_ = true;
  OnInitDialog();
}

void PropertyPage::SetModified(bool modified) {
  modified_ = modified;
  if (sheet_) sheet_->PageModified();
}

PropertySheet::PropertySheet(const QString& caption, QWidget* owner) : Dialog(nullptr, owner) {
  setWindowTitle(caption);
  tabs_ = Adopt(std::make_unique<QTabWidget>(), this);
  Controls().Register(ID_TAB_CONTROL, tabs_);
  const struct {
    int id;
    const char* text;
  } buttons[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {ID_APPLY_NOW, "&Apply"}};
  for (const auto& b : buttons) {
    auto* button = Adopt(std::make_unique<QPushButton>(QString::fromUtf8(b.text)), this);
    button->setAutoDefault(false);
    button->setDefault(b.id == IDOK);
    Controls().Register(b.id, button);
    const int id = b.id;
    connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  }
  Controls().Enable(ID_APPLY_NOW, false);
  qApp->installEventFilter(this);
}

PropertySheet::~PropertySheet() {
  qApp->removeEventFilter(this);
  // Pages leaving the tab control change its selection; nothing may react
  // to that any more.
  QObject::disconnect(tabs_, nullptr, this, nullptr);
  pages_.clear();
}

void PropertySheet::AddPage(std::unique_ptr<PropertyPage> page) {
  page->setFont(font());
  QSignalBlocker block(tabs_);
  tabs_->addTab(page.get(), page->Title());
  pages_.push_back(std::move(page));
}

PropertyPage* PropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? pages_[index].get() : nullptr;
}

int PropertySheet::GetActiveIndex() const {
  return tabs_->currentIndex();
}

bool PropertySheet::OnInitDialog() {
  // The pages share one area, as large as the largest page template.
  QSize page;
  for (const auto& p : pages_) {
    page = page.expandedTo(
        MapDialogRect(Units(), QRect(0, 0, p->template_.cx, p->template_.cy)).size());
  }
  const int frame = tabs_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs_);
  const int tabBar = tabs_->tabBar()->sizeHint().height();
  const int marginX = DluToPixelsX(Units(), kMargin);
  const int marginY = DluToPixelsY(Units(), kMargin);
  const QSize tabSize(page.width() + 2 * frame, page.height() + tabBar + 2 * frame);
  tabs_->setGeometry(marginX, marginY, tabSize.width(), tabSize.height());

  const int bw = DluToPixelsX(Units(), kButtonWidth);
  const int bh = DluToPixelsY(Units(), kButtonHeight);
  const int spacing = DluToPixelsX(Units(), kButtonSpacing);
  const int top = marginY + tabSize.height() + DluToPixelsY(Units(), kButtonGap);
  int x = marginX + tabSize.width() - bw;
  for (int id : {ID_APPLY_NOW, IDCANCEL, IDOK}) {
    Item(id)->setGeometry(x, top, bw, bh);
    x -= bw + spacing;
  }
  setFixedSize(marginX * 2 + tabSize.width(), top + bh + marginY);

  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (switching_) return;
    ActivateCreated(index);
    OnTabSelChange(index);
  });
  if (!pages_.empty()) ActivateCreated(tabs_->currentIndex() < 0 ? 0 : tabs_->currentIndex());
  return true;
}

void PropertySheet::ActivateCreated(int index) {
  PropertyPage* page = GetPage(index);
  if (!page) return;
  page->Create(this, Units());
  page->OnSetActive();
}

bool PropertySheet::SetActivePage(int index) {
  if (!GetPage(index)) return false;
  if (PropertyPage* old = GetActivePage(); old && old->IsCreated()) old->OnKillActive();
  switching_ = true;
  tabs_->setCurrentIndex(index);
  switching_ = false;
  ActivateCreated(index);
  return true;
}

void PropertySheet::PageModified() {
  bool any = false;
  for (const auto& p : pages_) any = any || p->IsModified();
  Controls().Enable(ID_APPLY_NOW, any);
}

bool PropertySheet::IsApplyEnabled() const {
  const QWidget* apply = Item(ID_APPLY_NOW);
  return apply && apply->isEnabled();
}

bool PropertySheet::ApplyNow() {
  for (const auto& p : pages_) {
    if (p->IsCreated() && !p->OnApply()) return false;
  }
  for (const auto& p : pages_) p->modified_ = false;
  PageModified();
  return true;
}

void PropertySheet::PressButton(int id) {
  OnCommand(id);
}

bool PropertySheet::OnCommand(int id) {
  if (id == ID_APPLY_NOW) {
    ApplyNow();
    return true;
  }
  return Dialog::OnCommand(id);
}

void PropertySheet::OnOK() {
  if (ApplyNow()) EndDialog(IDOK);
}

bool PropertySheet::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && IsRunning()) {
    // Only the first receiver counts: a key that a control ignores travels
    // on to its parents through this filter again.
    QWidget* focus = QApplication::focusWidget();
    const bool focusHere = focus && (focus == this || isAncestorOf(focus));
    if (watched == (focusHere ? focus : static_cast<QWidget*>(this))) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (std::uint32_t vk = VirtualKeyOf(key->key()); vk && !key->modifiers())
        return PreTranslateKeyDown(vk);
    }
  }
  return Dialog::eventFilter(watched, event);
}

}  // namespace pvn::ui
