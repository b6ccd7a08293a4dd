#include "platform/fs/file.h"

#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/prefix.h"
#include "tests/support/temp_prefix.h"

namespace pvn::fs {
namespace {

class FileTest : public testing::PrefixTest {
 protected:
  static constexpr std::u16string_view kLog = u"\\DosDevices\\c:\\Windows\\System32\\Drivers\\t.log";

  // Opens the file in a child process and returns the Win32 error it got.
  static win::Error OpenInOtherProcess(std::u16string_view path, std::uint32_t access,
                                       std::uint32_t share) {
    pid_t pid = fork();
    if (pid == 0) {
      auto file = File::Open(path, access, share, OPEN_ALWAYS);
      _exit(file ? 0 : static_cast<int>(file.error()));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return static_cast<win::Error>(WEXITSTATUS(status));
  }
};

TEST_F(FileTest, AppendOnlyHandlesWriteAtTheEnd) {
  ASSERT_EQ(WriteFileBytes(kLog, "first\r\n"), win::ERROR_SUCCESS);
  {
    auto file = File::Open(kLog, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->existed());
    EXPECT_EQ(file->Write("second\r\n"), win::ERROR_SUCCESS);
    char buffer[4];
    std::size_t read = 0;
    EXPECT_EQ(file->Read(buffer, sizeof buffer, &read), win::ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(*ReadFileBytes(kLog), "first\r\nsecond\r\n");
}

TEST_F(FileTest, ReadSharingRefusesASecondWriterInAnyProcess) {
  auto holder = File::Open(kLog, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
  ASSERT_TRUE(holder);
  // Same process, other handle, and another process alike.
  auto second = File::Open(kLog, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_EQ(second.error(), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(OpenInOtherProcess(kLog, FILE_APPEND_DATA, FILE_SHARE_READ),
            win::ERROR_SHARING_VIOLATION);
  // A reader that lets others write is not disturbed...
  EXPECT_EQ(OpenInOtherProcess(kLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE),
            win::ERROR_SUCCESS);
  // ...but one that refuses write sharing is, since a writer is there.
  EXPECT_EQ(OpenInOtherProcess(kLog, GENERIC_READ, FILE_SHARE_READ), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(DeleteFile(kLog), win::ERROR_SHARING_VIOLATION);

  holder->Close();
  EXPECT_EQ(OpenInOtherProcess(kLog, FILE_APPEND_DATA, FILE_SHARE_READ), win::ERROR_SUCCESS);
  EXPECT_EQ(DeleteFile(kLog), win::ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(kLog));
}

TEST_F(FileTest, CreateAlwaysDoesNotTruncateAFileItMayNotOpen) {
  ASSERT_EQ(WriteFileBytes(kLog, "keep"), win::ERROR_SUCCESS);
  auto holder = File::Open(kLog, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_TRUE(holder);
  EXPECT_EQ(WriteFileBytes(kLog, "lost"), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(*ReadFileBytes(kLog), "keep");
}

TEST_F(FileTest, DispositionsAndErrors) {
  EXPECT_EQ(File::Open(u"C:\\missing.txt", GENERIC_READ, 0, OPEN_EXISTING).error(),
            win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(File::Open(u"C:\\no\\dir\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS).error(),
            win::ERROR_PATH_NOT_FOUND);
  ASSERT_EQ(WriteFileBytes(u"C:\\a.txt", "abc"), win::ERROR_SUCCESS);
  EXPECT_EQ(File::Open(u"C:\\A.TXT", GENERIC_WRITE, 0, CREATE_NEW).error(), win::ERROR_FILE_EXISTS);
  EXPECT_EQ(File::Open(u"C:\\Windows", GENERIC_READ, 0, OPEN_EXISTING).error(),
            win::ERROR_ACCESS_DENIED);
  auto truncated = File::Open(u"C:\\a.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_TRUE(truncated);
  EXPECT_EQ(*truncated->Size(), 0u);
}

TEST_F(FileTest, CopyDeleteAttributesAndDirectories) {
  ASSERT_EQ(WriteFileBytes(u"C:\\src.txt", "payload"), win::ERROR_SUCCESS);
  ASSERT_EQ(WriteFileBytes(u"C:\\dst.txt", "old"), win::ERROR_SUCCESS);
  EXPECT_EQ(CopyFile(u"C:\\src.txt", u"C:\\dst.txt", true), win::ERROR_FILE_EXISTS);
  EXPECT_EQ(*ReadFileBytes(u"C:\\dst.txt"), "old");
  EXPECT_EQ(CopyFile(u"C:\\src.txt", u"C:\\dst.txt", false), win::ERROR_SUCCESS);
  EXPECT_EQ(*ReadFileBytes(u"C:\\dst.txt"), "payload");

  EXPECT_EQ(CreateDirectory(u"C:\\Program Files\\Lock"), win::ERROR_SUCCESS);
  EXPECT_EQ(CreateDirectory(u"C:\\Program Files\\Lock"), win::ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CreateDirectory(u"C:\\Missing\\Lock"), win::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(*GetFileAttributes(u"C:\\Program Files\\Lock"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(*GetFileAttributes(u"C:\\src.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributes(u"C:\\nothing").error(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(DeleteFile(u"C:\\Program Files\\Lock"), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(DeleteFile(u"C:\\nothing"), win::ERROR_FILE_NOT_FOUND);

  auto names = ListDirectory(u"C:\\");
  ASSERT_TRUE(names);
  EXPECT_NE(std::find(names->begin(), names->end(), u"src.txt"), names->end());
}

}  // namespace
}  // namespace pvn::fs
