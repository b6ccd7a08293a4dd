#include "platform/fs/windows_path.h"

#include <mutex>
#include <system_error>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/fs/prefix.h"

namespace pvn::fs {

namespace {

std::mutex g_cwdMutex;
std::optional<std::u16string> g_cwd;

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 0x20 : c; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view head) {
  return text.size() >= head.size() && EqualsNoCase(text.substr(0, head.size()), head);
}

// Splits the part after the drive into components, resolving "." and "..".
std::vector<std::u16string> Components(std::u16string_view rest) {
  std::vector<std::u16string> parts;
  std::size_t i = 0;
  while (i <= rest.size()) {
    std::size_t j = i;
    while (j < rest.size() && !IsSep(rest[j])) ++j;
    std::u16string_view part = rest.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.emplace_back(part);
    }
    i = j + 1;
  }
  return parts;
}

std::filesystem::path DriveRoot(char16_t letter) {
  letter = Upper(letter);
  if (letter == u'Z') return "/";
  if (letter == u'C') return DriveC();
  return Prefix() / (std::string("drive_") + static_cast<char>(letter - u'A' + 'a'));
}

// Finds `name` in `dir` without regard to case; the exact spelling wins.
std::filesystem::path Lookup(const std::filesystem::path& dir, const std::u16string& name) {
  std::filesystem::path exact = dir / Utf16ToUtf8(name);
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(exact, ec))) return exact;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (EqualsNoCase(Utf8ToUtf16(it->path().filename().string()), name)) return it->path();
  }
  return exact;
}

}  // namespace

std::optional<std::u16string> FullPath(std::u16string_view path) {
  if (path.empty()) return std::nullopt;
  std::u16string_view rest = path;
  // Device forms name a drive explicitly.
  for (std::u16string_view head : {u"\\??\\", u"\\\\?\\", u"\\DosDevices\\", u"\\GLOBAL??\\"}) {
    if (StartsWithNoCase(rest, head)) {
      rest.remove_prefix(head.size());
      if (rest.size() < 2 || !IsLetter(rest[0]) || rest[1] != u':') return std::nullopt;
      break;
    }
  }
  std::u16string drive;
  std::u16string body;
  if (StartsWithNoCase(rest, u"\\SystemRoot") &&
      (rest.size() == 11 || IsSep(rest[11]))) {
    drive = u"C:";
    body = u"\\Windows" + std::u16string(rest.substr(11));
  } else if (rest.size() >= 2 && IsLetter(rest[0]) && rest[1] == u':') {
    drive = {Upper(rest[0]), u':'};
    body = std::u16string(rest.substr(2));
    if (body.empty() || !IsSep(body[0])) body = u"\\" + body;  // "C:x" is taken as "C:\x"
  } else {
    std::u16string cwd = GetCurrentDirectory();
    drive = cwd.substr(0, 2);
    if (IsSep(rest[0])) body = std::u16string(rest);
    else body = cwd.substr(2) + u"\\" + std::u16string(rest);
  }
  std::u16string out = drive;
  for (const auto& part : Components(body)) out += u"\\" + part;
  if (out.size() == 2) out += u"\\";
  return out;
}

std::optional<std::filesystem::path> ToHostPath(std::u16string_view path) {
  auto full = FullPath(path);
  if (!full) return std::nullopt;
  std::filesystem::path host = DriveRoot((*full)[0]);
  for (const auto& part : Components(std::u16string_view(*full).substr(2))) host = Lookup(host, part);
  return host;
}

std::u16string ToWindowsPath(const std::filesystem::path& host) {
  std::filesystem::path abs = std::filesystem::absolute(host).lexically_normal();
  std::filesystem::path prefix = Prefix();
  auto under = [&](const std::filesystem::path& root) -> std::optional<std::filesystem::path> {
    auto rel = abs.lexically_relative(root);
    if (rel.empty() || *rel.begin() == "..") return std::nullopt;
    return rel;
  };
  std::u16string out;
  std::optional<std::filesystem::path> rel;
  if ((rel = under(prefix / "drive_c"))) {
    out = u"C:";
  } else {
    out = u"Z:";
    rel = abs.relative_path();
  }
  for (const auto& part : *rel)
    if (part != ".") out += u"\\" + Utf8ToUtf16(part.string());
  if (out.size() == 2) out += u"\\";
  return out;
}

std::u16string GetCurrentDirectory() {
  std::lock_guard lock(g_cwdMutex);
  if (!g_cwd) {
    std::error_code ec;
    auto here = std::filesystem::current_path(ec);
    g_cwd = ec ? std::u16string(u"C:\\") : ToWindowsPath(here);
  }
  return *g_cwd;
}

win::Error SetCurrentDirectory(std::u16string_view path) {
  auto full = FullPath(path);
  if (!full) return win::ERROR_PATH_NOT_FOUND;
  auto host = ToHostPath(*full);
  std::error_code ec;
  if (!host) return win::ERROR_PATH_NOT_FOUND;
  if (!std::filesystem::is_directory(*host, ec))
    return std::filesystem::exists(*host, ec) ? win::ERROR_DIRECTORY : win::ERROR_PATH_NOT_FOUND;
  std::lock_guard lock(g_cwdMutex);
  g_cwd = *full;
  return win::ERROR_SUCCESS;
}

}  // namespace pvn::fs
