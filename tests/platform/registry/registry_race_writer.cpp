// Writes one byte pattern into HKLM\SOFTWARE\Race "Stor Whitelist" again and
// again: registry_race_writer HEXBYTE SIZE COUNT. Used by the registry tests
// to race two processes on one value.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry/key.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  auto byte = static_cast<std::uint8_t>(std::stoul(argv[1], nullptr, 16));
  std::vector<std::uint8_t> data(std::stoul(argv[2]), byte);
  int count = std::atoi(argv[3]);
  auto key = pvn::reg::Key::Open(u"SOFTWARE\\Race", pvn::reg::KEY_WRITE);
  if (!key) return 3;
  for (int i = 0; i < count; ++i)
    if (key->SetValue(u"Stor Whitelist", pvn::reg::REG_BINARY, data.data(),
                      static_cast<std::uint32_t>(data.size())) != pvn::win::ERROR_SUCCESS)
      return 1;
  return 0;
}
