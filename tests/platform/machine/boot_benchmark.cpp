// Restarting a machine with 200 plugged-in sticks (each with its disk) behind
// the root hub, every USB device filtered by the test filter driver.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/machine/pnp/machine.h"
#include "platform/machine/testing/driver_harness.h"
#include "tests/platform/machine/filter_log.h"
#include "tests/support/temp_prefix.h"

namespace {

using namespace pvn::machine;

std::string StickWithSerial(const std::string& stick, int n) {
  char serial[32];
  std::snprintf(serial, sizeof serial, "4C5300012308171%05d", n);
  std::string text = stick;
  for (std::size_t at; (at = text.find("4C530001230817115075")) != std::string::npos;)
    text.replace(at, 20, serial);
  return text;
}

void BM_BootWith200Devices(benchmark::State& state) {
  pvn::testing::TempPrefix prefix;
  pvn::machine::testing::RegisterTestFilter();
  std::ifstream in(pvn::machine::testing::CatalogFile("usb-stick-sandisk.json"));
  std::stringstream stick;
  stick << in.rdbuf();
  Machine machine({});
  machine.Boot();
  for (int i = 0; i < 200; ++i) machine.Plug(StickWithSerial(stick.str(), i), "");
  std::size_t devices = machine.Devices().size();
  for (auto _ : state) {
    machine.Shutdown();
    machine.Boot();
  }
  if (machine.Devices().size() != devices) state.SkipWithError("devices lost across the restart");
  state.counters["devnodes"] = static_cast<double>(devices);
}
BENCHMARK(BM_BootWith200Devices)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
