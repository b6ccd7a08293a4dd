#include "platform/fs/share_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/fs/file.h"

namespace pvn::fs::detail {

namespace {

constexpr off_t kMarkerBase = 0x7FFFFFFF00000000LL;
enum Marker : off_t { kHasRead, kHasWrite, kHasDelete, kDeniesRead, kDeniesWrite, kDeniesDelete };

struct flock MarkerLock(short type, Marker m) {
  struct flock lk {};
  lk.l_type = type;
  lk.l_whence = SEEK_SET;
  lk.l_start = kMarkerBase + m;
  lk.l_len = 1;
  return lk;
}

// Another open file description holds the marker (a write lock would conflict).
bool HeldByOther(int fd, Marker m) {
  struct flock lk = MarkerLock(F_WRLCK, m);
  if (fcntl(fd, F_OFD_GETLK, &lk) != 0) return false;
  return lk.l_type != F_UNLCK;
}

// Shared, so that any number of handles can hold the same marker.
bool Hold(int fd, Marker m) {
  struct flock lk = MarkerLock(F_RDLCK, m);
  return fcntl(fd, F_OFD_SETLK, &lk) == 0;
}

class FlockGuard {
 public:
  explicit FlockGuard(int fd) : fd_(fd) {
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FlockGuard() { flock(fd_, LOCK_UN); }

 private:
  int fd_;
};

}  // namespace

win::Error AcquireShareMode(int fd, bool read, bool write, bool del, std::uint32_t share) {
  FlockGuard guard(fd);
  bool denyRead = !(share & FILE_SHARE_READ);
  bool denyWrite = !(share & FILE_SHARE_WRITE);
  bool denyDelete = !(share & FILE_SHARE_DELETE);
  if ((read && HeldByOther(fd, kDeniesRead)) || (write && HeldByOther(fd, kDeniesWrite)) ||
      (del && HeldByOther(fd, kDeniesDelete)) || (denyRead && HeldByOther(fd, kHasRead)) ||
      (denyWrite && HeldByOther(fd, kHasWrite)) || (denyDelete && HeldByOther(fd, kHasDelete)))
    return win::ERROR_SHARING_VIOLATION;
  const std::pair<bool, Marker> wanted[] = {{read, kHasRead},          {write, kHasWrite},
                                            {del, kHasDelete},         {denyRead, kDeniesRead},
                                            {denyWrite, kDeniesWrite}, {denyDelete, kDeniesDelete}};
  for (auto [on, marker] : wanted)
    if (on && !Hold(fd, marker)) return win::ERROR_SHARING_VIOLATION;
  return win::ERROR_SUCCESS;
}

}  // namespace pvn::fs::detail
