#pragma once
// Win32 error codes returned by the user-mode calls of the platform layer.
// The values are the ones programs written for Windows test against.
#include <cstdint>

namespace pvn::win {

using Error = std::uint32_t;

inline constexpr Error ERROR_SUCCESS = 0;
inline constexpr Error ERROR_INVALID_FUNCTION = 1;
inline constexpr Error ERROR_FILE_NOT_FOUND = 2;
inline constexpr Error ERROR_PATH_NOT_FOUND = 3;
inline constexpr Error ERROR_ACCESS_DENIED = 5;
inline constexpr Error ERROR_INVALID_HANDLE = 6;
inline constexpr Error ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr Error ERROR_BAD_FORMAT = 11;
inline constexpr Error ERROR_INVALID_DATA = 13;
inline constexpr Error ERROR_OUTOFMEMORY = 14;
inline constexpr Error ERROR_NOT_READY = 21;
inline constexpr Error ERROR_SHARING_VIOLATION = 32;
inline constexpr Error ERROR_HANDLE_EOF = 38;
inline constexpr Error ERROR_NOT_SUPPORTED = 50;
inline constexpr Error ERROR_FILE_EXISTS = 80;
inline constexpr Error ERROR_INVALID_PARAMETER = 87;
inline constexpr Error ERROR_BROKEN_PIPE = 109;
inline constexpr Error ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr Error ERROR_INVALID_NAME = 123;
inline constexpr Error ERROR_INVALID_LEVEL = 124;
inline constexpr Error ERROR_DIR_NOT_EMPTY = 145;
inline constexpr Error ERROR_BAD_PATHNAME = 161;
inline constexpr Error ERROR_BUSY = 170;
inline constexpr Error ERROR_ALREADY_EXISTS = 183;
inline constexpr Error ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr Error ERROR_MORE_DATA = 234;
inline constexpr Error ERROR_DIRECTORY = 267;
inline constexpr Error ERROR_NO_MORE_ITEMS = 259;
inline constexpr Error ERROR_OPERATION_ABORTED = 995;
inline constexpr Error ERROR_IO_PENDING = 997;
inline constexpr Error ERROR_NOACCESS = 998;
inline constexpr Error ERROR_CANTOPEN = 1011;
inline constexpr Error ERROR_CANTREAD = 1012;
inline constexpr Error ERROR_CANTWRITE = 1013;
inline constexpr Error ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr Error ERROR_KEY_DELETED = 1018;
inline constexpr Error ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
inline constexpr Error ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
inline constexpr Error ERROR_SERVICE_NO_THREAD = 1054;
inline constexpr Error ERROR_SERVICE_DATABASE_LOCKED = 1055;
inline constexpr Error ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr Error ERROR_INVALID_SERVICE_ACCOUNT = 1057;
inline constexpr Error ERROR_SERVICE_DISABLED = 1058;
inline constexpr Error ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr Error ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
inline constexpr Error ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr Error ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr Error ERROR_EXCEPTION_IN_SERVICE = 1064;
inline constexpr Error ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr Error ERROR_PROCESS_ABORTED = 1067;
inline constexpr Error ERROR_SERVICE_START_HANG = 1070;
inline constexpr Error ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr Error ERROR_SERVICE_EXISTS = 1073;
inline constexpr Error ERROR_SERVICE_NEVER_STARTED = 1077;
inline constexpr Error ERROR_DUPLICATE_SERVICE_NAME = 1078;
inline constexpr Error ERROR_SHUTDOWN_IN_PROGRESS = 1115;
inline constexpr Error ERROR_NOT_FOUND = 1168;
inline constexpr Error ERROR_CONNECTION_INVALID = 1229;
inline constexpr Error ERROR_SERVICE_NOTIFY_CLIENT_LAGGING = 1294;
inline constexpr Error ERROR_SERVICE_NOT_IN_EXE = 1083;
inline constexpr Error RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr Error ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr Error ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr Error ERROR_PRIVILEGE_NOT_HELD = 1314;
inline constexpr Error ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr Error ERROR_CANCELLED = 1223;
inline constexpr Error ERROR_TIMEOUT = 1460;

}  // namespace pvn::win
