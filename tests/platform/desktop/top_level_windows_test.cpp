#include "platform/desktop/top_level_windows.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_prefix.h"

namespace pvn::desktop {
namespace {

class TopLevelWindowsTest : public testing::PrefixTest {};

std::vector<std::u16string> Titles(const char16_t* className) {
  std::vector<std::u16string> titles;
  for (Hwnd w = FindWindowExW(0, 0, className, nullptr); w;
       w = FindWindowExW(0, w, className, nullptr)) {
    char16_t buffer[512];
    GetWindowTextW(w, buffer, 512);
    titles.emplace_back(buffer);
  }
  return titles;
}

// A child process that announces one window, reports readiness through a
// pipe and then waits to be killed.
pid_t SpawnWindowOwner(const char16_t* className, const char16_t* title) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    auto window = TopLevelWindow::Create(className, title);
    char ok = window ? 1 : 0;
    if (write(fds[1], &ok, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(fds[1]);
  char ok = 0;
  if (read(fds[0], &ok, 1) != 1 || !ok) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  close(fds[0]);
  return pid;
}

TEST_F(TopLevelWindowsTest, WalksWindowsOfClassAndReadsTitles) {
  auto a = TopLevelWindow::Create(u"#32770", u"First");
  auto b = TopLevelWindow::Create(u"OtherClass", u"Not a dialog");
  auto c = TopLevelWindow::Create(u"#32770", u"Second");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(Titles(u"#32770"), (std::vector<std::u16string>{u"First", u"Second"}));
  EXPECT_EQ(Titles(nullptr).size(), 3u);
  EXPECT_EQ(FindWindowExW(0, 0, nullptr, u"not A DIALOG"), b->handle());
  EXPECT_EQ(FindWindowExW(a->handle(), 0, nullptr, nullptr), 0u) << "only the desktop's children";

  ASSERT_EQ(c->SetTitle(u"Renamed"), win::ERROR_SUCCESS);
  EXPECT_EQ(Titles(u"#32770"), (std::vector<std::u16string>{u"First", u"Renamed"}));
  *a = TopLevelWindow();  // destroyed
  EXPECT_EQ(Titles(u"#32770"), (std::vector<std::u16string>{u"Renamed"}));
}

TEST_F(TopLevelWindowsTest, GetWindowTextCutsToTheBuffer) {
  auto w = TopLevelWindow::Create(u"#32770", u"Portvane Console Login");
  ASSERT_TRUE(w);
  char16_t buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(GetWindowTextW(w->handle(), buffer, 5), 4);
  EXPECT_EQ(std::u16string(buffer), u"Port");
  EXPECT_EQ(buffer[5], u'x') << "nothing written past maxCount";
  EXPECT_EQ(GetWindowTextW(w->handle(), buffer, 0), 0);
  EXPECT_EQ(GetWindowTextW(w->handle() + 1, buffer, 8), 0);
  EXPECT_EQ(buffer[0], 0);
}

TEST_F(TopLevelWindowsTest, OtherProcessesSeeWindowsUntilTheOwnerDies) {
  pid_t owner = SpawnWindowOwner(u"#32770", u"Owned elsewhere");
  ASSERT_GT(owner, 0);
  Hwnd found = FindWindowExW(0, 0, u"#32770", nullptr);
  ASSERT_NE(found, 0u);
  EXPECT_EQ(found >> 32, static_cast<Hwnd>(owner));
  EXPECT_TRUE(IsWindow(found));

  // Killed without a chance to clean up: its announcement no longer counts
  // and is swept away.
  kill(owner, SIGKILL);
  waitpid(owner, nullptr, 0);
  EXPECT_FALSE(IsWindow(found));
  EXPECT_EQ(FindWindowExW(0, 0, u"#32770", nullptr), 0u);
  std::size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(prefix_.path() / "run" / "desktop")) {
    if (e.path().filename().string().rfind(std::to_string(owner), 0) == 0) ++files;
  }
  EXPECT_EQ(files, 0u);
}

TEST_F(TopLevelWindowsTest, PrefixesAreSeparateDesktops) {
  auto here = TopLevelWindow::Create(u"#32770", u"Here");
  ASSERT_TRUE(here);
  testing::TempPrefix other;  // PVN_PREFIX now points elsewhere
  EXPECT_EQ(FindWindowExW(0, 0, u"#32770", nullptr), 0u);
}

}  // namespace
}  // namespace pvn::desktop
