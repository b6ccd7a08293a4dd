#pragma once
// The kernel calls that drivers make: kernel registry and file I/O, time,
// strings, pool memory, events and plug-and-play IRPs. Names and layouts are
// those drivers are written against; the implementation sits on the machine
// prefix (registry.db, drive_c) and lives in libpvnkernel.so, which pvnhost
// and every driver image share.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/base/ntstatus.h"
#include "platform/registry/kernel_registry.h"
#include "platform/registry/registry_types.h"

namespace pvn::km {

using namespace pvn::nt;  // NTSTATUS, NT_SUCCESS, STATUS_*

using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using BOOLEAN = std::uint8_t;
using WCHAR = char16_t;
using PVOID = void*;
using HANDLE = void*;

inline constexpr BOOLEAN TRUE = 1;
inline constexpr BOOLEAN FALSE = 0;

struct LARGE_INTEGER {
  LONGLONG QuadPart;
};

// ---------------------------------------------------------------- strings

struct UNICODE_STRING {
  USHORT Length;         // bytes, without terminator
  USHORT MaximumLength;  // bytes
  WCHAR* Buffer;
};
struct ANSI_STRING {
  USHORT Length;
  USHORT MaximumLength;
  char* Buffer;
};

void RtlInitUnicodeString(UNICODE_STRING* destination, const WCHAR* source);
// Converts to the system ANSI code page; with `allocate` the buffer comes from
// the pool and is released with RtlFreeAnsiString. Unmappable characters
// become '?'.
NTSTATUS RtlUnicodeStringToAnsiString(ANSI_STRING* destination, const UNICODE_STRING* source,
                                      BOOLEAN allocate);
void RtlFreeAnsiString(ANSI_STRING* string);
// Bounded formatter: writes at most `cbDest` bytes including the terminator,
// always terminates, and returns STATUS_BUFFER_OVERFLOW when the text was cut.
NTSTATUS RtlStringCbPrintfA(char* dest, SIZE_T cbDest, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// ---------------------------------------------------------------- memory

enum POOL_TYPE : int { NonPagedPool = 0, PagedPool = 1, NonPagedPoolNx = 512 };
// A pool tag from four characters, stored so that a memory dump shows them in
// order: PoolTag("PvnG").
constexpr ULONG PoolTag(const char (&text)[5]) {
  return static_cast<ULONG>(static_cast<unsigned char>(text[0])) |
         static_cast<ULONG>(static_cast<unsigned char>(text[1])) << 8 |
         static_cast<ULONG>(static_cast<unsigned char>(text[2])) << 16 |
         static_cast<ULONG>(static_cast<unsigned char>(text[3])) << 24;
}
PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag);
void ExFreePoolWithTag(PVOID block, ULONG tag);
void ExFreePool(PVOID block);

// ---------------------------------------------------------------- time

// 100-nanosecond intervals since 1 January 1601, UTC.
void KeQuerySystemTime(LARGE_INTEGER* time);
// Applies the machine's time-zone bias at this moment.
void ExSystemTimeToLocalTime(const LARGE_INTEGER* systemTime, LARGE_INTEGER* localTime);
struct TIME_FIELDS {
  std::int16_t Year, Month, Day, Hour, Minute, Second, Milliseconds, Weekday;
};
void RtlTimeToTimeFields(const LARGE_INTEGER* time, TIME_FIELDS* fields);

// ---------------------------------------------------------------- objects

struct OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  UNICODE_STRING* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};
inline constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
inline constexpr ULONG OBJ_KERNEL_HANDLE = 0x200;
inline void InitializeObjectAttributes(OBJECT_ATTRIBUTES* attributes, UNICODE_STRING* name,
                                       ULONG flags, HANDLE root, PVOID securityDescriptor) {
  attributes->Length = sizeof(OBJECT_ATTRIBUTES);
  attributes->RootDirectory = root;
  attributes->ObjectName = name;
  attributes->Attributes = flags;
  attributes->SecurityDescriptor = securityDescriptor;
  attributes->SecurityQualityOfService = nullptr;
}

struct IO_STATUS_BLOCK {
  NTSTATUS Status;
  ULONG_PTR Information;
};

NTSTATUS ZwClose(HANDLE handle);

// ---------------------------------------------------------------- registry

using pvn::reg::KEY_READ;
using pvn::reg::KEY_WRITE;
using pvn::reg::KEY_ALL_ACCESS;
using pvn::reg::KEY_QUERY_VALUE;
using pvn::reg::REG_BINARY;
using pvn::reg::REG_DWORD;
using pvn::reg::REG_SZ;
using pvn::reg::REG_MULTI_SZ;
using pvn::reg::kernel::KEY_VALUE_PARTIAL_INFORMATION;

enum KEY_VALUE_INFORMATION_CLASS : int {
  KeyValueBasicInformation = 0,
  KeyValueFullInformation = 1,
  KeyValuePartialInformation = 2,
};

// Object names "\Registry\Machine\...".
NTSTATUS ZwOpenKey(HANDLE* keyHandle, ULONG desiredAccess, OBJECT_ATTRIBUTES* attributes);
// Only KeyValuePartialInformation is provided; see reg::kernel::QueryValuePartial.
NTSTATUS ZwQueryValueKey(HANDLE keyHandle, UNICODE_STRING* valueName,
                         KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                         ULONG length, ULONG* resultLength);

// ---------------------------------------------------------------- files

inline constexpr ULONG FILE_READ_DATA = 0x0001;
inline constexpr ULONG FILE_WRITE_DATA = 0x0002;
inline constexpr ULONG FILE_APPEND_DATA = 0x0004;
inline constexpr ULONG SYNCHRONIZE = 0x00100000;
inline constexpr ULONG GENERIC_READ = 0x80000000;
inline constexpr ULONG GENERIC_WRITE = 0x40000000;

inline constexpr ULONG FILE_SHARE_READ = 1;
inline constexpr ULONG FILE_SHARE_WRITE = 2;
inline constexpr ULONG FILE_SHARE_DELETE = 4;

inline constexpr ULONG FILE_ATTRIBUTE_NORMAL = 0x80;

// Create dispositions of ZwCreateFile.
inline constexpr ULONG FILE_SUPERSEDE = 0;
inline constexpr ULONG FILE_OPEN = 1;
inline constexpr ULONG FILE_CREATE = 2;
inline constexpr ULONG FILE_OPEN_IF = 3;
inline constexpr ULONG FILE_OVERWRITE = 4;
inline constexpr ULONG FILE_OVERWRITE_IF = 5;

// Create options.
inline constexpr ULONG FILE_DIRECTORY_FILE = 0x01;
inline constexpr ULONG FILE_SYNCHRONOUS_IO_NONALERT = 0x20;
inline constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x40;

// Object names "\DosDevices\c:\...", "\??\C:\..." as well as "C:\...".
// Share modes hold against every other process of the machine.
NTSTATUS ZwCreateFile(HANDLE* fileHandle, ULONG desiredAccess, OBJECT_ATTRIBUTES* attributes,
                      IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize,
                      ULONG fileAttributes, ULONG shareAccess, ULONG createDisposition,
                      ULONG createOptions, PVOID eaBuffer, ULONG eaLength);
// Synchronous; without a byte offset the write goes to the file pointer, or to
// the end of the file when the handle has append access only.
NTSTATUS ZwWriteFile(HANDLE fileHandle, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                     IO_STATUS_BLOCK* ioStatus, const void* buffer, ULONG length,
                     LARGE_INTEGER* byteOffset, ULONG* key);

// ---------------------------------------------------------------- events

enum EVENT_TYPE : int { NotificationEvent = 0, SynchronizationEvent = 1 };
enum KWAIT_REASON : int { Executive = 0 };
enum KPROCESSOR_MODE : int { KernelMode = 0 };

struct KEVENT {
  std::atomic<std::uint32_t> Signaled;
  EVENT_TYPE Type;
};

void KeInitializeEvent(KEVENT* event, EVENT_TYPE type, BOOLEAN state);
LONG KeSetEvent(KEVENT* event, LONG increment, BOOLEAN wait);
// Waits without a time-out when `timeout` is null; STATUS_TIMEOUT otherwise.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode,
                               BOOLEAN alertable, LARGE_INTEGER* timeout);
inline constexpr NTSTATUS STATUS_TIMEOUT = 0x00000102;

// ---------------------------------------------------------------- devices and IRPs

struct DEVICE_OBJECT;  // owned by the plug-and-play manager
struct DRIVER_OBJECT;  // one per loaded driver image

inline constexpr UCHAR IRP_MJ_PNP = 0x1B;
inline constexpr UCHAR IRP_MN_QUERY_ID = 0x13;

enum BUS_QUERY_ID_TYPE : int {
  BusQueryDeviceID = 0,
  BusQueryHardwareIDs = 1,
  BusQueryCompatibleIDs = 2,
  BusQueryInstanceID = 3,
  BusQueryDeviceSerialNumber = 4,
  BusQueryContainerID = 5,
};

struct IO_STACK_LOCATION {
  UCHAR MajorFunction;
  UCHAR MinorFunction;
  UCHAR Flags;
  UCHAR Control;
  union {
    struct {
      BUS_QUERY_ID_TYPE IdType;
    } QueryId;
  } Parameters;
};

// The part of an IRP that drivers touch; the rest is the manager's.
struct IRP {
  IO_STATUS_BLOCK IoStatus;
};

// Builds a request for `targetDevice` whose completion sets `event` and
// copies the final status into `ioStatus`. Only IRP_MJ_PNP is supported.
IRP* IoBuildSynchronousFsdRequest(ULONG majorFunction, DEVICE_OBJECT* targetDevice, PVOID buffer,
                                  ULONG length, LARGE_INTEGER* startingOffset, KEVENT* event,
                                  IO_STATUS_BLOCK* ioStatus);
IO_STACK_LOCATION* IoGetNextIrpStackLocation(IRP* irp);
// Sends the IRP to the device. For IRP_MN_QUERY_ID the answer is a string
// from the pool in IoStatus.Information, which the caller frees with
// ExFreePool. Returns the final status, or STATUS_PENDING after which the
// event is signalled and `ioStatus` holds the final status.
NTSTATUS IofCallDriver(DEVICE_OBJECT* device, IRP* irp);
inline NTSTATUS IoCallDriver(DEVICE_OBJECT* device, IRP* irp) { return IofCallDriver(device, irp); }

}  // namespace pvn::km

// The entry point every driver image exports.
extern "C" pvn::km::NTSTATUS DriverEntry(pvn::km::DRIVER_OBJECT* driverObject,
                                         pvn::km::UNICODE_STRING* registryPath);
