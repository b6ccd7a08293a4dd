// The agent's log files: names, sequence numbers, lines.
#include "courier/agent_log.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/fs/file.h"
#include "tests/courier/courier_test_support.h"
#include "tests/support/temp_prefix.h"

namespace pvn::courier {
namespace {

using pvn::testing::AgentLogs;
using pvn::testing::LogMessages;

class AgentLogTest : public pvn::testing::PrefixTest {
 protected:
  void TearDown() override { CloseAgentLog(); }
};

TEST(AgentLogFormat, FileNamesAndLines) {
  EXPECT_EQ(AgentLogFileName(u"C:\\A\\SysLog", kRemoteLog, 2024, 1, 31, 0),
            u"C:\\A\\SysLog\\Rmt 20240131000.txt");
  EXPECT_EQ(AgentLogFileName(u"C:\\A", kServiceLog, 2024, 12, 5, 17),
            u"C:\\A\\Srv 20241205017.txt");
  EXPECT_EQ(AgentLogFileName(u"C:\\A", kDeviceLog, 2024, 2, 29, 998),
            u"C:\\A\\Dev 20240229998.txt");
  EXPECT_EQ(AgentLogFileName(u"C:\\A", 3, 2024, 2, 29, 1), u"C:\\A\\20240229001.txt");
  // A name that would not fit the 128-unit buffer is refused, not cut.
  std::u16string folder(110, u'x');
  EXPECT_EQ(AgentLogFileName(folder, kRemoteLog, 2024, 1, 1, 0), u"");

  std::tm when{};
  when.tm_mon = 2;
  when.tm_mday = 3;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 7;
  EXPECT_EQ(AgentLogLine(when, "hello"), "0303 09:05:07   hello\n");
}

TEST_F(AgentLogTest, FirstRunCreatesTheFolderAndLaterRunsTakeTheNextNumber) {
  pvn::testing::InstallApplicationKey();
  ASSERT_TRUE(OpenAgentLog());
  WriteAgentLog("first run");
  CloseAgentLog();

  std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%Y%m%d", &today);
  std::u16string folder = pvn::testing::kLogFolder;
  std::u16string first = folder + u"\\Rmt " + std::u16string(stamp, stamp + 8) + u"000.txt";
  EXPECT_TRUE(fs::FileExists(first));

  // 001 and 002 taken as well: the next run writes 003.
  for (const char16_t* seq : {u"001", u"002"})
    fs::WriteFileBytes(folder + u"\\Rmt " + std::u16string(stamp, stamp + 8) + seq + u".txt", "");
  ASSERT_TRUE(OpenAgentLog());
  std::string longMessage(700, 'm');  // longer than the 512-byte line
  WriteAgentLog(longMessage.c_str());
  WriteAgentLog(nullptr);
  CloseAgentLog();
  auto third =
      fs::ReadFileBytes(folder + u"\\Rmt " + std::u16string(stamp, stamp + 8) + u"003.txt");
  ASSERT_TRUE(third);
  EXPECT_EQ(LogMessages(*third), std::vector<std::string>{longMessage});
  EXPECT_EQ(third->size(), 16 + 700 + 1u);
}

TEST_F(AgentLogTest, NoLogWithoutUsableAppPath) {
  EXPECT_FALSE(OpenAgentLog());  // no application key
  WriteAgentLog("nowhere");

  // An installation folder too long for the path buffers opens no log.
  std::u16string longFolder = u"C:\\" + std::u16string(130, u'L');
  pvn::testing::InstallApplicationKey(longFolder);
  EXPECT_FALSE(OpenAgentLog());
  WriteAgentLog("nowhere");
  EXPECT_TRUE(AgentLogs().empty());
}

TEST_F(AgentLogTest, LinesFromSeveralThreadsStayWhole) {
  pvn::testing::InstallApplicationKey();
  ASSERT_TRUE(OpenAgentLog());
  std::vector<std::thread> writers;
  for (char c : {'a', 'b', 'c', 'd'})
    writers.emplace_back([c] {
      std::string message(300, c);
      for (int i = 0; i < 50; ++i) WriteAgentLog(message.c_str());
    });
  for (auto& w : writers) w.join();
  CloseAgentLog();
  auto logs = AgentLogs();
  ASSERT_EQ(logs.size(), 1u);
  auto messages = LogMessages(logs[0]);
  ASSERT_EQ(messages.size(), 200u);
  for (const auto& m : messages) EXPECT_EQ(m, std::string(300, m[0]));
}

}  // namespace
}  // namespace pvn::courier
