#pragma once
// Host modules: facilities that live in the running machine (pvnhost) beside
// the plug-and-play manager, such as the Service Control Manager. A module
// has a name, is told when the machine has booted and when it is about to
// shut down or restart, and answers the JSON requests on the machine's
// socket that carry its name:
//
//   {"module": "scm", ...}   ->  HandleRequest(request, session)
//
// A module is registered once per program, before the machine boots:
//
//   class ScmModule : public pvn::machine::HostModule { ... };
//   PVN_REGISTER_HOST_MODULE(ScmModule);      // in the module's library
//
// and its library is linked into pvnhost with
//   target_link_libraries(pvn_host_modules INTERFACE
//                         "$<LINK_LIBRARY:WHOLE_ARCHIVE,pvn_scm_host>")
// so that pvnhost's core never names it.
//
// Order of a restart: broadcast subscribers (desktop programs) get the
// notice; every module's Shutdown runs (last registered first), which is
// where services are stopped; the devices are powered off and the drivers
// unloaded; then the machine boots again (drivers load, present devices
// start) and every module's Boot runs (first registered first), which is
// where automatic services start. A shutdown ends after the drivers unload.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pvn::machine {

using Json = nlohmann::json;

// One client connection to the machine's socket.
class Session {
 public:
  virtual ~Session() = default;
  // Sends one message (one JSON line) to the client; thread-safe, and may be
  // called at any time while the session is open, e.g. for a reply given
  // later or for notifications. False once the client has gone.
  virtual bool Send(const Json& message) = 0;
  virtual bool open() const = 0;
  // Process id of the client (from the socket's peer credentials).
  virtual int peerPid() const = 0;
  virtual std::uint64_t id() const = 0;
};

// What a module may ask of the machine.
class HostContext {
 public:
  virtual ~HostContext() = default;
  // Sends a message to every broadcast subscriber.
  virtual void Broadcast(const Json& event) = 0;
  // Asks for a restart or shutdown; it happens on the machine's own thread
  // after this call returns.
  virtual void RequestRestart() = 0;
  virtual void RequestShutdown() = 0;
};

class HostModule {
 public:
  virtual ~HostModule() = default;
  // The name requests use in their "module" field, e.g. "scm".
  virtual std::string Name() const = 0;
  // The machine has booted: drivers loaded, present devices started.
  virtual void Boot(HostContext& /*host*/) {}
  // The machine is about to shut down (restarting: it boots again). Runs
  // before the drivers are unloaded; returns when the module has stopped.
  virtual void Shutdown(HostContext& /*host*/, bool /*restarting*/) {}
  // A request carrying this module's name. The answer is sent back as one
  // line; nullopt means the module answers later through `session`. Runs on
  // the session's own thread: requests of one session arrive in order,
  // requests of different sessions may arrive at the same time.
  virtual std::optional<Json> HandleRequest(const Json& request,
                                            const std::shared_ptr<Session>& session) = 0;
  // The client of a session went away (its process may have ended).
  virtual void SessionClosed(const std::shared_ptr<Session>& /*session*/) {}
};

using HostModuleFactory = std::function<std::unique_ptr<HostModule>()>;

// Registers a module for every machine this program runs. Returns true so it
// can initialise a static.
bool RegisterHostModule(HostModuleFactory factory);
// The registered modules, newly made, in registration order.
std::vector<std::unique_ptr<HostModule>> MakeRegisteredHostModules();

#define PVN_REGISTER_HOST_MODULE(Type)                                \
  [[maybe_unused]] static const bool pvnHostModuleRegistered_##Type = \
      ::pvn::machine::RegisterHostModule([] { return std::make_unique<Type>(); })

}  // namespace pvn::machine
