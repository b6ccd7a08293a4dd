#pragma once
// The drivers' event log: one ANSI text line per plug-in, unplug or refusal,
// appended to the driver's .plog file in the system's Drivers folder. Each
// driver image names its own file; the line format is common to both.
#include "drivers/portgate/gate_kernel.h"

namespace pvn::gate {

enum LogEvent : ULONG {
  PlugIn = 1,    // "Plug-in": device added, with its hardware ID as reported
  Unplug = 2,    // "Unplug": hardware released, with the upper-cased hardware ID
  Blocking = 4,  // "Blocking": device refused, with the upper-cased hardware ID
};

inline constexpr SIZE_T kLogLineBytes = 512;  // a line is cut to 511 bytes
inline constexpr SIZE_T kLogWordBytes = 24;

// The file this driver image appends to.
const WCHAR* EventLogFile();

// Formats one line into `line` (kLogLineBytes long, zeroed first):
// "YYYY/MM/DD hh:mm:ss:mmmm   <word> Device: <text>\r\n", cut at 511 bytes.
// Returns the number of bytes before the terminator.
ULONG FormatLogLine(char* line, const TIME_FIELDS& time, ULONG event, const char* deviceText);

// Appends one line for `event` with the device text (UTF-16 up to its first
// zero; null or empty becomes one blank). The file is opened and closed for
// every line and shared for reading only, so while anything else holds it
// for writing the line is dropped. Never reports a failure.
void WriteLogEvent(const WCHAR* deviceText, ULONG event);

}  // namespace pvn::gate
