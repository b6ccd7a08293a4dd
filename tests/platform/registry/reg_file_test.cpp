#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/unicode.h"
#include "tests/support/temp_prefix.h"

namespace pvn::reg {
namespace {

// A script as the registry editor stores it: UTF-16LE with byte order mark
// and CR LF line ends.
std::string Utf16File(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  std::u16string wide = Utf8ToUtf16(text);
  std::string bytes = "\xFF\xFE";
  for (char16_t c : wide) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::string AnsiFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::uint8_t> Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

Value String(std::uint32_t type, std::u16string_view text) {
  return Value{type, Bytes(text)};
}

std::optional<Value> Read(std::u16string_view path, std::u16string_view name) {
  auto key = Key::Open(path, KEY_READ);
  if (!key) return std::nullopt;
  auto value = key->GetValue(name);
  if (!value) return std::nullopt;
  return *value;
}

bool KeyExists(std::u16string_view path) {
  return Key::Open(path, KEY_READ).ok();
}

// Value lines copied from exports the registry editor wrote. Where a line is
// broken depends on how long the name is, so names of several lengths and
// the default value are here.
TEST(RegFileFormat, HexListsBreakExactlyAsTheRegistryEditorDoes) {
  struct Case {
    std::u16string name;
    Value value;
    std::string expected;
  };
  const std::u16string calc = u"%SystemRoot%\\system32\\win32calc.exe";
  const std::vector<Case> cases = {
      {u"DllName",
       String(REG_EXPAND_SZ,
              std::u16string(u"%SystemRoot%\\resources\\themes\\Aero\\Aero.msstyles") + u'\0'),
       "\"DllName\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\\r\n"
       "  74,00,25,00,5c,00,72,00,65,00,73,00,6f,00,75,00,72,00,63,00,65,00,73,00,5c,\\\r\n"
       "  00,74,00,68,00,65,00,6d,00,65,00,73,00,5c,00,41,00,65,00,72,00,6f,00,5c,00,\\\r\n"
       "  41,00,65,00,72,00,6f,00,2e,00,6d,00,73,00,73,00,74,00,79,00,6c,00,65,00,73,\\\r\n"
       "  00,00,00"},
      {u"ResourceFileName", String(REG_EXPAND_SZ, calc + u'\0'),
       "\"ResourceFileName\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,\\\r\n"
       "  00,6f,00,74,00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,\\\r\n"
       "  5c,00,77,00,69,00,6e,00,33,00,32,00,63,00,61,00,6c,00,63,00,2e,00,65,00,78,\\\r\n"
       "  00,65,00,00,00"},
      {u"MessageFileName", String(REG_EXPAND_SZ, calc + u'\0'),
       "\"MessageFileName\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,\\\r\n"
       "  6f,00,74,00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,\\\r\n"
       "  00,77,00,69,00,6e,00,33,00,32,00,63,00,61,00,6c,00,63,00,2e,00,65,00,78,00,\\\r\n"
       "  65,00,00,00"},
      {u"",
       String(REG_EXPAND_SZ,
              std::u16string(u"%SystemRoot%\\System32\\rundll32.exe \"%ProgramFiles%\\Windows "
                             u"Photo Viewer\\PhotoViewer.dll\", ImageView_Fullscreen %1") +
                  u'\0'),
       "@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\\\r\n"
       "  00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,72,00,75,00,\\\r\n"
       "  6e,00,64,00,6c,00,6c,00,33,00,32,00,2e,00,65,00,78,00,65,00,20,00,22,00,25,\\\r\n"
       "  00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,00,65,00,73,00,\\\r\n"
       "  25,00,5c,00,57,00,69,00,6e,00,64,00,6f,00,77,00,73,00,20,00,50,00,68,00,6f,\\\r\n"
       "  00,74,00,6f,00,20,00,56,00,69,00,65,00,77,00,65,00,72,00,5c,00,50,00,68,00,\\\r\n"
       "  6f,00,74,00,6f,00,56,00,69,00,65,00,77,00,65,00,72,00,2e,00,64,00,6c,00,6c,\\\r\n"
       "  00,22,00,2c,00,20,00,49,00,6d,00,61,00,67,00,65,00,56,00,69,00,65,00,77,00,\\\r\n"
       "  5f,00,46,00,75,00,6c,00,6c,00,73,00,63,00,72,00,65,00,65,00,6e,00,20,00,25,\\\r\n"
       "  00,31,00,00,00"},
      {u"Consolas",
       String(REG_MULTI_SZ,
              std::u16string(u"MSYH.TTC,Microsoft YaHei UI,128,96\0MSYH.TTC,Microsoft YaHei UI\0\0",
                             64)),
       "\"Consolas\"=hex(7):4d,00,53,00,59,00,48,00,2e,00,54,00,54,00,43,00,2c,00,4d,00,\\\r\n"
       "  69,00,63,00,72,00,6f,00,73,00,6f,00,66,00,74,00,20,00,59,00,61,00,48,00,65,\\\r\n"
       "  00,69,00,20,00,55,00,49,00,2c,00,31,00,32,00,38,00,2c,00,39,00,36,00,00,00,\\\r\n"
       "  4d,00,53,00,59,00,48,00,2e,00,54,00,54,00,43,00,2c,00,4d,00,69,00,63,00,72,\\\r\n"
       "  00,6f,00,73,00,6f,00,66,00,74,00,20,00,59,00,61,00,48,00,65,00,69,00,20,00,\\\r\n"
       "  55,00,49,00,00,00,00,00"},
  };
  for (const auto& c : cases) {
    std::string line = Utf16ToUtf8(FormatRegValue(c.name, c.value));
    EXPECT_EQ(line, c.expected) << Utf16ToUtf8(c.name);
    std::size_t start = 0;
    for (std::size_t end; (end = line.find("\r\n", start)) != std::string::npos; start = end + 2)
      EXPECT_LE(end - start, 80u);
  }
}

// Each form of value: how it is written, and that reading it back gives the
// same type and bytes.
TEST(RegFileFormat, EveryValueSurvivesWritingAndReading) {
  struct Case {
    std::u16string name;
    Value value;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {u"AppPath", String(REG_SZ, std::u16string(u"C:\\Program Files\\Usb Portvane\\") + u'\0'),
       R"("AppPath"="C:\\Program Files\\Usb Portvane\\")"},
      {u"say \"hi\"\\", String(REG_SZ, std::u16string(u"\"q\"") + u'\0'),
       R"("say \"hi\"\\"="\"q\"")"},
      {u"Empty", String(REG_SZ, std::u16string(1, u'\0')), R"("Empty"="")"},
      // Strings the quoted form cannot carry exactly are written as hex(1).
      {u"NoEnd", String(REG_SZ, u"ab"), R"("NoEnd"=hex(1):61,00,62,00)"},
      {u"Lines", String(REG_SZ, std::u16string(u"a\nb") + u'\0'),
       R"("Lines"=hex(1):61,00,0a,00,62,00,00,00)"},
      {u"Zero", String(REG_SZ, u""), R"("Zero"=hex(1):)"},
      {u"Stor Enable", Value{REG_DWORD, {1, 0, 0, 0}}, R"("Stor Enable"=dword:00000001)"},
      {u"Max", Value{REG_DWORD, {0xff, 0xff, 0xff, 0xff}}, R"("Max"=dword:ffffffff)"},
      {u"Short", Value{REG_DWORD, {1, 2}}, R"("Short"=hex(4):01,02)"},
      {u"Size", Value{REG_QWORD, {0, 0x10, 0, 0, 0, 0, 0, 0x80}},
       R"("Size"=hex(b):00,10,00,00,00,00,00,80)"},
      {u"Blob", Value{REG_BINARY, {0xde, 0xad, 0xbe, 0xef}}, R"("Blob"=hex:de,ad,be,ef)"},
      {u"Nothing", Value{REG_NONE, {}}, R"("Nothing"=hex(0):)"},
      {u"Custom", Value{0x20000, {7}}, R"("Custom"=hex(20000):07)"},
  };
  std::vector<RegFileKey> keys = {{u"SOFTWARE\\T", {}}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(FormatRegValue(c.name, c.value)), c.expected);
    keys[0].values.push_back({c.name, c.value});
  }
  auto script = ParseRegFile(FormatRegFile(keys), 1252);
  ASSERT_TRUE(script) << script.error().line << ": " << script.error().reason;
  ASSERT_EQ(script->changes.size(), cases.size() + 1);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Change& change = script->changes[i + 1];
    EXPECT_EQ(change.name, cases[i].name);
    EXPECT_EQ(change.value.type, cases[i].value.type) << Utf16ToUtf8(cases[i].name);
    EXPECT_EQ(change.value.data, cases[i].value.data) << Utf16ToUtf8(cases[i].name);
  }
}

class RegFileTest : public testing::PrefixTest {};

// A script in the registry editor's exact layout imports, and exporting the
// same key again gives the same bytes.
TEST_F(RegFileTest, ExportOfAnImportedScriptGivesTheSameBytes) {
  const std::string script = Utf16File({
      "Windows Registry Editor Version 5.00",
      "",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KVR]",
      "",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KVR\\Usb Portvane]",
      "\"AppPath\"=\"C:\\\\Program Files\\\\Usb Portvane\\\\\"",
      "@=\"default \\\"quoted\\\"\"",
      "\"Stor Enable\"=dword:00000001",
      "\"Remote\"=hex:01,00,00,00,90,1f,00,00,54,6f,6b,65,6e,00,00,00,00,00,00,00,00,00,\\",
      "  00,00,00,00,00,00,01,00,00,00",
      "\"Size\"=hex(b):00,10,00,00,00,00,00,00",
      "\"Nothing\"=hex(0):",
      "\"DllName\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\",
      "  74,00,25,00,5c,00,72,00,65,00,73,00,6f,00,75,00,72,00,63,00,65,00,73,00,5c,\\",
      "  00,74,00,68,00,65,00,6d,00,65,00,73,00,5c,00,41,00,65,00,72,00,6f,00,5c,00,\\",
      "  41,00,65,00,72,00,6f,00,2e,00,6d,00,73,00,73,00,74,00,79,00,6c,00,65,00,73,\\",
      "  00,00,00",
      "\"LowerFilters\"=hex(7):50,00,76,00,6e,00,50,00,6f,00,72,00,74,00,47,00,61,00,74,\\",
      "  00,65,00,00,00,00,00",
      "\"Back\\\\slash \\\"name\\\"\"=\"\"",
      "",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KVR\\Usb Portvane\\Empty]",
      "",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KVR\\Usb Portvane\\Sub]",
      "\"Raw\"=hex(1):41,00,42,00",
      "",
  });
  ImportResult imported = ImportRegFile(script, 1252);
  ASSERT_EQ(imported.status, ImportResult::Status::kImported) << imported.badFile.reason;

  auto exported = ExportRegFile(u"software\\kvr");
  ASSERT_TRUE(exported);
  EXPECT_EQ(*exported, script);
  auto remote = Read(u"SOFTWARE\\KVR\\Usb Portvane", u"Remote");
  ASSERT_TRUE(remote);
  EXPECT_EQ(remote->data.size(), 32u);
}

TEST_F(RegFileTest, Regedit4StringsAreWidenedFromTheAnsiCodePage) {
  const std::string script = AnsiFile({
      "REGEDIT4",
      "",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]",
      "\"Name\"=\"Caf\xE9 \x80\"",
      "\"Path\"=hex(2):25,54,45,4d,50,25,5c,e9,00",
      "\"List\"=hex(7):61,00,e9,62,00,00",
      "\"Flag\"=dword:00000001",
      "\"Raw\"=hex:e9",
  });
  ImportResult imported = ImportRegFile(script, 1252);
  ASSERT_EQ(imported.status, ImportResult::Status::kImported) << imported.badFile.reason;

  const std::u16string key = u"SOFTWARE\\Old";
  EXPECT_EQ(Read(key, u"Name")->data, Bytes(std::u16string(u"Caf\u00E9 \u20AC") + u'\0'));
  EXPECT_EQ(Read(key, u"Path")->type, REG_EXPAND_SZ);
  EXPECT_EQ(Read(key, u"Path")->data, Bytes(std::u16string(u"%TEMP%\\\u00E9") + u'\0'));
  EXPECT_EQ(Read(key, u"List")->data, Bytes(std::u16string(u"a\0\u00E9b\0\0", 6)));
  EXPECT_EQ(Read(key, u"Flag")->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(Read(key, u"Raw")->data, std::vector<std::uint8_t>{0xE9});  // binary stays as is

  // The same bytes read in another code page give that code page's letters.
  ASSERT_EQ(ImportRegFile(script, 1251).status, ImportResult::Status::kImported);
  EXPECT_EQ(Read(key, u"Name")->data, Bytes(std::u16string(u"Caf\u0439 \u0402") + u'\0'));
}

TEST_F(RegFileTest, DeletionsRemoveKeyTreesAndValues) {
  ASSERT_TRUE(Key::Create(u"SOFTWARE\\Gone\\Deep", KEY_ALL_ACCESS));
  auto kept = Key::Create(u"SOFTWARE\\Kept", KEY_ALL_ACCESS);
  ASSERT_TRUE(kept);
  ASSERT_EQ(kept->SetDword(u"Drop", 1), 0u);
  ASSERT_EQ(kept->SetDword(u"Keep", 2), 0u);

  ImportResult imported = ImportRegFile(Utf16File({
                                            "Windows Registry Editor Version 5.00",
                                            "",
                                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]",
                                            "",
                                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverWasThere]",
                                            "",
                                            "[HKLM\\SOFTWARE\\Kept]",
                                            "\"Drop\"=-",
                                            "\"Absent\"=-",
                                        }),
                                        1252);
  ASSERT_EQ(imported.status, ImportResult::Status::kImported) << imported.badFile.reason;
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\Gone"));
  EXPECT_FALSE(Read(u"SOFTWARE\\Kept", u"Drop"));
  EXPECT_TRUE(Read(u"SOFTWARE\\Kept", u"Keep"));
}

TEST(RegFileParse, BadScriptsAreRefusedWithTheirLine) {
  struct Case {
    std::vector<std::string> lines;
    std::size_t line;
  };
  const std::string header = "Windows Registry Editor Version 5.00";
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]";
  const std::vector<Case> cases = {
      {{"Windows Registry Editor Version 4.00", "", key}, 1},
      {{header, "", "\"Early\"=dword:00000001", key}, 3},
      {{header, "", key, "\"Type\"=qword:1"}, 4},
      {{header, "", key, "\"Big\"=dword:123456789"}, 4},
      {{header, "", key, "\"Open\"=\"no end"}, 4},
      {{header, "", key, "\"Esc\"=\"a\\nb\""}, 4},
      {{header, "", key, "\"Eq\" dword:00000001"}, 4},
      {{header, "", key, "\"Tail\"=\"a\" junk"}, 4},
      {{header, "", key, "\"Hex\"=hex:01,02,\\", "  03,4g"}, 5},
      {{header, "", key, "\"Hex\"=hex:01,,02"}, 4},
      {{header, "", key, "\"Hex\"=hex:123"}, 4},
      {{header, "", key, "\"Hex\"=hex(2:01"}, 4},
      {{header, "", key, "\"Hex\"=hex:01,\\"}, 4},
      {{header, "", "[HKEY_CURRENT_USER\\Software\\T]"}, 3},
      {{header, "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\T]"}, 3},
      {{header, "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\T"}, 3},
      {{header, "", "[-HKEY_LOCAL_MACHINE]"}, 3},
      {{header, "", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\T]", "\"Orphan\"=\"x\""}, 4},
      {{header, "", key, "plain text"}, 4},
  };
  for (const auto& c : cases) {
    auto script = ParseRegFile(Utf16File(c.lines), 1252);
    ASSERT_FALSE(script) << c.lines.back();
    EXPECT_EQ(script.error().line, c.line) << c.lines.back() << ": " << script.error().reason;
    EXPECT_FALSE(script.error().reason.empty());
  }
}

TEST_F(RegFileTest, NothingOfARefusedScriptIsApplied) {
  // A bad line near the end: the keys and values before it are not applied.
  ImportResult bad = ImportRegFile(Utf16File({
                                       "Windows Registry Editor Version 5.00",
                                       "",
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]",
                                       "\"A\"=dword:00000001",
                                       "",
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Sub]",
                                       "\"B\"=hex:zz",
                                   }),
                                   1252);
  EXPECT_EQ(bad.status, ImportResult::Status::kBadFile);
  EXPECT_EQ(bad.badFile.line, 7u);
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\New"));

  // A script that parses but meets a read-only key half-way is rolled back.
  ASSERT_TRUE(Key::Create(u"SOFTWARE\\Locked", KEY_ALL_ACCESS));
  ASSERT_EQ(SetReadOnly(u"SOFTWARE\\Locked", true), 0u);
  ImportResult denied = ImportRegFile(Utf16File({
                                          "Windows Registry Editor Version 5.00",
                                          "",
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]",
                                          "\"A\"=dword:00000001",
                                          "",
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked]",
                                          "\"B\"=dword:00000002",
                                      }),
                                      1252);
  EXPECT_EQ(denied.status, ImportResult::Status::kRegistryError);
  EXPECT_EQ(denied.error, win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(denied.line, 7u);
  EXPECT_FALSE(KeyExists(u"SOFTWARE\\New"));
  EXPECT_FALSE(Read(u"SOFTWARE\\Locked", u"B"));
}

}  // namespace
}  // namespace pvn::reg
