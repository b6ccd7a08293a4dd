#include "platform/registry/pvnreg/usage.h"

namespace pvn::reg::tool {

namespace {

constexpr std::string_view kOverview = R"(
PVNREG Operation [Parameter List]

  Operation  [ QUERY | ADD | DELETE | EXPORT | IMPORT | READONLY ]

Works on HKEY_LOCAL_MACHINE of the machine prefix ($PVN_PREFIX, by default
~/.portvane), the only root key there is. Key names start with HKLM or
HKEY_LOCAL_MACHINE.

Return Code: 0 - Successful, 1 - Failed

For help on a specific operation type:

  PVNREG Operation /?

Examples:

  PVNREG QUERY /?
  PVNREG ADD /?
  PVNREG READONLY /?
)";

constexpr std::string_view kQuery = R"(
PVNREG QUERY KeyName [/v ValueName | /ve] [/s]

  KeyName    HKLM\SubKey or HKEY_LOCAL_MACHINE\SubKey
  /v         Queries the value named ValueName.
  /ve        Queries the default value (empty value name).
  /s         Queries all subkeys and values recursively. With /v or /ve,
             lists every key below KeyName that holds the value.

Examples:

  PVNREG QUERY "HKLM\SOFTWARE\KVR\Usb Portvane" /v AppPath
  PVNREG QUERY HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate /s
)";

constexpr std::string_view kAdd = R"(
PVNREG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]

  KeyName    HKLM\SubKey or HKEY_LOCAL_MACHINE\SubKey; created when missing.
  /v         The value name to add under KeyName.
  /ve        Adds the default value (empty value name).
  /t         REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
             REG_QWORD, REG_BINARY or REG_NONE.
  /s         The one character that separates the strings of a REG_MULTI_SZ
             in Data; \0 when not given.
  /d         The data: text for the string types, a decimal or 0x hex number
             for REG_DWORD and REG_QWORD, hex digit pairs for REG_BINARY and
             REG_NONE.
  /f         Overwrites an existing value without asking.

Examples:

  PVNREG ADD "HKLM\SOFTWARE\KVR\Usb Portvane" /v AppPath /d "C:\Program Files\Usb Portvane\\"
  PVNREG ADD HKLM\SOFTWARE\MyCo /v Count /t REG_DWORD /d 0x10 /f
  PVNREG ADD HKLM\SOFTWARE\MyCo /v MRU /t REG_MULTI_SZ /d fax\0mail
)";

constexpr std::string_view kDelete = R"(
PVNREG DELETE KeyName [/v ValueName | /ve | /va] [/f]

  KeyName    HKLM\SubKey or HKEY_LOCAL_MACHINE\SubKey
  /v         Deletes the value named ValueName.
  /ve        Deletes the default value.
  /va        Deletes all values of the key (its subkeys stay).
             Without /v, /ve or /va the key is deleted with all its subkeys.
  /f         Deletes without asking.

Examples:

  PVNREG DELETE HKLM\SOFTWARE\MyCo /v Count /f
  PVNREG DELETE HKLM\SOFTWARE\MyCo
)";

constexpr std::string_view kExport = R"(
PVNREG EXPORT KeyName FileName [/y]

  KeyName    HKLM\SubKey or HKEY_LOCAL_MACHINE\SubKey
  FileName   The .reg file to write: a Windows path (C:\...) inside the
             machine prefix, or a path of this host.
  /y         Overwrites an existing file without asking.

The file is written as the registry editor exports it: UTF-16LE with byte
order mark, "Windows Registry Editor Version 5.00".

Example:

  PVNREG EXPORT "HKLM\SOFTWARE\KVR\Usb Portvane" C:\portvane.reg
)";

constexpr std::string_view kImport = R"(
PVNREG IMPORT FileName

  FileName   The .reg file to import: "Windows Registry Editor Version 5.00"
             or REGEDIT4 (text in the system's ANSI code page). Keys must be
             below HKEY_LOCAL_MACHINE. [-KeyName] deletes a key with its
             subkeys, "Name"=- deletes a value.

The whole file is checked before anything is changed, and applied as one
transaction: a file with an error is refused with the number of the line,
and nothing of it is imported.

Example:

  PVNREG IMPORT C:\portvane.reg
)";

constexpr std::string_view kReadOnly = R"(
PVNREG READONLY KeyName [/on | /off]

  KeyName    HKLM\SubKey or HKEY_LOCAL_MACHINE\SubKey
  /on        Marks the key read-only: opening it for writing, creating
             subkeys below it and deleting it are refused with "Access is
             denied", as an ACL that denies writing would.
  /off       Clears the mark.
             Without /on or /off, shows whether the key is read-only.

Examples:

  PVNREG READONLY HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate /on
  PVNREG READONLY HKLM\SYSTEM\CurrentControlSet\Services\PvnPortGate
)";

}  // namespace

std::string_view OverviewUsage() {
  return kOverview;
}

std::string_view OperationUsage(std::string_view operation) {
  if (operation == "QUERY") return kQuery;
  if (operation == "ADD") return kAdd;
  if (operation == "DELETE") return kDelete;
  if (operation == "EXPORT") return kExport;
  if (operation == "IMPORT") return kImport;
  if (operation == "READONLY") return kReadOnly;
  return {};
}

}  // namespace pvn::reg::tool
