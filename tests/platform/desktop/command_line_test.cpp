#include "platform/desktop/command_line.h"

#include <gtest/gtest.h>

#include "platform/base/unicode.h"

namespace pvn::desktop {
namespace {

TEST(CommandLineTest, SplitsAsWindowsDoes) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> args;
  };
  const Case cases[] = {
      {u"prog", {u"prog"}},
      {u"\"C:\\Program Files\\p.exe\" 65501", {u"C:\\Program Files\\p.exe", u"65501"}},
      {u"C:\\a\\p.exe  a\tb ", {u"C:\\a\\p.exe", u"a", u"b"}},
      {u"p \"a b\" c\"d e\"f", {u"p", u"a b", u"cd ef"}},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},    // 3 backslashes + quote
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},  // 2 backslashes + quote
      {u"p a\\\\b", {u"p", u"a\\\\b"}},        // no quote: kept as written
      {u"p \"\"", {u"p", u""}},
      {u"\"p\\\"x y", {u"p\\", u"x", u"y"}},  // program name: no escapes
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineToArgvW(c.line), c.args) << Utf16ToUtf8(c.line);
}

TEST(CommandLineTest, RebuiltLineSplitsBackIntoTheArguments) {
  const std::vector<std::vector<const char*>> argvs = {
      {"./portvane-console"},
      {"/opt/my apps/console", "65501"},
      {"prog", "", "a b", "tail\\", "q\"uote", "back\\\\\"slash", "-1"},
  };
  for (const auto& argv : argvs) {
    SetProcessArguments(static_cast<int>(argv.size()), argv.data());
    std::vector<std::u16string> expected;
    for (const char* a : argv) expected.push_back(Utf8ToUtf16(a));
    EXPECT_EQ(CommandLineToArgvW(GetCommandLineW()), expected) << Utf16ToUtf8(GetCommandLineW());
  }
  const char* spaced[] = {"/opt/my apps/console", "-1"};
  SetProcessArguments(2, spaced);
  EXPECT_EQ(GetCommandLineW(), u"\"/opt/my apps/console\" -1");
}

}  // namespace
}  // namespace pvn::desktop
