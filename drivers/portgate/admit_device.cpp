#include "drivers/portgate/admit_device.h"

#include "drivers/portgate/event_log.h"
#include "drivers/portgate/id_strings.h"

namespace pvn::portgate {

namespace {

// The text after the entry's last backslash, or the whole entry.
const WCHAR* LastComponent(const WCHAR* entry) {
  const WCHAR* last = entry;
  for (const WCHAR* p = entry; *p; ++p)
    if (*p == u'\\') last = p + 1;
  return last;
}

bool MatchesEntry(const WCHAR* entry, const WCHAR* hardwareId, const WCHAR* instanceId,
                  bool storageMode) {
  if (IdEquals(hardwareId, entry)) return true;
  // An instance ID that could not be obtained admits nothing by itself.
  if (!storageMode || !instanceId || instanceId[0] == 0) return false;
  return IdEquals(instanceId, LastComponent(entry));
}

}  // namespace

NTSTATUS AdmitDevice(const DRIVER_CONTEXT& context, const WCHAR* hardwareId,
                     const WCHAR* instanceId, const INTERFACE_CLASSES& interfaces) {
  if (!context.PortWhitelist || !context.StorWhitelist) return STATUS_SUCCESS;

  // The first mass-storage or hub interface decides; later ones are not looked at.
  UCHAR deciding = 0;
  for (ULONG i = 0; i < interfaces.Count && i <= 0xFF && deciding == 0; ++i) {
    UCHAR interfaceClass = interfaces.ClassOf(interfaces.Context, static_cast<UCHAR>(i));
    if (interfaceClass == kUsbClassMassStorage || interfaceClass == kUsbClassHub)
      deciding = interfaceClass;
  }
  if (deciding == 0) return STATUS_SUCCESS;

  const bool storageMode = deciding == kUsbClassMassStorage;
  const WHITELIST& list = storageMode ? *context.StorWhitelist : *context.PortWhitelist;
  const bool lockOn = storageMode ? context.StorEnable : context.PortEnable;
  if (!lockOn) return STATUS_SUCCESS;

  const ULONG inUse = WhitelistEntriesInUse(list);
  for (ULONG i = 0; i < inUse; ++i) {
    if (MatchesEntry(list.Entries[i], hardwareId, instanceId, storageMode)) return STATUS_SUCCESS;
  }

  WriteLogEvent(hardwareId, Blocking);
  return STATUS_NOT_SUPPORTED;
}

}  // namespace pvn::portgate
