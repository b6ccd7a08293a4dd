// Framework objects: the set of live handles, typed contexts, parent and
// child lifetimes with their cleanup and destroy callbacks; also the
// complaint log and the failure injection that tests use.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_set>

#include "platform/machine/framework/fx.h"

namespace pvn::machine::fx {

namespace {

struct LiveSet {
  std::mutex mutex;
  std::unordered_set<const Object*> objects;
};
LiveSet& Live() {
  static LiveSet live;
  return live;
}

struct Complaints {
  std::mutex mutex;
  std::vector<std::string> lines;
};
Complaints& ComplaintLog() {
  static Complaints log;
  return log;
}

struct Injection {
  NTSTATUS status;
  int count;
};
struct Injections {
  std::mutex mutex;
  std::map<std::string, Injection, std::less<>> byOperation;
};
Injections& InjectionTable() {
  static Injections table;
  return table;
}

thread_local Driver* tlsDriver = nullptr;

}  // namespace

Object::Object(Kind kind, Object* parent) : kind_(kind), parent_(parent) {
  auto& live = Live();
  std::lock_guard lock(live.mutex);
  live.objects.insert(this);
}

Object::~Object() {
  Dispose();
  auto& live = Live();
  std::lock_guard lock(live.mutex);
  live.objects.erase(this);
}

Object* Object::Find(const void* handle, Kind kind) {
  if (!handle) return nullptr;
  auto* object = static_cast<const Object*>(handle);
  auto& live = Live();
  std::lock_guard lock(live.mutex);
  if (!live.objects.count(object) || object->kind_ != kind) return nullptr;
  return const_cast<Object*>(object);
}

bool Object::ApplyAttributes(const WDF_OBJECT_ATTRIBUTES* attributes) {
  if (!attributes) return true;
  if (attributes->Size != sizeof(WDF_OBJECT_ATTRIBUTES)) return false;
  if (attributes->ExecutionLevel == WdfExecutionLevelInvalid ||
      attributes->SynchronizationScope == WdfSynchronizationScopeInvalid)
    return false;
  cleanup_ = attributes->EvtCleanupCallback;
  destroy_ = attributes->EvtDestroyCallback;
  if (const auto* info = attributes->ContextTypeInfo) {
    std::size_t size = std::max(info->ContextSize, attributes->ContextSizeOverride);
    // Value-initialised bytes: the context starts zeroed, and operator new[]
    // aligns it for any fundamental type.
    contexts_.push_back({info, std::make_unique<std::byte[]>(size ? size : 1)});
  }
  return true;
}

void* Object::Context(const WDF_OBJECT_CONTEXT_TYPE_INFO* typeInfo) {
  if (!typeInfo) return nullptr;
  for (auto& block : contexts_)
    if (block.info == typeInfo) return block.memory.get();
  // A context type declared again in another module (a test reading a
  // driver's context) has its own type record with the same name.
  for (auto& block : contexts_)
    if (block.info->ContextName && typeInfo->ContextName &&
        std::strcmp(block.info->ContextName, typeInfo->ContextName) == 0 &&
        block.info->ContextSize == typeInfo->ContextSize)
      return block.memory.get();
  return nullptr;
}

void Object::DeleteChild(Object* child) {
  auto it = std::find_if(children_.begin(), children_.end(),
                         [&](const std::unique_ptr<Object>& c) { return c.get() == child; });
  if (it == children_.end()) return;
  std::unique_ptr<Object> doomed = std::move(*it);
  children_.erase(it);
  doomed->Dispose();
}

void Object::Dispose() {
  if (disposed_) return;
  disposed_ = true;
  // Children go first, the most recently created first.
  while (!children_.empty()) {
    std::unique_ptr<Object> child = std::move(children_.back());
    children_.pop_back();
    child->Dispose();
  }
  auto* handle = static_cast<WDFOBJECT>(this);
  if (cleanup_) cleanup_(handle);
  if (destroy_) destroy_(handle);
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "framework: %s\n", text.c_str());
  auto& log = ComplaintLog();
  std::lock_guard lock(log.mutex);
  log.lines.push_back(text);
}

bool InjectedFailure(const char* operation, NTSTATUS* status) {
  auto& table = InjectionTable();
  std::lock_guard lock(table.mutex);
  auto it = table.byOperation.find(operation);
  if (it == table.byOperation.end() || it->second.count <= 0) return false;
  *status = it->second.status;
  if (--it->second.count == 0) table.byOperation.erase(it);
  return true;
}

Driver* CurrentDriver() {
  return tlsDriver;
}
void SetCurrentDriver(Driver* driver) {
  tlsDriver = driver;
}
DriverScope::DriverScope(Driver* driver) : previous_(tlsDriver) {
  tlsDriver = driver;
}
DriverScope::~DriverScope() {
  tlsDriver = previous_;
}

}  // namespace pvn::machine::fx

namespace pvn::machine {

void FailFrameworkCall(const std::string& operation, NTSTATUS status, int count) {
  auto& table = fx::InjectionTable();
  std::lock_guard lock(table.mutex);
  if (count <= 0)
    table.byOperation.erase(operation);
  else
    table.byOperation[operation] = {status, count};
}

std::vector<std::string> TakeFrameworkComplaints() {
  auto& log = fx::ComplaintLog();
  std::lock_guard lock(log.mutex);
  return std::exchange(log.lines, {});
}

}  // namespace pvn::machine

namespace pvn::km {

using pvn::machine::fx::Complain;
using pvn::machine::fx::Kind;
using pvn::machine::fx::Object;

PVOID WdfObjectGetTypedContextWorker(WDFOBJECT handle,
                                     const WDF_OBJECT_CONTEXT_TYPE_INFO* typeInfo) {
  for (Kind kind : {Kind::kDriver, Kind::kDevice, Kind::kQueue, Kind::kRequest, Kind::kIoTarget,
                    Kind::kUsbDevice, Kind::kUsbInterface, Kind::kMemory})
    if (Object* object = Object::Find(handle, kind)) return object->Context(typeInfo);
  Complain("WdfObjectGetTypedContextWorker: not a framework object");
  return nullptr;
}

void WdfObjectDelete(WDFOBJECT handle) {
  Object* object = nullptr;
  for (Kind kind : {Kind::kMemory, Kind::kUsbDevice})
    if ((object = Object::Find(handle, kind))) break;
  if (!object) {
    Complain("WdfObjectDelete: only memory objects and USB targets can be deleted by a driver");
    return;
  }
  if (object->parent()) object->parent()->DeleteChild(object);
}

}  // namespace pvn::km
