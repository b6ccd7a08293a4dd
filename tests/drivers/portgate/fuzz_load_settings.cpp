// Feeds LoadSettings arbitrary service-key values: each of "Port Enable",
// "Port Whitelist", "Stor Enable" and "Stor Whitelist" present or not, of any
// type and of any size up to 20,000 bytes, and checks what it leaves behind.
//
// Input, per value in that order: a flags byte (bit 0: present), a type byte,
// a 16-bit little-endian size, then data bytes; a size beyond the bytes left
// is filled up with the flags byte.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drivers/portgate/load_settings.h"
#include "platform/registry/key.h"

namespace {

using namespace pvn::portgate;

constexpr char16_t kKey[] = u"SYSTEM\\CurrentControlSet\\Services\\PvnPortGate";
constexpr const char16_t* kValues[] = {u"Port Enable", u"Port Whitelist", u"Stor Enable",
                                       u"Stor Whitelist"};

std::filesystem::path g_prefix;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckList(const WHITELIST* list) {
  Check(list != nullptr);
  Check(list->Terminator[0] == 0 && list->Terminator[1] == 0);
  ULONG inUse = WhitelistEntriesInUse(*list);
  Check(inUse <= kWhitelistEntries);
  for (ULONG i = 0; i < inUse; ++i) {
    // Upper-cased up to the terminator, wherever that is.
    for (const WCHAR* p = list->Entries[i]; *p; ++p) Check(!(*p >= u'a' && *p <= u'z'));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "pvn-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  g_prefix = pattern;
  setenv("PVN_PREFIX", pattern.c_str(), 1);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_prefix, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto key = pvn::reg::Key::Create(kKey, pvn::reg::KEY_ALL_ACCESS);
  if (!key) std::abort();

  std::size_t at = 0;
  for (const char16_t* name : kValues) {
    if (size - at < 4) {
      key->DeleteValue(name);
      continue;
    }
    std::uint8_t flags = data[at];
    std::uint32_t type = data[at + 1];
    std::size_t length = std::min<std::size_t>(data[at + 2] | data[at + 3] << 8, 20000);
    at += 4;
    std::vector<std::uint8_t> bytes(length, flags);
    std::size_t take = std::min(length, size - at);
    std::copy(data + at, data + at + take, bytes.begin());
    at += take;
    if (flags & 1) {
      key->SetValue(name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    } else {
      key->DeleteValue(name);
    }
  }

  DRIVER_CONTEXT context = {};
  NTSTATUS status = LoadSettings(&context);
  Check(NT_SUCCESS(status));
  Check(context.PortEnable <= 1 && context.StorEnable <= 1);
  CheckList(context.PortWhitelist);
  CheckList(context.StorWhitelist);
  ReleaseSettings(&context);
  Check(context.PortWhitelist == nullptr && context.StorWhitelist == nullptr);
  return 0;
}
