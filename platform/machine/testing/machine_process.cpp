#include "platform/machine/testing/machine_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace pvn::machine::testing {

namespace {

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

MachineProcess::MachineProcess(const std::filesystem::path& binDir) : pvnhost_(binDir / "pvnhost") {
  Output boot = Run("boot --detach");
  running_ = boot.status == 0;
  if (!running_) error_ = boot.err.empty() ? "pvnhost boot failed" : boot.err;
}

MachineProcess::~MachineProcess() {
  if (running_) Run("shutdown");
}

MachineProcess::Output MachineProcess::Run(const std::string& arguments) const {
  Output output;
  char errName[] = "/tmp/pvnhost-err-XXXXXX";
  int errFd = mkstemp(errName);
  if (errFd < 0) return output;
  close(errFd);
  std::string command = "'" + pvnhost_.string() + "' " + arguments + " 2>" + errName;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe) {
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.out.append(chunk.data(), n);
    int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  output.err = Slurp(errName);
  std::filesystem::remove(errName);
  return output;
}

}  // namespace pvn::machine::testing
