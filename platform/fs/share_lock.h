#pragma once
// Windows share modes between processes, kept as open-file-description locks
// on marker bytes far beyond any real file size. Each open handle holds a
// shared lock on one marker per access right it has and one per share mode it
// refuses; an open is refused when its rights meet a refusal or its refusals
// meet a right already held. A flock() on the file makes check-and-mark atomic.
#include <cstdint>

#include "platform/base/win32_error.h"

namespace pvn::fs::detail {

// `fd` must be open for reading. Returns ERROR_SUCCESS and leaves the markers
// held by `fd` (released when it is closed), or ERROR_SHARING_VIOLATION.
win::Error AcquireShareMode(int fd, bool read, bool write, bool del, std::uint32_t share);

}  // namespace pvn::fs::detail
