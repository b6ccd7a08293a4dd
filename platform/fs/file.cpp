#include "platform/fs/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/base/unicode.h"
#include "platform/fs/share_lock.h"
#include "platform/fs/windows_path.h"

namespace pvn::fs {

namespace {

constexpr std::uint32_t kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr std::uint32_t kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA;

win::Error FromErrno(int err, const std::filesystem::path& host) {
  switch (err) {
    case ENOENT: {
      std::error_code ec;
      return std::filesystem::is_directory(host.parent_path(), ec) ? win::ERROR_FILE_NOT_FOUND
                                                                   : win::ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
      return win::ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return win::ERROR_ACCESS_DENIED;
    case EEXIST:
      return win::ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return win::ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
      return win::ERROR_CANTWRITE;
    default:
      return win::ERROR_INVALID_FUNCTION;
  }
}

}  // namespace

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), access_(other.access_), existed_(other.existed_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    access_ = other.access_;
    existed_ = other.existed_;
  }
  return *this;
}

File::~File() { Close(); }

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<File, win::Error> File::Open(std::u16string_view path, std::uint32_t access,
                                    std::uint32_t share, std::uint32_t disposition) {
  auto host = ToHostPath(path);
  if (!host) return Result<File, win::Error>::Fail(win::ERROR_PATH_NOT_FOUND);
  return OpenHost(*host, access, share, disposition);
}

Result<File, win::Error> File::OpenHost(const std::filesystem::path& host, std::uint32_t access,
                                        std::uint32_t share, std::uint32_t disposition) {
  using R = Result<File, win::Error>;
  bool wantsRead = access & kReadRights;
  bool wantsWrite = access & (kWriteRights | FILE_APPEND_DATA);
  bool appendOnly = (access & FILE_APPEND_DATA) && !(access & kWriteRights);
  bool wantsDelete = access & (DELETE | GENERIC_ALL);

  std::error_code ec;
  if (std::filesystem::is_directory(host, ec)) return R::Fail(win::ERROR_ACCESS_DENIED);
  bool exists = std::filesystem::exists(host, ec);
  switch (disposition) {
    case CREATE_NEW:
      if (exists) return R::Fail(win::ERROR_FILE_EXISTS);
      break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
      if (!exists) return R::Fail(FromErrno(ENOENT, host));
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      break;
    default:
      return R::Fail(win::ERROR_INVALID_PARAMETER);
  }
  if (disposition == TRUNCATE_EXISTING && !(access & kWriteRights))
    return R::Fail(win::ERROR_INVALID_PARAMETER);

  // The descriptor is always readable so that it can hold the share markers;
  // the handle's own rights are checked by Read and Write.
  int flags = O_CLOEXEC | ((wantsWrite || disposition != OPEN_EXISTING) ? O_RDWR : O_RDONLY);
  if (appendOnly) flags |= O_APPEND;
  if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
  if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) flags |= O_CREAT;
  int fd = ::open(host.c_str(), flags, 0644);
  if (fd < 0 && (flags & O_RDWR) && errno == EACCES && !wantsWrite) {
    fd = ::open(host.c_str(), (flags & ~O_RDWR) | O_RDONLY, 0644);
  }
  if (fd < 0) return R::Fail(FromErrno(errno, host));

  File file;
  file.fd_ = fd;
  file.access_ = access;
  file.existed_ = exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
  if (win::Error err = detail::AcquireShareMode(fd, wantsRead, wantsWrite, wantsDelete, share))
    return R::Fail(err);  // `file` closes the descriptor and drops its markers
  if (exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
    if (::ftruncate(fd, 0) != 0) return R::Fail(FromErrno(errno, host));
  }
  return R(std::move(file));
}

win::Error File::Write(const void* data, std::size_t size, std::size_t* written) {
  if (written) *written = 0;
  if (fd_ < 0) return win::ERROR_INVALID_HANDLE;
  if (!(access_ & (kWriteRights | FILE_APPEND_DATA))) return win::ERROR_ACCESS_DENIED;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = done;
      return errno == ENOSPC ? win::ERROR_CANTWRITE : win::ERROR_ACCESS_DENIED;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written) *written = done;
  return win::ERROR_SUCCESS;
}

win::Error File::Read(void* data, std::size_t size, std::size_t* read) {
  *read = 0;
  if (fd_ < 0) return win::ERROR_INVALID_HANDLE;
  if (!(access_ & kReadRights)) return win::ERROR_ACCESS_DENIED;
  char* p = static_cast<char*>(data);
  while (*read < size) {
    ssize_t n = ::read(fd_, p + *read, size - *read);
    if (n < 0) {
      if (errno == EINTR) continue;
      return win::ERROR_CANTREAD;
    }
    if (n == 0) break;
    *read += static_cast<std::size_t>(n);
  }
  return win::ERROR_SUCCESS;
}

Result<std::uint64_t, win::Error> File::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0)
    return Result<std::uint64_t, win::Error>::Fail(win::ERROR_INVALID_HANDLE);
  return static_cast<std::uint64_t>(st.st_size);
}

win::Error File::SeekTo(std::uint64_t offset) {
  if (fd_ < 0) return win::ERROR_INVALID_HANDLE;
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0 ? win::ERROR_INVALID_PARAMETER
                                                                : win::ERROR_SUCCESS;
}

Result<std::string, win::Error> ReadFileBytes(std::u16string_view path) {
  using R = Result<std::string, win::Error>;
  auto file = File::Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!file) return R::Fail(file.error());
  std::string bytes;
  char chunk[65536];
  for (;;) {
    std::size_t n = 0;
    if (win::Error err = file->Read(chunk, sizeof chunk, &n)) return R::Fail(err);
    if (n == 0) break;
    bytes.append(chunk, n);
  }
  return bytes;
}

win::Error WriteFileBytes(std::u16string_view path, std::string_view bytes) {
  auto file = File::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  if (!file) return file.error();
  return file->Write(bytes);
}

win::Error AppendFileBytes(std::u16string_view path, std::string_view bytes) {
  auto file = File::Open(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
  if (!file) return file.error();
  return file->Write(bytes);
}

win::Error CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
  auto source = File::Open(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (!source) return source.error();
  auto target = File::Open(to, GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS);
  if (!target) return target.error();
  char chunk[65536];
  for (;;) {
    std::size_t n = 0;
    if (win::Error err = source->Read(chunk, sizeof chunk, &n)) return err;
    if (n == 0) return win::ERROR_SUCCESS;
    if (win::Error err = target->Write(chunk, n)) return err;
  }
}

win::Error DeleteFile(std::u16string_view path) {
  auto host = ToHostPath(path);
  if (!host) return win::ERROR_PATH_NOT_FOUND;
  std::error_code ec;
  if (std::filesystem::is_directory(*host, ec)) return win::ERROR_ACCESS_DENIED;
  auto file = File::OpenHost(*host, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING);
  if (!file) return file.error();
  if (::unlink(host->c_str()) != 0) return FromErrno(errno, *host);
  return win::ERROR_SUCCESS;
}

Result<std::uint32_t, win::Error> GetFileAttributes(std::u16string_view path) {
  using R = Result<std::uint32_t, win::Error>;
  auto host = ToHostPath(path);
  if (!host) return R::Fail(win::ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (::stat(host->c_str(), &st) != 0) return R::Fail(FromErrno(errno, *host));
  std::uint32_t attrs = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
  return attrs;
}

bool FileExists(std::u16string_view path) { return GetFileAttributes(path).ok(); }

win::Error CreateDirectory(std::u16string_view path) {
  auto host = ToHostPath(path);
  if (!host) return win::ERROR_PATH_NOT_FOUND;
  if (::mkdir(host->c_str(), 0755) == 0) return win::ERROR_SUCCESS;
  if (errno == EEXIST) return win::ERROR_ALREADY_EXISTS;
  if (errno == ENOENT) return win::ERROR_PATH_NOT_FOUND;
  return FromErrno(errno, *host);
}

Result<std::vector<std::u16string>, win::Error> ListDirectory(std::u16string_view path) {
  using R = Result<std::vector<std::u16string>, win::Error>;
  auto host = ToHostPath(path);
  if (!host) return R::Fail(win::ERROR_PATH_NOT_FOUND);
  std::error_code ec;
  if (!std::filesystem::is_directory(*host, ec)) return R::Fail(win::ERROR_PATH_NOT_FOUND);
  std::vector<std::u16string> names;
  for (std::filesystem::directory_iterator it(*host, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(Utf8ToUtf16(it->path().filename().string()));
  if (ec) return R::Fail(win::ERROR_ACCESS_DENIED);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace pvn::fs
