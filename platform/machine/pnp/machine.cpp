#include "platform/machine/pnp/machine.h"

#include <algorithm>
#include <cstdio>

#include "platform/base/unicode.h"
#include "platform/fs/windows_path.h"
#include "platform/machine/pnp/base_hardware.h"
#include "platform/machine/pnp/enum_store.h"
#include "platform/machine/pnp/setup_classes.h"
#include "platform/registry/key.h"

namespace pvn::machine {

namespace {

constexpr std::u16string_view kClassKey = u"SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr std::u16string_view kServicesKey = u"SYSTEM\\CurrentControlSet\\Services";

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  return {bytes, bytes + text.size() * sizeof(char16_t)};
}

std::u16string MultiSz(const std::vector<std::string>& items) {
  std::u16string out;
  for (const auto& item : items) {
    out += Utf8ToUtf16(item);
    out.push_back(u'\0');
  }
  out.push_back(u'\0');
  return out;
}

std::vector<std::u16string> SplitMultiSz(const std::vector<std::uint8_t>& data) {
  std::vector<std::u16string> out;
  std::u16string current;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == u'\0') {
      if (current.empty()) break;
      out.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

std::string ValueString(const reg::Key& key, std::u16string_view name) {
  auto value = key.GetValue(name);
  if (!value || (value->type != reg::REG_SZ && value->type != reg::REG_EXPAND_SZ)) return {};
  std::u16string text(value->data.size() / 2, u'\0');
  std::copy(value->data.begin(), value->data.begin() + text.size() * 2,
            reinterpret_cast<std::uint8_t*>(text.data()));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return Utf16ToUtf8(text);
}

std::string Interface(const DeviceDescription& desc) {
  std::string cls = UpperAscii(desc.classGuid);
  if (cls == kClassUsb) {
    if (!desc.usb) return std::string(kInterfaceUsbHostController);
    return std::string(desc.usb->IsHub() ? kInterfaceUsbHub : kInterfaceUsbDevice);
  }
  if (cls == kClassDiskDrive) return std::string(kInterfaceDisk);
  if (cls == kClassKeyboard) return std::string(kInterfaceKeyboard);
  if (cls == kClassMouse) return std::string(kInterfaceMouse);
  if (cls == kClassHid) return std::string(kInterfaceHid);
  return {};
}

std::string SymbolicLink(const std::string& instance, const std::string& interfaceGuid) {
  std::string name = "\\\\?\\" + instance + "#" + interfaceGuid;
  for (std::size_t i = 4; i < 4 + instance.size(); ++i)
    if (name[i] == '\\') name[i] = '#';
  return name;
}

}  // namespace

// ---------------------------------------------------------------- internal types

struct Machine::Driver {
  std::unique_ptr<LoadedDriver> loaded;
  std::vector<std::string> classes;  // upper-cased; empty: every class (drivers given by tests)
};

struct Machine::Connection {
  std::shared_ptr<DeviceDescription> desc;
  std::string text;
  std::string parent;  // instance path of the hub; empty at the root
  std::uint32_t sequence = 0;
};

// The bus driver's view of one devnode.
class DevnodeBus : public BusDevice {
 public:
  DevnodeBus(const DeviceDescription& desc, bool pend) : desc_(desc), pend_(pend) {}

  NTSTATUS QueryId(km::BUS_QUERY_ID_TYPE type, std::u16string* id) override {
    switch (type) {
      case km::BusQueryDeviceID:
        *id = Utf8ToUtf16(desc_.instanceId.substr(0, desc_.instanceId.rfind('\\')));
        return km::STATUS_SUCCESS;
      case km::BusQueryInstanceID:
        if (!desc_.busInstanceId) return km::STATUS_NOT_SUPPORTED;
        *id = Utf8ToUtf16(*desc_.busInstanceId);
        return km::STATUS_SUCCESS;
      case km::BusQueryHardwareIDs:
      case km::BusQueryCompatibleIDs: {
        const auto& list =
            type == km::BusQueryHardwareIDs ? desc_.hardwareIds : desc_.compatibleIds;
        if (list.empty()) return km::STATUS_NOT_SUPPORTED;
        *id = MultiSz(list);
        id->pop_back();  // the caller's copy adds the final terminator
        return km::STATUS_SUCCESS;
      }
      default:
        return km::STATUS_NOT_SUPPORTED;
    }
  }

  std::optional<std::vector<std::uint8_t>> Property(km::DEVICE_REGISTRY_PROPERTY which) override {
    switch (which) {
      case km::DevicePropertyHardwareID:
        if (desc_.hardwareIds.empty()) return std::nullopt;
        return Utf16Bytes(MultiSz(desc_.hardwareIds));
      case km::DevicePropertyCompatibleIDs:
        if (desc_.compatibleIds.empty()) return std::nullopt;
        return Utf16Bytes(MultiSz(desc_.compatibleIds));
      case km::DevicePropertyDeviceDescription: {
        if (!desc_.description) return std::nullopt;
        std::u16string text = Utf8ToUtf16(*desc_.description);
        text.push_back(u'\0');
        return Utf16Bytes(text);
      }
    }
    return std::nullopt;
  }

  const UsbDescriptors* Usb() override { return desc_.usb ? &*desc_.usb : nullptr; }

  NTSTATUS DeviceControl(ULONG) override {
    ++deviceControls;
    return km::STATUS_SUCCESS;
  }

  bool PendQueries() override { return pend_; }

  std::uint32_t deviceControls = 0;

 private:
  const DeviceDescription& desc_;
  bool pend_;
};

struct Machine::Devnode {
  std::shared_ptr<const DeviceDescription> owner;  // keeps `desc` alive
  const DeviceDescription* desc = nullptr;
  Connection* connection = nullptr;  // set when plugged in as such
  Devnode* parent = nullptr;
  std::vector<std::unique_ptr<Devnode>> children;
  std::unique_ptr<DevnodeBus> bus;
  std::unique_ptr<DeviceStack> stack;
  DevnodeState state = DevnodeState::kAdded;
  std::uint32_t problem = 0;
  NTSTATUS status = 0;
  char drive = 0;
  std::string interfaceGuid;  // registered while started
};

// ---------------------------------------------------------------- text forms

const char* StateName(DevnodeState state) {
  switch (state) {
    case DevnodeState::kAdded:
      return "added";
    case DevnodeState::kStarted:
      return "started";
    case DevnodeState::kFailed:
      return "failed";
    case DevnodeState::kDisabled:
      return "disabled";
  }
  return "unknown";
}

std::string StatusText(NTSTATUS status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(status));
  return text;
}

Json ToJson(const DeviceInfo& d) {
  Json out = {{"instance_id", d.instanceId},
              {"class_guid", d.classGuid},
              {"class", d.className},
              {"state", StateName(d.state)},
              {"parent", d.parent.empty() ? Json(nullptr) : Json(d.parent)},
              {"hardware_ids", d.hardwareIds},
              {"filters", d.filters},
              {"plugged", d.plugged}};
  if (!d.service.empty()) out["service"] = d.service;
  if (!d.description.empty()) out["description"] = d.description;
  if (d.state == DevnodeState::kFailed || d.state == DevnodeState::kDisabled)
    out["problem"] = d.problem;
  if (d.state == DevnodeState::kFailed) out["status"] = StatusText(d.status);
  if (d.drive) out["volume"] = std::string(1, d.drive) + ":";
  return out;
}

Json ToJson(const DriverInfo& d) {
  Json out = {
      {"service", d.service}, {"image", d.image}, {"state", d.state}, {"classes", d.classes}};
  if (!d.detail.empty()) out["detail"] = d.detail;
  if (d.status) out["status"] = StatusText(*d.status);
  return out;
}

// ---------------------------------------------------------------- life cycle

Machine::Machine(Options options) : options_(options) {}

Machine::~Machine() {
  std::lock_guard lock(mutex_);
  ShutdownLocked();
  for (auto& driver : drivers_) driver->loaded->Unload();
}

bool Machine::booted() const {
  std::lock_guard lock(mutex_);
  return booted_;
}

void Machine::Boot() {
  std::lock_guard lock(mutex_);
  BootLocked();
}

void Machine::Shutdown() {
  std::lock_guard lock(mutex_);
  ShutdownLocked();
}

void Machine::BootLocked() {
  if (booted_) return;
  booted_ = true;
  if (options_.driversFromRegistry) LoadRegistryDrivers();
  ReadHardware();
  std::vector<Connection*> atRoot;
  for (auto& connection : connections_)
    if (connection->parent.empty()) atRoot.push_back(connection.get());
  for (Connection* connection : atRoot) {
    Devnode* node = CreateDevnode(nullptr, connection->desc, connection->desc.get(), connection);
    if (node->state == DevnodeState::kAdded) StartNode(*node);
  }
}

void Machine::ShutdownLocked() {
  if (!booted_) return;
  // Power off from the leaves up; nothing is unplugged, so no broadcasts
  // and no release of hardware.
  std::function<void(Devnode&)> powerOff = [&](Devnode& node) {
    for (auto& child : node.children) powerOff(*child);
    node.children.clear();
    if (node.stack) node.stack->PowerOffAndDiscard();
    node.stack.reset();
  };
  for (auto& root : roots_) powerOff(*root);
  roots_.clear();
  connections_.clear();
  if (options_.driversFromRegistry) {
    for (auto& driver : drivers_) driver->loaded->Unload();
    drivers_.clear();
    driverReport_.clear();
    classFilters_.clear();
  }
  booted_ = false;
}

// ---------------------------------------------------------------- drivers

void Machine::LoadRegistryDrivers() {
  // Class lower filters name the drivers; the first one listed sits lowest.
  auto classes = reg::Key::Open(kClassKey, reg::KEY_READ);
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> classesOf;
  if (classes) {
    auto names = classes->SubKeyNames();
    for (const auto& name : names ? *names : std::vector<std::u16string>{}) {
      auto key = classes->OpenSubKey(name, reg::KEY_READ);
      if (!key) continue;
      auto value = key->GetValue(u"LowerFilters");
      if (!value || value->type != reg::REG_MULTI_SZ) continue;
      std::string guid = UpperAscii(Utf16ToUtf8(name));
      for (const auto& service16 : SplitMultiSz(value->data)) {
        std::string service = Utf16ToUtf8(service16);
        classFilters_[guid].push_back(service);
        std::string folded = UpperAscii(service);
        if (!classesOf.count(folded)) order.push_back(service);
        classesOf[folded].push_back(guid);
      }
    }
  }
  for (const auto& service : order) {
    DriverInfo info;
    info.service = service;
    info.classes = classesOf[UpperAscii(service)];
    auto key =
        reg::Key::Open(std::u16string(kServicesKey) + u"\\" + Utf8ToUtf16(service), reg::KEY_READ);
    if (!key) {
      info.state = "no service";
      info.detail = "no service key";
      driverReport_.push_back(std::move(info));
      continue;
    }
    std::uint32_t type = 0, size = sizeof(std::uint32_t), valueType = 0;
    key->QueryValue(u"Type", &valueType, &type, &size);
    std::uint32_t start = 3;
    size = sizeof start;
    key->QueryValue(u"Start", &valueType, &start, &size);
    std::string image = ValueString(*key, u"ImagePath");
    if (image.empty()) image = "\\SystemRoot\\System32\\drivers\\" + service + ".sys";
    auto host = fs::ToHostPath(Utf8ToUtf16(image));
    info.image = host ? Utf16ToUtf8(fs::ToWindowsPath(*host)) : image;
    if (type != 1) {
      info.state = "not a kernel driver";
      info.detail = "service Type is " + std::to_string(type) + ", not 1";
    } else if (start == 4) {
      info.state = "disabled";
      info.detail = "service Start is 4";
    } else if (!host) {
      info.state = "missing";
      info.detail = "ImagePath names no file of this machine";
    } else {
      auto loaded = LoadedDriver::Load(*host, Utf8ToUtf16(service));
      if (!loaded) {
        info.state = loaded.error() == "image missing" ? "missing" : "failed";
        info.detail = loaded.error();
      } else {
        NTSTATUS status = (*loaded)->Enter();
        if (!km::NT_SUCCESS(status)) {
          info.state = "failed";
          info.detail = "DriverEntry failed";
          info.status = status;
          (*loaded)->Unload();
        } else {
          info.state = "loaded";
          auto driver = std::make_unique<Driver>();
          driver->loaded = loaded.take();
          driver->classes = info.classes;
          drivers_.push_back(std::move(driver));
        }
      }
    }
    if (info.state != "loaded")
      std::fprintf(stderr, "pvnhost: driver %s not loaded: %s\n", service.c_str(),
                   info.detail.c_str());
    driverReport_.push_back(std::move(info));
  }
}

NTSTATUS Machine::LoadDriver(const std::filesystem::path& image, std::string_view service,
                             std::vector<std::string> classGuids, std::string* error) {
  std::lock_guard lock(mutex_);
  std::string name(service.empty() ? image.stem().string() : std::string(service));
  auto loaded = LoadedDriver::Load(image, Utf8ToUtf16(name));
  if (!loaded) {
    if (error) *error = loaded.error();
    return km::STATUS_DRIVER_UNABLE_TO_LOAD;
  }
  NTSTATUS status = (*loaded)->Enter();
  if (!km::NT_SUCCESS(status)) {
    (*loaded)->Unload();
    return status;
  }
  auto driver = std::make_unique<Driver>();
  driver->loaded = loaded.take();
  for (auto& guid : classGuids) driver->classes.push_back(UpperAscii(guid));
  drivers_.push_back(std::move(driver));
  DriverInfo info;
  info.service = name;
  info.image = image.string();
  info.state = "loaded";
  info.classes = drivers_.back()->classes;
  driverReport_.push_back(std::move(info));
  return status;
}

Result<bool, std::string> Machine::UnloadDriver(std::string_view service) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(drivers_.begin(), drivers_.end(), [&](const auto& d) {
    return UpperAscii(Utf16ToUtf8(d->loaded->service())) == UpperAscii(service);
  });
  if (it == drivers_.end())
    return Result<bool, std::string>::Fail("no driver " + std::string(service) + " is loaded");
  // The devices it filters go first, as the last device's removal is what
  // lets a driver unload.
  std::function<void(std::vector<std::unique_ptr<Devnode>>&)> sweep =
      [&](std::vector<std::unique_ptr<Devnode>>& nodes) {
        for (std::size_t i = 0; i < nodes.size();) {
          Devnode& node = *nodes[i];
          bool filtered = node.stack && node.stack->FilterDevice(*(*it)->loaded);
          if (filtered) {
            RemoveNode(node, false);  // erases nodes[i]
          } else {
            sweep(node.children);
            ++i;
          }
        }
      };
  sweep(roots_);
  (*it)->loaded->Unload();
  drivers_.erase(it);
  std::erase_if(driverReport_,
                [&](const DriverInfo& d) { return UpperAscii(d.service) == UpperAscii(service); });
  return true;
}

std::vector<Machine::Driver*> Machine::FiltersFor(const std::string& classGuid) {
  std::vector<Driver*> out;
  std::string guid = UpperAscii(classGuid);
  if (options_.driversFromRegistry) {
    auto it = classFilters_.find(guid);
    if (it == classFilters_.end()) return out;
    for (const auto& service : it->second)
      for (auto& driver : drivers_)
        if (UpperAscii(Utf16ToUtf8(driver->loaded->service())) == UpperAscii(service))
          out.push_back(driver.get());
    return out;
  }
  for (auto& driver : drivers_)
    if (driver->classes.empty() ||
        std::find(driver->classes.begin(), driver->classes.end(), guid) != driver->classes.end())
      out.push_back(driver.get());
  return out;
}

// ---------------------------------------------------------------- hardware

void Machine::ReadHardware() {
  connections_.clear();
  if (!enumstore::TreeExists()) {
    if (options_.baseHardware) {
      auto connection = std::make_unique<Connection>();
      auto desc = ParseDeviceDescription(kBaseHardware);
      if (desc) {
        connection->desc = std::make_shared<DeviceDescription>(desc.take());
        connection->text = std::string(kBaseHardware);
        connection->sequence = nextSequence_++;
        enumstore::RecordConnection(*connection->desc, connection->text, "", connection->sequence);
        connections_.push_back(std::move(connection));
      }
    }
    return;
  }
  auto stored = enumstore::Connections();
  std::sort(stored.begin(), stored.end(),
            [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
  for (auto& entry : stored) {
    auto desc = ParseDeviceDescription(entry.description);
    if (!desc) {
      std::fprintf(stderr, "pvnhost: a recorded device cannot be read back: %s\n",
                   desc.error().c_str());
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->desc = std::make_shared<DeviceDescription>(desc.take());
    connection->text = std::move(entry.description);
    connection->parent = std::move(entry.parent);
    connection->sequence = entry.sequence;
    nextSequence_ = std::max(nextSequence_, entry.sequence + 1);
    connections_.push_back(std::move(connection));
  }
}

Machine::Devnode* Machine::CreateDevnode(Devnode* parent,
                                         std::shared_ptr<const DeviceDescription> owner,
                                         const DeviceDescription* desc, Connection* connection) {
  auto node = std::make_unique<Devnode>();
  node->owner = std::move(owner);
  node->desc = desc;
  node->connection = connection;
  node->parent = parent;
  node->bus = std::make_unique<DevnodeBus>(*desc, options_.pendBusQueries);
  Devnode* raw = node.get();
  (parent ? parent->children : roots_).push_back(std::move(node));
  enumstore::Record(*desc);
  if (enumstore::ConfigFlags(desc->instanceId) & enumstore::CONFIGFLAG_DISABLED) {
    raw->state = DevnodeState::kDisabled;
    raw->problem = kProblemDisabled;
    return raw;
  }
  AddStack(*raw);
  return raw;
}

NTSTATUS Machine::AddStack(Devnode& node) {
  node.stack = std::make_unique<DeviceStack>(*node.bus);
  for (Driver* driver : FiltersFor(node.desc->classGuid)) {
    NTSTATUS status = node.stack->AttachFilter(*driver->loaded);
    if (!km::NT_SUCCESS(status)) return FailNode(node, kProblemFailedAdd, status);
  }
  node.state = DevnodeState::kAdded;
  node.problem = 0;
  node.status = 0;
  return km::STATUS_SUCCESS;
}

// A failed add or start takes the stack down again; the devnode stays present
// with the problem code and the status that failed.
NTSTATUS Machine::FailNode(Devnode& node, std::uint32_t problem, NTSTATUS status) {
  if (node.stack) {
    node.stack->Remove();
    node.stack.reset();
  }
  node.state = DevnodeState::kFailed;
  node.problem = problem;
  node.status = status;
  return status;
}

NTSTATUS Machine::StartNode(Devnode& node) {
  if (!node.stack) return node.status;
  NTSTATUS status = node.stack->Start();
  if (!km::NT_SUCCESS(status)) return FailNode(node, kProblemFailedStart, status);
  node.state = DevnodeState::kStarted;
  node.problem = 0;
  node.status = 0;
  Announce(node, true);
  EnumerateChildren(node);
  return status;
}

void Machine::EnumerateChildren(Devnode& node) {
  for (const auto& child : node.desc->children) {
    if (Find(child.instanceId)) continue;
    Devnode* created = CreateDevnode(&node, node.owner, &child, nullptr);
    if (created->state == DevnodeState::kAdded) StartNode(*created);
  }
  for (auto& connection : connections_) {
    if (!SameInstance(connection->parent, node.desc->instanceId)) continue;
    if (Find(connection->desc->instanceId)) continue;
    Devnode* created =
        CreateDevnode(&node, connection->desc, connection->desc.get(), connection.get());
    if (created->state == DevnodeState::kAdded) StartNode(*created);
  }
}

void Machine::Announce(Devnode& node, bool arrival) {
  const char* event = arrival ? "arrival" : "removal";
  const std::string& instance = node.desc->instanceId;
  if (arrival) {
    node.interfaceGuid = Interface(*node.desc);
    if (!node.interfaceGuid.empty())
      Emit({{"event", event},
            {"type", "interface"},
            {"class_guid", node.interfaceGuid},
            {"name", SymbolicLink(instance, node.interfaceGuid)},
            {"instance_id", instance}});
    if (UpperAscii(node.desc->classGuid) == kClassDiskDrive) {
      // A started disk gets the first free drive letter after the system's C:.
      std::vector<bool> used(26, false);
      used[2] = true;
      std::function<void(const std::vector<std::unique_ptr<Devnode>>&)> mark =
          [&](const auto& nodes) {
            for (const auto& n : nodes) {
              if (n->drive) used[n->drive - 'A'] = true;
              mark(n->children);
            }
          };
      mark(roots_);
      for (int letter = 3; letter < 26; ++letter)
        if (!used[letter]) {
          node.drive = static_cast<char>('A' + letter);
          break;
        }
      if (node.drive)
        Emit({{"event", event},
              {"type", "volume"},
              {"drive", std::string(1, node.drive) + ":"},
              {"unitmask", 1u << (node.drive - 'A')},
              {"instance_id", instance}});
    }
    return;
  }
  if (node.drive) {
    Emit({{"event", event},
          {"type", "volume"},
          {"drive", std::string(1, node.drive) + ":"},
          {"unitmask", 1u << (node.drive - 'A')},
          {"instance_id", instance}});
    node.drive = 0;
  }
  if (!node.interfaceGuid.empty()) {
    Emit({{"event", event},
          {"type", "interface"},
          {"class_guid", node.interfaceGuid},
          {"name", SymbolicLink(instance, node.interfaceGuid)},
          {"instance_id", instance}});
    node.interfaceGuid.clear();
  }
}

void Machine::RemoveChildren(Devnode& node, bool surprise) {
  while (!node.children.empty()) RemoveNode(*node.children.back(), surprise);
}

// Takes a devnode and everything below it out of the tree.
void Machine::RemoveNode(Devnode& node, bool surprise) {
  RemoveChildren(node, surprise);
  if (node.state == DevnodeState::kStarted) Announce(node, false);
  if (node.stack) {
    if (surprise) node.stack->SurpriseRemoval();
    node.stack->Remove();
    node.stack.reset();
  }
  auto& siblings = node.parent ? node.parent->children : roots_;
  std::erase_if(siblings, [&](const std::unique_ptr<Devnode>& n) { return n.get() == &node; });
}

// Stops the device and deletes its stack but keeps the devnode.
void Machine::DestroyNode(Devnode& node) {
  RemoveChildren(node, false);
  if (node.state == DevnodeState::kStarted) Announce(node, false);
  if (node.stack) {
    node.stack->Remove();
    node.stack.reset();
  }
}

void Machine::Emit(const Json& event) {
  for (auto& [id, listener] : listeners_) listener(event);
}

int Machine::Subscribe(Listener listener) {
  std::lock_guard lock(mutex_);
  int id = nextListener_++;
  listeners_[id] = std::move(listener);
  return id;
}

void Machine::Unsubscribe(int id) {
  std::lock_guard lock(mutex_);
  listeners_.erase(id);
}

// ---------------------------------------------------------------- lookups

Machine::Devnode* Machine::Find(std::string_view instance) const {
  std::function<Devnode*(const std::vector<std::unique_ptr<Devnode>>&)> search =
      [&](const auto& nodes) -> Devnode* {
    for (const auto& node : nodes) {
      if (SameInstance(node->desc->instanceId, instance)) return node.get();
      if (Devnode* found = search(node->children)) return found;
    }
    return nullptr;
  };
  return search(roots_);
}

Result<Machine::Devnode*, std::string> Machine::Present(std::string_view instance) const {
  if (!booted_) return Result<Devnode*, std::string>::Fail("the machine is not running");
  if (Devnode* node = Find(instance)) return node;
  return Result<Devnode*, std::string>::Fail("no device " + std::string(instance) + " is present");
}

bool Machine::InstanceTaken(const DeviceDescription& desc) const {
  std::function<bool(const DeviceDescription&)> taken = [&](const DeviceDescription& d) {
    if (Find(d.instanceId)) return true;
    for (const auto& connection : connections_) {
      std::function<bool(const DeviceDescription&)> inside = [&](const DeviceDescription& c) {
        if (SameInstance(c.instanceId, d.instanceId)) return true;
        for (const auto& child : c.children)
          if (inside(child)) return true;
        return false;
      };
      if (inside(*connection->desc)) return true;
    }
    for (const auto& child : d.children)
      if (taken(child)) return true;
    return false;
  };
  return taken(desc);
}

Machine::Devnode* Machine::DefaultParent(const DeviceDescription& desc) const {
  if (!desc.usb) return nullptr;
  std::function<Devnode*(const std::vector<std::unique_ptr<Devnode>>&)> search =
      [&](const auto& nodes) -> Devnode* {
    for (const auto& node : nodes) {
      for (const auto& id : node->desc->hardwareIds)
        if (UpperAscii(id).rfind("USB\\ROOT_HUB", 0) == 0) return node.get();
      if (Devnode* found = search(node->children)) return found;
    }
    return nullptr;
  };
  return search(roots_);
}

// ---------------------------------------------------------------- operations

Result<Machine::PlugResult, std::string> Machine::Plug(std::string_view deviceJson,
                                                       std::string_view parent, bool start) {
  using R = Result<PlugResult, std::string>;
  std::lock_guard lock(mutex_);
  if (!booted_) return R::Fail("the machine is not running");
  auto parsed = ParseDeviceDescription(deviceJson);
  if (!parsed) return R::Fail(parsed.error());
  auto desc = std::make_shared<DeviceDescription>(parsed.take());
  if (InstanceTaken(*desc))
    return R::Fail("a device with instance path " + desc->instanceId +
                   " (or one of its devnodes) is already plugged in");
  Devnode* hub = nullptr;
  if (!parent.empty()) {
    hub = Find(parent);
    if (!hub) return R::Fail("no device " + std::string(parent) + " is present");
    if (desc->usb && !(hub->desc->usb && hub->desc->usb->IsHub()))
      return R::Fail(std::string(parent) + " is not a USB hub");
  } else {
    hub = DefaultParent(*desc);
  }
  auto connection = std::make_unique<Connection>();
  connection->desc = desc;
  connection->text = std::string(deviceJson);
  connection->parent = hub ? hub->desc->instanceId : "";
  connection->sequence = nextSequence_++;
  enumstore::RecordConnection(*desc, connection->text, connection->parent, connection->sequence);
  Connection* raw = connection.get();
  connections_.push_back(std::move(connection));

  PlugResult result;
  result.instanceId = desc->instanceId;
  // Behind a hub that is not started, nothing enumerates the device yet.
  if (hub && hub->state != DevnodeState::kStarted) return result;
  Devnode* node = CreateDevnode(hub, desc, desc.get(), raw);
  result.enumerated = true;
  result.status = node->status;
  if (start && node->state == DevnodeState::kAdded) result.status = StartNode(*node);
  return result;
}

Result<NTSTATUS, std::string> Machine::Start(std::string_view instance) {
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return Result<NTSTATUS, std::string>::Fail(node.error());
  if ((*node)->state == DevnodeState::kStarted) return km::STATUS_SUCCESS;
  if ((*node)->state != DevnodeState::kAdded)
    return Result<NTSTATUS, std::string>::Fail(std::string(instance) + " is " +
                                               StateName((*node)->state) + ", not added");
  return StartNode(**node);
}

void Machine::ForgetConnectionTree(Connection& connection) {
  // Everything plugged in behind the device goes with it.
  std::vector<std::string> instances;
  std::function<void(const DeviceDescription&)> collect = [&](const DeviceDescription& d) {
    instances.push_back(d.instanceId);
    for (const auto& child : d.children) collect(child);
  };
  collect(*connection.desc);
  for (const auto& instance : instances) {
    for (;;) {
      auto behind = std::find_if(connections_.begin(), connections_.end(), [&](const auto& c) {
        return c.get() != &connection && SameInstance(c->parent, instance);
      });
      if (behind == connections_.end()) break;
      ForgetConnectionTree(**behind);
    }
  }
  for (const auto& instance : instances) enumstore::Forget(instance);
  std::erase_if(connections_, [&](const auto& c) { return c.get() == &connection; });
}

Result<NTSTATUS, std::string> Machine::Unplug(std::string_view instance) {
  using R = Result<NTSTATUS, std::string>;
  std::lock_guard lock(mutex_);
  if (!booted_) return R::Fail("the machine is not running");
  auto it = std::find_if(connections_.begin(), connections_.end(), [&](const auto& c) {
    return SameInstance(c->desc->instanceId, instance);
  });
  if (it == connections_.end()) {
    if (Devnode* node = Find(instance)) {
      Devnode* root = node;
      while (root->parent && !root->connection) root = root->parent;
      return R::Fail(std::string(instance) + " is part of " + root->desc->instanceId +
                     "; unplug that device");
    }
    return R::Fail("no device " + std::string(instance) + " is plugged in");
  }
  if (Devnode* node = Find(instance)) RemoveNode(*node, true);
  ForgetConnectionTree(**it);
  return km::STATUS_SUCCESS;
}

Result<NTSTATUS, std::string> Machine::Remove(std::string_view instance) {
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return Result<NTSTATUS, std::string>::Fail(node.error());
  Connection* connection = (*node)->connection;
  RemoveNode(**node, false);
  if (connection) ForgetConnectionTree(*connection);
  return km::STATUS_SUCCESS;
}

Result<NTSTATUS, std::string> Machine::Disable(std::string_view instance) {
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return Result<NTSTATUS, std::string>::Fail(node.error());
  Devnode& n = **node;
  enumstore::SetConfigFlags(n.desc->instanceId, enumstore::ConfigFlags(n.desc->instanceId) |
                                                    enumstore::CONFIGFLAG_DISABLED);
  if (n.state == DevnodeState::kDisabled) return km::STATUS_SUCCESS;
  DestroyNode(n);
  n.state = DevnodeState::kDisabled;
  n.problem = kProblemDisabled;
  n.status = 0;
  return km::STATUS_SUCCESS;
}

Result<NTSTATUS, std::string> Machine::Enable(std::string_view instance) {
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return Result<NTSTATUS, std::string>::Fail(node.error());
  Devnode& n = **node;
  enumstore::SetConfigFlags(n.desc->instanceId, enumstore::ConfigFlags(n.desc->instanceId) &
                                                    ~enumstore::CONFIGFLAG_DISABLED);
  if (n.state == DevnodeState::kStarted) return km::STATUS_SUCCESS;
  // A disabled or failed device gets a new stack: new device objects.
  DestroyNode(n);
  NTSTATUS status = AddStack(n);
  if (!km::NT_SUCCESS(status)) return status;
  return StartNode(n);
}

Result<NTSTATUS, std::string> Machine::Rebalance(std::string_view instance) {
  using R = Result<NTSTATUS, std::string>;
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return R::Fail(node.error());
  Devnode& n = **node;
  if (n.state != DevnodeState::kStarted)
    return R::Fail(std::string(instance) + " is " + StateName(n.state) + ", not started");
  // Stopped and started again on the same device objects.
  n.stack->Stop(false);
  NTSTATUS status = n.stack->Start();
  if (!km::NT_SUCCESS(status)) {
    RemoveChildren(n, false);
    Announce(n, false);
    FailNode(n, kProblemFailedStart, status);
  }
  return status;
}

Result<NTSTATUS, std::string> Machine::DeviceControl(std::string_view instance,
                                                     ULONG ioControlCode) {
  using R = Result<NTSTATUS, std::string>;
  std::lock_guard lock(mutex_);
  auto node = Present(instance);
  if (!node) return R::Fail(node.error());
  if ((*node)->state != DevnodeState::kStarted)
    return R::Fail(std::string(instance) + " is " + StateName((*node)->state) + ", not started");
  return (*node)->stack->DeviceControl(ioControlCode);
}

// ---------------------------------------------------------------- reports

std::vector<DeviceInfo> Machine::Devices() const {
  std::lock_guard lock(mutex_);
  std::vector<DeviceInfo> out;
  std::function<void(const std::vector<std::unique_ptr<Devnode>>&, int)> walk =
      [&](const auto& nodes, int depth) {
        for (const auto& node : nodes) {
          DeviceInfo info;
          const DeviceDescription& d = *node->desc;
          info.instanceId = d.instanceId;
          info.classGuid = d.classGuid;
          info.className = ClassName(d.classGuid);
          info.parent = node->parent ? node->parent->desc->instanceId : "";
          info.service = d.service.value_or("");
          info.description = d.description.value_or("");
          info.hardwareIds = d.hardwareIds;
          if (node->stack)
            for (const auto* filter : node->stack->Filters())
              info.filters.push_back(Utf16ToUtf8(filter->service()));
          info.state = node->state;
          info.problem = node->problem;
          info.status = node->status;
          info.drive = node->drive;
          info.plugged = node->connection != nullptr;
          info.depth = depth;
          out.push_back(std::move(info));
          walk(node->children, depth + 1);
        }
      };
  walk(roots_, 0);
  return out;
}

std::optional<DeviceInfo> Machine::Device(std::string_view instance) const {
  for (auto& device : Devices())
    if (SameInstance(device.instanceId, instance)) return device;
  return std::nullopt;
}

std::vector<DriverInfo> Machine::Drivers() const {
  std::lock_guard lock(mutex_);
  return driverReport_;
}

km::WDFDEVICE Machine::FilterDevice(std::string_view instance, std::string_view service) const {
  std::lock_guard lock(mutex_);
  Devnode* node = Find(instance);
  if (!node || !node->stack) return nullptr;
  for (const auto& driver : drivers_)
    if (UpperAscii(Utf16ToUtf8(driver->loaded->service())) == UpperAscii(service))
      return node->stack->FilterDevice(*driver->loaded);
  return nullptr;
}

km::WDFDRIVER Machine::DriverHandle(std::string_view service) const {
  std::lock_guard lock(mutex_);
  for (const auto& driver : drivers_)
    if (UpperAscii(Utf16ToUtf8(driver->loaded->service())) == UpperAscii(service))
      return driver->loaded->driver();
  return nullptr;
}

std::uint32_t Machine::BusDeviceControls(std::string_view instance) const {
  std::lock_guard lock(mutex_);
  Devnode* node = Find(instance);
  return node ? node->bus->deviceControls : 0;
}

}  // namespace pvn::machine
