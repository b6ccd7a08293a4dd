#include "tests/support/temp_prefix.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace pvn::testing {

TempPrefix::TempPrefix() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pvn-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (const char* old = std::getenv("PVN_PREFIX")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("PVN_PREFIX", path_.c_str(), 1);
}

TempPrefix::~TempPrefix() {
  if (hadPrevious_) setenv("PVN_PREFIX", previous_.c_str(), 1);
  else unsetenv("PVN_PREFIX");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path BinDir() {
  const char* dir = std::getenv("PVN_BIN");
  return dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "../bin";
}

std::filesystem::path SourceDir() {
  const char* dir = std::getenv("PVN_SOURCE");
  return dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "../..";
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.out.append(chunk.data(), n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace pvn::testing
