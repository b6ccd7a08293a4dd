#include "platform/registry/database.h"

#include <unistd.h>

#include <stdexcept>

#include "platform/base/unicode.h"
#include "platform/fs/prefix.h"

namespace pvn::reg::detail {

namespace {

struct SqlError : std::runtime_error {
  SqlError(int c, const char* what) : std::runtime_error(what), code(c) {}
  int code;
};

constexpr const char* kSchema = R"sql(
  CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id),
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    readonly INTEGER NOT NULL DEFAULT 0);
  CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);
  CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL);
  CREATE UNIQUE INDEX IF NOT EXISTS vals_by_key ON vals(key, fold);
  INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES (1, NULL, '', '');
)sql";

std::string Utf8(std::u16string_view s) { return Utf16ToUtf8(s); }
std::string Fold(std::u16string_view s) { return Utf16ToUtf8(FoldCase(s)); }

std::u16string ColumnText(sqlite3_stmt* st, int col) {
  auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
  return p ? Utf8ToUtf16(std::string_view(p, sqlite3_column_bytes(st, col))) : std::u16string();
}

std::vector<std::uint8_t> ColumnBlob(sqlite3_stmt* st, int col) {
  auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(st, col));
  int n = sqlite3_column_bytes(st, col);
  return p && n > 0 ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

// A prepared statement bound for one use and reset afterwards.
class Use {
 public:
  explicit Use(sqlite3_stmt* st) : st_(st) {}
  ~Use() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  Use& Bind(int i, std::int64_t v) {
    Check(sqlite3_bind_int64(st_, i, v));
    return *this;
  }
  Use& Bind(int i, const std::string& v) {
    Check(sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Use& BindBlob(int i, const void* data, std::size_t size) {
    static const char kEmpty = 0;
    Check(sqlite3_bind_blob64(st_, i, size ? data : &kEmpty, size, SQLITE_TRANSIENT));
    return *this;
  }
  bool Step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqlError(rc, sqlite3_errstr(rc));
  }
  sqlite3_stmt* operator->() { return st_; }
  sqlite3_stmt* get() { return st_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw SqlError(rc, sqlite3_errstr(rc));
  }
  sqlite3_stmt* st_;
};

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw SqlError(rc, text.c_str());
  }
}

}  // namespace

Database::~Database() {
  for (auto& [sql, st] : statements_) sqlite3_finalize(st);
  sqlite3_close(db_);
}

std::shared_ptr<Database> Database::Current() {
  // One connection per database file and process. SQLite keeps per-process
  // lock state, so a process that forks must exec before it touches the
  // registry; the process id in the key keeps a child off its parent's
  // connection all the same.
  static std::mutex cacheMutex;
  static std::map<std::pair<std::string, pid_t>, std::shared_ptr<Database>> cache;
  std::string path = fs::RegistryDb().string();
  std::lock_guard lock(cacheMutex);
  auto key = std::make_pair(path, getpid());
  if (auto it = cache.find(key); it != cache.end()) return it->second;

  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(raw);
    return nullptr;
  }
  auto db = std::make_shared<Database>(raw, Token{});
  sqlite3_busy_timeout(raw, 10000);
  try {
    Exec(raw, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    Exec(raw, "BEGIN IMMEDIATE;");
    Exec(raw, kSchema);
    Exec(raw, "COMMIT;");
  } catch (const SqlError&) {
    return nullptr;
  }
  cache[key] = db;
  return db;
}

sqlite3_stmt* Database::Statement(const char* sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  if (rc != SQLITE_OK) throw SqlError(rc, sqlite3_errmsg(db_));
  statements_[sql] = st;
  return st;
}

win::Error Database::Run(bool write, const std::function<win::Error(Tx&)>& body) {
  std::lock_guard lock(mutex_);
  try {
    Exec(db_, write ? "BEGIN IMMEDIATE;" : "BEGIN;");
  } catch (const SqlError& e) {
    return e.code == SQLITE_BUSY ? win::ERROR_BUSY : win::ERROR_REGISTRY_CORRUPT;
  }
  win::Error result;
  try {
    Tx tx(*this);
    result = body(tx);
    if (result == win::ERROR_SUCCESS) {
      Exec(db_, "COMMIT;");
      return result;
    }
  } catch (const SqlError& e) {
    result = e.code == SQLITE_BUSY ? win::ERROR_BUSY
             : e.code == SQLITE_FULL ? win::ERROR_CANTWRITE
                                     : win::ERROR_REGISTRY_CORRUPT;
  }
  sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
  return result;
}

std::optional<KeyRow> Tx::FindKey(std::int64_t id) {
  Use q(db_.Statement("SELECT name, readonly FROM keys WHERE id = ?1"));
  q.Bind(1, id);
  if (!q.Step()) return std::nullopt;
  return KeyRow{id, ColumnText(q.get(), 0), sqlite3_column_int(q.get(), 1) != 0};
}

std::optional<KeyRow> Tx::FindChild(std::int64_t parent, std::u16string_view name) {
  Use q(db_.Statement("SELECT id, name, readonly FROM keys WHERE parent = ?1 AND fold = ?2"));
  q.Bind(1, parent).Bind(2, Fold(name));
  if (!q.Step()) return std::nullopt;
  return KeyRow{sqlite3_column_int64(q.get(), 0), ColumnText(q.get(), 1),
                sqlite3_column_int(q.get(), 2) != 0};
}

std::int64_t Tx::AddChild(std::int64_t parent, std::u16string_view name) {
  Use q(db_.Statement("INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3)"));
  q.Bind(1, parent).Bind(2, Utf8(name)).Bind(3, Fold(name));
  q.Step();
  return sqlite3_last_insert_rowid(db_.db_);
}

std::vector<std::u16string> Tx::ChildNames(std::int64_t parent) {
  Use q(db_.Statement("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold"));
  q.Bind(1, parent);
  std::vector<std::u16string> names;
  while (q.Step()) names.push_back(ColumnText(q.get(), 0));
  return names;
}

void Tx::RemoveKey(std::int64_t id) {
  {
    Use q(db_.Statement("DELETE FROM vals WHERE key = ?1"));
    q.Bind(1, id);
    q.Step();
  }
  Use q(db_.Statement("DELETE FROM keys WHERE id = ?1"));
  q.Bind(1, id);
  q.Step();
}

win::Error Tx::FindPath(const std::vector<std::u16string>& parts, bool create, KeyRow* out) {
  auto current = FindKey(kRootId);
  if (!current) return win::ERROR_REGISTRY_CORRUPT;
  for (const auto& part : parts) {
    auto child = FindChild(current->id, part);
    if (!child) {
      if (!create) return win::ERROR_FILE_NOT_FOUND;
      if (current->readOnly) return win::ERROR_ACCESS_DENIED;
      child = KeyRow{AddChild(current->id, part), part, false};
    }
    current = std::move(child);
  }
  *out = *current;
  return win::ERROR_SUCCESS;
}

void Tx::RemoveTree(std::int64_t id) {
  for (const auto& name : ChildNames(id))
    if (auto child = FindChild(id, name)) RemoveTree(child->id);
  RemoveKey(id);
}

bool Tx::TreeHasReadOnly(const KeyRow& row) {
  if (row.readOnly) return true;
  for (const auto& name : ChildNames(row.id))
    if (auto child = FindChild(row.id, name); child && TreeHasReadOnly(*child)) return true;
  return false;
}

void Tx::SetReadOnly(std::int64_t id, bool readOnly) {
  Use q(db_.Statement("UPDATE keys SET readonly = ?2 WHERE id = ?1"));
  q.Bind(1, id).Bind(2, readOnly ? 1 : 0);
  q.Step();
}

std::optional<StoredValue> Tx::GetValue(std::int64_t key, std::u16string_view name) {
  Use q(db_.Statement("SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2"));
  q.Bind(1, key).Bind(2, Fold(name));
  if (!q.Step()) return std::nullopt;
  StoredValue v;
  v.name = ColumnText(q.get(), 0);
  v.type = static_cast<std::uint32_t>(sqlite3_column_int64(q.get(), 1));
  v.data = ColumnBlob(q.get(), 2);
  return v;
}

void Tx::PutValue(std::int64_t key, std::u16string_view name, std::uint32_t type,
                  const void* data, std::size_t size) {
  // An update keeps the row (and so the value's place in the enumeration) and
  // the name's original spelling, as Windows does.
  Use q(db_.Statement(
      "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
      "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"));
  q.Bind(1, key).Bind(2, Utf8(name)).Bind(3, Fold(name)).Bind(4, type).BindBlob(5, data, size);
  q.Step();
}

bool Tx::RemoveValue(std::int64_t key, std::u16string_view name) {
  Use q(db_.Statement("DELETE FROM vals WHERE key = ?1 AND fold = ?2"));
  q.Bind(1, key).Bind(2, Fold(name));
  q.Step();
  return sqlite3_changes(db_.db_) > 0;
}

std::vector<StoredValue> Tx::Values(std::int64_t key, bool withData) {
  Use q(db_.Statement("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid"));
  q.Bind(1, key);
  std::vector<StoredValue> values;
  while (q.Step()) {
    StoredValue v;
    v.name = ColumnText(q.get(), 0);
    v.type = static_cast<std::uint32_t>(sqlite3_column_int64(q.get(), 1));
    if (withData) {
      v.data = ColumnBlob(q.get(), 2);
    }
    values.push_back(std::move(v));
  }
  return values;
}

}  // namespace pvn::reg::detail
