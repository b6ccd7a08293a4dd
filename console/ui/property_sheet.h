#pragma once
// A property sheet: pages under a tab control, with OK, Cancel and Apply.
//
// Each page builds its controls from its template the first time it is
// activated (OnInitDialog) and reports whether it holds changes
// (SetModified). Apply is enabled while any page is modified; pressing it
// calls every created page's OnApply, and when all of them accept, every page
// counts as unchanged again and Apply is disabled.
#include <QTabWidget>
#include <memory>
#include <vector>

#include "console/ui/dialog.h"

namespace pvn::ui {

class PropertySheet;

class PropertyPage : public QWidget, public CommandTarget {
 public:
  explicit PropertyPage(const DialogTemplate& dialog);
  ~PropertyPage() override;

  QString Title() const { return QString::fromUtf8(template_.title); }
  bool IsCreated() const { return created_; }
  QWidget* Item(int id) const { return controls_.Item(id); }
  ControlSet& Controls() { return controls_; }
  PropertySheet* Sheet() const { return sheet_; }

  // CPropertyPage::SetModified: tells the sheet, which enables Apply.
  void SetModified(bool modified = true);
  bool IsModified() const { return modified_; }

  // Called by the sheet.
  virtual bool OnInitDialog() { return true; }
  virtual bool OnSetActive() { return true; }
  virtual bool OnKillActive() { return true; }
  // The page's part of Apply; false keeps the sheet's changes pending.
  virtual bool OnApply() { return true; }
  bool OnCommand(int) override { return false; }

 private:
  friend class PropertySheet;
  void Create(PropertySheet* sheet, const BaseUnits& units);

  DialogTemplate template_;
  ControlSet controls_;
  PropertySheet* sheet_ = nullptr;
  bool created_ = false;
  bool modified_ = false;
};

class PropertySheet : public Dialog {
 public:
  explicit PropertySheet(const QString& caption, QWidget* owner = nullptr);
  ~PropertySheet() override;

  // Pages are shown in the order they are added; the sheet owns them.
  void AddPage(std::unique_ptr<PropertyPage> page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage* GetPage(int index) const;
  int GetActiveIndex() const;
  PropertyPage* GetActivePage() const { return GetPage(GetActiveIndex()); }
  // Activates a page, creating it on its first activation.
  bool SetActivePage(int index);
  QTabWidget* GetTabControl() const { return tabs_; }

  bool IsApplyEnabled() const;
  // The Apply button: every created page's OnApply.
  bool ApplyNow();
  // Presses one of the sheet's buttons (PSM_PRESSBUTTON).
  void PressButton(int id);

  bool OnCommand(int id) override;

 protected:
  // Builds the tab control, the buttons and the first page.
  bool OnInitDialog() override;
  void OnOK() override;
  // The tab control's selection changed (TCN_SELCHANGE) to `index`.
  virtual void OnTabSelChange(int index) { (void)index; }
  // A key press on the sheet or one of its controls, before the control sees
  // it (PreTranslateMessage); true consumes it.
  virtual bool PreTranslateKeyDown(std::uint32_t virtualKey) {
    (void)virtualKey;
    return false;
  }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class PropertyPage;
  void PageModified();
  void ActivateCreated(int index);

  std::vector<std::unique_ptr<PropertyPage>> pages_;
  QTabWidget* tabs_ = nullptr;
  bool switching_ = false;
};

}  // namespace pvn::ui
