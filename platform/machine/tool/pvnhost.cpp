// pvnhost: the running PC of the machine prefix and its command line.
//
//   pvnhost boot [--detach]        run the machine (in the foreground until shutdown)
//   pvnhost reboot | shutdown
//   pvnhost plug FILE.json [--parent INSTANCE]
//   pvnhost unplug | disable | enable | rebalance INSTANCE
//   pvnhost list [--json]          devices (and the drivers of the class filters)
//   pvnhost drivers [--json]
//   pvnhost events [--json]        device broadcasts as they happen
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fs/prefix.h"
#include "platform/machine/client/machine_client.h"
#include "platform/machine/host/host.h"
#include "platform/machine/pnp/device_description.h"

namespace {

using pvn::machine::Json;
using pvn::machine::MachineClient;

constexpr const char* kUsage =
    "usage: pvnhost boot [--detach]\n"
    "       pvnhost reboot | shutdown\n"
    "       pvnhost plug FILE.json [--parent INSTANCE]\n"
    "       pvnhost unplug | disable | enable | rebalance INSTANCE\n"
    "       pvnhost list [--json] | drivers [--json] | events [--json]\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "pvnhost: %s\n", message.c_str());
  return 1;
}

// Sends one request; prints the machine's refusal and returns nullopt.
std::optional<Json> Ask(const Json& request) {
  auto client = MachineClient::Connect();
  if (!client) {
    Fail(client.error());
    return std::nullopt;
  }
  auto answer = client->Request(request);
  if (!answer) {
    Fail(answer.error());
    return std::nullopt;
  }
  if (!answer->value("ok", false)) {
    Fail(answer->value("error", "the machine refused the request"));
    return std::nullopt;
  }
  return answer.take();
}

std::string DeviceLine(const Json& device) {
  std::string state = device.value("state", "");
  std::string line = device.value("instance_id", "") + ": " + state;
  if (state == "failed")
    line += " (problem " + std::to_string(device.value("problem", 0)) + ", status " +
            device.value("status", "") + ")";
  if (device.contains("volume")) line += ", volume " + device["volume"].get<std::string>();
  return line;
}

int Boot(bool detach) {
  int ready[2] = {-1, -1};
  if (detach) {
    if (pipe(ready) != 0) return Fail("cannot create a pipe");
    pid_t child = fork();
    if (child < 0) return Fail("cannot fork");
    if (child > 0) {
      // Wait until the machine has booted (or failed to) before returning.
      close(ready[1]);
      std::string report;
      char chunk[256];
      ssize_t n;
      while ((n = read(ready[0], chunk, sizeof chunk)) > 0) report.append(chunk, n);
      close(ready[0]);
      if (report == "ok") return 0;
      if (report.empty()) return Fail("the machine stopped while booting");
      return Fail(report);
    }
    close(ready[0]);
    setsid();
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  auto report = [&](const std::string& text) {
    if (ready[1] < 0) return;
    ssize_t ignored = write(ready[1], text.data(), text.size());
    (void)ignored;
    close(ready[1]);
    ready[1] = -1;
  };
  pvn::machine::Host host({}, pvn::machine::MakeRegisteredHostModules());
  auto started = host.Start();
  if (!started) {
    report(started.error());
    return Fail(started.error());
  }
  if (!detach) std::printf("pvnhost: machine running on %s\n", pvn::fs::Prefix().c_str());
  std::fflush(stdout);
  report("ok");
  host.Run();
  return 0;
}

void PrintDevices(const Json& answer) {
  std::printf("%-72s %-10s %-9s %s\n", "DEVICE", "CLASS", "STATE", "DESCRIPTION");
  std::vector<std::string> parents;
  for (const auto& device : answer["devices"]) {
    std::string parent = device["parent"].is_string() ? device["parent"].get<std::string>() : "";
    while (!parents.empty() && parents.back() != parent) parents.pop_back();
    std::string name = std::string(parents.size() * 2, ' ') + device.value("instance_id", "");
    std::string state = device.value("state", "");
    if (state == "failed")
      state += " (problem " + std::to_string(device.value("problem", 0)) + ", " +
               device.value("status", "") + ")";
    std::string description = device.value("description", "");
    if (device.contains("volume")) description += " [" + device["volume"].get<std::string>() + "]";
    std::printf("%-72s %-10s %-9s %s\n", name.c_str(), device.value("class", "").c_str(),
                state.c_str(), description.c_str());
    parents.push_back(device.value("instance_id", ""));
  }
}

void PrintDrivers(const Json& answer) {
  for (const auto& driver : answer["drivers"]) {
    std::string state = driver.value("state", "");
    if (driver.contains("status")) state += " " + driver["status"].get<std::string>();
    if (driver.contains("detail")) state += " (" + driver["detail"].get<std::string>() + ")";
    std::printf("  %-16s %-52s %s\n", driver.value("service", "").c_str(),
                driver.value("image", "").c_str(), state.c_str());
  }
}

int Events(bool json) {
  auto client = MachineClient::Connect();
  if (!client) return Fail(client.error());
  auto answer = client->Request({{"cmd", "subscribe"}});
  if (!answer || !answer->value("ok", false)) return Fail("the machine refused the subscription");
  std::fflush(stdout);
  for (;;) {
    auto event = client->Receive();
    if (!event) return 0;  // the machine shut down
    if (json) {
      std::printf("%s\n", event->dump().c_str());
    } else if (event->value("event", "") == "notice") {
      std::printf("machine %s\n", event->value("kind", "").c_str());
    } else if (event->value("type", "") == "volume") {
      std::printf("%s volume %s (unit mask 0x%08X) %s\n", event->value("event", "").c_str(),
                  event->value("drive", "").c_str(), event->value("unitmask", 0u),
                  event->value("instance_id", "").c_str());
    } else {
      std::printf("%s interface %s %s\n", event->value("event", "").c_str(),
                  event->value("class_guid", "").c_str(), event->value("name", "").c_str());
    }
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  const std::string command = args[0];
  bool json = args.size() == 2 && args[1] == "--json";
  auto needs = [&](std::size_t count) {
    if (args.size() == count) return true;
    std::fputs(kUsage, stderr);
    return false;
  };

  if (command == "boot") {
    if (args.size() > 2 || (args.size() == 2 && args[1] != "--detach"))
      return std::fputs(kUsage, stderr), 2;
    return Boot(args.size() == 2);
  }
  if (command == "reboot" || command == "shutdown") {
    if (!needs(1)) return 2;
    if (!Ask({{"cmd", command}, {"wait", true}})) return 1;
    std::printf(command == "reboot" ? "machine restarted\n" : "machine shut down\n");
    return 0;
  }
  if (command == "plug") {
    std::string parent;
    if (args.size() == 4 && args[2] == "--parent")
      parent = args[3];
    else if (!needs(2))
      return 2;
    std::ifstream in(args[1], std::ios::binary);
    if (!in) return Fail("cannot read " + args[1]);
    std::stringstream text;
    text << in.rdbuf();
    // A bad file is refused here already, naming the field at fault.
    auto parsed = pvn::machine::ParseDeviceDescription(text.str());
    if (!parsed) return Fail(args[1] + ": " + parsed.error());
    auto answer = Ask({{"cmd", "plug"}, {"device", text.str()}, {"parent", parent}});
    if (!answer) return 1;
    if (answer->contains("device")) {
      std::printf("%s\n", DeviceLine((*answer)["device"]).c_str());
      // Devnodes the device brought along that did not start are worth a line.
      if (auto list = Ask({{"cmd", "list"}})) {
        std::set<std::string> inside = {answer->value("instance_id", "")};
        for (const auto& device : (*list)["devices"]) {
          if (!device["parent"].is_string() || !inside.count(device["parent"].get<std::string>()))
            continue;
          inside.insert(device.value("instance_id", ""));
          if (device.value("state", "") != "started")
            std::printf("  %s\n", DeviceLine(device).c_str());
        }
      }
    } else {
      std::printf("%s: connected, not enumerated (its hub has not started)\n",
                  answer->value("instance_id", "").c_str());
    }
    return 0;
  }
  if (command == "unplug" || command == "disable" || command == "enable" ||
      command == "rebalance") {
    if (!needs(2)) return 2;
    auto answer = Ask({{"cmd", command}, {"instance_id", args[1]}});
    if (!answer) return 1;
    if (answer->contains("device"))
      std::printf("%s\n", DeviceLine((*answer)["device"]).c_str());
    else
      std::printf("%s: unplugged\n", args[1].c_str());
    return 0;
  }
  if (command == "list" || command == "drivers") {
    if (args.size() > 2 || (args.size() == 2 && !json)) return std::fputs(kUsage, stderr), 2;
    auto answer = Ask({{"cmd", "list"}});
    if (!answer) return 1;
    const char* part = command == "list" ? "devices" : "drivers";
    if (json) {
      std::printf("%s\n", (*answer)[part].dump(2).c_str());
    } else if (command == "list") {
      PrintDevices(*answer);
      if (!(*answer)["drivers"].empty()) {
        std::printf("\nDrivers of the class filters:\n");
        PrintDrivers(*answer);
      }
    } else {
      PrintDrivers(*answer);
    }
    return 0;
  }
  if (command == "events") {
    if (args.size() > 2 || (args.size() == 2 && !json)) return std::fputs(kUsage, stderr), 2;
    return Events(json);
  }
  std::fprintf(stderr, "pvnhost: unknown command '%s'\n%s", command.c_str(), kUsage);
  return 2;
}
