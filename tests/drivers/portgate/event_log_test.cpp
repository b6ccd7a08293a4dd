#include "drivers/portgate/event_log.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/fs/file.h"
#include "platform/registry/key.h"
#include "tests/drivers/portgate/driver_log.h"
#include "tests/support/temp_prefix.h"

namespace pvn::gate {
namespace {

using pvn::testing::AfterStamp;
using pvn::testing::HasLogStamp;
using pvn::testing::ReadLogLines;

std::string Format(const TIME_FIELDS& time, ULONG event, const char* text) {
  char line[kLogLineBytes];
  ULONG length = FormatLogLine(line, time, event, text);
  return std::string(line, length);
}

TEST(FormatLogLine, FieldsAreZeroPaddedAndEventsNamed) {
  struct Case {
    TIME_FIELDS time;
    ULONG event;
    const char* expected;
  } cases[] = {
      {{2024, 3, 7, 14, 5, 9, 42, 0},
       PlugIn,
       "2024/03/07 14:05:09:0042   Plug-in Device: USB\\VID_12AB\r\n"},
      {{2024, 12, 31, 23, 59, 59, 7, 0},
       Unplug,
       "2024/12/31 23:59:59:0007   Unplug Device: USB\\VID_12AB\r\n"},
      {{2025, 1, 1, 0, 0, 0, 999, 0},
       Blocking,
       "2025/01/01 00:00:00:0999   Blocking Device: USB\\VID_12AB\r\n"},
      {{2024, 3, 7, 14, 5, 9, 0, 0},
       3,
       "2024/03/07 14:05:09:0000   Unknown Device: USB\\VID_12AB\r\n"},
      {{2024, 3, 7, 14, 5, 9, 0, 0},
       0,
       "2024/03/07 14:05:09:0000   Unknown Device: USB\\VID_12AB\r\n"},
      {{2024, 3, 7, 14, 5, 9, 0, 0},
       0xFFFFFFFF,
       "2024/03/07 14:05:09:0000   Unknown Device: USB\\VID_12AB\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.time, c.event, "USB\\VID_12AB"), c.expected);
}

TEST(FormatLogLine, CutsLongLinesAt511BytesLosingTheirEnd) {
  std::string text(600, 'A');
  std::string line = Format({2024, 3, 7, 14, 5, 9, 42, 0}, Blocking, text.c_str());
  ASSERT_EQ(line.size(), 511u);
  EXPECT_EQ(line.substr(0, 44), "2024/03/07 14:05:09:0042   Blocking Device: ");
  EXPECT_EQ(line.back(), 'A');  // no CR LF
}

class WriteLogEventTest : public pvn::testing::PrefixTest {
 protected:
  std::vector<std::string> Lines() { return ReadLogLines(EventLogFile()); }
};

TEST_F(WriteLogEventTest, AppendsStampedLinesInTheDriversFolder) {
  std::time_t before = std::time(nullptr);
  WriteLogEvent(u"USB\\VID_12AB&PID_34CD&REV_0100", PlugIn);
  WriteLogEvent(u"USB\\VID_12AB&PID_34CD&REV_0100", Unplug);
  std::time_t after = std::time(nullptr);

  auto bytes = fs::ReadFileBytes(u"C:\\Windows\\System32\\Drivers\\usbwlsto.plog");
  ASSERT_TRUE(bytes);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(AfterStamp(lines[0]), "Plug-in Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n");
  EXPECT_EQ(AfterStamp(lines[1]), "Unplug Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n");

  // The stamp is local time, taken when the line is written.
  ASSERT_TRUE(HasLogStamp(lines[0])) << lines[0];
  std::tm stamp = {};
  stamp.tm_isdst = -1;
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "%d/%d/%d %d:%d:%d", &stamp.tm_year, &stamp.tm_mon,
                        &stamp.tm_mday, &stamp.tm_hour, &stamp.tm_min, &stamp.tm_sec),
            6);
  stamp.tm_year -= 1900;
  stamp.tm_mon -= 1;
  std::time_t logged = std::mktime(&stamp);
  EXPECT_GE(logged, before);
  EXPECT_LE(logged, after);
}

TEST_F(WriteLogEventTest, EmptyOrAbsentTextBecomesOneBlank) {
  WriteLogEvent(u"", Blocking);
  WriteLogEvent(nullptr, PlugIn);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(AfterStamp(lines[0]), "Blocking Device:  \r\n");
  EXPECT_EQ(AfterStamp(lines[1]), "Plug-in Device:  \r\n");
}

TEST_F(WriteLogEventTest, OnlyTheFirstStringOfAMultiStringIsWritten) {
  const char16_t ids[] = u"USB\\VID_12AB&PID_34CD&REV_0100\0USB\\VID_12AB&PID_34CD\0";
  WriteLogEvent(ids, PlugIn);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(AfterStamp(lines[0]), "Plug-in Device: USB\\VID_12AB&PID_34CD&REV_0100\r\n");
}

TEST_F(WriteLogEventTest, LongTextIsCutAndTheNextLineFollowsDirectly) {
  std::u16string text(600, u'X');
  WriteLogEvent(text.c_str(), Blocking);
  WriteLogEvent(u"NEXT", Unplug);
  auto bytes = fs::ReadFileBytes(EventLogFile());
  ASSERT_TRUE(bytes);
  ASSERT_GT(bytes->size(), 511u);
  EXPECT_EQ(bytes->substr(0, 511).substr(27), "Blocking Device: " + std::string(511 - 44, 'X'));
  EXPECT_TRUE(HasLogStamp(bytes->substr(511)));
  EXPECT_EQ(AfterStamp(bytes->substr(511)), "Unplug Device: NEXT\r\n");
}

TEST_F(WriteLogEventTest, TextIsWrittenInTheAnsiCodePage) {
  // CP1252 (the default): U+00C4 is 0xC4 and U+20AC is 0x80; a character the
  // code page lacks becomes '?'.
  WriteLogEvent(u"USB\\VID_\u00c4\u20ac\u4e2d", PlugIn);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(AfterStamp(lines[0]), "Plug-in Device: USB\\VID_\xC4\x80?\r\n");
}

TEST_F(WriteLogEventTest, LinesAreLostWhileAnotherWriterHoldsTheFile) {
  WriteLogEvent(u"FIRST", PlugIn);
  {
    auto other = fs::File::Open(EventLogFile(), fs::FILE_APPEND_DATA | fs::FILE_READ_DATA,
                                fs::FILE_SHARE_READ | fs::FILE_SHARE_WRITE, fs::OPEN_EXISTING);
    ASSERT_TRUE(other);
    WriteLogEvent(u"LOST1", Blocking);
    WriteLogEvent(u"LOST2", Unplug);
  }
  // A reader that lets others write does not disturb the log.
  auto reader = fs::File::Open(EventLogFile(), fs::FILE_READ_DATA,
                               fs::FILE_SHARE_READ | fs::FILE_SHARE_WRITE, fs::OPEN_EXISTING);
  ASSERT_TRUE(reader);
  WriteLogEvent(u"AFTER", Unplug);

  auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(AfterStamp(lines[0]), "Plug-in Device: FIRST\r\n");
  EXPECT_EQ(AfterStamp(lines[1]), "Unplug Device: AFTER\r\n");
}

TEST_F(WriteLogEventTest, DeletedFileIsCreatedAgain) {
  WriteLogEvent(u"ONE", PlugIn);
  ASSERT_EQ(fs::DeleteFile(EventLogFile()), win::ERROR_SUCCESS);
  WriteLogEvent(u"TWO", Unplug);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(AfterStamp(lines[0]), "Unplug Device: TWO\r\n");
}

TEST_F(WriteLogEventTest, MissingFolderDropsTheLineQuietly) {
  WriteLogEvent(u"FIRST", PlugIn);  // the prefix's layout is in place from here on
  std::filesystem::remove_all(prefix_.path() / "drive_c/Windows/System32/Drivers");
  WriteLogEvent(u"NOWHERE", PlugIn);
  EXPECT_FALSE(std::filesystem::exists(prefix_.path() / "drive_c/Windows/System32/Drivers"));
}

}  // namespace
}  // namespace pvn::gate
