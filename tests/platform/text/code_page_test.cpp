#include "platform/text/code_page.h"

#include "platform/registry/key.h"
#include "tests/support/temp_prefix.h"

namespace pvn::text {
namespace {

class CodePageTest : public testing::PrefixTest {
 protected:
  static void SetAcp(std::u16string_view acp) {
    auto key = reg::Key::Create(u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                                reg::KEY_ALL_ACCESS);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->SetString(u"ACP", acp), win::ERROR_SUCCESS);
  }
};

TEST_F(CodePageTest, SystemCodePageComesFromTheRegistry) {
  EXPECT_EQ(AnsiCodePage(), 1252u);
  SetAcp(u"1251");
  EXPECT_EQ(AnsiCodePage(), 1251u);
  SetAcp(u"banana");
  EXPECT_EQ(AnsiCodePage(), 1252u);
  SetAcp(u"99999");  // a code page the system does not have
  EXPECT_EQ(AnsiCodePage(), 1252u);
}

TEST_F(CodePageTest, ConversionsFollowTheCodePage) {
  EXPECT_EQ(WideToAnsi(u"Caf\u00e9 \u20ac"), "Caf\xe9 \x80");  // CP1252 has the euro at 0x80
  EXPECT_EQ(AnsiToWide("Caf\xe9 \x80"), u"Caf\u00e9 \u20ac");
  EXPECT_EQ(WideToAnsi(u"\u0416", 1252), "?");  // a letter CP1252 lacks
  EXPECT_FALSE(WideToAnsiExact(u"\u0416", 1252).has_value());
  EXPECT_EQ(WideToAnsi(u"\u0416", 1251), "\xc6");
  SetAcp(u"1251");
  EXPECT_EQ(WideToAnsi(u"\u0416"), "\xc6");
  EXPECT_EQ(AnsiToWide("\x81"), u"\u0403");
  EXPECT_EQ(AnsiToWide("\x82\xa0", 932), u"\u3042");  // a double-byte character
}

TEST_F(CodePageTest, DefaultLocaleWidensByteByByte) {
  char16_t slot[4];
  std::fill(std::begin(slot), std::end(slot), u'#');
  EXPECT_EQ(MultiByteToWideDefaultLocale("ab\xe9", slot, 4), 3u);
  EXPECT_EQ(std::u16string_view(slot, 4), std::u16string_view(u"ab\u00e9\0", 4));
  std::fill(std::begin(slot), std::end(slot), u'#');
  // A full slot gets no terminator, and nothing beyond `max` is written.
  EXPECT_EQ(MultiByteToWideDefaultLocale("abcdef", slot, 3), 3u);
  EXPECT_EQ(std::u16string_view(slot, 4), u"abc#");
}

}  // namespace
}  // namespace pvn::text
