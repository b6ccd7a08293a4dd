#include "platform/fs/windows_path.h"

#include <fstream>

#include "platform/fs/prefix.h"
#include "tests/support/temp_prefix.h"

namespace pvn::fs {
namespace {

using testing::PrefixTest;

class WindowsPathTest : public PrefixTest {};

TEST_F(WindowsPathTest, DeviceFormsAndDriveLettersNameTheSameFolder) {
  std::filesystem::path expected = DriveC() / "Windows/System32/Drivers/usbwlsto.plog";
  for (std::u16string_view form : {u"C:\\Windows\\System32\\Drivers\\usbwlsto.plog",
                                   u"c:/Windows/System32/Drivers/usbwlsto.plog",
                                   u"\\DosDevices\\c:\\Windows\\System32\\Drivers\\usbwlsto.plog",
                                   u"\\??\\C:\\Windows\\System32\\Drivers\\usbwlsto.plog",
                                   u"\\\\?\\C:\\Windows\\System32\\Drivers\\usbwlsto.plog",
                                   u"\\SystemRoot\\System32\\Drivers\\usbwlsto.plog"}) {
    auto host = ToHostPath(form);
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(*host, expected) << std::string(form.begin(), form.end());
  }
}

TEST_F(WindowsPathTest, ComponentsMatchWithoutRegardToCase) {
  // The layout has "System32"; the system directory is spelled "system32".
  auto host = ToHostPath(std::u16string(kSystemDirectory) + u"\\DRIVERS");
  ASSERT_TRUE(host);
  EXPECT_EQ(*host, DriveC() / "Windows/System32/Drivers");
  // Components that do not exist yet keep the caller's spelling.
  EXPECT_EQ(*ToHostPath(u"C:\\Program Files\\New Folder\\x.txt"),
            DriveC() / "Program Files/New Folder/x.txt");
}

TEST_F(WindowsPathTest, FullPathResolvesRelativePathsAndDots) {
  ASSERT_EQ(SetCurrentDirectory(u"C:\\Program Files"), win::ERROR_SUCCESS);
  EXPECT_EQ(*FullPath(u"Lock\\..\\Lock\\.\\a.txt"), u"C:\\Program Files\\Lock\\a.txt");
  EXPECT_EQ(*FullPath(u"\\Windows"), u"C:\\Windows");
  EXPECT_EQ(*FullPath(u"c:"), u"C:\\");
  EXPECT_EQ(*FullPath(u"C:\\..\\.."), u"C:\\");
  EXPECT_FALSE(FullPath(u"").has_value());
  EXPECT_FALSE(FullPath(u"\\??\\nodrive").has_value());
}

TEST_F(WindowsPathTest, HostPathsOutsideTheDriveAreDriveZ) {
  EXPECT_EQ(ToWindowsPath("/tmp/some/file"), u"Z:\\tmp\\some\\file");
  EXPECT_EQ(*ToHostPath(u"Z:\\tmp\\some\\file"), std::filesystem::path("/tmp/some/file"));
  EXPECT_EQ(ToWindowsPath(DriveC() / "Windows"), u"C:\\Windows");
}

TEST_F(WindowsPathTest, CurrentDirectoryMustBeAnExistingFolder) {
  EXPECT_EQ(SetCurrentDirectory(u"C:\\No\\Such\\Folder"), win::ERROR_PATH_NOT_FOUND);
  std::ofstream(DriveC() / "file.txt") << "x";
  EXPECT_EQ(SetCurrentDirectory(u"C:\\file.txt"), win::ERROR_DIRECTORY);
  ASSERT_EQ(SetCurrentDirectory(u"c:\\windows\\SYSTEM32"), win::ERROR_SUCCESS);
  EXPECT_EQ(GetCurrentDirectory(), u"C:\\windows\\SYSTEM32");
}

}  // namespace
}  // namespace pvn::fs
