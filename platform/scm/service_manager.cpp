#include "platform/scm/service_manager.h"

#include "platform/base/unicode.h"
#include "platform/scm/channel.h"
#include "platform/scm/service_database.h"
#include "platform/scm/service_process.h"

namespace pvn::scm {

// One run of a service program.
struct ServiceManager::Running {
  std::u16string key;  // folded service name
  int pid = -1;
  detail::Channel channel;
  std::mutex sendMutex;
  bool connected = false;  // guarded by the manager's mutex
  bool exited = false;
  std::uint64_t controlsDone = 0;
  std::mutex controlMutex;  // one control at a time
};

struct ServiceManager::Service {
  std::u16string name;
  SERVICE_STATUS_PROCESS status{};
  bool everStarted = false;
  bool markedForDelete = false;
  std::shared_ptr<Running> running;
};

namespace {

SERVICE_STATUS_PROCESS StoppedStatus(std::uint32_t type, std::uint32_t exitCode) {
  SERVICE_STATUS_PROCESS status{};
  status.dwServiceType = type;
  status.dwCurrentState = SERVICE_STOPPED;
  status.dwWin32ExitCode = exitCode;
  return status;
}

// Sends on a program's channel; the lock keeps concurrent messages whole.
bool Send(std::mutex& mutex, detail::Channel& channel, const nlohmann::json& message) {
  std::lock_guard lock(mutex);
  return channel.Send(message);
}

}  // namespace

ServiceManager::ServiceManager(ManagerOptions options) : options_(options) {}

ServiceManager::~ServiceManager() {
  ShutdownAll();
  for (auto& reader : readers_)
    if (reader.joinable()) reader.join();
}

ServiceManager::Service& ServiceManager::Entry(const std::u16string& key,
                                               const std::u16string& name) {
  auto found = services_.find(key);
  if (found == services_.end()) {
    Service service;
    service.name = name;
    found = services_.emplace(key, std::move(service)).first;
  }
  return found->second;
}

win::Error ServiceManager::Start(std::u16string_view name,
                                 const std::vector<std::u16string>& arguments) {
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  const std::u16string key = FoldCase(record.name);
  std::shared_ptr<Running> running;
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return win::ERROR_SHUTDOWN_IN_PROGRESS;
    Service& service = Entry(key, record.name);
    if (service.markedForDelete) return win::ERROR_SERVICE_MARKED_FOR_DELETE;
    if (record.start == SERVICE_DISABLED) return win::ERROR_SERVICE_DISABLED;
    // Drivers are loaded by the machine, not started as programs.
    if (!(record.type & SERVICE_WIN32)) return win::ERROR_NOT_SUPPORTED;
    if (service.status.dwCurrentState != SERVICE_STOPPED && service.running)
      return win::ERROR_SERVICE_ALREADY_RUNNING;

    auto command = ResolveImagePath(record.imagePath);
    if (!command) return win::ERROR_FILE_NOT_FOUND;
    auto spawned = detail::SpawnServiceProcess(command->program, command->arguments);
    if (!spawned) return spawned.error();
    running = std::make_shared<Running>();
    running->key = key;
    running->pid = spawned->pid;
    running->channel = std::move(spawned->channel);
    service.running = running;
    service.everStarted = true;
    service.status = SERVICE_STATUS_PROCESS{};
    service.status.dwServiceType = record.type & SERVICE_WIN32;
    service.status.dwCurrentState = SERVICE_START_PENDING;
    service.status.dwWaitHint = 2000;
    service.status.dwProcessId = static_cast<std::uint32_t>(running->pid);
    readers_.emplace_back(&ServiceManager::ReadChannel, this, running);
    changed_.notify_all();
  }

  std::unique_lock lock(mutex_);
  bool settled = changed_.wait_for(lock, options_.startTimeout,
                                   [&] { return running->connected || running->exited; });
  if (!settled) {
    lock.unlock();
    detail::KillProcess(running->pid);
    return win::ERROR_SERVICE_REQUEST_TIMEOUT;
  }
  if (!running->connected) return win::ERROR_PROCESS_ABORTED;
  lock.unlock();

  nlohmann::json message = {{"op", "start"}, {"args", nlohmann::json::array()}};
  for (const auto& argument : arguments) message["args"].push_back(Utf16ToUtf8(argument));
  if (!Send(running->sendMutex, running->channel, message)) return win::ERROR_PROCESS_ABORTED;
  return win::ERROR_SUCCESS;
}

void ServiceManager::ReadChannel(std::shared_ptr<Running> running) {
  nlohmann::json message;
  while (running->channel.Receive(&message)) {
    std::string op = detail::Str(message, "op");
    if (op == "connect") {
      std::lock_guard lock(mutex_);
      running->connected = true;
      changed_.notify_all();
    } else if (op == "status") {
      SERVICE_STATUS status{detail::U32(message, "type"),     detail::U32(message, "state"),
                            detail::U32(message, "accepted"), detail::U32(message, "exit"),
                            detail::U32(message, "specific"), detail::U32(message, "checkpoint"),
                            detail::U32(message, "hint")};
      // A state outside 1..7 is not a status; a program that sends one is ignored.
      if (NotifyBitOf(status.dwCurrentState) != 0) OnStatus(running, status);
    } else if (op == "controlled") {
      std::lock_guard lock(mutex_);
      ++running->controlsDone;
      changed_.notify_all();
    }
  }
  // The program closed its channel: it is ending. A service that had not
  // reported STOPPED ended unexpectedly.
  detail::WaitForProcess(running->pid);
  std::lock_guard lock(mutex_);
  running->exited = true;
  auto found = services_.find(running->key);
  if (found != services_.end() && found->second.running == running) {
    Service& service = found->second;
    if (service.status.dwCurrentState != SERVICE_STOPPED)
      service.status = StoppedStatus(service.status.dwServiceType, win::ERROR_PROCESS_ABORTED);
    service.status.dwProcessId = 0;
    service.running.reset();
    FinishDelete(service);
  }
  changed_.notify_all();
}

void ServiceManager::OnStatus(const std::shared_ptr<Running>& running,
                              const SERVICE_STATUS& status) {
  bool stopped = false;
  {
    std::lock_guard lock(mutex_);
    auto found = services_.find(running->key);
    if (found == services_.end() || found->second.running != running) return;
    Service& service = found->second;
    std::uint32_t pid = service.status.dwProcessId;
    service.status.dwServiceType =
        status.dwServiceType ? status.dwServiceType : service.status.dwServiceType;
    service.status.dwCurrentState = status.dwCurrentState;
    service.status.dwControlsAccepted = status.dwControlsAccepted;
    service.status.dwWin32ExitCode = status.dwWin32ExitCode;
    service.status.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
    service.status.dwCheckPoint = status.dwCheckPoint;
    service.status.dwWaitHint = status.dwWaitHint;
    stopped = status.dwCurrentState == SERVICE_STOPPED;
    service.status.dwProcessId = stopped ? 0 : pid;
    changed_.notify_all();
  }
  // An own-process program ends its dispatcher once its service has stopped.
  if (stopped) Send(running->sendMutex, running->channel, {{"op", "exit"}});
}

win::Error ServiceManager::Control(std::u16string_view name, std::uint32_t control,
                                   SERVICE_STATUS* status) {
  bool known = control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_PAUSE ||
               control == SERVICE_CONTROL_CONTINUE || control == SERVICE_CONTROL_INTERROGATE ||
               (control >= 128 && control <= 255);
  if (!known) return win::ERROR_INVALID_SERVICE_CONTROL;
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  const std::u16string key = FoldCase(record.name);

  std::shared_ptr<Running> running;
  auto copyStatus = [&](const Service& service) {
    if (!status) return;
    const auto& s = service.status;
    *status = SERVICE_STATUS{s.dwServiceType,
                             s.dwCurrentState,
                             s.dwControlsAccepted,
                             s.dwWin32ExitCode,
                             s.dwServiceSpecificExitCode,
                             s.dwCheckPoint,
                             s.dwWaitHint};
  };
  {
    std::lock_guard lock(mutex_);
    Service& service = Entry(key, record.name);
    if (!service.running || service.status.dwCurrentState == SERVICE_STOPPED)
      return win::ERROR_SERVICE_NOT_ACTIVE;
    std::uint32_t state = service.status.dwCurrentState;
    std::uint32_t accepted = service.status.dwControlsAccepted;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
      copyStatus(service);
      return win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    if ((control == SERVICE_CONTROL_STOP && !(accepted & SERVICE_ACCEPT_STOP)) ||
        ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
         !(accepted & SERVICE_ACCEPT_PAUSE_CONTINUE))) {
      copyStatus(service);
      return win::ERROR_INVALID_SERVICE_CONTROL;
    }
    running = service.running;
  }

  std::lock_guard one(running->controlMutex);
  std::uint64_t before;
  {
    std::lock_guard lock(mutex_);
    before = running->controlsDone;
  }
  if (!Send(running->sendMutex, running->channel, {{"op", "control"}, {"control", control}}))
    return win::ERROR_SERVICE_NOT_ACTIVE;
  std::unique_lock lock(mutex_);
  bool answered = changed_.wait_for(lock, options_.controlTimeout, [&] {
    return running->controlsDone > before || running->exited;
  });
  if (!answered) return win::ERROR_SERVICE_REQUEST_TIMEOUT;
  copyStatus(Entry(key, record.name));
  return win::ERROR_SUCCESS;
}

win::Error ServiceManager::Query(std::u16string_view name, SERVICE_STATUS_PROCESS* status) {
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  std::lock_guard lock(mutex_);
  const Service& service = Entry(FoldCase(record.name), record.name);
  if (!service.everStarted) {
    // A service that never ran reports so, as the manager does after boot.
    *status =
        StoppedStatus(record.type, (record.type & SERVICE_WIN32) ? win::ERROR_SERVICE_NEVER_STARTED
                                                                 : win::ERROR_SUCCESS);
    return win::ERROR_SUCCESS;
  }
  *status = service.status;
  return win::ERROR_SUCCESS;
}

win::Error ServiceManager::WaitForState(std::u16string_view name, std::uint32_t notifyMask,
                                        const std::function<bool()>& cancelled,
                                        SERVICE_STATUS_PROCESS* status,
                                        std::chrono::milliseconds poll) {
  for (;;) {
    if (win::Error error = Query(name, status)) return error;
    if (NotifyBitOf(status->dwCurrentState) & notifyMask) return win::ERROR_SUCCESS;
    if (cancelled && cancelled()) return win::ERROR_CANCELLED;
    // A restart does not end the wait: the manager outlives it, and the
    // states the service passes through on the way down are reported.
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, poll);
  }
}

win::Error ServiceManager::Delete(std::u16string_view name) {
  ServiceRecord record;
  if (win::Error error = ReadServiceRecord(name, &record)) return error;
  std::lock_guard lock(mutex_);
  Service& service = Entry(FoldCase(record.name), record.name);
  if (service.markedForDelete) return win::ERROR_SERVICE_MARKED_FOR_DELETE;
  service.markedForDelete = true;
  FinishDelete(service);
  return win::ERROR_SUCCESS;
}

void ServiceManager::FinishDelete(Service& service) {
  if (!service.markedForDelete || service.running) return;
  DeleteServiceRecord(service.name);
  services_.erase(FoldCase(service.name));
}

void ServiceManager::StartAutomatic() {
  {
    std::lock_guard lock(mutex_);
    shutDown_ = false;  // a boot after a restart
  }
  for (const auto& name : ListServices()) {
    ServiceRecord record;
    if (ReadServiceRecord(name, &record) != win::ERROR_SUCCESS) continue;
    if (record.start != SERVICE_AUTO_START || !(record.type & SERVICE_WIN32)) continue;
    Start(record.name, {});
  }
}

void ServiceManager::ShutdownAll() {
  std::vector<std::shared_ptr<Running>> runs;
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    for (auto& [key, service] : services_)
      if (service.running) runs.push_back(service.running);
    changed_.notify_all();
  }
  for (auto& running : runs)
    Send(running->sendMutex, running->channel,
         {{"op", "control"}, {"control", SERVICE_CONTROL_SHUTDOWN}});
  std::unique_lock lock(mutex_);
  bool ended = changed_.wait_for(lock, options_.shutdownTimeout, [&] {
    for (auto& running : runs)
      if (!running->exited) return false;
    return true;
  });
  if (!ended) {
    for (auto& running : runs)
      if (!running->exited) detail::KillProcess(running->pid);
    changed_.wait(lock, [&] {
      for (auto& running : runs)
        if (!running->exited) return false;
      return true;
    });
  }
}

}  // namespace pvn::scm
