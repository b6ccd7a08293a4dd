#pragma once
// A list of registry changes applied as one transaction: either every change
// takes effect or none does. This is what importing a registry script needs,
// where a failure half-way must leave the registry as it was.
//
//   std::vector<reg::Change> changes = {reg::Change::CreateKey(u"SOFTWARE\\KVR"), ...};
//   reg::BatchResult r = reg::ApplyBatch(changes);
//   if (r.error) report(r.failed, r.error);
#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/win32_error.h"
#include "platform/registry/key.h"

namespace pvn::reg {

struct Change {
  enum class Kind {
    kCreateKey,    // create the key and missing parents
    kDeleteTree,   // delete the key with everything below it; a missing key is no error
    kSetValue,     // set `name` in the key, which must exist (created earlier in the batch)
    kDeleteValue,  // delete `name` from the key; a missing key or value is no error
  };
  Kind kind = Kind::kCreateKey;
  std::u16string path;  // below HKEY_LOCAL_MACHINE
  std::u16string name;  // value name (kSetValue, kDeleteValue); empty = default value
  Value value;          // kSetValue

  static Change CreateKey(std::u16string path) {
    return {Kind::kCreateKey, std::move(path), {}, {}};
  }
  static Change DeleteTree(std::u16string path) {
    return {Kind::kDeleteTree, std::move(path), {}, {}};
  }
  static Change SetValue(std::u16string path, std::u16string name, Value value) {
    return {Kind::kSetValue, std::move(path), std::move(name), std::move(value)};
  }
  static Change DeleteValue(std::u16string path, std::u16string name) {
    return {Kind::kDeleteValue, std::move(path), std::move(name), {}};
  }
};

struct BatchResult {
  win::Error error = win::ERROR_SUCCESS;
  std::size_t failed = 0;  // index of the change that failed, when `error` is set
};

// Applies `changes` in order inside one transaction. Read-only marks are
// honoured as by the single calls: creating a key below a read-only key,
// changing a value of one, or deleting a tree that holds one gives
// ERROR_ACCESS_DENIED, and nothing of the batch is kept.
BatchResult ApplyBatch(const std::vector<Change>& changes);

}  // namespace pvn::reg
