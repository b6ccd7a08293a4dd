#include "common/settings/driver_whitelist_writer.h"

#include <string_view>

#include "common/settings/registry_layout.h"
#include "platform/registry/key.h"
#include "platform/text/code_page.h"

namespace pvn::settings {

DriverWhitelist BuildDriverWhitelist(const WhitelistTable& table) {
  DriverWhitelist form{};
  for (std::size_t i = 0; i < UsedEntries(table); ++i)
    text::MultiByteToWideDefaultLocale(table.entries[i].deviceId, form.slots[i], kDriverSlotUnits);
  return form;
}

bool WriteDriverWhitelist(const WhitelistTable& table, std::uint32_t switchValue,
                          std::uint32_t kind) {
  std::u16string_view keyPath, listValue, switchName;
  switch (static_cast<SelectorKind>(kind)) {
    case SelectorKind::Port:
      keyPath = kPortGateKeyPath, listValue = kPortWhitelistValue, switchName = kPortEnableValue;
      break;
    case SelectorKind::Storage:
      keyPath = kPortGateKeyPath, listValue = kStorWhitelistValue, switchName = kStorEnableValue;
      break;
    case SelectorKind::KeybMous:
      keyPath = kHidGateKeyPath, listValue = kKeybMousWhitelistValue,
      switchName = kKeybMousEnableValue;
      break;
    default:
      return true;
  }
  DriverWhitelist form = BuildDriverWhitelist(table);
  auto key = reg::Key::Open(keyPath, reg::KEY_WRITE);
  if (!key) return false;
  // The results of the two writes are not examined: the driver keeps its old
  // values, and the caller has nothing better to offer.
  key->SetValue(listValue, reg::REG_BINARY, &form, sizeof form);
  key->SetDword(switchName, switchValue == 1 ? 1 : 0);
  return true;
}

}  // namespace pvn::settings
