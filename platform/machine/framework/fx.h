#pragma once
// The framework's objects (internal to libpvnkernel.so). Every handle a
// driver holds is a pointer to one of these; the framework keeps the set of
// live objects so that a stale or foreign handle is reported instead of
// followed.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/machine/framework/device_stack.h"
#include "platform/machine/kernel/wdf_api.h"

namespace pvn::machine::fx {

using namespace pvn::km;

enum class Kind {
  kDriver,
  kDevice,
  kQueue,
  kRequest,
  kIoTarget,
  kUsbDevice,
  kUsbInterface,
  kMemory
};

class Object {
 public:
  Object(Kind kind, Object* parent);
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  Kind kind() const { return kind_; }
  Object* parent() const { return parent_; }

  // Applies object attributes: context, callbacks. False for bad attributes.
  bool ApplyAttributes(const WDF_OBJECT_ATTRIBUTES* attributes);
  void* Context(const WDF_OBJECT_CONTEXT_TYPE_INFO* typeInfo);

  // Adopts a child; the child is deleted with this object.
  template <class T>
  T* Adopt(std::unique_ptr<T> child) {
    T* raw = child.get();
    children_.push_back(std::move(child));
    return raw;
  }
  // Deletes a child and its subtree, running their callbacks.
  void DeleteChild(Object* child);
  // Runs the cleanup and destroy callbacks of the subtree, children first,
  // and releases the children. The object itself is freed by its owner.
  void Dispose();

  // Is `handle` a live object of this kind?
  static Object* Find(const void* handle, Kind kind);

 private:
  struct ContextBlock {
    const WDF_OBJECT_CONTEXT_TYPE_INFO* info;
    std::unique_ptr<std::byte[]> memory;
  };
  Kind kind_;
  Object* parent_;
  std::vector<std::unique_ptr<Object>> children_;
  std::vector<ContextBlock> contexts_;
  PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup_ = nullptr;
  PFN_WDF_OBJECT_CONTEXT_DESTROY destroy_ = nullptr;
  bool disposed_ = false;
};

class Driver;
class Device;

// A complaint about framework misuse: printed and kept for tests.
void Complain(const std::string& text);
// True (and the status set) when a test asked this operation to fail.
bool InjectedFailure(const char* operation, NTSTATUS* status);

// The driver whose code is running on this thread, for objects that default
// to the driver as their parent.
Driver* CurrentDriver();
// WdfDriverCreate makes the new driver current for the rest of DriverEntry.
void SetCurrentDriver(Driver* driver);
class DriverScope {
 public:
  explicit DriverScope(Driver* driver);
  ~DriverScope();

 private:
  Driver* previous_;
};

class Driver : public Object {
 public:
  Driver() : Object(Kind::kDriver, nullptr) {}
  WDF_DRIVER_CONFIG config{};
  DRIVER_OBJECT* object = nullptr;
};

class IoTarget : public Object {
 public:
  IoTarget(Object* parent, DEVICE_OBJECT* lower) : Object(Kind::kIoTarget, parent), lower(lower) {}
  DEVICE_OBJECT* lower;
};

// One device-control operation on its way down a stack.
struct Operation {
  ULONG code = 0;
  NTSTATUS status = STATUS_PENDING;
  bool completed = false;
};

class Queue;

// Waits for the bus answers still being delivered from their own threads.
void JoinIrpCompletions();

// Delivers an operation to a device object: a filter's default queue, the
// filter default (pass down), or the bus driver at the bottom.
void Dispatch(DEVICE_OBJECT* object, Operation* operation);

class Request : public Object {
 public:
  Request(Queue* queue, Operation* operation);
  Queue* queue;
  Operation* operation;
  NTSTATUS status = STATUS_SUCCESS;
};

class Queue : public Object {
 public:
  Queue(Device* device, const WDF_IO_QUEUE_CONFIG& config);
  Device* device;
  WDF_IO_QUEUE_CONFIG config;
};

class UsbInterfaceObject : public Object {
 public:
  UsbInterfaceObject(Object* parent, const UsbInterface& itf)
      : Object(Kind::kUsbInterface, parent), itf(itf) {}
  UsbInterface itf;
};

class UsbDevice : public Object {
 public:
  UsbDevice(Object* parent, const UsbDescriptors& descriptors);
  UsbDescriptors descriptors;
  std::vector<UsbInterfaceObject*> interfaces;
};

class Memory : public Object {
 public:
  Memory(Object* parent, std::size_t size)
      : Object(Kind::kMemory, parent), buffer(std::make_unique<std::byte[]>(size)), size(size) {}
  // Zeroed; operator new[] aligns it for any fundamental type.
  std::unique_ptr<std::byte[]> buffer;
  std::size_t size;
};

class Device : public Object {
 public:
  Device(Driver* driver, DeviceStack::Layer* layer) : Object(Kind::kDevice, driver), layer(layer) {}
  DeviceStack::Layer* layer;
  WDF_PNPPOWER_EVENT_CALLBACKS callbacks{};
  bool filter = false;
  Queue* defaultQueue = nullptr;
  IoTarget* target = nullptr;
  // Requests a driver holds (presented and neither completed nor sent on).
  std::vector<std::unique_ptr<Request>> held;
};

}  // namespace pvn::machine::fx

namespace pvn::km {

// A device object: one layer of a device stack. The physical device object
// has no framework device; it is answered by the stack's bus device.
struct DEVICE_OBJECT {
  pvn::machine::DeviceStack* stack = nullptr;
  pvn::machine::BusDevice* bus = nullptr;      // the physical device object only
  pvn::machine::fx::Device* device = nullptr;  // a filter's framework device
  DEVICE_OBJECT* lower = nullptr;
};

struct DRIVER_OBJECT {
  std::unique_ptr<pvn::machine::fx::Driver> driver;
  std::u16string registryPath;
  UNICODE_STRING registryPathString{};
};

// What EvtDriverDeviceAdd receives: the devnode being added and what the
// driver sets up before creating its device.
struct WDFDEVICE_INIT {
  pvn::machine::DeviceStack* stack = nullptr;
  pvn::machine::DeviceStack::Layer* layer = nullptr;
  pvn::machine::BusDevice* bus = nullptr;
  pvn::machine::fx::Driver* driver = nullptr;
  WDF_PNPPOWER_EVENT_CALLBACKS callbacks{};
  bool filter = false;
  pvn::machine::fx::Device* created = nullptr;
};

}  // namespace pvn::km

namespace pvn::machine {

// One filter of a stack: its device object and its framework device.
struct DeviceStack::Layer {
  LoadedDriver* driver = nullptr;
  std::unique_ptr<km::DEVICE_OBJECT> object;
  std::unique_ptr<fx::Device> device;
  bool prepared = false;  // prepare-hardware succeeded and release is owed
  bool inD0 = false;
};

}  // namespace pvn::machine
