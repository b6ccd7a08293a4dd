#include "drivers/portgate/id_strings.h"

#include <gtest/gtest.h>

#include <string>

namespace pvn::gate {
namespace {

TEST(UpperCaseAscii, LowersOnlyAsciiLettersUpToTheTerminator) {
  // "é" and "ß" are letters but not ASCII; the text after the zero is untouched.
  char16_t text[] = u"usb\\vid_12ab&pid_34cd\u00e9\u00df-z{`\0tail";
  UpperCaseAscii(text);
  EXPECT_EQ(std::u16string(text), u"USB\\VID_12AB&PID_34CD\u00e9\u00df-Z{`");
  EXPECT_EQ(std::u16string(text + 28), u"tail");
  UpperCaseAscii(nullptr);  // left alone
}

TEST(IdEquals, ComparesWholeTextsExactly) {
  struct Case {
    const char16_t* left;
    const char16_t* right;
    bool equal;
  } cases[] = {
      {u"USB\\VID_12AB", u"USB\\VID_12AB", true},
      {u"", u"", true},
      {u"USB\\VID_12AB", u"usb\\vid_12ab", false},  // callers upper-case first
      {u"USB\\VID_12AB", u"USB\\VID_12ABC", false},
      {u"USB\\VID_12ABC", u"USB\\VID_12AB", false},
      {u"", u"USB", false},
      {nullptr, u"USB", false},
      {u"USB", nullptr, false},
      {nullptr, nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IdEquals(c.left, c.right), c.equal)
        << (c.left ? "left set" : "left null") << ", " << (c.right ? "right set" : "right null");
  }
}

TEST(IdContains, FindsContiguousRuns) {
  struct Case {
    const char16_t* haystack;
    const char16_t* needle;
    bool contained;
  } cases[] = {
      {u"USB\\VID_12AB&PID_34CD\\9F17B2C4", u"9F17B2C4", true},
      {u"USB\\VID_12AB&PID_34CD\\9F17B2C4", u"B2C4", true},
      {u"USB\\VID_12AB&PID_34CD\\9F17B2C4", u"USB", true},
      {u"USB\\VID_12AB&PID_34CD\\9F17B2C4", u"9F17B2C5", false},
      {u"AAAB", u"AAB", true},  // a partial match must not skip the real one
      {u"AB", u"ABC", false},
      {u"ANY", u"", true},
      {u"", u"", true},
      {u"", u"A", false},
      {nullptr, u"", false},
      {u"A", nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IdContains(c.haystack, c.needle), c.contained)
        << (c.haystack ? "haystack set" : "haystack null") << ", "
        << (c.needle ? "needle set" : "needle null");
  }
}

}  // namespace
}  // namespace pvn::gate
