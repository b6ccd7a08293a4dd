// Parsing a raw URL into command and parameter, the command table, and the
// token comparison.
#include "courier/remote_command.h"

#include <gtest/gtest.h>

#include "courier/rmt_http_listener.h"

namespace pvn::courier {
namespace {

TEST(ParseRemoteQuery, Table) {
  struct Case {
    const char* url;
    bool hasQuery;
    const char* command;
    const char* parameter;
  };
  const Case cases[] = {
      {"/PVN_SERVICE?PVN_CMD=STORAGE_OFF", true, "STORAGE_OFF", ""},
      {"/PVN_SERVICE", false, "", ""},
      {"/PVN_SERVICE?", true, "", ""},
      {"/PVN_SERVICE?pvn_cmd=kbm_off&PVN_PARAM=5", true, "kbm_off", "5"},
      {"/PVN_SERVICE?PVN_CMD=KBM_ON&PVN_CMD=KBM_OFF", true, "KBM_OFF", ""},  // the last counts
      {"/PVN_SERVICE?PVN_PARAM=5", true, "", "5"},
      {"/PVN_SERVICE?PVN_CMD=KBM%5FON", true, "KBM%5FON", ""},  // no decoding
      {"/PVN_SERVICE?PVN_CMD= KBM_ON", true, " KBM_ON", ""},    // no trimming
      {"/PVN_SERVICE?PVN_CMD=a=b&&x&PVN_PARAM", true, "a=b", ""},
      {"/PVN_SERVICE?PVN_CMD=A&", true, "A", ""},
      {"/PVN_SERVICE?PVN_CMDX=A&XPVN_CMD=B", true, "", ""},
      {"/x?y?PVN_CMD=Z&PVN_PARAM=?", true, "", "?"},  // split at the first "?" only
  };
  for (const auto& c : cases) {
    std::string command, parameter;
    EXPECT_EQ(ParseRemoteQuery(c.url, &command, &parameter), c.hasQuery) << c.url;
    EXPECT_EQ(command, c.command) << c.url;
    EXPECT_EQ(parameter, c.parameter) << c.url;
  }
}

TEST(RemoteCommandTable, NamesAndCodesInOrder) {
  const RemoteCommand* table = RemoteCommandTable();
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"KBM_ON", 0x21},    {"KBM_OFF", 0x22},    {"STORAGE_ON", 0x31}, {"STORAGE_OFF", 0x32},
      {"ALLCFG_ON", 0x51}, {"ALLCFG_OFF", 0x52}, {"SYS_REBOOT", 0x62}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_STREQ(table[i].name, expected[i].first);
    EXPECT_EQ(table[i].code, expected[i].second);
  }
  EXPECT_EQ(table[std::size(expected)].code, 0u);
  ASSERT_NE(FindRemoteCommand("allcfg_off"), nullptr);
  EXPECT_EQ(FindRemoteCommand("allcfg_off")->code, 0x52u);
  EXPECT_EQ(FindRemoteCommand("KBM"), nullptr);
  EXPECT_EQ(FindRemoteCommand("KBM_ON "), nullptr);
  EXPECT_EQ(FindRemoteCommand(""), nullptr);
}

TEST(TokensEqual, ExactAndCaseSensitive) {
  EXPECT_TRUE(TokensEqual(u"50731942", u"50731942"));
  EXPECT_TRUE(TokensEqual(u"", u""));
  EXPECT_FALSE(TokensEqual(u"abcD", u"abcd"));
  EXPECT_FALSE(TokensEqual(u"5073194", u"50731942"));
  EXPECT_FALSE(TokensEqual(u"507319420", u"50731942"));
  EXPECT_FALSE(TokensEqual(u"", u"x"));
}

}  // namespace
}  // namespace pvn::courier
