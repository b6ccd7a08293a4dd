#include "platform/fs/prefix.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

namespace pvn::fs {

namespace {

std::string UserName() {
  const char* user = std::getenv("USER");
  return (user && *user) ? user : "user";
}

void CreateLayout(const std::filesystem::path& prefix) {
  std::error_code ec;
  for (const char* sub : {"drive_c/Windows/System32/Drivers", "drive_c/Program Files",
                          "drive_c/users", "run"})
    std::filesystem::create_directories(prefix / sub, ec);
  std::filesystem::create_directories(prefix / "drive_c/users" / UserName() / "Desktop", ec);
}

}  // namespace

std::filesystem::path Prefix() {
  std::filesystem::path prefix;
  if (const char* env = std::getenv("PVN_PREFIX"); env && *env) {
    prefix = env;
  } else {
    const char* home = std::getenv("HOME");
    prefix = std::filesystem::path(home && *home ? home : "/tmp") / ".portvane";
  }
  prefix = std::filesystem::absolute(prefix).lexically_normal();
  if (prefix.has_filename() == false) prefix = prefix.parent_path();

  // Creating the layout once per prefix and process keeps this call cheap.
  static std::mutex mutex;
  static std::set<std::filesystem::path> prepared;
  std::lock_guard lock(mutex);
  if (!prepared.count(prefix) || !std::filesystem::exists(prefix / "drive_c")) {
    CreateLayout(prefix);
    prepared.insert(prefix);
  }
  return prefix;
}

std::filesystem::path DriveC() { return Prefix() / "drive_c"; }
std::filesystem::path RunDir() { return Prefix() / "run"; }
std::filesystem::path RegistryDb() { return Prefix() / "registry.db"; }

}  // namespace pvn::fs
