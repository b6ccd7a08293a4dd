// Default queues and requests: device-control requests presented to a
// filter, sent on to the next-lower driver or completed by it.
#include <algorithm>

#include "platform/machine/framework/fx.h"

namespace pvn::machine::fx {

namespace {

WDFREQUEST Handle(Request* request) {
  return reinterpret_cast<WDFREQUEST>(static_cast<Object*>(request));
}

// Takes a request out of its device's held list; null if it is not there.
std::unique_ptr<Request> Release(Request* request) {
  auto& held = request->queue->device->held;
  auto it = std::find_if(held.begin(), held.end(),
                         [&](const std::unique_ptr<Request>& r) { return r.get() == request; });
  if (it == held.end()) return nullptr;
  std::unique_ptr<Request> out = std::move(*it);
  held.erase(it);
  return out;
}

}  // namespace

Request::Request(Queue* queue, Operation* operation)
    : Object(Kind::kRequest, queue), queue(queue), operation(operation) {}

Queue::Queue(Device* device, const WDF_IO_QUEUE_CONFIG& config)
    : Object(Kind::kQueue, device), device(device), config(config) {}

void Dispatch(DEVICE_OBJECT* object, Operation* operation) {
  if (!object) {
    operation->status = STATUS_INVALID_DEVICE_REQUEST;
    operation->completed = true;
    return;
  }
  if (object->bus) {
    operation->status = object->bus->DeviceControl(operation->code);
    operation->completed = true;
    return;
  }
  Device* device = object->device;
  Queue* queue = device->defaultQueue;
  if (queue && queue->config.EvtIoDeviceControl) {
    auto request = std::make_unique<Request>(queue, operation);
    WDFREQUEST handle = Handle(request.get());
    device->held.push_back(std::move(request));
    DriverScope scope(device->layer->driver->object()->driver.get());
    queue->config.EvtIoDeviceControl(reinterpret_cast<WDFQUEUE>(static_cast<Object*>(queue)),
                                     handle, 0, 0, operation->code);
    return;
  }
  if (device->filter) {
    Dispatch(object->lower, operation);
    return;
  }
  // A function driver without a handler fails what it does not understand.
  operation->status = STATUS_INVALID_DEVICE_REQUEST;
  operation->completed = true;
}

}  // namespace pvn::machine::fx

namespace pvn::machine {

NTSTATUS DeviceStack::DeviceControl(ULONG ioControlCode) {
  if (!started_) return km::STATUS_INVALID_DEVICE_STATE;
  fx::Operation operation;
  operation.code = ioControlCode;
  fx::Dispatch(TopObject(), &operation);
  return operation.completed ? operation.status : km::STATUS_PENDING;
}

}  // namespace pvn::machine

namespace pvn::km {

using namespace pvn::machine::fx;

NTSTATUS WdfIoQueueCreate(WDFDEVICE device, WDF_IO_QUEUE_CONFIG* config,
                          WDF_OBJECT_ATTRIBUTES* queueAttributes, WDFQUEUE* queue) {
  auto* owner = static_cast<Device*>(Object::Find(device, Kind::kDevice));
  if (!owner || !config || config->Size != sizeof(WDF_IO_QUEUE_CONFIG) ||
      config->DispatchType <= WdfIoQueueDispatchInvalid ||
      config->DispatchType > WdfIoQueueDispatchManual) {
    Complain("WdfIoQueueCreate: bad device or queue configuration");
    return STATUS_INVALID_PARAMETER;
  }
  if (config->DefaultQueue && owner->defaultQueue) {
    Complain("WdfIoQueueCreate: the device already has a default queue");
    return STATUS_INVALID_DEVICE_STATE;
  }
  NTSTATUS injected;
  if (InjectedFailure("WdfIoQueueCreate", &injected)) return injected;
  auto created = std::make_unique<Queue>(owner, *config);
  if (!created->ApplyAttributes(queueAttributes)) return STATUS_INVALID_PARAMETER;
  Queue* raw = owner->Adopt(std::move(created));
  if (config->DefaultQueue) owner->defaultQueue = raw;
  if (queue) *queue = reinterpret_cast<WDFQUEUE>(static_cast<Object*>(raw));
  return STATUS_SUCCESS;
}

WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE queue) {
  auto* fx = static_cast<Queue*>(Object::Find(queue, Kind::kQueue));
  if (!fx) {
    Complain("WdfIoQueueGetDevice: not a queue");
    return nullptr;
  }
  return reinterpret_cast<WDFDEVICE>(static_cast<Object*>(fx->device));
}

BOOLEAN WdfRequestSend(WDFREQUEST request, WDFIOTARGET target, WDF_REQUEST_SEND_OPTIONS* options) {
  auto* fxRequest = static_cast<Request*>(Object::Find(request, Kind::kRequest));
  if (!fxRequest) {
    Complain("WdfRequestSend: not a request the driver holds");
    return FALSE;
  }
  auto* fxTarget = static_cast<IoTarget*>(Object::Find(target, Kind::kIoTarget));
  if (!fxTarget || (options && options->Size != sizeof(WDF_REQUEST_SEND_OPTIONS))) {
    fxRequest->status = STATUS_INVALID_PARAMETER;
    return FALSE;
  }
  DEVICE_OBJECT* lower = fxTarget->lower;
  if (!lower->stack->started()) {
    fxRequest->status = STATUS_INVALID_DEVICE_STATE;
    return FALSE;
  }
  ULONG flags = options ? options->Flags : 0;
  if (flags & WDF_REQUEST_SEND_OPTION_SYNCHRONOUS) {
    // The lower driver's completion comes back to this driver, which keeps
    // the request and completes it itself.
    Operation below;
    below.code = fxRequest->operation->code;
    Dispatch(lower, &below);
    fxRequest->status = below.completed ? below.status : STATUS_PENDING;
    return TRUE;
  }
  // Sent on: the request is no longer this driver's.
  std::unique_ptr<Request> owned = Release(fxRequest);
  Dispatch(lower, owned->operation);
  return TRUE;
}

NTSTATUS WdfRequestGetStatus(WDFREQUEST request) {
  auto* fx = static_cast<Request*>(Object::Find(request, Kind::kRequest));
  if (!fx) {
    Complain("WdfRequestGetStatus: not a request the driver holds");
    return STATUS_INVALID_PARAMETER;
  }
  return fx->status;
}

void WdfRequestComplete(WDFREQUEST request, NTSTATUS status) {
  auto* fx = static_cast<Request*>(Object::Find(request, Kind::kRequest));
  if (!fx) {
    Complain("WdfRequestComplete: not a request the driver holds (completed or sent already?)");
    return;
  }
  std::unique_ptr<Request> owned = Release(fx);
  owned->operation->status = status;
  owned->operation->completed = true;
}

}  // namespace pvn::km
