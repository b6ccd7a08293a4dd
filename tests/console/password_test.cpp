// The password digest, the login prompt and the password change.
#include <QLineEdit>

#include "common/settings/registry_layout.h"
#include "console/login_dialog.h"
#include "console/password_digest.h"
#include "console/qt_text.h"
#include "console/resources.h"
#include "console/set_password_dialog.h"
#include "platform/registry/key.h"
#include "tests/console/support/console_fixture.h"

namespace pvn::testing {
namespace {

using console::CDlgSetPwd;
using console::CLogin;
using console::MakePasswordDigest;

TEST(PasswordDigestTest, HashesNBytesOfTheUtf16Text) {
  // MD5 of the bytes named in each comment.
  EXPECT_EQ(MakePasswordDigest(u""), u"d41d8cd98f00b204e9800998ecf8427e");     // none
  EXPECT_EQ(MakePasswordDigest(u"abc"), u"70350f6027bce3713f6b76473084309b");  // 61 00 62
  // Equal length and equal first half: the same digest.
  EXPECT_EQ(MakePasswordDigest(u"abcd"), MakePasswordDigest(u"abXY"));
  EXPECT_NE(MakePasswordDigest(u"abcd"), MakePasswordDigest(u"abcde"));
  EXPECT_NE(MakePasswordDigest(u"abcd"), MakePasswordDigest(u"aXcd"));
  // Non-ASCII text: the high byte of the first unit counts.
  EXPECT_NE(MakePasswordDigest(u"\u0101x"), MakePasswordDigest(u"\u0201x"));
}

class PasswordTest : public ConsoleTest {
 protected:
  // Runs CLogin, typing the given passwords one after another.
  int RunLogin(std::vector<QString> attempts) {
    for (std::size_t i = 0; i < attempts.size(); ++i) {
      // Each retry message comes while the dialog is open; the next attempt
      // is typed when the box has been answered.
      WhenShown<CLogin>([attempt = attempts[i]](CLogin* login) {
        TypeInto(login, console::IDC_PASSWORD, attempt);
        ClickButton(login, ui::IDOK);
      });
    }
    CLogin login(dialogs_);
    const int result = login.DoModal();
    attempts_ = login.FailedAttempts();
    return result;
  }
  int attempts_ = 0;
};

TEST_F(PasswordTest, LoginAcceptsTheStoredPassword) {
  EXPECT_EQ(RunLogin({kPassword}), ui::IDOK);
  EXPECT_TRUE(dialogs_.MessageBoxes().empty());
}

TEST_F(PasswordTest, LoginRetriesTwiceThenCancelsOnTheThirdWrongPassword) {
  EXPECT_EQ(RunLogin({"wrong", "Secret-4", "secret-42"}), ui::IDCANCEL);
  ASSERT_EQ(dialogs_.MessageBoxes().size(), 3u);
  for (int i : {0, 1}) {
    EXPECT_EQ(dialogs_.MessageBoxes()[i].text, "The password is not correct! Please try again.");
    EXPECT_EQ(dialogs_.MessageBoxes()[i].caption, "Warning");
    EXPECT_EQ(dialogs_.MessageBoxes()[i].type, ui::MB_ICONEXCLAMATION | ui::MB_OK);
  }
  EXPECT_EQ(dialogs_.MessageBoxes()[2].text, "The password is not correct!");
  EXPECT_EQ(dialogs_.MessageBoxes()[2].caption, "Warning");
}

TEST_F(PasswordTest, LoginAcceptsOnTheThirdAttemptAndCancelEndsAtOnce) {
  EXPECT_EQ(RunLogin({"one", "two", kPassword}), ui::IDOK);
  EXPECT_EQ(dialogs_.MessageBoxes().size(), 2u);

  WhenShown<CLogin>([](CLogin* login) { ClickButton(login, ui::IDCANCEL); });
  CLogin login(dialogs_);
  EXPECT_EQ(login.DoModal(), ui::IDCANCEL);
}

TEST_F(PasswordTest, LoginComparesWithTheDefaultOrStoredDigestExactly) {
  // Without a Password value the default digest is in force.
  auto key = reg::Key::Open(settings::kAppKeyPath, reg::KEY_WRITE);
  ASSERT_TRUE(key);
  key->DeleteValue(u"Password");
  EXPECT_EQ(console::LoadStoredDigest(), console::kDefaultPasswordDigest);
  EXPECT_EQ(RunLogin({kPassword, kPassword, kPassword}), ui::IDCANCEL);

  // A digest stored in upper case never matches.
  const std::u16string upper =
      console::ToU16(console::FromU16(MakePasswordDigest(console::ToU16(kPassword))).toUpper());
  key->SetValue(u"Password", reg::REG_SZ, upper.data(),
                static_cast<std::uint32_t>(upper.size() * 2));
  EXPECT_EQ(console::LoadStoredDigest(), upper);
  dialogs_.Clear();
  EXPECT_EQ(RunLogin({kPassword, kPassword, kPassword}), ui::IDCANCEL);
  EXPECT_EQ(dialogs_.MessageBoxes().size(), 3u);

  // The empty password hashes zero bytes like any other.
  StorePassword("");
  EXPECT_EQ(RunLogin({""}), ui::IDOK);
}

class SetPasswordTest : public ConsoleTest {
 protected:
  struct Entry {
    QString oldPassword, newPassword, confirmation;
  };
  int RunSetPassword(std::vector<Entry> entries, bool cancelAfter = false) {
    for (const Entry& e : entries) {
      WhenShown<CDlgSetPwd>([e](CDlgSetPwd* dialog) {
        TypeInto(dialog, console::IDC_OLD_PASSWORD, e.oldPassword);
        TypeInto(dialog, console::IDC_NEW_PASSWORD, e.newPassword);
        TypeInto(dialog, console::IDC_CONFIRM_PASSWORD, e.confirmation);
        ClickButton(dialog, ui::IDOK);
      });
    }
    if (cancelAfter)
      WhenShown<CDlgSetPwd>([](CDlgSetPwd* dialog) { ClickButton(dialog, ui::IDCANCEL); });
    CDlgSetPwd dialog(dialogs_);
    return dialog.DoModal();
  }
  std::vector<QString> Texts() const {
    std::vector<QString> texts;
    for (const auto& box : dialogs_.MessageBoxes()) texts.push_back(box.caption + ": " + box.text);
    return texts;
  }
};

TEST_F(SetPasswordTest, OldPasswordIsCheckedFirstThenTheConfirmation) {
  const int result = RunSetPassword({
      {"wrong", "a", "b"},                // old wrong: the mismatch is not reported
      {kPassword, "new-one", "new-0ne"},  // mismatch
      {kPassword, "new-one", "new-one"},
  });
  EXPECT_EQ(result, ui::IDOK);
  EXPECT_EQ(Texts(), (std::vector<QString>{
                         "Warning: The old password is not correct! Please input it again.",
                         "Error: The passwords are not the same. Please confirm it again.",
                         "Information: The password has been changed!"}));
  EXPECT_EQ(dialogs_.MessageBoxes()[2].type, ui::MB_ICONINFORMATION | ui::MB_OK);
  EXPECT_EQ(console::LoadStoredDigest(), MakePasswordDigest(u"new-one"));

  // The next login prompt takes the new password.
  WhenShown<CLogin>([](CLogin* login) {
    TypeInto(login, console::IDC_PASSWORD, "new-one");
    ClickButton(login, ui::IDOK);
  });
  CLogin login(dialogs_);
  EXPECT_EQ(login.DoModal(), ui::IDOK);
}

TEST_F(SetPasswordTest, EmptyNewPasswordIsAcceptedAndStoredWithoutTerminator) {
  EXPECT_EQ(RunSetPassword({{kPassword, "", ""}}), ui::IDOK);
  auto key = reg::Key::Open(settings::kAppKeyPath, reg::KEY_READ);
  ASSERT_TRUE(key);
  auto value = key->GetValue(u"Password");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, reg::REG_SZ);
  EXPECT_EQ(value->data.size(), 64u);  // 32 characters, no terminating zero
  EXPECT_EQ(console::LoadStoredDigest(), u"d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(SetPasswordTest, CancelAndFailedWriteLeaveTheOldDigest) {
  const std::u16string before = console::LoadStoredDigest();
  EXPECT_EQ(RunSetPassword({}, /*cancelAfter=*/true), ui::IDCANCEL);
  EXPECT_EQ(console::LoadStoredDigest(), before);

  // A key that refuses writing: the user is still told it changed.
  ASSERT_EQ(reg::SetReadOnly(settings::kAppKeyPath, true), win::ERROR_SUCCESS);
  EXPECT_EQ(RunSetPassword({{kPassword, "x", "x"}}), ui::IDOK);
  EXPECT_EQ(dialogs_.MessageBoxes().back().text, "The password has been changed!");
  EXPECT_EQ(console::LoadStoredDigest(), before);
}

}  // namespace
}  // namespace pvn::testing
