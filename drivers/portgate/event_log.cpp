#include "drivers/portgate/event_log.h"

#include <cstring>

#ifndef PVN_EVENT_LOG_NAME
#error "PVN_EVENT_LOG_NAME names the driver image's log file (without .plog)"
#endif
#define PVN_STRINGIFY_(name) #name
#define PVN_STRINGIFY(name) PVN_STRINGIFY_(name)

namespace pvn::gate {

namespace {

// The drive letter is fixed, whatever the system drive is.
constexpr WCHAR kLogFile[] =
    u"\\DosDevices\\c:\\Windows\\System32\\Drivers\\" PVN_STRINGIFY(PVN_EVENT_LOG_NAME) ".plog";

const char* WordFor(ULONG event) {
  switch (event) {
    case PlugIn:
      return "Plug-in";
    case Unplug:
      return "Unplug";
    case Blocking:
      return "Blocking";
    default:
      return "Unknown";
  }
}

}  // namespace

const WCHAR* EventLogFile() {
  return kLogFile;
}

ULONG FormatLogLine(char* line, const TIME_FIELDS& time, ULONG event, const char* deviceText) {
  char word[kLogWordBytes] = {};
  RtlStringCbPrintfA(word, sizeof word, "%s", WordFor(event));

  std::memset(line, 0, kLogLineBytes);
  // A cut line loses its tail, CR LF included; the formatter still terminates it.
  RtlStringCbPrintfA(line, kLogLineBytes, "%04d/%02d/%02d %02d:%02d:%02d:%04d   %s Device: %s\r\n",
                     time.Year, time.Month, time.Day, time.Hour, time.Minute, time.Second,
                     time.Milliseconds, word, deviceText);
  const void* end = std::memchr(line, 0, kLogLineBytes);
  return static_cast<ULONG>(static_cast<const char*>(end) - line);
}

void WriteLogEvent(const WCHAR* deviceText, ULONG event) {
  UNICODE_STRING fileName;
  RtlInitUnicodeString(&fileName, kLogFile);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &fileName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             nullptr, nullptr);
  HANDLE file = nullptr;
  IO_STATUS_BLOCK ioStatus = {};
  NTSTATUS status =
      ZwCreateFile(&file, FILE_APPEND_DATA | SYNCHRONIZE, &attributes, &ioStatus, nullptr,
                   FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OPEN_IF,
                   FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0);
  if (!NT_SUCCESS(status)) return;  // held by another writer, or no folder: the line is lost

  UNICODE_STRING text;
  RtlInitUnicodeString(&text, deviceText && deviceText[0] ? deviceText : u" ");
  ANSI_STRING ansi = {};
  status = RtlUnicodeStringToAnsiString(&ansi, &text, TRUE);
  // Without pool for the conversion the event is still worth a line.
  char blank[] = " ";
  const char* ansiText = NT_SUCCESS(status) ? ansi.Buffer : blank;

  LARGE_INTEGER systemTime;
  LARGE_INTEGER localTime;
  TIME_FIELDS time;
  KeQuerySystemTime(&systemTime);
  ExSystemTimeToLocalTime(&systemTime, &localTime);
  RtlTimeToTimeFields(&localTime, &time);

  char line[kLogLineBytes];
  ULONG length = FormatLogLine(line, time, event, ansiText);
  ZwWriteFile(file, nullptr, nullptr, nullptr, &ioStatus, line, length, nullptr, nullptr);

  if (NT_SUCCESS(status)) RtlFreeAnsiString(&ansi);
  ZwClose(file);
}

}  // namespace pvn::gate
