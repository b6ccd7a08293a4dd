#pragma once
// A value or the error code that explains its absence. Platform calls return
// results instead of throwing, so callers can compare the code with the one the
// Windows call would have given.
#include <cassert>
#include <optional>
#include <utility>

namespace pvn {

template <class T, class E = unsigned>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  static Result Fail(E error) {
    Result r;
    r.error_ = error;
    return r;
  }

  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  E error() const { return error_; }

  T& operator*() {
    assert(value_);
    return *value_;
  }
  const T& operator*() const {
    assert(value_);
    return *value_;
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }
  T take() { return std::move(*value_); }

 private:
  Result() = default;
  std::optional<T> value_;
  E error_{};
};

}  // namespace pvn
