// pvnreg export KEY FILE [/y] and pvnreg import FILE.
//
// FILE is a Windows path ("C:\x.reg", mapped into the machine prefix) or a
// host path. Export writes what the registry editor writes; import applies a
// script all or nothing and names the line of a script it refuses.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/base/unicode.h"
#include "platform/fs/windows_path.h"
#include "platform/registry/pvnreg/command_line.h"
#include "platform/registry/pvnreg/console.h"
#include "platform/registry/pvnreg/operations.h"
#include "platform/registry/reg_file.h"
#include "platform/text/code_page.h"

namespace pvn::reg::tool {

namespace {

bool IsWindowsPath(std::string_view arg) {
  bool drive = arg.size() >= 2 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':';
  return drive || arg.starts_with("\\");
}

std::optional<std::filesystem::path> HostPath(const std::string& arg) {
  if (IsWindowsPath(arg)) return fs::ToHostPath(Utf8ToUtf16(arg));
  return std::filesystem::path(arg);
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

int FileError() {
  Err(std::string(kFileError) + "\n");
  return kExitFailure;
}

}  // namespace

int Export(const Args& args) {
  constexpr std::string_view kOperation = "EXPORT";
  auto line = ParseCommandLine(std::string(kOperation), args, {{"y"}, {"reg:32"}, {"reg:64"}});
  if (!line || line->positional.size() != 2) return SyntaxError(kOperation);
  auto name = ParseKeyName(line->positional[0]);
  if (!name) return InvalidKeyName(kOperation);
  auto path = HostPath(line->positional[1]);
  if (!path) return FileError();

  auto bytes = ExportRegFile(name->path);
  if (!bytes) return RegistryError(bytes.error());
  std::error_code ec;
  if (std::filesystem::exists(*path, ec) && !line->Has("y") &&
      !Confirm("File " + line->positional[1] + " already exists. Overwrite (Yes/No)?")) {
    Out(std::string(kCanceled) + "\n");
    return kExitFailure;
  }
  if (!WriteFile(*path, *bytes)) return FileError();
  Out(std::string(kCompleted) + "\n");
  return kExitSuccess;
}

int Import(const Args& args) {
  constexpr std::string_view kOperation = "IMPORT";
  auto line = ParseCommandLine(std::string(kOperation), args, {{"reg:32"}, {"reg:64"}});
  if (!line || line->positional.size() != 1) return SyntaxError(kOperation);
  auto path = HostPath(line->positional[0]);
  if (!path) return FileError();
  auto bytes = ReadFile(*path);
  if (!bytes) return FileError();

  ImportResult result = ImportRegFile(*bytes, text::AnsiCodePage());
  switch (result.status) {
    case ImportResult::Status::kImported:
      // reg.exe reports a successful import on standard error.
      Err(std::string(kCompleted) + "\n");
      return kExitSuccess;
    case ImportResult::Status::kBadFile:
      Err("ERROR: " + line->positional[0] + ", line " + std::to_string(result.badFile.line) + ": " +
          result.badFile.reason + ". Nothing was imported.\n");
      return kExitFailure;
    case ImportResult::Status::kRegistryError:
      Err("ERROR: " + line->positional[0] + ", line " + std::to_string(result.line) + ": " +
          (result.error == win::ERROR_ACCESS_DENIED ? "Access is denied"
                                                    : "Error accessing the registry") +
          ". Nothing was imported.\n");
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace pvn::reg::tool
