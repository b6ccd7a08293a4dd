#pragma once
// A fresh machine prefix for one test: PVN_PREFIX points at a new temporary
// folder while the object lives, and the folder is removed afterwards.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace pvn::testing {

class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// A GoogleTest fixture that gives every test its own prefix.
class PrefixTest : public ::testing::Test {
 protected:
  TempPrefix prefix_;
};

// Directory of the built programs (build/bin), as CTest passes it.
std::filesystem::path BinDir();
// The source tree, for test data.
std::filesystem::path SourceDir();

// Runs a shell command; returns its exit status and standard output.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult RunCommand(const std::string& command);

}  // namespace pvn::testing
