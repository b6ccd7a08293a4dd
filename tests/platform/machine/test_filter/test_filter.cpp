// A small lower filter driver for the machine's own tests. It makes the
// framework calls a real filter makes and writes one line per callback to
// C:\<service>.log, so that tests can follow the order of callbacks and the
// identity of device objects (each device object gets a serial number).
//
// Its service key steers it: "Refuse" (REG_SZ) refuses to start devices
// whose first hardware ID contains the text, "FailAdd" (REG_SZ) fails the
// device add of such devices, "FailEntry" (REG_DWORD 1) fails DriverEntry.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/machine/kernel/wdf_api.h"

using namespace pvn::km;

namespace {

struct FILTER_DRIVER_CONTEXT {
  WCHAR Refuse[128];
  WCHAR FailAdd[128];
  WCHAR LogName[160];
  ULONG NextSerial;
};
PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(FILTER_DRIVER_CONTEXT, GetDriverContext)

struct FILTER_DEVICE_CONTEXT {
  ULONG Serial;
  WDFUSBDEVICE UsbDevice;
  WCHAR HardwareId[256];
  WCHAR InstanceId[256];
};
PVN_WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(FILTER_DEVICE_CONTEXT, GetDeviceContext)

WDFDRIVER g_Driver;

std::string Narrow(const WCHAR* text) {
  std::string out;
  for (; text && *text; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return out;
}

void Log(const std::string& line) {
  auto* ctx = GetDriverContext(g_Driver);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, ctx->LogName);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  HANDLE file;
  IO_STATUS_BLOCK io;
  if (!NT_SUCCESS(ZwCreateFile(&file, FILE_APPEND_DATA | SYNCHRONIZE, &attributes, &io, nullptr,
                               FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN_IF,
                               FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0)))
    return;
  std::string text = line + "\n";
  ZwWriteFile(file, nullptr, nullptr, nullptr, &io, text.data(), static_cast<ULONG>(text.size()),
              nullptr, nullptr);
  ZwClose(file);
}

bool Contains(const WCHAR* haystack, const WCHAR* needle) {
  if (!needle[0]) return false;
  std::u16string h(haystack), n(needle);
  return h.find(n) != std::u16string::npos;
}

void ReadString(HANDLE key, const char16_t* valueName, WCHAR* out, std::size_t units) {
  alignas(8) UCHAR buffer[16 + 256];
  ULONG length = 0;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  if (!NT_SUCCESS(
          ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof buffer, &length)))
    return;
  auto* info = reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer);
  std::size_t copy = std::min<std::size_t>(info->DataLength / 2, units - 1);
  std::memcpy(out, info->Data, copy * 2);
  out[copy] = 0;
}

ULONG ReadDword(HANDLE key, const char16_t* valueName) {
  alignas(8) UCHAR buffer[16 + 8] = {};
  ULONG length = 0, value = 0;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  if (NT_SUCCESS(
          ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof buffer, &length)))
    std::memcpy(&value, reinterpret_cast<KEY_VALUE_PARTIAL_INFORMATION*>(buffer)->Data, 4);
  return value;
}

void EvtDriverCleanup(WDFOBJECT) {
  Log("cleanup-driver");
}

NTSTATUS EvtD0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE) {
  Log("d0entry " + std::to_string(GetDeviceContext(device)->Serial));
  return STATUS_SUCCESS;
}

NTSTATUS EvtD0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE target) {
  Log("d0exit " + std::to_string(GetDeviceContext(device)->Serial) +
      (target == WdfPowerDeviceD3Final ? " final" : " d3"));
  return STATUS_SUCCESS;
}

NTSTATUS EvtPrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST) {
  auto* ctx = GetDeviceContext(device);
  std::string line = "prepare " + std::to_string(ctx->Serial);
  if (ctx->UsbDevice) {
    Log(line + " again");
  } else if (NT_SUCCESS(
                 WdfUsbTargetDeviceCreate(device, WDF_NO_OBJECT_ATTRIBUTES, &ctx->UsbDevice))) {
    USHORT size = 0;
    NTSTATUS status = WdfUsbTargetDeviceRetrieveConfigDescriptor(ctx->UsbDevice, nullptr, &size);
    if (status != STATUS_BUFFER_TOO_SMALL) return STATUS_UNSUCCESSFUL;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = ctx->UsbDevice;
    WDFMEMORY memory;
    PVOID buffer;
    status = WdfMemoryCreate(&attributes, NonPagedPoolNx, PoolTag("TstF"), size, &memory, &buffer);
    if (!NT_SUCCESS(status)) return status;
    status = WdfUsbTargetDeviceRetrieveConfigDescriptor(ctx->UsbDevice, buffer, &size);
    auto* config = static_cast<USB_CONFIGURATION_DESCRIPTOR*>(buffer);
    line += " classes=";
    for (UCHAR i = 0; NT_SUCCESS(status) && i < config->bNumInterfaces; ++i) {
      WDFUSBINTERFACE itf = WdfUsbTargetDeviceGetInterface(ctx->UsbDevice, i);
      USB_INTERFACE_DESCRIPTOR descriptor;
      WdfUsbInterfaceGetDescriptor(itf, WdfUsbInterfaceGetConfiguredSettingIndex(itf), &descriptor);
      line += (i ? "," : "") + std::to_string(descriptor.bInterfaceClass);
    }
    WdfObjectDelete(memory);
    Log(line);
  } else {
    Log(line + " not-usb");
  }
  if (Contains(ctx->HardwareId, GetDriverContext(g_Driver)->Refuse)) {
    Log("refuse " + std::to_string(ctx->Serial));
    return STATUS_NOT_SUPPORTED;
  }
  return STATUS_SUCCESS;
}

NTSTATUS EvtReleaseHardware(WDFDEVICE device, WDFCMRESLIST) {
  Log("release " + std::to_string(GetDeviceContext(device)->Serial));
  return STATUS_SUCCESS;
}

void EvtSurpriseRemoval(WDFDEVICE device) {
  Log("surprise " + std::to_string(GetDeviceContext(device)->Serial));
}

void EvtIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, std::size_t, std::size_t, ULONG code) {
  WDFDEVICE device = WdfIoQueueGetDevice(queue);
  char text[16];
  std::snprintf(text, sizeof text, "%08X", code);
  Log("ioctl " + std::to_string(GetDeviceContext(device)->Serial) + " " + text);
  WDF_REQUEST_SEND_OPTIONS options;
  WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_SEND_AND_FORGET);
  if (!WdfRequestSend(request, WdfDeviceGetIoTarget(device), &options))
    WdfRequestComplete(request, WdfRequestGetStatus(request));
}

void EvtIoStop(WDFQUEUE, WDFREQUEST, ULONG) {}

void QueryInstanceId(WDFDEVICE device, FILTER_DEVICE_CONTEXT* ctx) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK io{};
  DEVICE_OBJECT* pdo = WdfDeviceWdmGetPhysicalDevice(device);
  IRP* irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, pdo, nullptr, 0, nullptr, &event, &io);
  if (!irp) return;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  IO_STACK_LOCATION* stack = IoGetNextIrpStackLocation(irp);
  stack->MinorFunction = IRP_MN_QUERY_ID;
  stack->Parameters.QueryId.IdType = BusQueryInstanceID;
  NTSTATUS status = IoCallDriver(pdo, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
    status = io.Status;
  }
  if (!NT_SUCCESS(status)) return;
  auto* id = reinterpret_cast<WCHAR*>(io.Information);
  std::size_t n = 0;
  while (n < 255 && id[n]) {
    ctx->InstanceId[n] = id[n];
    ++n;
  }
  ctx->InstanceId[n] = 0;
  ExFreePool(id);
}

NTSTATUS EvtDeviceAdd(WDFDRIVER driver, PWDFDEVICE_INIT init) {
  auto* driverContext = GetDriverContext(driver);
  UCHAR ids[512] = {};
  ULONG length = 0;
  WdfFdoInitQueryProperty(init, DevicePropertyHardwareID, sizeof ids, ids, &length);
  WDF_PNPPOWER_EVENT_CALLBACKS callbacks;
  WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&callbacks);
  callbacks.EvtDeviceD0Entry = EvtD0Entry;
  callbacks.EvtDeviceD0Exit = EvtD0Exit;
  callbacks.EvtDevicePrepareHardware = EvtPrepareHardware;
  callbacks.EvtDeviceReleaseHardware = EvtReleaseHardware;
  callbacks.EvtDeviceSurpriseRemoval = EvtSurpriseRemoval;
  WdfDeviceInitSetPnpPowerEventCallbacks(init, &callbacks);
  WdfFdoInitSetFilter(init);
  const auto* hardwareId = reinterpret_cast<const WCHAR*>(ids);
  if (Contains(hardwareId, driverContext->FailAdd)) {
    Log("add-fails " + Narrow(hardwareId));
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  WDF_OBJECT_ATTRIBUTES attributes;
  PVN_WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, FILTER_DEVICE_CONTEXT);
  WDFDEVICE device;
  NTSTATUS status = WdfDeviceCreate(&init, &attributes, &device);
  if (!NT_SUCCESS(status)) return status;
  auto* ctx = GetDeviceContext(device);
  ctx->Serial = ++driverContext->NextSerial;
  std::memcpy(ctx->HardwareId, ids, sizeof ctx->HardwareId);
  WDF_IO_QUEUE_CONFIG queueConfig;
  WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queueConfig, WdfIoQueueDispatchParallel);
  queueConfig.EvtIoDeviceControl = EvtIoDeviceControl;
  queueConfig.EvtIoStop = EvtIoStop;
  status = WdfIoQueueCreate(device, &queueConfig, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
  if (!NT_SUCCESS(status)) return status;
  QueryInstanceId(device, ctx);
  Log("add " + std::to_string(ctx->Serial) + " " + Narrow(ctx->HardwareId) +
      " instance=" + Narrow(ctx->InstanceId));
  return STATUS_SUCCESS;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) NTSTATUS DriverEntry(
    DRIVER_OBJECT* driverObject, UNICODE_STRING* registryPath) {
  WDF_DRIVER_CONFIG config;
  WDF_DRIVER_CONFIG_INIT(&config, EvtDeviceAdd);
  WDF_OBJECT_ATTRIBUTES attributes;
  PVN_WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, FILTER_DRIVER_CONTEXT);
  attributes.EvtCleanupCallback = EvtDriverCleanup;
  NTSTATUS status = WdfDriverCreate(driverObject, registryPath, &attributes, &config, &g_Driver);
  if (!NT_SUCCESS(status)) return status;
  auto* ctx = GetDriverContext(g_Driver);
  // The service name is the registry path's last component.
  std::u16string path(registryPath->Buffer, registryPath->Length / 2);
  std::u16string log = u"\\DosDevices\\c:\\" + path.substr(path.rfind(u'\\') + 1) + u".log";
  std::memcpy(ctx->LogName, log.c_str(), (log.size() + 1) * 2);
  OBJECT_ATTRIBUTES keyAttributes;
  InitializeObjectAttributes(&keyAttributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             nullptr, nullptr);
  HANDLE key;
  bool failEntry = false;
  if (NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &keyAttributes))) {
    ReadString(key, u"Refuse", ctx->Refuse, 128);
    ReadString(key, u"FailAdd", ctx->FailAdd, 128);
    failEntry = ReadDword(key, u"FailEntry") == 1;
    ZwClose(key);
  }
  Log("entry");
  return failEntry ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS;
}
