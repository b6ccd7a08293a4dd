// AdmitDevice against full 32-entry lists: the cost of a decision at a
// device's first start.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "drivers/portgate/admit_device.h"
#include "tests/drivers/portgate/gate_lists.h"

namespace pvn::portgate {
namespace {

std::vector<std::u16string> FullList(const std::u16string& last) {
  std::vector<std::u16string> entries;
  for (int i = 0; i < 31; ++i) {
    std::u16string serial = u"USB\\VID_12AB&PID_34CD\\SERIAL";
    for (int d = 0; d < 8; ++d) serial += static_cast<char16_t>(u'A' + (i + d) % 26);
    entries.push_back(serial);
  }
  entries.push_back(last);
  return entries;
}

UCHAR ClassOf(PVOID classes, UCHAR index) {
  return static_cast<const UCHAR*>(classes)[index];
}

// Storage mode, the device found only by the last entry or not at all.
void RunStorage(benchmark::State& state, const std::u16string& last, const char16_t* instanceId) {
  auto stor = pvn::testing::MakeList(FullList(last));
  auto port = pvn::testing::MakeList(FullList(u"USB\\VID_05E3&PID_0610&REV_9323"));
  DRIVER_CONTEXT context = {TRUE, port.get(), TRUE, stor.get()};
  UCHAR classes[] = {3, 8};
  INTERFACE_CLASSES interfaces = {2, ClassOf, classes};
  for (auto _ : state) {
    NTSTATUS status =
        AdmitDevice(context, u"USB\\VID_12AB&PID_34CD&REV_0100", instanceId, interfaces);
    benchmark::DoNotOptimize(status);
  }
}

void BM_AdmitByLastHardwareIdEntry(benchmark::State& state) {
  RunStorage(state, u"USB\\VID_12AB&PID_34CD&REV_0100", u"NOTLISTED");
}
BENCHMARK(BM_AdmitByLastHardwareIdEntry);

void BM_AdmitByLastInstancePathEntry(benchmark::State& state) {
  RunStorage(state, u"USB\\VID_12AB&PID_34CD\\9F17B2C4", u"9F17B2C4");
}
BENCHMARK(BM_AdmitByLastInstancePathEntry);

// A refusal includes appending the "Blocking" line to the log file.
void BM_RefuseAfterAllEntries(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "pvn-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  setenv("PVN_PREFIX", pattern.c_str(), 1);
  RunStorage(state, u"USB\\VID_FFFF&PID_FFFF&REV_0001", u"NOTLISTED");
  std::filesystem::remove_all(pattern);
}
BENCHMARK(BM_RefuseAfterAllEntries);

}  // namespace
}  // namespace pvn::portgate

BENCHMARK_MAIN();
