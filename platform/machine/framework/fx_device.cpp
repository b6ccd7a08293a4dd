// Device stacks and framework devices: device add, the start, stop and
// removal sequences with their callbacks, and the device calls.
#include <algorithm>

#include "platform/machine/framework/fx.h"

namespace pvn::machine {

namespace {

km::WDFDEVICE Handle(fx::Device* device) {
  return reinterpret_cast<km::WDFDEVICE>(static_cast<fx::Object*>(device));
}

}  // namespace

DeviceStack::DeviceStack(BusDevice& bus) : bus_(bus), pdo_(std::make_unique<km::DEVICE_OBJECT>()) {
  pdo_->stack = this;
  pdo_->bus = &bus_;
}

DeviceStack::~DeviceStack() {
  Remove();
}

NTSTATUS DeviceStack::AttachFilter(LoadedDriver& driver) {
  fx::Driver* fxDriver = driver.object() ? driver.object()->driver.get() : nullptr;
  if (!fxDriver || !fxDriver->config.EvtDriverDeviceAdd) return km::STATUS_SUCCESS;
  auto layer = std::make_unique<Layer>();
  layer->driver = &driver;
  km::WDFDEVICE_INIT init;
  init.stack = this;
  init.layer = layer.get();
  init.bus = &bus_;
  init.driver = fxDriver;
  NTSTATUS status;
  {
    fx::DriverScope scope(fxDriver);
    status = fxDriver->config.EvtDriverDeviceAdd(
        reinterpret_cast<km::WDFDRIVER>(static_cast<fx::Object*>(fxDriver)), &init);
  }
  if (!km::NT_SUCCESS(status)) {
    if (layer->device) {
      fx::DriverScope scope(fxDriver);
      layer->device->Dispose();
    }
    return status;
  }
  // A driver that created no device does not filter this devnode.
  if (layer->device) layers_.push_back(std::move(layer));
  return status;
}

NTSTATUS DeviceStack::Start() {
  if (started_) return km::STATUS_SUCCESS;
  for (std::size_t i = 0; i < layers_.size(); ++i) {
    Layer& layer = *layers_[i];
    fx::DriverScope scope(layer.driver->object()->driver.get());
    const auto& cb = layer.device->callbacks;
    NTSTATUS status = km::STATUS_SUCCESS;
    layer.prepared = true;
    if (cb.EvtDevicePrepareHardware)
      status = cb.EvtDevicePrepareHardware(Handle(layer.device.get()), nullptr, nullptr);
    if (km::NT_SUCCESS(status) && cb.EvtDeviceD0Entry)
      status = cb.EvtDeviceD0Entry(Handle(layer.device.get()), km::WdfPowerDeviceD3Final);
    layer.inD0 = km::NT_SUCCESS(status);
    if (!km::NT_SUCCESS(status)) {
      if (cb.EvtDeviceReleaseHardware)
        cb.EvtDeviceReleaseHardware(Handle(layer.device.get()), nullptr);
      layer.prepared = false;
      // The layers below were started: take them down again.
      for (std::size_t j = i; j-- > 0;) {
        Layer& below = *layers_[j];
        fx::DriverScope inner(below.driver->object()->driver.get());
        const auto& bcb = below.device->callbacks;
        if (below.inD0 && bcb.EvtDeviceD0Exit)
          bcb.EvtDeviceD0Exit(Handle(below.device.get()), km::WdfPowerDeviceD3Final);
        below.inD0 = false;
        if (below.prepared && bcb.EvtDeviceReleaseHardware)
          bcb.EvtDeviceReleaseHardware(Handle(below.device.get()), nullptr);
        below.prepared = false;
      }
      return status;
    }
  }
  started_ = true;
  return km::STATUS_SUCCESS;
}

void DeviceStack::PowerOffAndDiscard() {
  for (auto& layer : layers_) layer->prepared = false;
  Remove();
}

void DeviceStack::Stop(bool final) {
  if (!started_) return;
  started_ = false;
  for (std::size_t i = layers_.size(); i-- > 0;) {
    Layer& layer = *layers_[i];
    fx::Device& device = *layer.device;
    fx::DriverScope scope(layer.driver->object()->driver.get());
    // Requests the driver still holds are offered back through EvtIoStop;
    // what it keeps after that is cancelled.
    if (device.defaultQueue && device.defaultQueue->config.EvtIoStop) {
      std::vector<km::WDFREQUEST> held;
      for (auto& request : device.held)
        held.push_back(reinterpret_cast<km::WDFREQUEST>(static_cast<fx::Object*>(request.get())));
      for (km::WDFREQUEST request : held)
        if (fx::Object::Find(request, fx::Kind::kRequest))
          device.defaultQueue->config.EvtIoStop(
              reinterpret_cast<km::WDFQUEUE>(static_cast<fx::Object*>(device.defaultQueue)),
              request, final ? 0x2 /* purge */ : 0x1 /* suspend */);
    }
    for (auto& request : device.held) {
      request->operation->status = km::STATUS_CANCELLED;
      request->operation->completed = true;
    }
    device.held.clear();
    const auto& cb = device.callbacks;
    if (layer.inD0 && cb.EvtDeviceD0Exit)
      cb.EvtDeviceD0Exit(Handle(&device), final ? km::WdfPowerDeviceD3Final : km::WdfPowerDeviceD3);
    layer.inD0 = false;
    if (layer.prepared && cb.EvtDeviceReleaseHardware)
      cb.EvtDeviceReleaseHardware(Handle(&device), nullptr);
    layer.prepared = false;
  }
}

void DeviceStack::SurpriseRemoval() {
  for (std::size_t i = layers_.size(); i-- > 0;) {
    Layer& layer = *layers_[i];
    fx::DriverScope scope(layer.driver->object()->driver.get());
    if (layer.device->callbacks.EvtDeviceSurpriseRemoval)
      layer.device->callbacks.EvtDeviceSurpriseRemoval(Handle(layer.device.get()));
  }
}

void DeviceStack::Remove() {
  fx::JoinIrpCompletions();
  Stop(true);
  while (!layers_.empty()) {
    std::unique_ptr<Layer> layer = std::move(layers_.back());
    layers_.pop_back();
    fx::Driver* driver = layer->driver->object() ? layer->driver->object()->driver.get() : nullptr;
    fx::DriverScope scope(driver);
    layer->device->Dispose();
  }
}

km::WDFDEVICE DeviceStack::FilterDevice(const LoadedDriver& driver) const {
  for (const auto& layer : layers_)
    if (layer->driver == &driver) return Handle(layer->device.get());
  return nullptr;
}

km::DEVICE_OBJECT* DeviceStack::TopObject() const {
  return layers_.empty() ? pdo_.get() : layers_.back()->object.get();
}

std::vector<const LoadedDriver*> DeviceStack::Filters() const {
  std::vector<const LoadedDriver*> out;
  for (const auto& layer : layers_) out.push_back(layer->driver);
  return out;
}

}  // namespace pvn::machine

namespace pvn::km {

using namespace pvn::machine::fx;

namespace {

bool CheckInit(PWDFDEVICE_INIT init, const char* call) {
  if (init && !init->created) return true;
  Complain(std::string(call) + ": the device init is missing or already used");
  return false;
}

}  // namespace

NTSTATUS WdfFdoInitQueryProperty(PWDFDEVICE_INIT deviceInit, DEVICE_REGISTRY_PROPERTY property,
                                 ULONG bufferLength, PVOID propertyBuffer, ULONG* resultLength) {
  if (!CheckInit(deviceInit, "WdfFdoInitQueryProperty")) return STATUS_INVALID_PARAMETER;
  if (resultLength) *resultLength = 0;
  auto value = deviceInit->bus->Property(property);
  if (!value) return STATUS_OBJECT_NAME_NOT_FOUND;
  if (resultLength) *resultLength = static_cast<ULONG>(value->size());
  if (!propertyBuffer || bufferLength < value->size()) return STATUS_BUFFER_TOO_SMALL;
  std::copy(value->begin(), value->end(), static_cast<std::uint8_t*>(propertyBuffer));
  return STATUS_SUCCESS;
}

void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT deviceInit,
                                            WDF_PNPPOWER_EVENT_CALLBACKS* callbacks) {
  if (!CheckInit(deviceInit, "WdfDeviceInitSetPnpPowerEventCallbacks")) return;
  if (!callbacks || callbacks->Size != sizeof(WDF_PNPPOWER_EVENT_CALLBACKS)) {
    Complain("WdfDeviceInitSetPnpPowerEventCallbacks: callbacks not initialised");
    return;
  }
  deviceInit->callbacks = *callbacks;
}

void WdfFdoInitSetFilter(PWDFDEVICE_INIT deviceInit) {
  if (CheckInit(deviceInit, "WdfFdoInitSetFilter")) deviceInit->filter = true;
}

NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* deviceInit, WDF_OBJECT_ATTRIBUTES* deviceAttributes,
                         WDFDEVICE* device) {
  if (!deviceInit || !device || !CheckInit(*deviceInit, "WdfDeviceCreate"))
    return STATUS_INVALID_PARAMETER;
  NTSTATUS injected;
  if (InjectedFailure("WdfDeviceCreate", &injected)) return injected;
  PWDFDEVICE_INIT init = *deviceInit;
  auto created = std::make_unique<Device>(init->driver, init->layer);
  if (!created->ApplyAttributes(deviceAttributes)) return STATUS_INVALID_PARAMETER;
  created->callbacks = init->callbacks;
  created->filter = init->filter;

  auto& layer = *init->layer;
  layer.object = std::make_unique<DEVICE_OBJECT>();
  layer.object->stack = init->stack;
  layer.object->device = created.get();
  // The new device sits on top of what the stack holds so far.
  DEVICE_OBJECT* lower = init->stack->TopObject();
  layer.object->lower = lower;
  created->target = created->Adopt(std::make_unique<IoTarget>(created.get(), lower));
  init->created = created.get();
  layer.device = std::move(created);
  *device = reinterpret_cast<WDFDEVICE>(static_cast<Object*>(layer.device.get()));
  *deviceInit = nullptr;
  return STATUS_SUCCESS;
}

DEVICE_OBJECT* WdfDeviceWdmGetPhysicalDevice(WDFDEVICE device) {
  auto* fx = static_cast<Device*>(Object::Find(device, Kind::kDevice));
  if (!fx) {
    Complain("WdfDeviceWdmGetPhysicalDevice: not a device");
    return nullptr;
  }
  return fx->layer->object->stack->physicalDevice();
}

WDFIOTARGET WdfDeviceGetIoTarget(WDFDEVICE device) {
  auto* fx = static_cast<Device*>(Object::Find(device, Kind::kDevice));
  if (!fx) {
    Complain("WdfDeviceGetIoTarget: not a device");
    return nullptr;
  }
  return reinterpret_cast<WDFIOTARGET>(static_cast<Object*>(fx->target));
}

}  // namespace pvn::km
