#include "platform/registry/key.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_prefix.h"

namespace pvn::reg {
namespace {

class RegistryTest : public testing::PrefixTest {};

TEST_F(RegistryTest, KeysAndValuesAreFoundWithoutRegardToCase) {
  bool created = false;
  auto key = Key::Create(u"SOFTWARE\\KVR\\Usb Portvane", KEY_ALL_ACCESS, &created);
  ASSERT_TRUE(key);
  EXPECT_TRUE(created);
  ASSERT_EQ(key->SetDword(u"Stor Enable", 1), win::ERROR_SUCCESS);

  auto again = Key::Create(u"software\\kvr\\USB PORTVANE", KEY_READ, &created);
  ASSERT_TRUE(again);
  EXPECT_FALSE(created);
  EXPECT_EQ(again->path(), u"SOFTWARE\\KVR\\Usb Portvane");  // the first spelling stays
  auto value = again->GetValue(u"STOR ENABLE");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, REG_DWORD);
  EXPECT_EQ(value->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

TEST_F(RegistryTest, QueryValueBehavesAsTheWin32Call) {
  auto key = Key::Create(u"SOFTWARE\\T", KEY_ALL_ACCESS);
  ASSERT_TRUE(key);
  const char16_t text[] = u"C:\\Lock";  // stored without its terminator
  ASSERT_EQ(key->SetValue(u"AppPath", REG_SZ, text, 14), win::ERROR_SUCCESS);

  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(key->QueryValue(u"AppPath", &type, nullptr, &size), win::ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 14u);

  char16_t small[3] = {};
  size = sizeof small;
  EXPECT_EQ(key->QueryValue(u"AppPath", nullptr, small, &size), win::ERROR_MORE_DATA);
  EXPECT_EQ(size, 14u);

  char16_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  size = sizeof buffer;
  EXPECT_EQ(key->QueryValue(u"AppPath", nullptr, buffer, &size), win::ERROR_SUCCESS);
  EXPECT_EQ(std::u16string_view(buffer, 8), u"C:\\Lock#");  // no terminator is added

  size = sizeof buffer;
  EXPECT_EQ(key->QueryValue(u"Missing", nullptr, buffer, &size), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key->QueryValue(u"AppPath", nullptr, buffer, nullptr), win::ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, HandlesOnlyDoWhatTheirAccessAllows) {
  ASSERT_TRUE(Key::Create(u"SOFTWARE\\T", KEY_ALL_ACCESS));
  auto reader = Key::Open(u"SOFTWARE\\T", KEY_READ);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->SetDword(u"x", 1), win::ERROR_ACCESS_DENIED);
  auto writer = Key::Open(u"SOFTWARE\\T", KEY_WRITE);
  ASSERT_TRUE(writer);
  EXPECT_EQ(writer->SetDword(u"x", 1), win::ERROR_SUCCESS);
  EXPECT_EQ(writer->GetValue(u"x").error(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(writer->SubKeyNames().error(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Key::Open(u"SOFTWARE\\Nope", KEY_READ).error(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Key::Open(u"SOFTWARE\\\\T", KEY_READ).error(), win::ERROR_BAD_PATHNAME);
}

TEST_F(RegistryTest, ReadOnlyMarkRefusesWriteRightsOnly) {
  ASSERT_TRUE(Key::Create(u"SOFTWARE\\KVR\\Usb Portvane", KEY_ALL_ACCESS));
  ASSERT_EQ(SetReadOnly(u"SOFTWARE\\KVR\\Usb Portvane", true), win::ERROR_SUCCESS);
  EXPECT_TRUE(*IsReadOnly(u"software\\kvr\\usb portvane"));
  EXPECT_TRUE(Key::Open(u"SOFTWARE\\KVR\\Usb Portvane", KEY_READ));
  for (std::uint32_t access : {KEY_WRITE, KEY_READ | KEY_WRITE, KEY_ALL_ACCESS, KEY_SET_VALUE})
    EXPECT_EQ(Key::Open(u"SOFTWARE\\KVR\\Usb Portvane", access).error(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Key::Create(u"SOFTWARE\\KVR\\Usb Portvane\\Sub", KEY_READ).error(),
            win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(DeleteKey(u"SOFTWARE\\KVR\\Usb Portvane"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(DeleteTree(u"SOFTWARE\\KVR"), win::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Key::Open(u"SOFTWARE\\KVR\\Usb Portvane", KEY_READ));  // nothing was deleted

  ASSERT_EQ(SetReadOnly(u"SOFTWARE\\KVR\\Usb Portvane", false), win::ERROR_SUCCESS);
  EXPECT_TRUE(Key::Open(u"SOFTWARE\\KVR\\Usb Portvane", KEY_WRITE));
}

TEST_F(RegistryTest, EnumerationOrderAndDeletion) {
  auto key = Key::Create(u"SYSTEM\\Tree", KEY_ALL_ACCESS);
  ASSERT_TRUE(key);
  for (auto name : {u"beta", u"Alpha", u"gamma"}) ASSERT_TRUE(key->CreateSubKey(name, KEY_READ));
  for (auto name : {u"z", u"a", u"m"}) ASSERT_EQ(key->SetDword(name, 0), win::ERROR_SUCCESS);
  ASSERT_EQ(key->SetDword(u"Z", 5), win::ERROR_SUCCESS);  // an update keeps its place

  EXPECT_EQ(*key->SubKeyNames(), (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
  std::vector<std::u16string> valueNames;
  auto values = key->Values();
  ASSERT_TRUE(values);
  for (auto& v : *values) valueNames.push_back(v.name);
  EXPECT_EQ(valueNames, (std::vector<std::u16string>{u"z", u"a", u"m"}));
  std::u16string name;
  EXPECT_EQ(key->EnumKey(3, &name), win::ERROR_NO_MORE_ITEMS);

  EXPECT_EQ(DeleteKey(u"SYSTEM\\Tree"), win::ERROR_ACCESS_DENIED);  // it has subkeys
  EXPECT_EQ(DeleteTree(u"SYSTEM\\Tree"), win::ERROR_SUCCESS);
  EXPECT_EQ(key->GetValue(u"z").error(), win::ERROR_KEY_DELETED);
  EXPECT_EQ(Key::Open(u"SYSTEM\\Tree\\Alpha", KEY_READ).error(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key->DeleteValue(u"z"), win::ERROR_KEY_DELETED);
}

// Two processes write two different values of different sizes into one value
// as fast as they can while this one reads: every read sees one of the two
// whole values, never a mix. The writers are separate programs, since a
// process must not carry its parent's database state across fork.
TEST_F(RegistryTest, ConcurrentWritersLeaveOneWholeValue) {
  ASSERT_TRUE(Key::Create(u"SOFTWARE\\Race", KEY_ALL_ACCESS));
  std::string writer = (std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                        "registry_race_writer").string();
  std::vector<pid_t> writers;
  for (const char* pattern : {"AA 12416", "BB 3000"}) {
    pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", (writer + " " + pattern + " 150").c_str(), nullptr);
      _exit(127);
    }
    writers.push_back(pid);
  }
  const std::vector<std::uint8_t> a(12416, 0xAA), b(3000, 0xBB);
  auto reader = Key::Open(u"SOFTWARE\\Race", KEY_READ);
  ASSERT_TRUE(reader);
  std::size_t running = writers.size();
  std::vector<int> statuses;
  // Read for as long as either writer runs. A loaded machine may run the
  // writers while this process waits, so how many reads overlap them varies.
  while (running > 0) {
    auto value = reader->GetValue(u"Stor Whitelist");
    if (value) {
      ASSERT_TRUE(value->data == a || value->data == b) << "torn value of " << value->data.size();
    }
    for (pid_t& pid : writers) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        statuses.push_back(status);
        pid = 0;
        --running;
      }
    }
  }
  for (int status : statuses) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto last = reader->GetValue(u"Stor Whitelist");
  ASSERT_TRUE(last);
  EXPECT_TRUE(last->data == a || last->data == b);
}

}  // namespace
}  // namespace pvn::reg
