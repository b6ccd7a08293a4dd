#include "platform/scm/service_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "platform/fs/prefix.h"
#include "platform/scm/service_dispatcher.h"

extern char** environ;

namespace pvn::scm::detail {

namespace {

// The descriptor number the child finds its channel under.
constexpr int kChildChannelFd = 3;

}  // namespace

Result<SpawnedProcess, win::Error> SpawnServiceProcess(const std::string& program,
                                                       const std::vector<std::string>& arguments) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(program, ec))
    return Result<SpawnedProcess, win::Error>::Fail(win::ERROR_FILE_NOT_FOUND);
  if (::access(program.c_str(), X_OK) != 0)
    return Result<SpawnedProcess, win::Error>::Fail(win::ERROR_ACCESS_DENIED);

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
    return Result<SpawnedProcess, win::Error>::Fail(win::ERROR_NOT_ENOUGH_MEMORY);
  // The child's end must not already sit on the number it is moved to, or
  // the move would keep its close-on-exec mark.
  int childEnd = pair[1];
  if (childEnd == kChildChannelFd) {
    childEnd = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    ::close(pair[1]);
  }

  std::vector<std::string> environment;
  std::string variable = std::string(kServiceChannelVariable) + "=";
  for (char** entry = environ; entry && *entry; ++entry)
    if (std::strncmp(*entry, variable.c_str(), variable.size()) != 0) environment.push_back(*entry);
  environment.push_back(variable + std::to_string(kChildChannelFd));
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<std::string> argvStrings = {program};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, childEnd, kChildChannelFd);
  std::string systemDir = (fs::DriveC() / "Windows" / "System32").string();
  posix_spawn_file_actions_addchdir_np(&actions, systemDir.c_str());
  pid_t pid = -1;
  int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(childEnd);
  if (error != 0) {
    ::close(pair[0]);
    return Result<SpawnedProcess, win::Error>::Fail(error == ENOENT ? win::ERROR_FILE_NOT_FOUND
                                                                    : win::ERROR_ACCESS_DENIED);
  }
  SpawnedProcess spawned;
  spawned.pid = pid;
  spawned.channel = Channel(pair[0]);
  return spawned;
}

int WaitForProcess(int pid) {
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, 0);
    if (done == pid) break;
    if (done < 0 && errno == EINTR) continue;
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void KillProcess(int pid) {
  if (pid > 0) ::kill(pid, SIGKILL);
}

}  // namespace pvn::scm::detail
