#include "platform/desktop/top_level_windows.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/base/unicode.h"
#include "platform/fs/prefix.h"

namespace pvn::desktop {

namespace {

namespace stdfs = std::filesystem;

// Each process that announces windows holds a shared lock on <pid>.lock for
// as long as it lives; a reader that can take the lock exclusively knows the
// owner is gone. Windows are files <pid>-<seq>.win holding "class\0title" in
// UTF-8, replaced whole by rename so that a reader never sees half a title.
struct ProcessState {
  std::mutex mutex;
  std::map<stdfs::path, int> lockFds;  // per prefix: our held lock file
  std::uint32_t nextSeq = 1;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

stdfs::path DesktopDir() {
  return fs::RunDir() / "desktop";
}

std::uint32_t OwnPid() {
  return static_cast<std::uint32_t>(::getpid());
}

stdfs::path WindowFile(const stdfs::path& dir, Hwnd hwnd) {
  return dir / (std::to_string(hwnd >> 32) + "-" + std::to_string(hwnd & 0xFFFFFFFFu) + ".win");
}

stdfs::path LockFile(const stdfs::path& dir, std::uint32_t pid) {
  return dir / (std::to_string(pid) + ".lock");
}

// Takes this process's lock for the prefix's desktop once. Entries left by a
// dead process that had our process ID are removed first.
win::Error EnsureProcessLock(const stdfs::path& dir) {
  auto& state = State();
  if (state.lockFds.count(dir)) return win::ERROR_SUCCESS;
  std::error_code ec;
  stdfs::create_directories(dir, ec);
  const std::string prefix = std::to_string(OwnPid()) + "-";
  for (const auto& entry : stdfs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) stdfs::remove(entry.path(), ec);
  }
  // Locked under a temporary name and then renamed, so that no reader ever
  // finds the lock file unlocked while its owner is alive.
  const stdfs::path temp = dir / ("." + std::to_string(OwnPid()) + ".lock.tmp");
  int fd = ::open(temp.c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_TRUNC, 0644);
  if (fd < 0) return win::ERROR_ACCESS_DENIED;
  if (::flock(fd, LOCK_SH) != 0 || ::rename(temp.c_str(), LockFile(dir, OwnPid()).c_str()) != 0) {
    ::close(fd);
    ::unlink(temp.c_str());
    return win::ERROR_ACCESS_DENIED;
  }
  state.lockFds[dir] = fd;
  return win::ERROR_SUCCESS;
}

// Whether the process `pid` still holds its lock. A dead owner's files are
// swept. Called with the state mutex held.
bool OwnerAlive(const stdfs::path& dir, std::uint32_t pid) {
  auto& state = State();
  if (pid == OwnPid()) return state.lockFds.count(dir) != 0;
  const stdfs::path lock = LockFile(dir, pid);
  int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool alive = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    alive = errno == EWOULDBLOCK;
  } else {
    std::error_code ec;
    const std::string prefix = std::to_string(pid) + "-";
    for (const auto& entry : stdfs::directory_iterator(dir, ec)) {
      if (entry.path().filename().string().rfind(prefix, 0) == 0) stdfs::remove(entry.path(), ec);
    }
    stdfs::remove(lock, ec);
  }
  ::close(fd);
  return alive;
}

std::optional<Hwnd> ParseWindowFileName(const std::string& name) {
  const auto dash = name.find('-');
  if (dash == std::string::npos || name.size() < 5 || name.substr(name.size() - 4) != ".win")
    return std::nullopt;
  std::uint32_t pid = 0, seq = 0;
  const char* begin = name.data();
  auto r1 = std::from_chars(begin, begin + dash, pid);
  auto r2 = std::from_chars(begin + dash + 1, begin + name.size() - 4, seq);
  if (r1.ec != std::errc{} || r1.ptr != begin + dash || r2.ec != std::errc{} ||
      r2.ptr != begin + name.size() - 4 || pid == 0 || seq == 0)
    return std::nullopt;
  return (Hwnd{pid} << 32) | seq;
}

struct WindowRecord {
  std::u16string className;
  std::u16string title;
};

std::optional<WindowRecord> ReadWindowFile(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  const auto nul = text.find('\0');
  if (nul == std::string::npos) return std::nullopt;
  return WindowRecord{Utf8ToUtf16(std::string_view(text).substr(0, nul)),
                      Utf8ToUtf16(std::string_view(text).substr(nul + 1))};
}

// The live windows of the prefix, in handle order. Called with the mutex held.
std::vector<std::pair<Hwnd, WindowRecord>> LiveWindows(const stdfs::path& dir) {
  std::vector<Hwnd> handles;
  std::error_code ec;
  for (const auto& entry : stdfs::directory_iterator(dir, ec)) {
    if (auto hwnd = ParseWindowFileName(entry.path().filename().string())) handles.push_back(*hwnd);
  }
  std::sort(handles.begin(), handles.end());
  std::map<std::uint32_t, bool> alive;
  std::vector<std::pair<Hwnd, WindowRecord>> result;
  for (Hwnd hwnd : handles) {
    const auto pid = static_cast<std::uint32_t>(hwnd >> 32);
    auto known = alive.find(pid);
    if (known == alive.end()) known = alive.emplace(pid, OwnerAlive(dir, pid)).first;
    if (!known->second) continue;
    if (auto record = ReadWindowFile(WindowFile(dir, hwnd))) result.emplace_back(hwnd, *record);
  }
  return result;
}

std::optional<WindowRecord> FindLive(Hwnd window) {
  if (window == 0) return std::nullopt;
  const stdfs::path dir = DesktopDir();
  if (!OwnerAlive(dir, static_cast<std::uint32_t>(window >> 32))) return std::nullopt;
  return ReadWindowFile(WindowFile(dir, window));
}

}  // namespace

TopLevelWindow::TopLevelWindow(TopLevelWindow&& other) noexcept
    : hwnd_(std::exchange(other.hwnd_, 0)),
      className_(std::move(other.className_)),
      title_(std::move(other.title_)) {}

TopLevelWindow& TopLevelWindow::operator=(TopLevelWindow&& other) noexcept {
  if (this != &other) {
    Destroy();
    hwnd_ = std::exchange(other.hwnd_, 0);
    className_ = std::move(other.className_);
    title_ = std::move(other.title_);
  }
  return *this;
}

TopLevelWindow::~TopLevelWindow() {
  Destroy();
}

Result<TopLevelWindow, win::Error> TopLevelWindow::Create(std::u16string_view className,
                                                          std::u16string_view title) {
  if (className.empty() || className.find(u'\0') != std::u16string_view::npos)
    return Result<TopLevelWindow, win::Error>::Fail(win::ERROR_INVALID_PARAMETER);
  std::lock_guard lock(State().mutex);
  const stdfs::path dir = DesktopDir();
  if (auto error = EnsureProcessLock(dir); error != win::ERROR_SUCCESS)
    return Result<TopLevelWindow, win::Error>::Fail(error);
  TopLevelWindow window;
  window.hwnd_ = (Hwnd{OwnPid()} << 32) | State().nextSeq++;
  window.className_ = className;
  window.title_ = title;
  if (auto error = window.Publish(); error != win::ERROR_SUCCESS) {
    window.hwnd_ = 0;
    return Result<TopLevelWindow, win::Error>::Fail(error);
  }
  return window;
}

win::Error TopLevelWindow::SetTitle(std::u16string_view title) {
  if (hwnd_ == 0) return win::ERROR_INVALID_HANDLE;
  std::lock_guard lock(State().mutex);
  title_ = title;
  return Publish();
}

win::Error TopLevelWindow::Publish() const {
  const stdfs::path dir = DesktopDir();
  const stdfs::path target = WindowFile(dir, hwnd_);
  const stdfs::path temp = dir / ("." + target.filename().string() + ".tmp");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    std::string content = Utf16ToUtf8(className_);
    content.push_back('\0');
    content += Utf16ToUtf8(title_);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) return win::ERROR_CANTWRITE;
  }
  std::error_code ec;
  stdfs::rename(temp, target, ec);
  return ec ? win::ERROR_CANTWRITE : win::ERROR_SUCCESS;
}

void TopLevelWindow::Destroy() {
  if (hwnd_ == 0) return;
  std::lock_guard lock(State().mutex);
  std::error_code ec;
  stdfs::remove(WindowFile(DesktopDir(), hwnd_), ec);
  hwnd_ = 0;
}

Hwnd FindWindowExW(Hwnd parent, Hwnd childAfter, const char16_t* className,
                   const char16_t* windowName) {
  if (parent != 0) return 0;
  std::lock_guard lock(State().mutex);
  for (const auto& [hwnd, record] : LiveWindows(DesktopDir())) {
    if (hwnd <= childAfter) continue;
    if (className && !EqualsNoCase(record.className, className)) continue;
    if (windowName && !EqualsNoCase(record.title, windowName)) continue;
    return hwnd;
  }
  return 0;
}

int GetWindowTextW(Hwnd window, char16_t* buffer, int maxCount) {
  if (!buffer || maxCount < 1) return 0;
  std::lock_guard lock(State().mutex);
  auto record = FindLive(window);
  if (!record) {
    buffer[0] = 0;
    return 0;
  }
  const std::size_t n = std::min<std::size_t>(record->title.size(), std::size_t(maxCount) - 1);
  std::copy_n(record->title.data(), n, buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool IsWindow(Hwnd window) {
  std::lock_guard lock(State().mutex);
  return FindLive(window).has_value();
}

}  // namespace pvn::desktop
