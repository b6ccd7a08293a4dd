#pragma once
// The agent's log: one plain-text file per run of the process, named
// "Rmt YYYYMMDDnnn.txt" in AppPath\SysLog, one "MMDD hh:mm:ss   message" line
// per entry. It is the agent's only visible output.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace pvn::courier {

// Log kinds; the agent opens its log as kRemoteLog.
inline constexpr int kServiceLog = 1;
inline constexpr int kDeviceLog = 2;
inline constexpr int kRemoteLog = 16;

// Capacity, in UTF-16 units, of the folder and file-name buffers.
inline constexpr std::size_t kLogPathUnits = 128;
// Capacity of the line buffer; longer entries are written whole all the same.
inline constexpr std::size_t kLogLineBytes = 512;
// Sequence numbers run from 000 to this one, which is reused when all are taken.
inline constexpr int kLastLogSequence = 998;

// Picks the next free file of today and creates it. False when AppPath cannot
// be read or the folder does not fit the path buffers: no log for this run.
bool OpenAgentLog();
// Appends one line; does nothing when the message is missing or no log is open.
// Lines from several threads never mix.
void WriteAgentLog(const char* message);
// Closes the file when it is open.
void CloseAgentLog();

// File name of a log: the folder, the pattern of the kind, date and sequence.
// Empty when the name does not fit kLogPathUnits units with its terminator.
std::u16string AgentLogFileName(const std::u16string& folder, int kind, int year, int month,
                                int day, int sequence);
// One line of the log for the local time `when`.
std::string AgentLogLine(const std::tm& when, const char* message);

}  // namespace pvn::courier
