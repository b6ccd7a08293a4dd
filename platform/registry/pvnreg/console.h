#pragma once
// What pvnreg prints, in reg.exe's words: results on standard output, errors
// on standard error, and the Yes/No questions it asks without /f.
#include <string>
#include <string_view>

#include "platform/base/win32_error.h"

namespace pvn::reg::tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

inline constexpr std::string_view kCompleted = "The operation completed successfully.";
inline constexpr std::string_view kCanceled = "The operation was canceled by the user.";
inline constexpr std::string_view kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
inline constexpr std::string_view kAccessDenied = "ERROR: Access is denied.";
inline constexpr std::string_view kFileError =
    "ERROR: Error opening the file. There may be a disk or file system error.";

void Out(std::string_view text);  // standard output, as is
void Err(std::string_view text);  // standard error, as is
std::string Utf8(std::u16string_view text);

// "ERROR: Invalid syntax." with the hint to the operation's help; exit code 1.
int SyntaxError(std::string_view operation);
// "ERROR: Invalid key name." with the same hint; exit code 1.
int InvalidKeyName(std::string_view operation);
// The message for a registry call that failed; exit code 1.
int RegistryError(win::Error error);

// Prints `question` and reads answers until one is yes or no (y, yes, n, no,
// any case). The end of input counts as no.
bool Confirm(std::string_view question);

}  // namespace pvn::reg::tool
