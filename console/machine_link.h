#pragma once
// What the running machine tells a desktop program: device broadcasts and the
// end of the session when the machine restarts or shuts down.
//
// The broadcast records keep the layout of the device-change messages: a
// common header, then the volume's unit mask or the interface's class and
// name.
#include <cstddef>
#include <cstdint>

namespace pvn::console {

inline constexpr std::uint32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr std::uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;

inline constexpr std::uint32_t DBT_DEVTYP_VOLUME = 2;
inline constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}: the USB device interface class.
inline constexpr Guid kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

struct DeviceBroadcastHeader {
  std::uint32_t size = 0;
  std::uint32_t deviceType = 0;
  std::uint32_t reserved = 0;
};
static_assert(sizeof(DeviceBroadcastHeader) == 12);

struct DeviceBroadcastVolume {
  DeviceBroadcastHeader header;
  std::uint32_t unitMask = 0;  // bit 0 is drive A
  std::uint16_t flags = 0;
};
static_assert(sizeof(DeviceBroadcastVolume) == 20);
static_assert(offsetof(DeviceBroadcastVolume, unitMask) == 12);

struct DeviceBroadcastInterface {
  DeviceBroadcastHeader header;
  Guid classGuid;
  char16_t name[1] = {};  // the interface's symbolic link name runs on
};
static_assert(sizeof(DeviceBroadcastInterface) == 32);
static_assert(offsetof(DeviceBroadcastInterface, classGuid) == 12);

class MachineLink {
 public:
  class Sink {
   public:
    virtual ~Sink() = default;
    // WM_DEVICECHANGE with the event (DBT_...) and its record.
    virtual void OnDeviceChange(std::uint32_t event, const DeviceBroadcastHeader* record) = 0;
    // The machine restarts or shuts down: the session ends now.
    virtual void OnSessionEnd() = 0;
  };

  virtual ~MachineLink() = default;
  // A top-level window starts receiving what the machine broadcasts to every
  // window: volume arrival and removal, and the end of the session.
  virtual void Attach(Sink* sink) = 0;
  virtual void Detach(Sink* sink) = 0;
  // RegisterDeviceNotificationW for a device-interface class: arrival and
  // removal of that class's interfaces reach the attached sink too. False
  // when the machine cannot register it.
  virtual bool RegisterDeviceInterfaceNotification(Sink* sink, const Guid& interfaceClass) = 0;
};

}  // namespace pvn::console
