#pragma once
// Registry scripts (.reg files) in the registry editor's own formats.
//
// Writing produces exactly what the editor's export writes: UTF-16LE with a
// byte order mark, CR LF line ends, the header line, a blank line, and one
// section per key ("[HKEY_LOCAL_MACHINE\...]", its values, a blank line).
// Strings are quoted with '\' and '"' escaped, DWORDs are "dword:%08x", and
// everything else is a comma-separated hex list ("hex:" for REG_BINARY,
// "hex(N):" otherwise) broken into lines of at most 80 characters.
//
// Reading accepts that format and the older "REGEDIT4" one, whose text and
// string data are single-byte characters of the ANSI code page. "[-KEY]"
// deletes a key tree and "name"=- deletes a value. A script is parsed whole
// before anything is applied, and applied as one transaction.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"
#include "platform/registry/batch.h"
#include "platform/registry/key.h"

namespace pvn::reg {

inline constexpr std::u16string_view kRegFileHeader = u"Windows Registry Editor Version 5.00";
inline constexpr std::u16string_view kRegFileHeader4 = u"REGEDIT4";
inline constexpr std::u16string_view kMachineRootName = u"HKEY_LOCAL_MACHINE";

// Why a script was refused: the 1-based line and a short reason.
struct RegFileError {
  std::size_t line = 0;
  std::string reason;
};

// The changes a script asks for, in file order, with the line of each.
struct RegScript {
  bool regedit4 = false;
  std::vector<Change> changes;
  std::vector<std::size_t> lines;
};

// Parses a whole script. Text with a UTF-16LE byte order mark is read as
// UTF-16, text with a UTF-8 one as UTF-8, anything else in `ansiCodePage`.
// Keys must be below HKEY_LOCAL_MACHINE (or HKLM), the only hive there is.
Result<RegScript, RegFileError> ParseRegFile(std::string_view bytes, unsigned ansiCodePage);

// One key as it appears in a script.
struct RegFileKey {
  std::u16string path;  // below HKEY_LOCAL_MACHINE; empty for the root
  std::vector<Key::NamedValue> values;
};

// One value as the editor writes it, without the final line end; long hex
// lists carry their continuation line ends inside.
std::u16string FormatRegValue(std::u16string_view name, const Value& value);
// A whole script holding `keys` in the given order, as bytes for the file.
std::string FormatRegFile(const std::vector<RegFileKey>& keys);

// The key at `path` and everything below it, depth first, subkeys in the
// registry's enumeration order, names spelled as stored.
Result<std::vector<RegFileKey>, win::Error> ReadKeyTree(std::u16string_view path);
Result<std::string, win::Error> ExportRegFile(std::u16string_view path);

struct ImportResult {
  enum class Status { kImported, kBadFile, kRegistryError };
  Status status = Status::kImported;
  RegFileError badFile;                   // kBadFile
  win::Error error = win::ERROR_SUCCESS;  // kRegistryError
  std::size_t line = 0;                   // kRegistryError: line of the change that failed
};

// Parses `bytes` and applies the script as one transaction; when anything
// fails, nothing of it is applied.
ImportResult ImportRegFile(std::string_view bytes, unsigned ansiCodePage);

}  // namespace pvn::reg
