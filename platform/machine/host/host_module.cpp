#include "platform/machine/host/host_module.h"

#include <mutex>

namespace pvn::machine {

namespace {
struct Registry {
  std::mutex mutex;
  std::vector<HostModuleFactory> factories;
};
Registry& Modules() {
  static Registry registry;
  return registry;
}
}  // namespace

bool RegisterHostModule(HostModuleFactory factory) {
  auto& registry = Modules();
  std::lock_guard lock(registry.mutex);
  registry.factories.push_back(std::move(factory));
  return true;
}

std::vector<std::unique_ptr<HostModule>> MakeRegisteredHostModules() {
  auto& registry = Modules();
  std::lock_guard lock(registry.mutex);
  std::vector<std::unique_ptr<HostModule>> out;
  for (auto& factory : registry.factories) out.push_back(factory());
  return out;
}

}  // namespace pvn::machine
