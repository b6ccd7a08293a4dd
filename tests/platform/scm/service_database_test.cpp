// The service database in the registry.
#include "platform/scm/service_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/fs/prefix.h"
#include "platform/registry/key.h"
#include "tests/support/temp_prefix.h"

namespace pvn::scm {
namespace {

class ServiceDatabaseTest : public pvn::testing::PrefixTest {};

ServiceRecord Record(std::u16string name, std::uint32_t type = SERVICE_WIN32_OWN_PROCESS,
                     std::uint32_t start = SERVICE_DEMAND_START) {
  ServiceRecord r;
  r.name = std::move(name);
  r.type = type;
  r.start = start;
  r.errorControl = SERVICE_ERROR_NORMAL;
  r.imagePath = u"C:\\Program Files\\Lock\\agent.exe";
  return r;
}

TEST_F(ServiceDatabaseTest, CreateReadChangeDelete) {
  ASSERT_EQ(CreateServiceRecord(Record(u"PvnCourier")), win::ERROR_SUCCESS);
  auto key = reg::Key::Open(u"SYSTEM\\CurrentControlSet\\Services\\PvnCourier", reg::KEY_READ);
  ASSERT_TRUE(key);
  auto image = key->GetValue(u"ImagePath");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->type, reg::REG_EXPAND_SZ);

  ServiceRecord read;
  ASSERT_EQ(ReadServiceRecord(u"pvncourier", &read), win::ERROR_SUCCESS);
  EXPECT_EQ(read.name, u"PvnCourier");
  EXPECT_EQ(read.start, SERVICE_DEMAND_START);
  EXPECT_EQ(read.imagePath, u"C:\\Program Files\\Lock\\agent.exe");
  EXPECT_EQ(read.displayName, u"PvnCourier");

  ASSERT_EQ(ChangeServiceRecord(u"PvnCourier", std::nullopt, SERVICE_AUTO_START, std::nullopt,
                                nullptr, nullptr),
            win::ERROR_SUCCESS);
  ASSERT_EQ(ReadServiceRecord(u"PvnCourier", &read), win::ERROR_SUCCESS);
  EXPECT_EQ(read.start, SERVICE_AUTO_START);
  EXPECT_EQ(read.type, SERVICE_WIN32_OWN_PROCESS);

  ASSERT_EQ(DeleteServiceRecord(u"PVNCOURIER"), win::ERROR_SUCCESS);
  EXPECT_EQ(ReadServiceRecord(u"PvnCourier", &read), win::ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceDatabaseTest, RefusedRecords) {
  ASSERT_EQ(CreateServiceRecord(Record(u"One")), win::ERROR_SUCCESS);
  EXPECT_EQ(CreateServiceRecord(Record(u"ONE")), win::ERROR_SERVICE_EXISTS);
  ServiceRecord sameDisplay = Record(u"Two");
  sameDisplay.displayName = u"one";
  EXPECT_EQ(CreateServiceRecord(sameDisplay), win::ERROR_DUPLICATE_SERVICE_NAME);
  EXPECT_EQ(CreateServiceRecord(Record(u"a\\b")), win::ERROR_INVALID_NAME);
  EXPECT_EQ(CreateServiceRecord(Record(u"")), win::ERROR_INVALID_NAME);
  // Boot and system start belong to drivers.
  EXPECT_EQ(CreateServiceRecord(Record(u"Three", SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START)),
            win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateServiceRecord(Record(u"Drv", SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START)),
            win::ERROR_SUCCESS);
  EXPECT_EQ(CreateServiceRecord(Record(u"Four", 0x40)), win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ChangeServiceRecord(u"One", std::nullopt, 7, std::nullopt, nullptr, nullptr),
            win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ChangeServiceRecord(u"Nobody", std::nullopt, 2, std::nullopt, nullptr, nullptr),
            win::ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceDatabaseTest, ImagePathForms) {
  auto folder = fs::DriveC() / "Program Files" / "My App";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "agent.exe") << "x";
  const std::string host = (folder / "agent.exe").string();
  struct Case {
    const char16_t* imagePath;
    std::string program;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {u"\"C:\\Program Files\\My App\\agent.exe\" -a \"b c\"", host, {"-a", "b c"}},
      {u"C:\\Program Files\\My App\\agent.exe -x", host, {"-x"}},
      {u"c:\\program files\\my app\\AGENT.EXE", host, {}},
      {u"/usr/bin/env a", "/usr/bin/env", {"a"}},
      {u"%SystemRoot%\\System32\\svc.exe",
       (fs::DriveC() / "Windows/System32/svc.exe").string(),
       {}},
  };
  for (const auto& c : cases) {
    auto command = ResolveImagePath(c.imagePath);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->program, c.program);
    EXPECT_EQ(command->arguments, c.arguments);
  }
  EXPECT_FALSE(ResolveImagePath(u"   "));
  EXPECT_FALSE(ResolveImagePath(u"\"C:\\unterminated"));
}

}  // namespace
}  // namespace pvn::scm
