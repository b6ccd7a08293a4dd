#pragma once
// Files by Windows path, with CreateFileW's access rights, share modes and
// dispositions. Share modes hold between processes: a handle that shares read
// only makes a second writer's open fail with ERROR_SHARING_VIOLATION, and a
// file cannot be deleted while a handle without delete sharing is open.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/win32_error.h"

namespace pvn::fs {

// Access rights.
inline constexpr std::uint32_t FILE_READ_DATA = 0x0001;
inline constexpr std::uint32_t FILE_WRITE_DATA = 0x0002;
inline constexpr std::uint32_t FILE_APPEND_DATA = 0x0004;
inline constexpr std::uint32_t DELETE = 0x00010000;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr std::uint32_t GENERIC_ALL = 0x10000000;

// Share modes.
inline constexpr std::uint32_t FILE_SHARE_READ = 1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 2;
inline constexpr std::uint32_t FILE_SHARE_DELETE = 4;

// Dispositions.
inline constexpr std::uint32_t CREATE_NEW = 1;
inline constexpr std::uint32_t CREATE_ALWAYS = 2;
inline constexpr std::uint32_t OPEN_EXISTING = 3;
inline constexpr std::uint32_t OPEN_ALWAYS = 4;
inline constexpr std::uint32_t TRUNCATE_EXISTING = 5;

// Attributes.
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  static Result<File, win::Error> Open(std::u16string_view path, std::uint32_t access,
                                       std::uint32_t share, std::uint32_t disposition);
  static Result<File, win::Error> OpenHost(const std::filesystem::path& host,
                                           std::uint32_t access, std::uint32_t share,
                                           std::uint32_t disposition);

  bool valid() const { return fd_ >= 0; }
  // OPEN_ALWAYS and CREATE_ALWAYS found the file already there (the
  // ERROR_ALREADY_EXISTS that CreateFileW leaves as last error).
  bool existed() const { return existed_; }

  // Writes at the file pointer, or at the end when the handle has append
  // access without write access.
  win::Error Write(const void* data, std::size_t size, std::size_t* written = nullptr);
  win::Error Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Reads up to `size` bytes; 0 bytes read at the end of the file is success.
  win::Error Read(void* data, std::size_t size, std::size_t* read);
  Result<std::uint64_t, win::Error> Size() const;
  win::Error SeekTo(std::uint64_t offset);
  void Close();

 private:
  int fd_ = -1;
  std::uint32_t access_ = 0;
  bool existed_ = false;
};

// Whole-file helpers.
Result<std::string, win::Error> ReadFileBytes(std::u16string_view path);
win::Error WriteFileBytes(std::u16string_view path, std::string_view bytes);
win::Error AppendFileBytes(std::u16string_view path, std::string_view bytes);

// CopyFileW: copies contents; with failIfExists an existing target is refused
// with ERROR_FILE_EXISTS, otherwise it is overwritten.
win::Error CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists);
// DeleteFileW: refused with ERROR_SHARING_VIOLATION while a handle that does
// not share delete access is open.
win::Error DeleteFile(std::u16string_view path);
// GetFileAttributesW; the error says why there are none.
Result<std::uint32_t, win::Error> GetFileAttributes(std::u16string_view path);
bool FileExists(std::u16string_view path);
// CreateDirectoryW: the parent must exist; an existing one gives ERROR_ALREADY_EXISTS.
win::Error CreateDirectory(std::u16string_view path);
// Names of the entries of a folder, without "." and "..", sorted.
Result<std::vector<std::u16string>, win::Error> ListDirectory(std::u16string_view path);

}  // namespace pvn::fs
