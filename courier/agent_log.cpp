#include "courier/agent_log.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "common/settings/usb_pvn_envment.h"
#include "platform/base/unicode.h"
#include "platform/fs/file.h"

namespace pvn::courier {

namespace {

struct AgentLog {
  std::mutex mutex;
  int kind = 0;
  std::u16string folder;
  std::optional<fs::File> file;
};

AgentLog& Log() {
  static AgentLog log;
  return log;
}

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

}  // namespace

std::u16string AgentLogFileName(const std::u16string& folder, int kind, int year, int month,
                                int day, int sequence) {
  const char* pattern;
  switch (kind) {
    case kServiceLog:
      pattern = "\\Srv %04d%02d%02d%03d.txt";
      break;
    case kDeviceLog:
      pattern = "\\Dev %04d%02d%02d%03d.txt";
      break;
    case kRemoteLog:
      pattern = "\\Rmt %04d%02d%02d%03d.txt";
      break;
    default:
      pattern = "\\%04d%02d%02d%03d.txt";
      break;
  }
  char tail[64];
  std::snprintf(tail, sizeof tail, pattern, year, month, day, sequence);
  std::u16string name = folder + Utf8ToUtf16(tail);
  if (name.size() + 1 > kLogPathUnits) return {};
  return name;
}

std::string AgentLogLine(const std::tm& when, const char* message) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%02d%02d %02d:%02d:%02d   ", when.tm_mon + 1, when.tm_mday,
                when.tm_hour, when.tm_min, when.tm_sec);
  std::string line = prefix;
  line += message;
  line += '\n';
  return line;
}

bool OpenAgentLog() {
  AgentLog& log = Log();
  std::lock_guard lock(log.mutex);
  log.kind = kRemoteLog;
  log.file.reset();

  char16_t appPath[512] = {};
  if (!settings::CUsbPvnEnvment::GetAppPath(appPath, std::size(appPath))) return false;
  std::u16string folder = std::u16string(appPath) + u"\\SysLog";
  if (folder.size() + 1 > kLogPathUnits) return false;  // the folder buffer cannot hold it
  log.folder = folder;
  fs::CreateDirectory(folder);

  std::tm today = LocalNow();
  std::u16string name;
  for (int sequence = 0; sequence <= kLastLogSequence; ++sequence) {
    name = AgentLogFileName(folder, log.kind, today.tm_year + 1900, today.tm_mon + 1, today.tm_mday,
                            sequence);
    if (name.empty()) return false;  // the name buffer cannot hold it
    if (!fs::FileExists(name)) break;
  }
  auto file = fs::File::Open(name, fs::GENERIC_READ | fs::GENERIC_WRITE, fs::FILE_SHARE_READ,
                             fs::CREATE_ALWAYS);
  // A file that could not be created leaves the log closed; writes are skipped.
  if (file) log.file.emplace(file.take());
  return true;
}

void WriteAgentLog(const char* message) {
  if (!message) return;
  AgentLog& log = Log();
  // Formatting and writing under one lock keeps every line whole.
  std::lock_guard lock(log.mutex);
  if (!log.file || !log.file->valid()) return;
  std::string line = AgentLogLine(LocalNow(), message);
  log.file->Write(line);
}

void CloseAgentLog() {
  AgentLog& log = Log();
  std::lock_guard lock(log.mutex);
  log.file.reset();
}

}  // namespace pvn::courier
