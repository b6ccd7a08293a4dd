#pragma once
// The SQLite store behind the registry (internal to platform/registry).
//
//   keys(id, parent, name, fold, readonly)     fold = name upper-cased for lookups
//   vals(key, name, fold, type, data)          rowid keeps the creation order
//
// Every public registry call runs as one transaction; writers take the write
// lock at BEGIN, and the WAL journal with a busy time-out lets processes
// share the file.
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/win32_error.h"

namespace pvn::reg::detail {

inline constexpr std::int64_t kRootId = 1;

struct KeyRow {
  std::int64_t id = 0;
  std::u16string name;
  bool readOnly = false;
};

struct StoredValue {
  std::u16string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class Tx;

class Database {
  struct Token {};  // only Current() makes databases

 public:
  Database(sqlite3* db, Token) : db_(db) {}
  ~Database();
  // The database of the current prefix, one connection per process.
  static std::shared_ptr<Database> Current();

  // Runs `body` as one transaction and commits when it returns ERROR_SUCCESS.
  win::Error Run(bool write, const std::function<win::Error(Tx&)>& body);

 private:
  friend class Tx;
  sqlite3_stmt* Statement(const char* sql);

  sqlite3* db_;
  std::mutex mutex_;
  std::map<const char*, sqlite3_stmt*> statements_;
};

// Statements available inside a transaction. Failures of SQLite itself are
// thrown internally and turned into an error code by Database::Run.
class Tx {
 public:
  explicit Tx(Database& db) : db_(db) {}

  std::optional<KeyRow> FindKey(std::int64_t id);
  std::optional<KeyRow> FindChild(std::int64_t parent, std::u16string_view name);
  std::int64_t AddChild(std::int64_t parent, std::u16string_view name);
  std::vector<std::u16string> ChildNames(std::int64_t parent);
  void RemoveKey(std::int64_t id);
  void SetReadOnly(std::int64_t id, bool readOnly);

  // The key named by `parts` below the root. With `create`, missing
  // components are added, but never below a read-only key.
  win::Error FindPath(const std::vector<std::u16string>& parts, bool create, KeyRow* out);
  // The key and everything below it.
  void RemoveTree(std::int64_t id);
  // Whether the key or any key below it carries the read-only mark.
  bool TreeHasReadOnly(const KeyRow& row);

  std::optional<StoredValue> GetValue(std::int64_t key, std::u16string_view name);
  void PutValue(std::int64_t key, std::u16string_view name, std::uint32_t type,
                const void* data, std::size_t size);
  bool RemoveValue(std::int64_t key, std::u16string_view name);
  std::vector<StoredValue> Values(std::int64_t key, bool withData);

 private:
  Database& db_;
};

}  // namespace pvn::reg::detail
