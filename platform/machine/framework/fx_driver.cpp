// Driver images and driver objects: loading a .sys module, DriverEntry,
// WdfDriverCreate, and unloading with the driver object's cleanup.
#include <dlfcn.h>

#include <system_error>

#include "platform/base/unicode.h"
#include "platform/machine/framework/fx.h"

namespace pvn::machine {

namespace {
using DriverEntryFn = km::NTSTATUS (*)(km::DRIVER_OBJECT*, km::UNICODE_STRING*);
}

LoadedDriver::LoadedDriver(Token) {}
LoadedDriver::~LoadedDriver() {
  Unload();
}

Result<std::unique_ptr<LoadedDriver>, std::string> LoadedDriver::Load(
    const std::filesystem::path& image, std::u16string_view service) {
  using R = Result<std::unique_ptr<LoadedDriver>, std::string>;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(image, ec)) return R::Fail("image missing");
  void* module = dlopen(image.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    return R::Fail(std::string("not a loadable image: ") + (why ? why : "unknown error"));
  }
  if (!dlsym(module, "DriverEntry")) {
    dlclose(module);
    return R::Fail("the image exports no DriverEntry");
  }
  auto loaded = std::make_unique<LoadedDriver>(Token{});
  loaded->service_ = std::u16string(service);
  loaded->image_ = image;
  loaded->module_ = module;
  loaded->object_ = std::make_unique<km::DRIVER_OBJECT>();
  loaded->object_->registryPath =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + loaded->service_;
  km::RtlInitUnicodeString(&loaded->object_->registryPathString,
                           loaded->object_->registryPath.c_str());
  return R(std::move(loaded));
}

NTSTATUS LoadedDriver::Enter() {
  auto entry = reinterpret_cast<DriverEntryFn>(dlsym(module_, "DriverEntry"));
  if (!entry) return km::STATUS_DRIVER_UNABLE_TO_LOAD;
  // The driver may keep the registry path's string: it lives with the object.
  fx::DriverScope scope(nullptr);
  NTSTATUS status = entry(object_.get(), &object_->registryPathString);
  if (!km::NT_SUCCESS(status) && object_->driver) {
    // A failed DriverEntry unloads the driver at once, with its cleanup.
    std::unique_ptr<fx::Driver> doomed = std::move(object_->driver);
    fx::DriverScope inner(doomed.get());
    doomed->Dispose();
  }
  return status;
}

km::WDFDRIVER LoadedDriver::driver() const {
  return object_ && object_->driver
             ? reinterpret_cast<km::WDFDRIVER>(static_cast<fx::Object*>(object_->driver.get()))
             : nullptr;
}

void LoadedDriver::Unload() {
  if (object_ && object_->driver) {
    std::unique_ptr<fx::Driver> driver = std::move(object_->driver);
    fx::DriverScope scope(driver.get());
    if (driver->config.EvtDriverUnload)
      driver->config.EvtDriverUnload(
          reinterpret_cast<km::WDFDRIVER>(static_cast<fx::Object*>(driver.get())));
    driver->Dispose();
  }
  if (module_) {
    dlclose(module_);
    module_ = nullptr;
  }
}

}  // namespace pvn::machine

namespace pvn::km {

using namespace pvn::machine::fx;

NTSTATUS WdfDriverCreate(DRIVER_OBJECT* driverObject, const UNICODE_STRING* registryPath,
                         WDF_OBJECT_ATTRIBUTES* driverAttributes, WDF_DRIVER_CONFIG* config,
                         WDFDRIVER* driver) {
  if (!driverObject || !registryPath || !config || config->Size != sizeof(WDF_DRIVER_CONFIG))
    return STATUS_INVALID_PARAMETER;
  if (driverObject->driver) {
    Complain("WdfDriverCreate: the driver object already exists");
    return STATUS_INVALID_DEVICE_STATE;
  }
  NTSTATUS injected;
  if (InjectedFailure("WdfDriverCreate", &injected)) return injected;
  auto created = std::make_unique<Driver>();
  if (!created->ApplyAttributes(driverAttributes)) return STATUS_INVALID_PARAMETER;
  created->config = *config;
  created->object = driverObject;
  if (driver) *driver = reinterpret_cast<WDFDRIVER>(static_cast<Object*>(created.get()));
  SetCurrentDriver(created.get());
  driverObject->driver = std::move(created);  // owned by the driver object until unload
  return STATUS_SUCCESS;
}

}  // namespace pvn::km
