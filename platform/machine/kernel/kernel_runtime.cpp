// Kernel registry and file handles, strings, pool, time and events: the
// kernel calls that stand on the machine prefix alone.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <variant>

#include "platform/fs/file.h"
#include "platform/machine/kernel/kernel_api.h"
#include "platform/text/code_page.h"

namespace pvn::km {

namespace {

// Kernel handles: small numbers that index the objects they stand for.
class HandleTable {
 public:
  using Object = std::variant<reg::Key, fs::File>;

  HANDLE Add(Object object) {
    std::lock_guard lock(mutex_);
    std::uintptr_t id = next_++;
    objects_.emplace(id, std::move(object));
    return reinterpret_cast<HANDLE>(id << 2);
  }
  // Runs `fn` on the object while the table is locked; false for a bad handle.
  template <class T, class Fn>
  bool With(HANDLE handle, Fn&& fn) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle) >> 2);
    if (it == objects_.end() || !std::holds_alternative<T>(it->second)) return false;
    fn(std::get<T>(it->second));
    return true;
  }
  bool Remove(HANDLE handle) {
    Object doomed;  // closed outside the lock
    {
      std::lock_guard lock(mutex_);
      auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle) >> 2);
      if (it == objects_.end()) return false;
      doomed = std::move(it->second);
      objects_.erase(it);
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::uintptr_t next_ = 1;
  std::map<std::uintptr_t, Object> objects_;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

std::u16string_view NameOf(const UNICODE_STRING* name) {
  if (!name || !name->Buffer) return {};
  return {name->Buffer, name->Length / sizeof(WCHAR)};
}

NTSTATUS FileStatus(win::Error err) {
  switch (err) {
    case win::ERROR_SUCCESS:
      return STATUS_SUCCESS;
    case win::ERROR_FILE_NOT_FOUND:
      return STATUS_OBJECT_NAME_NOT_FOUND;
    case win::ERROR_PATH_NOT_FOUND:
      return STATUS_OBJECT_PATH_NOT_FOUND;
    case win::ERROR_SHARING_VIOLATION:
      return STATUS_SHARING_VIOLATION;
    case win::ERROR_ACCESS_DENIED:
      return STATUS_ACCESS_DENIED;
    case win::ERROR_FILE_EXISTS:
    case win::ERROR_ALREADY_EXISTS:
      return STATUS_OBJECT_NAME_COLLISION;
    case win::ERROR_INVALID_PARAMETER:
      return STATUS_INVALID_PARAMETER;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

constexpr LONGLONG kTicksPerSecond = 10'000'000;
constexpr LONGLONG kSecondsFrom1601To1970 = 11'644'473'600LL;

}  // namespace

// ---------------------------------------------------------------- strings

void RtlInitUnicodeString(UNICODE_STRING* destination, const WCHAR* source) {
  std::size_t units = source ? std::char_traits<char16_t>::length(source) : 0;
  destination->Buffer = const_cast<WCHAR*>(source);
  destination->Length = static_cast<USHORT>(units * sizeof(WCHAR));
  destination->MaximumLength = source ? static_cast<USHORT>((units + 1) * sizeof(WCHAR)) : 0;
}

NTSTATUS RtlUnicodeStringToAnsiString(ANSI_STRING* destination, const UNICODE_STRING* source,
                                      BOOLEAN allocate) {
  if (!destination || !source) return STATUS_INVALID_PARAMETER;
  std::string ansi = text::WideToAnsi(NameOf(source));
  if (ansi.size() > 0xFFFE) return STATUS_INVALID_PARAMETER;
  if (allocate) {
    auto* buffer = static_cast<char*>(ExAllocatePoolWithTag(PagedPool, ansi.size() + 1, PoolTag("Astr")));
    if (!buffer) return STATUS_NO_MEMORY;
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    destination->Buffer = buffer;
    destination->Length = static_cast<USHORT>(ansi.size());
    destination->MaximumLength = static_cast<USHORT>(ansi.size() + 1);
    return STATUS_SUCCESS;
  }
  if (!destination->Buffer || destination->MaximumLength == 0) return STATUS_BUFFER_OVERFLOW;
  std::size_t fit = std::min<std::size_t>(ansi.size(), destination->MaximumLength - 1u);
  std::memcpy(destination->Buffer, ansi.data(), fit);
  destination->Buffer[fit] = '\0';
  destination->Length = static_cast<USHORT>(fit);
  return fit == ansi.size() ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}

void RtlFreeAnsiString(ANSI_STRING* string) {
  if (!string || !string->Buffer) return;
  ExFreePool(string->Buffer);
  string->Buffer = nullptr;
  string->Length = string->MaximumLength = 0;
}

NTSTATUS RtlStringCbPrintfA(char* dest, SIZE_T cbDest, const char* format, ...) {
  if (!dest || cbDest == 0 || cbDest > 0x7FFFFFFF) return STATUS_INVALID_PARAMETER;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(dest, cbDest, format, args);
  va_end(args);
  if (n < 0) {
    dest[0] = '\0';
    return STATUS_INVALID_PARAMETER;
  }
  return static_cast<SIZE_T>(n) >= cbDest ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

// ---------------------------------------------------------------- memory

PVOID ExAllocatePoolWithTag(POOL_TYPE, SIZE_T bytes, ULONG) {
  return std::malloc(bytes ? bytes : 1);
}
void ExFreePoolWithTag(PVOID block, ULONG) { std::free(block); }
void ExFreePool(PVOID block) { std::free(block); }

// ---------------------------------------------------------------- time

void KeQuerySystemTime(LARGE_INTEGER* time) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  time->QuadPart = (static_cast<LONGLONG>(now.tv_sec) + kSecondsFrom1601To1970) * kTicksPerSecond +
                   now.tv_nsec / 100;
}

void ExSystemTimeToLocalTime(const LARGE_INTEGER* systemTime, LARGE_INTEGER* localTime) {
  time_t seconds = static_cast<time_t>(systemTime->QuadPart / kTicksPerSecond - kSecondsFrom1601To1970);
  tm local{};
  localtime_r(&seconds, &local);
  localTime->QuadPart = systemTime->QuadPart + static_cast<LONGLONG>(local.tm_gmtoff) * kTicksPerSecond;
}

void RtlTimeToTimeFields(const LARGE_INTEGER* time, TIME_FIELDS* fields) {
  using namespace std::chrono;
  LONGLONG ticks = time->QuadPart;
  LONGLONG totalSeconds = ticks / kTicksPerSecond;
  LONGLONG days = totalSeconds / 86400;
  LONGLONG secondOfDay = totalSeconds % 86400;
  // Day 0 is Monday, 1 January 1601.
  year_month_day date{sys_days{} + std::chrono::days{days - 134774}};
  fields->Year = static_cast<std::int16_t>(static_cast<int>(date.year()));
  fields->Month = static_cast<std::int16_t>(static_cast<unsigned>(date.month()));
  fields->Day = static_cast<std::int16_t>(static_cast<unsigned>(date.day()));
  fields->Hour = static_cast<std::int16_t>(secondOfDay / 3600);
  fields->Minute = static_cast<std::int16_t>(secondOfDay / 60 % 60);
  fields->Second = static_cast<std::int16_t>(secondOfDay % 60);
  fields->Milliseconds = static_cast<std::int16_t>(ticks % kTicksPerSecond / 10'000);
  fields->Weekday = static_cast<std::int16_t>((days + 1) % 7);  // 0 is Sunday
}

// ---------------------------------------------------------------- handles

NTSTATUS ZwClose(HANDLE handle) {
  return Handles().Remove(handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

NTSTATUS ZwOpenKey(HANDLE* keyHandle, ULONG desiredAccess, OBJECT_ATTRIBUTES* attributes) {
  if (!keyHandle || !attributes || !attributes->ObjectName) return STATUS_INVALID_PARAMETER;
  reg::Key key;
  NTSTATUS status = reg::kernel::OpenKey(NameOf(attributes->ObjectName), desiredAccess, &key);
  if (!NT_SUCCESS(status)) return status;
  *keyHandle = Handles().Add(std::move(key));
  return STATUS_SUCCESS;
}

NTSTATUS ZwQueryValueKey(HANDLE keyHandle, UNICODE_STRING* valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, ULONG* resultLength) {
  if (informationClass != KeyValuePartialInformation) return STATUS_NOT_IMPLEMENTED;
  NTSTATUS status = STATUS_INVALID_HANDLE;
  Handles().With<reg::Key>(keyHandle, [&](reg::Key& key) {
    status = reg::kernel::QueryValuePartial(key, NameOf(valueName), information, length,
                                            resultLength);
  });
  return status;
}

NTSTATUS ZwCreateFile(HANDLE* fileHandle, ULONG desiredAccess, OBJECT_ATTRIBUTES* attributes,
                      IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER*, ULONG, ULONG shareAccess,
                      ULONG createDisposition, ULONG createOptions, PVOID, ULONG) {
  if (!fileHandle || !attributes || !attributes->ObjectName || !ioStatus)
    return STATUS_INVALID_PARAMETER;
  if (createOptions & FILE_DIRECTORY_FILE) return STATUS_NOT_IMPLEMENTED;
  std::uint32_t disposition;
  switch (createDisposition) {
    case FILE_OPEN: disposition = fs::OPEN_EXISTING; break;
    case FILE_CREATE: disposition = fs::CREATE_NEW; break;
    case FILE_OPEN_IF: disposition = fs::OPEN_ALWAYS; break;
    case FILE_OVERWRITE: disposition = fs::TRUNCATE_EXISTING; break;
    case FILE_SUPERSEDE:
    case FILE_OVERWRITE_IF: disposition = fs::CREATE_ALWAYS; break;
    default: return STATUS_INVALID_PARAMETER;
  }
  auto file = fs::File::Open(NameOf(attributes->ObjectName), desiredAccess & ~SYNCHRONIZE,
                             shareAccess, disposition);
  if (!file) {
    ioStatus->Status = FileStatus(file.error());
    ioStatus->Information = 0;
    return ioStatus->Status;
  }
  ioStatus->Status = STATUS_SUCCESS;
  ioStatus->Information = file->existed() ? 1 /* FILE_OPENED */ : 2 /* FILE_CREATED */;
  *fileHandle = Handles().Add(file.take());
  return STATUS_SUCCESS;
}

NTSTATUS ZwWriteFile(HANDLE fileHandle, HANDLE, PVOID, PVOID, IO_STATUS_BLOCK* ioStatus,
                     const void* buffer, ULONG length, LARGE_INTEGER* byteOffset, ULONG*) {
  if (!ioStatus || (length && !buffer)) return STATUS_INVALID_PARAMETER;
  NTSTATUS status = STATUS_INVALID_HANDLE;
  std::size_t written = 0;
  Handles().With<fs::File>(fileHandle, [&](fs::File& file) {
    if (byteOffset && byteOffset->QuadPart >= 0 &&
        file.SeekTo(static_cast<std::uint64_t>(byteOffset->QuadPart)) != win::ERROR_SUCCESS) {
      status = STATUS_INVALID_PARAMETER;
      return;
    }
    status = FileStatus(file.Write(buffer, length, &written));
  });
  ioStatus->Status = status;
  ioStatus->Information = written;
  return status;
}

// ---------------------------------------------------------------- events

void KeInitializeEvent(KEVENT* event, EVENT_TYPE type, BOOLEAN state) {
  event->Type = type;
  event->Signaled.store(state ? 1 : 0);
}

LONG KeSetEvent(KEVENT* event, LONG, BOOLEAN) {
  LONG previous = static_cast<LONG>(event->Signaled.exchange(1));
  event->Signaled.notify_all();
  return previous;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN,
                               LARGE_INTEGER* timeout) {
  auto* event = static_cast<KEVENT*>(object);
  auto consume = [&] {
    if (event->Type == SynchronizationEvent) return event->Signaled.exchange(0) == 1;
    return event->Signaled.load() == 1;
  };
  if (!timeout) {
    while (!consume()) event->Signaled.wait(0);
    return STATUS_SUCCESS;
  }
  // Negative time-outs are relative, in 100 ns units; positive ones absolute.
  LONGLONG ticks = timeout->QuadPart;
  if (ticks > 0) {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    ticks = now.QuadPart - ticks;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(-ticks / 10);
  while (!consume()) {
    if (std::chrono::steady_clock::now() >= deadline) return STATUS_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return STATUS_SUCCESS;
}

}  // namespace pvn::km
