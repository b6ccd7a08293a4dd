// Prepares the current prefix for running the agent by hand (soak and
// benchmark scripts): the application key with AppPath and a `Remote`
// record for PORT, and the two drivers' service keys.
// Usage: pvn_agent_setup PORT [TOKEN]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/courier/courier_test_support.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pvn_agent_setup PORT [TOKEN]\n");
    return 1;
  }
  pvn::testing::InstallApplicationKey();
  pvn::testing::WriteRemote(1, static_cast<std::uint32_t>(std::atoi(argv[1])),
                            argc > 2 ? argv[2] : "50731942");
  return 0;
}
