#include "tests/console/support/console_fixture.h"

#include "common/settings/registry_layout.h"
#include "console/password_digest.h"
#include "console/qt_text.h"
#include "platform/desktop/command_line.h"
#include "platform/registry/key.h"

namespace pvn::testing {

namespace {
ui::DialogTemplate TestPageTemplate(const char* title) {
  return ui::DialogTemplate{
      title,
      309,
      187,
      {{TestPage::kChangeBox, ui::ControlKind::kCheckBox, "Change", 7, 7, 100, 10}}};
}
}  // namespace

void ConsoleTest::SetUp() {
  auto key = reg::Key::Create(settings::kAppKeyPath, reg::KEY_ALL_ACCESS);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->SetString(u"AppPath", u"C:\\Program Files\\Portvane\\"), win::ERROR_SUCCESS);
  StorePassword(kPassword);
  SetArguments({"portvane-console"});
  // A test that went wrong must not hang: after a while every dialog ends.
  QTimer* watchdog = NewPollTimer();
  watchdog->setSingleShot(true);
  QObject::connect(watchdog, &QTimer::timeout, [] {
    ADD_FAILURE() << "watchdog: dialogs still open";
    EndAllDialogs();
  });
  watchdog->start(30000);
}

void ConsoleTest::TearDown() {
  ResetDriver();
  EndAllDialogs();
}

void ConsoleTest::StorePassword(const QString& password) {
  auto key = reg::Key::Open(settings::kAppKeyPath, reg::KEY_WRITE);
  ASSERT_TRUE(key);
  const std::u16string digest = console::MakePasswordDigest(console::ToU16(password));
  ASSERT_EQ(key->SetValue(u"Password", reg::REG_SZ, digest.data(),
                          static_cast<std::uint32_t>(digest.size() * 2)),
            win::ERROR_SUCCESS);
}

void ConsoleTest::RemoveAppPath() {
  auto key = reg::Key::Open(settings::kAppKeyPath, reg::KEY_WRITE);
  ASSERT_TRUE(key);
  key->DeleteValue(u"AppPath");
}

void ConsoleTest::SetArguments(std::vector<const char*> argv) {
  desktop::SetProcessArguments(static_cast<int>(argv.size()), argv.data());
}

TestPage::TestPage(const char* title) : ui::PropertyPage(TestPageTemplate(title)) {}

bool TestPage::OnInitDialog() {
  ++inits;
  return true;
}

bool TestPage::OnApply() {
  ++applies;
  if (onApply) onApply();
  return acceptApply;
}

bool TestPage::OnCommand(int id) {
  if (id != kChangeBox) return false;
  SetModified(true);
  return true;
}

}  // namespace pvn::testing
