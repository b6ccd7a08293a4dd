#pragma once
// A manual-reset event: once set it stays set, and every wait returns at once.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pvn::courier {

class StopEvent {
 public:
  void Set() {
    std::lock_guard lock(mutex_);
    set_ = true;
    cv_.notify_all();
  }
  // True when the event is set within `timeout`.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return set_; });
  }
  bool IsSet() {
    std::lock_guard lock(mutex_);
    return set_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace pvn::courier
