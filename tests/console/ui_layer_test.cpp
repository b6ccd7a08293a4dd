// The UI layer: dialog units, controls from templates, command routing and
// the property sheet's Apply.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>

#include "console/ui/dialog.h"
#include "console/ui/dialog_units.h"
#include "console/ui/property_sheet.h"
#include "console/ui/scripted_dialog_services.h"
#include "tests/console/support/console_fixture.h"

namespace pvn::ui {
namespace {

TEST(DialogUnitsTest, MapsQuartersAndEighthsOfTheBaseUnits) {
  EXPECT_EQ(MulDiv(7, 6, 4), 11);  // 10.5 rounds up
  EXPECT_EQ(MulDiv(-7, 6, 4), -11);
  EXPECT_EQ(MulDiv(5, 13, 8), 8);  // 8.125
  const BaseUnits units{6, 13};
  EXPECT_EQ(MapDialogRect(units, QRect(7, 7, 50, 14)), QRect(11, 11, 75, 23));
  EXPECT_EQ(MapDialogRect(units, QRect(0, 0, 217, 51)).size(), QSize(326, 83));
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheLettersAndTheHeight) {
  const QFont font = DialogFont();
  EXPECT_EQ(font.pixelSize(), 11);
  const QFontMetrics metrics(font);
  const int width =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const BaseUnits units = BaseUnitsOf(font);
  EXPECT_EQ(units.cx, (width / 26 + 1) / 2);
  EXPECT_EQ(units.cy, metrics.height());
  // A sans serif of 11 pixels: about 5 to 7 pixels wide, 12 to 14 high.
  EXPECT_GE(units.cx, 5);
  EXPECT_LE(units.cx, 7);
  EXPECT_GE(units.cy, 12);
  EXPECT_LE(units.cy, 14);
}

const DialogTemplate kSample = {
    "Sample",
    100,
    40,
    {{IDC_STATIC, ControlKind::kLabel, "Name:", 4, 6, 30, 8},
     {1001, ControlKind::kEdit, "", 36, 4, 60, 12, kStylePassword | kStyleDisabled},
     {1002, ControlKind::kCheckBox, "Box", 4, 20, 40, 10, kStyleHidden},
     {IDOK, ControlKind::kPushButton, "OK", 46, 22, 50, 14}}};

class CountingDialog : public Dialog {
 public:
  CountingDialog() : Dialog(&kSample) {}
  std::vector<int> commands;
  bool OnCommand(int id) override {
    commands.push_back(id);
    return Dialog::OnCommand(id);
  }
};

class UiLayerTest : public testing::PrefixTest {
 protected:
  void TearDown() override {
    testing::ResetDriver();
    testing::EndAllDialogs();
  }
};

TEST_F(UiLayerTest, ControlsArePlacedInPixelsAndFoundById) {
  CountingDialog dialog;
  const BaseUnits& u = dialog.Units();
  EXPECT_EQ(dialog.size(), MapDialogRect(u, QRect(0, 0, 100, 40)).size());
  QWidget* edit = dialog.Item(1001);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->geometry(), MapDialogRect(u, QRect(36, 4, 60, 12)));
  EXPECT_EQ(qobject_cast<QLineEdit*>(edit)->echoMode(), QLineEdit::Password);
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_TRUE(dialog.Item(1002)->isHidden());
  EXPECT_EQ(FindControl(&dialog, IDOK), dialog.Item(IDOK));
  EXPECT_EQ(dialog.Item(4711), nullptr);
  dialog.Controls().SetText(1001, "abc");
  EXPECT_EQ(dialog.Controls().Text(1001), "abc");
}

TEST_F(UiLayerTest, EnterWithoutDefaultButtonSendsOkAndEscSendsCancel) {
  CountingDialog dialog;
  testing::WhenShown<CountingDialog>([](CountingDialog* d) { QTest::keyClick(d, Qt::Key_Return); });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  testing::WhenShown<CountingDialog>([](CountingDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.commands, (std::vector<int>{IDOK, IDCANCEL}));
}

// A modal dialog takes the input of its owner only: the program's other
// windows, the notification icon's among them, still answer the mouse while it
// runs (the tray menu stays usable while the main window is shown).
TEST_F(UiLayerTest, ModalDialogBlocksItsOwnerAndNoOtherWindow) {
  QPushButton owner("owner");
  QPushButton other("other");
  int ownerClicks = 0;
  int otherClicks = 0;
  QObject::connect(&owner, &QPushButton::clicked, [&] { ++ownerClicks; });
  QObject::connect(&other, &QPushButton::clicked, [&] { ++otherClicks; });
  for (QPushButton* button : {&owner, &other}) {
    button->resize(80, 30);
    button->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(button));
  }
  Dialog dialog(&kSample, &owner);
  testing::WhenShown<Dialog>([&](Dialog* d) {
    QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, QPoint(40, 15));
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, QPoint(40, 15));
    d->EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(ownerClicks, 0);
  EXPECT_EQ(otherClicks, 1);
  // Once the dialog has ended its owner answers again.
  QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, QPoint(40, 15));
  EXPECT_EQ(ownerClicks, 1);
}

TEST_F(UiLayerTest, ApplyFollowsTheModifiedPagesAndStaysWhenAPageRefuses) {
  PropertySheet sheet("Sheet");
  testing::TestPage* pages[2];
  for (int i = 0; i < 2; ++i) {
    auto page = std::make_unique<testing::TestPage>(i ? "B" : "A");
    pages[i] = page.get();
    sheet.AddPage(std::move(page));
  }
  testing::WhenShown<PropertySheet>([&](PropertySheet* s) {
    EXPECT_FALSE(s->IsApplyEnabled());
    EXPECT_TRUE(pages[0]->IsCreated());
    EXPECT_FALSE(pages[1]->IsCreated()) << "created when first shown";
    s->SetActivePage(1);
    pages[1]->SetModified(true);
    pages[0]->SetModified(true);
    pages[1]->SetModified(false);
    EXPECT_TRUE(s->IsApplyEnabled()) << "one page still modified";
    // A page that refuses keeps the changes pending.
    pages[1]->acceptApply = false;
    testing::ClickButton(s, ID_APPLY_NOW);
    EXPECT_EQ(pages[0]->applies, 1);
    EXPECT_EQ(pages[1]->applies, 1);
    EXPECT_TRUE(s->IsApplyEnabled());
    pages[1]->acceptApply = true;
    testing::ClickButton(s, ID_APPLY_NOW);
    EXPECT_EQ(pages[1]->applies, 2);
    EXPECT_FALSE(s->IsApplyEnabled());
    testing::ClickButton(s, IDOK);  // applies again and closes
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(pages[0]->applies, 3);
}

TEST(ScriptedDialogServicesTest, AnswersInOrderThenWithTheFirstButton) {
  ScriptedDialogServices dialogs;
  dialogs.AnswerMessageBox(IDNO);
  EXPECT_EQ(dialogs.MessageBox(nullptr, "t", "c", MB_YESNO), IDNO);
  EXPECT_EQ(dialogs.MessageBox(nullptr, "t", "c", MB_YESNO), IDYES);
  EXPECT_EQ(dialogs.MessageBox(nullptr, "t", "c", MB_OK), IDOK);
  dialogs.AnswerFile(QString("C:\\x.pvn"));
  dialogs.AnswerFile(std::nullopt);
  EXPECT_EQ(dialogs.GetSaveFileName({}), QString("C:\\x.pvn"));
  EXPECT_EQ(dialogs.GetOpenFileName({}), std::nullopt);
  EXPECT_EQ(dialogs.BrowseForFolder({}), std::nullopt);
  EXPECT_EQ(dialogs.MessageBoxes().size(), 3u);
  EXPECT_EQ(dialogs.FileDialogs().size(), 2u);
  EXPECT_EQ(dialogs.FolderBrowsers().size(), 1u);
}

}  // namespace
}  // namespace pvn::ui
