#pragma once
// Whitelist buffers built in memory, as LoadSettings leaves them.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drivers/portgate/whitelist_buffer.h"

namespace pvn::testing {

inline std::unique_ptr<gate::WHITELIST> MakeList(const std::vector<std::u16string>& entries) {
  auto list = std::make_unique<gate::WHITELIST>();
  std::memset(list.get(), 0, sizeof(gate::WHITELIST));
  for (std::size_t i = 0; i < entries.size() && i < gate::kWhitelistEntries; ++i) {
    entries[i].copy(list->Entries[i], gate::kWhitelistEntryUnits - 1);
  }
  return list;
}

}  // namespace pvn::testing
