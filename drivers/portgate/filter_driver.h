#pragma once
// The driver-object side of both filters: DriverEntry's work. Creates the
// framework driver object with the driver's settings context, zeroes it and
// loads the settings once per load, keeps the driver object for the device
// callbacks, and releases the settings when the driver is unloaded.
//
//   using Driver = gate::FilterDriver<DRIVER_CONTEXT, GetDriverContext, LoadSettings,
//                                     ReleaseSettings>;
//   extern "C" NTSTATUS DriverEntry(DRIVER_OBJECT* object, UNICODE_STRING* path) {
//     return Driver::Create(object, path, PVN_WDF_TYPE_INFO(DRIVER_CONTEXT), EvtDriverDeviceAdd);
//   }
#include "drivers/portgate/gate_kernel.h"
#include "platform/machine/kernel/wdf_api.h"

namespace pvn::gate {

template <class Context, Context* (*GetContext)(WDFOBJECT), NTSTATUS (*Load)(Context*),
          void (*Release)(Context*)>
class FilterDriver {
 public:
  // Returns the creation status whatever the settings load gave: a driver
  // without settings still filters and logs.
  static NTSTATUS Create(DRIVER_OBJECT* driverObject, UNICODE_STRING* registryPath,
                         const WDF_OBJECT_CONTEXT_TYPE_INFO* contextType,
                         PFN_WDF_DRIVER_DEVICE_ADD deviceAdd) {
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, deviceAdd);

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ContextTypeInfo = contextType;
    attributes.EvtCleanupCallback = EvtDriverContextCleanup;

    WDFDRIVER driver = nullptr;
    NTSTATUS status = WdfDriverCreate(driverObject, registryPath, &attributes, &config, &driver);
    if (!NT_SUCCESS(status)) return status;

    driver_ = driver;
    if (Context* context = GetContext(driver)) {
      *context = {};
      Load(context);
    }
    return status;
  }

  // The settings of this load, or null before DriverEntry and after unload.
  static const Context* Settings() { return driver_ ? GetContext(driver_) : nullptr; }

 private:
  static void EvtDriverContextCleanup(WDFOBJECT driver) {
    Release(GetContext(driver));
    driver_ = nullptr;
  }

  // The driver object of this image; one per loaded image.
  static inline WDFDRIVER driver_ = nullptr;
};

}  // namespace pvn::gate
