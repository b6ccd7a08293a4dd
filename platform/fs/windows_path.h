#pragma once
// Windows paths and where they live in the machine prefix.
//
// Drive C is <prefix>/drive_c, any other drive X is <prefix>/drive_x when that
// folder exists, and drive Z is the host's root (as in Wine). The forms
// "\??\C:\", "\\?\C:\", "\DosDevices\C:\", "\GLOBAL??\C:\" and "\SystemRoot\"
// are accepted wherever a path is. Components are matched without regard to
// case, as Windows matches file names.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/win32_error.h"

namespace pvn::fs {

// The system directory as GetSystemDirectoryW reports it.
inline constexpr std::u16string_view kSystemDirectory = u"C:\\Windows\\system32";

// GetFullPathNameW: an absolute "X:\..." path with "." and ".." resolved and
// '/' turned into '\'. Relative paths are taken from the current directory.
// Fails for an empty path or a device form without a drive.
std::optional<std::u16string> FullPath(std::u16string_view path);

// The host path that a Windows path names. Existing components are found
// without regard to case; the rest are appended as written, so the result
// also serves to create files and folders.
std::optional<std::filesystem::path> ToHostPath(std::u16string_view path);

// The Windows path of a host path: "C:\..." below drive_c, "Z:\..." elsewhere.
std::u16string ToWindowsPath(const std::filesystem::path& host);

// The process's current directory, kept as a Windows path.
std::u16string GetCurrentDirectory();
win::Error SetCurrentDirectory(std::u16string_view path);

}  // namespace pvn::fs
