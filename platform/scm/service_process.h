#pragma once
// Service programs as child processes, each with the end of a channel it
// inherits under kServiceChannelVariable.
#include <string>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"
#include "platform/scm/channel.h"

namespace pvn::scm::detail {

struct SpawnedProcess {
  int pid = -1;
  Channel channel;  // the manager's end
};

// Starts `program` with `arguments` in the system folder of the machine.
Result<SpawnedProcess, win::Error> SpawnServiceProcess(const std::string& program,
                                                       const std::vector<std::string>& arguments);
// Waits for the process to end; its exit status, or -1.
int WaitForProcess(int pid);
void KillProcess(int pid);

}  // namespace pvn::scm::detail
