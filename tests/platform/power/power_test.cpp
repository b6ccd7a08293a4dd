// Token privileges and restart requests.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/machine/client/machine_client.h"
#include "platform/machine/testing/machine_process.h"
#include "platform/power/power.h"
#include "tests/support/temp_prefix.h"

namespace pvn::power {
namespace {

class PowerTest : public pvn::testing::PrefixTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_));
    AdjustTokenPrivileges(token_, TRUE, nullptr, 0, nullptr,
                          nullptr);  // start from nothing enabled
  }
  void TearDown() override { CloseHandle(token_); }

  BOOL Enable(const char16_t* name, DWORD* lastError) {
    TOKEN_PRIVILEGES tp{1, {{{}, SE_PRIVILEGE_ENABLED}}};
    if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return FALSE;
    BOOL ok = AdjustTokenPrivileges(token_, FALSE, &tp, 0, nullptr, nullptr);
    *lastError = GetLastError();
    return ok;
  }

  HANDLE token_ = nullptr;
};

TEST_F(PowerTest, LookupKnowsTheLocalPrivilegesOnly) {
  LUID luid{};
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &luid));
  EXPECT_EQ(luid.LowPart, 19u);
  ASSERT_TRUE(LookupPrivilegeValueW(u"", u"seshutdownprivilege", &luid)) << "names ignore case";
  EXPECT_FALSE(LookupPrivilegeValueW(nullptr, u"SeFlyingPrivilege", &luid));
  EXPECT_EQ(GetLastError(), win::ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(LookupPrivilegeValueW(u"\\\\OTHERPC", SE_SHUTDOWN_NAME, &luid));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(PowerTest, AdjustSucceedsButSaysWhenAPrivilegeIsNotHeld) {
  DWORD error = 0;
  EXPECT_TRUE(Enable(SE_SHUTDOWN_NAME, &error));
  EXPECT_EQ(error, win::ERROR_SUCCESS);
  EXPECT_TRUE(Enable(u"SeTcbPrivilege", &error)) << "the call itself succeeds";
  EXPECT_EQ(error, win::ERROR_NOT_ALL_ASSIGNED);

  // Disabling again reports the previous state, when it fits.
  TOKEN_PRIVILEGES off{1, {{{19, 0}, 0}}};
  TOKEN_PRIVILEGES previous{};
  DWORD needed = 0;
  EXPECT_FALSE(AdjustTokenPrivileges(token_, FALSE, &off, 4, &previous, &needed));
  EXPECT_EQ(GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, sizeof(TOKEN_PRIVILEGES));
  ASSERT_TRUE(AdjustTokenPrivileges(token_, FALSE, &off, sizeof previous, &previous, &needed));
  EXPECT_EQ(previous.PrivilegeCount, 1u);
  EXPECT_EQ(previous.Privileges[0].Attributes, SE_PRIVILEGE_ENABLED);

  HANDLE queryOnly;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &queryOnly));
  EXPECT_FALSE(AdjustTokenPrivileges(queryOnly, FALSE, &off, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), win::ERROR_ACCESS_DENIED);
  CloseHandle(queryOnly);
  EXPECT_FALSE(AdjustTokenPrivileges(queryOnly, FALSE, &off, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), win::ERROR_INVALID_HANDLE);
}

TEST_F(PowerTest, RestartNeedsThePrivilegeAndARunningMachine) {
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(GetLastError(), win::ERROR_PRIVILEGE_NOT_HELD);
  DWORD error = 0;
  ASSERT_TRUE(Enable(SE_SHUTDOWN_NAME, &error));
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(GetLastError(), win::ERROR_NOT_READY);

  machine::testing::MachineProcess machine(pvn::testing::BinDir());
  ASSERT_TRUE(machine.running()) << machine.error();
  std::mutex mutex;
  std::condition_variable seen;
  std::vector<machine::Json> notices;
  auto subscription = machine::BroadcastSubscription::Start([&](const machine::Json& event) {
    std::lock_guard lock(mutex);
    if (event.value("event", "") == "notice") notices.push_back(event);
    seen.notify_all();
  });
  ASSERT_TRUE(subscription);
  EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(seen.wait_for(lock, std::chrono::seconds(10), [&] { return !notices.empty(); }));
    EXPECT_EQ(notices[0]["kind"], "restart");
  }
  // Machine commands wait for the restart to be over.
  EXPECT_EQ(machine.Run("list").status, 0);
  // A restart asked for later is in progress until it happens.
  EXPECT_TRUE(InitiateSystemShutdownW(nullptr, u"Restarting", 60, TRUE, TRUE));
  EXPECT_FALSE(InitiateSystemShutdownW(nullptr, nullptr, 0, TRUE, FALSE));
  EXPECT_EQ(GetLastError(), win::ERROR_SHUTDOWN_IN_PROGRESS);
  EXPECT_FALSE(InitiateSystemShutdownW(u"\\\\OTHERPC", nullptr, 0, TRUE, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

}  // namespace
}  // namespace pvn::power
