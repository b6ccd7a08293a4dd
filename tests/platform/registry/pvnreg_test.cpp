// pvnreg driven as a user drives it: command lines through the shell, answers
// on standard input, and its output, messages and exit codes compared with
// reg.exe's.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry/key.h"
#include "platform/registry/reg_file.h"
#include "tests/support/temp_prefix.h"

namespace pvn::reg {
namespace {

constexpr const char* kCompleted = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class PvnregTest : public testing::PrefixTest {
 protected:
  // Runs "pvnreg ARGS" through the shell, so ARGS is quoted as a user types it.
  Outcome Run(const std::string& args, const std::string& input = "") {
    auto in = prefix_.path() / "stdin.txt";
    auto err = prefix_.path() / "stderr.txt";
    std::ofstream(in, std::ios::binary) << input;
    auto result = testing::RunCommand("'" + (testing::BinDir() / "pvnreg").string() + "' " + args +
                                      " <'" + in.string() + "' 2>'" + err.string() + "'");
    return Outcome{result.status, result.out, ReadAll(err)};
  }

  void MustRun(const std::string& args) {
    Outcome o = Run(args);
    ASSERT_EQ(o.status, 0) << args << "\n" << o.err;
  }

  std::vector<std::uint8_t> Stored(std::u16string_view path, std::u16string_view name) {
    auto key = Key::Open(path, KEY_READ);
    if (!key) return {};
    auto value = key->GetValue(name);
    return value ? value->data : std::vector<std::uint8_t>{};
  }
};

TEST_F(PvnregTest, AddThenQueryTheApplicationPath) {
  Outcome add = Run(
      R"(add "HKLM\SOFTWARE\KVR\Usb Portvane" /v AppPath /t REG_SZ /d "C:\Program Files\Usb Portvane\\" /f)");
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(add.out, kCompleted);

  Outcome query = Run(R"(query "HKLM\SOFTWARE\KVR\Usb Portvane" /v AppPath)");
  EXPECT_EQ(query.status, 0);
  EXPECT_EQ(query.out,
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\KVR\\Usb Portvane\n"
            "    AppPath    REG_SZ    C:\\Program Files\\Usb Portvane\\\n"
            "\n");
  std::u16string stored = u"C:\\Program Files\\Usb Portvane\\";
  stored.push_back(u'\0');
  std::vector<std::uint8_t> bytes;
  for (char16_t c : stored) bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
  EXPECT_EQ(Stored(u"SOFTWARE\\KVR\\Usb Portvane", u"AppPath"), bytes);
}

TEST_F(PvnregTest, QueryShowsEachTypeAsRegExeDoes) {
  struct Case {
    std::string add;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"/v V /d 'two words'", "    V    REG_SZ    two words"},
      {"/v V /t REG_EXPAND_SZ /d '%SystemRoot%\\x'", "    V    REG_EXPAND_SZ    %SystemRoot%\\x"},
      {"/v V /t REG_MULTI_SZ /d 'fax\\0mail\\0'", "    V    REG_MULTI_SZ    fax\\0mail"},
      {"/v V /t REG_MULTI_SZ /s '#' /d 'a#b'", "    V    REG_MULTI_SZ    a\\0b"},
      {"/v V /t REG_DWORD /d 255", "    V    REG_DWORD    0xff"},
      {"/v V /t REG_DWORD /d 0xFFFFFFFF", "    V    REG_DWORD    0xffffffff"},
      {"/v V /t REG_QWORD /d 0x100000000", "    V    REG_QWORD    0x100000000"},
      {"/v V /t REG_BINARY /d fe340ead", "    V    REG_BINARY    FE340EAD"},
      {"/v V /t REG_NONE", "    V    REG_NONE    "},
      {"/v V /d ''", "    V    REG_SZ    "},
      {"/ve /d 'the default'", "    (Default)    REG_SZ    the default"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::string key = "'HKLM\\SOFTWARE\\T" + std::to_string(i) + "'";
    MustRun("add " + key + " " + cases[i].add);
    bool isDefault = cases[i].add.starts_with("/ve");
    Outcome query = Run("query " + key + (isDefault ? " /ve" : " /v V"));
    EXPECT_EQ(query.status, 0);
    EXPECT_EQ(query.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\T" + std::to_string(i) + "\n" +
                             cases[i].line + "\n\n")
        << cases[i].add;
  }
}

TEST_F(PvnregTest, QueryListsValuesThenSubkeys) {
  MustRun(R"(add 'HKLM\SOFTWARE\P' /v One /t REG_DWORD /d 1)");
  MustRun(R"(add 'HKLM\SOFTWARE\P' /v Two /d second)");
  MustRun(R"(add 'HKLM\SOFTWARE\P\b')");
  MustRun(R"(add 'HKLM\SOFTWARE\P\A' /v Inner /d x)");

  EXPECT_EQ(Run(R"(query 'hklm\software\P')").out,
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\P\n"
            "    One    REG_DWORD    0x1\n"
            "    Two    REG_SZ    second\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\P\\A\n"
            "HKEY_LOCAL_MACHINE\\software\\P\\b\n");
  // A key without values shows its subkeys only.
  EXPECT_EQ(Run(R"(query HKEY_LOCAL_MACHINE\\SOFTWARE)").out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\P\n");
  EXPECT_EQ(Run(R"(query 'HKLM\SOFTWARE\P' /s)").out,
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\P\n"
            "    One    REG_DWORD    0x1\n"
            "    Two    REG_SZ    second\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\A\n"
            "    Inner    REG_SZ    x\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\b\n");
  EXPECT_EQ(Run(R"(query 'HKLM\SOFTWARE' /v inner /s)").out,
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\P\\A\n"
            "    inner    REG_SZ    x\n"
            "\n"
            "End of search: 1 match(es) found.\n");
  EXPECT_EQ(Run(R"(query 'HKLM\SOFTWARE\P' /ve)").out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\P\n    (Default)    REG_SZ    (value not set)\n\n");
}

TEST_F(PvnregTest, ErrorsGiveRegExeMessagesAndExitCodeOne) {
  MustRun(R"(add 'HKLM\SOFTWARE\E' /v Here /d x)");
  struct Case {
    std::string args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {R"(query 'HKLM\SOFTWARE\Missing')", 1, kNotFound},
      {R"(query 'HKLM\SOFTWARE\E' /v Missing)", 1, kNotFound},
      {R"(query 'HKLM\SOFTWARE' /v Missing /s)", 1, ""},
      {R"(query 'HKCU\Software')", 1,
       "ERROR: Invalid key name.\nType \"PVNREG QUERY /?\" for usage.\n"},
      {R"(add 'HKEY_USERS\x' /f)", 1,
       "ERROR: Invalid key name.\nType \"PVNREG ADD /?\" for usage.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /ve)", 1,
       "ERROR: Invalid syntax.\nType \"PVNREG ADD /?\" for usage.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /t REG_FOO /d 1)", 1,
       "ERROR: Invalid syntax.\nType \"PVNREG ADD /?\" for usage.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /t REG_DWORD /d 12x)", 1,
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /t REG_DWORD /d 0x100000000)", 1,
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /t REG_BINARY /d abc)", 1,
       "ERROR: Invalid syntax.\nType \"PVNREG ADD /?\" for usage.\n"},
      {R"(add 'HKLM\SOFTWARE\E' /v a /d)", 1,
       "ERROR: Invalid syntax.\nType \"PVNREG ADD /?\" for usage.\n"},
      {R"(delete 'HKLM\SOFTWARE\E' /v Missing /f)", 1, kNotFound},
      {R"(delete 'HKLM\SOFTWARE\Missing' /f)", 1, kNotFound},
      {R"(delete 'HKLM\SOFTWARE\E' /v Here /va /f)", 1,
       "ERROR: Invalid syntax.\nType \"PVNREG DELETE /?\" for usage.\n"},
      {R"(import /nonexistent/x.reg)", 1,
       "ERROR: Error opening the file. There may be a disk or file system error.\n"},
      {R"(frobnicate)", 1,
       "ERROR: Invalid argument/option - 'frobnicate'.\nType \"PVNREG /?\" for usage.\n"},
      {R"(query 'HKLM\SOFTWARE\E' /v Here)", 0, ""},
      {R"(add /?)", 0, ""},
      {R"(delete 'HKLM\SOFTWARE\E' /v Here /f)", 0, ""},
  };
  for (const auto& c : cases) {
    Outcome o = Run(c.args);
    EXPECT_EQ(o.status, c.status) << c.args;
    EXPECT_EQ(o.err, c.err) << c.args;
  }
  EXPECT_FALSE(Key::Open(u"SOFTWARE\\E", KEY_READ)->GetValue(u"Here"));
}

TEST_F(PvnregTest, WithoutForceItAsksFirst) {
  MustRun(R"(add 'HKLM\SOFTWARE\Q' /v V /d old)");

  Outcome no = Run(R"(add 'HKLM\SOFTWARE\Q' /v V /d new)", "n\n");
  EXPECT_EQ(no.status, 1);
  EXPECT_EQ(no.out, "Value V exists, overwrite(Yes/No)? The operation was canceled by the user.\n");
  Outcome eof = Run(R"(add 'HKLM\SOFTWARE\Q' /v V /d new)");
  EXPECT_EQ(eof.status, 1);
  EXPECT_EQ(Run(R"(query 'HKLM\SOFTWARE\Q' /v V)").out.find("old") != std::string::npos, true);

  // Answers other than yes or no ask again.
  Outcome yes = Run(R"(add 'HKLM\SOFTWARE\Q' /v V /d new)", "maybe\nYES\n");
  EXPECT_EQ(yes.status, 0);
  EXPECT_EQ(yes.out, "Value V exists, overwrite(Yes/No)? Value V exists, overwrite(Yes/No)? " +
                         std::string(kCompleted));
  EXPECT_NE(Run(R"(query 'HKLM\SOFTWARE\Q' /v V)").out.find("new"), std::string::npos);

  Outcome keep = Run(R"(delete 'HKLM\SOFTWARE\Q')", "no\n");
  EXPECT_EQ(keep.status, 1);
  EXPECT_EQ(keep.out,
            "Permanently delete the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Q (Yes/No)? "
            "The operation was canceled by the user.\n");
  EXPECT_TRUE(Key::Open(u"SOFTWARE\\Q", KEY_READ));

  Outcome values = Run(R"(delete 'HKLM\SOFTWARE\Q' /va)", "y\n");
  EXPECT_EQ(values.status, 0);
  EXPECT_EQ(
      values.out,
      "Delete all values under the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Q (Yes/No)? \n" +
          std::string(kCompleted));
  EXPECT_TRUE(Key::Open(u"SOFTWARE\\Q", KEY_READ)->Values()->empty());

  EXPECT_EQ(Run(R"(delete 'HKLM\SOFTWARE\Q')", "y\n").status, 0);
  EXPECT_FALSE(Key::Open(u"SOFTWARE\\Q", KEY_READ));
}

TEST_F(PvnregTest, ExportAndImportThroughTheTool) {
  MustRun(
      R"(add 'HKLM\SOFTWARE\X' /v Path /t REG_EXPAND_SZ /d '%SystemRoot%\system32\drivers\PvnPortGate.sys')");
  MustRun(R"(add 'HKLM\SOFTWARE\X\Sub' /v Flag /t REG_DWORD /d 1)");
  Outcome exported = Run(R"(export 'HKLM\SOFTWARE\X' 'C:\x.reg')");
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, kCompleted);
  std::string bytes = ReadAll(prefix_.path() / "drive_c" / "x.reg");
  EXPECT_EQ(bytes, *ExportRegFile(u"SOFTWARE\\X"));

  // An existing file is only replaced after a yes, or with /y.
  EXPECT_EQ(Run(R"(export 'HKLM\SOFTWARE\X' 'C:\x.reg')", "n\n").status, 1);
  EXPECT_EQ(Run(R"(export 'HKLM\SOFTWARE\X' 'C:\x.reg' /y)").status, 0);

  MustRun(R"(delete 'HKLM\SOFTWARE\X' /f)");
  Outcome imported = Run(R"(import 'C:\x.reg')");
  EXPECT_EQ(imported.status, 0);
  EXPECT_EQ(imported.err, kCompleted);  // reg.exe reports a good import on standard error
  EXPECT_EQ(*ExportRegFile(u"SOFTWARE\\X"), bytes);

  // A bad script is refused with its line, and nothing of it is applied.
  std::ofstream(prefix_.path() / "bad.reg")
      << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Y]\r\n"
         "\"A\"=dword:1\r\n\"B\"=word:2\r\n";
  Outcome bad = Run("import '" + (prefix_.path() / "bad.reg").string() + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(", line 5: "), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("Nothing was imported."), std::string::npos) << bad.err;
  EXPECT_FALSE(Key::Open(u"SOFTWARE\\Y", KEY_READ));
}

TEST_F(PvnregTest, ReadOnlyMarkRefusesWrites) {
  MustRun(R"(add 'HKLM\SOFTWARE\R' /v V /d x)");
  EXPECT_EQ(Run(R"(readonly 'HKLM\SOFTWARE\R')").out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\R\n    writable\n\n");
  MustRun(R"(readonly 'HKLM\SOFTWARE\R' /on)");
  EXPECT_EQ(Run(R"(readonly 'HKLM\SOFTWARE\R')").out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\R\n    read-only\n\n");

  for (const char* write :
       {R"(add 'HKLM\SOFTWARE\R' /v V /d y /f)", R"(add 'HKLM\SOFTWARE\R\Sub')",
        R"(delete 'HKLM\SOFTWARE\R' /v V /f)", R"(delete 'HKLM\SOFTWARE\R' /f)"}) {
    Outcome o = Run(write);
    EXPECT_EQ(o.status, 1) << write;
    EXPECT_EQ(o.err, "ERROR: Access is denied.\n") << write;
  }
  EXPECT_EQ(Run(R"(query 'HKLM\SOFTWARE\R' /v V)").status, 0);  // reading still works

  MustRun(R"(readonly 'HKLM\SOFTWARE\R' /off)");
  EXPECT_EQ(Run(R"(add 'HKLM\SOFTWARE\R' /v V /d y /f)").status, 0);
}

}  // namespace
}  // namespace pvn::reg
