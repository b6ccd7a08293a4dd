#include "platform/registry/key.h"

#include <cstring>

#include "platform/registry/database.h"

namespace pvn::reg {

namespace {

using detail::Database;
using detail::kRootId;
using detail::Tx;

std::uint32_t MapGenericRights(std::uint32_t access) {
  if (access & GENERIC_READ) access |= KEY_READ;
  if (access & GENERIC_WRITE) access |= KEY_WRITE;
  if (access & GENERIC_ALL) access |= KEY_ALL_ACCESS;
  return access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | KEY_WOW64_64KEY | KEY_WOW64_32KEY);
}

std::shared_ptr<Database> CurrentDb() { return Database::Current(); }

}  // namespace

Result<std::vector<std::u16string>, win::Error> SplitKeyPath(std::u16string_view path) {
  using R = Result<std::vector<std::u16string>, win::Error>;
  std::vector<std::u16string> parts;
  if (path.empty()) return parts;
  if (path.back() == u'\\') path.remove_suffix(1);  // a trailing separator is tolerated
  std::size_t i = 0;
  for (;;) {
    std::size_t j = path.find(u'\\', i);
    std::u16string_view part = path.substr(i, j == std::u16string_view::npos ? j : j - i);
    if (part.empty()) return R::Fail(win::ERROR_BAD_PATHNAME);
    if (part.size() > kMaxKeyNameLength) return R::Fail(win::ERROR_INVALID_PARAMETER);
    parts.emplace_back(part);
    if (j == std::u16string_view::npos) break;
    i = j + 1;
  }
  return parts;
}

Result<Key, win::Error> OpenOrCreate(const Key* base, std::u16string_view path,
                                     std::uint32_t access, bool create, bool* created) {
  using R = Result<Key, win::Error>;
  if (created) *created = false;
  auto parts = SplitKeyPath(path);
  if (!parts) return R::Fail(parts.error());
  std::shared_ptr<Database> db = base ? base->db_ : CurrentDb();
  if (!db) return R::Fail(win::ERROR_CANTOPEN);
  access = MapGenericRights(access);

  Key key;
  bool wasCreated = false;
  win::Error err = db->Run(create, [&](Tx& tx) -> win::Error {
    auto current = tx.FindKey(base ? base->id_ : kRootId);
    if (!current) return win::ERROR_KEY_DELETED;
    std::u16string spelled = base ? base->path_ : u"";
    for (const auto& part : *parts) {
      auto child = tx.FindChild(current->id, part);
      if (!child) {
        if (!create) return win::ERROR_FILE_NOT_FOUND;
        bool parentRefuses = current->readOnly ||
                             (base && current->id == base->id_ && !(base->access_ & KEY_CREATE_SUB_KEY));
        if (parentRefuses) return win::ERROR_ACCESS_DENIED;
        child = detail::KeyRow{tx.AddChild(current->id, part), part, false};
        wasCreated = true;
      }
      spelled += (spelled.empty() ? u"" : u"\\") + child->name;
      current = std::move(child);
    }
    std::uint32_t granted = access;
    if (granted & MAXIMUM_ALLOWED)
      granted = (granted & ~MAXIMUM_ALLOWED) | (current->readOnly ? KEY_READ : KEY_ALL_ACCESS);
    if (current->readOnly && (granted & kWriteRights)) return win::ERROR_ACCESS_DENIED;
    key.db_ = db;
    key.id_ = current->id;
    key.access_ = granted;
    key.path_ = std::move(spelled);
    return win::ERROR_SUCCESS;
  });
  if (err != win::ERROR_SUCCESS) return R::Fail(err);
  if (created) *created = wasCreated;
  return R(std::move(key));
}

Result<Key, win::Error> Key::Open(std::u16string_view path, std::uint32_t access) {
  return OpenOrCreate(nullptr, path, access, false, nullptr);
}

Result<Key, win::Error> Key::Create(std::u16string_view path, std::uint32_t access,
                                    bool* created) {
  return OpenOrCreate(nullptr, path, access, true, created);
}

Result<Key, win::Error> Key::OpenSubKey(std::u16string_view path, std::uint32_t access) const {
  if (!valid()) return Result<Key, win::Error>::Fail(win::ERROR_INVALID_HANDLE);
  return OpenOrCreate(this, path, access, false, nullptr);
}

Result<Key, win::Error> Key::CreateSubKey(std::u16string_view path, std::uint32_t access,
                                          bool* created) const {
  if (!valid()) return Result<Key, win::Error>::Fail(win::ERROR_INVALID_HANDLE);
  return OpenOrCreate(this, path, access, true, created);
}

win::Error Key::QueryValue(std::u16string_view name, std::uint32_t* type, void* data,
                           std::uint32_t* size) const {
  if (!valid()) return win::ERROR_INVALID_HANDLE;
  if (!(access_ & KEY_QUERY_VALUE)) return win::ERROR_ACCESS_DENIED;
  if (data && !size) return win::ERROR_INVALID_PARAMETER;
  return db_->Run(false, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    auto value = tx.GetValue(id_, name);
    if (!value) return win::ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    auto stored = static_cast<std::uint32_t>(value->data.size());
    if (!size) return win::ERROR_SUCCESS;
    std::uint32_t room = *size;
    *size = stored;
    if (!data) return win::ERROR_SUCCESS;
    if (room < stored) return win::ERROR_MORE_DATA;
    if (stored) std::memcpy(data, value->data.data(), stored);
    return win::ERROR_SUCCESS;
  });
}

Result<Value, win::Error> Key::GetValue(std::u16string_view name) const {
  using R = Result<Value, win::Error>;
  if (!valid()) return R::Fail(win::ERROR_INVALID_HANDLE);
  if (!(access_ & KEY_QUERY_VALUE)) return R::Fail(win::ERROR_ACCESS_DENIED);
  Value out;
  win::Error err = db_->Run(false, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    auto value = tx.GetValue(id_, name);
    if (!value) return win::ERROR_FILE_NOT_FOUND;
    out.type = value->type;
    out.data = std::move(value->data);
    return win::ERROR_SUCCESS;
  });
  if (err != win::ERROR_SUCCESS) return R::Fail(err);
  return out;
}

win::Error Key::SetValue(std::u16string_view name, std::uint32_t type, const void* data,
                         std::uint32_t size) {
  if (!valid()) return win::ERROR_INVALID_HANDLE;
  if (!(access_ & KEY_SET_VALUE)) return win::ERROR_ACCESS_DENIED;
  if (size && !data) return win::ERROR_NOACCESS;
  if (name.size() > kMaxValueNameLength) return win::ERROR_INVALID_PARAMETER;
  return db_->Run(true, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    tx.PutValue(id_, name, type, data, size);
    return win::ERROR_SUCCESS;
  });
}

win::Error Key::SetDword(std::u16string_view name, std::uint32_t value) {
  std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                           static_cast<std::uint8_t>(value >> 16),
                           static_cast<std::uint8_t>(value >> 24)};
  return SetValue(name, REG_DWORD, bytes, 4);
}

win::Error Key::SetString(std::u16string_view name, std::u16string_view text, std::uint32_t type) {
  std::u16string withTerminator(text);
  withTerminator.push_back(0);
  return SetValue(name, type, withTerminator.data(),
                  static_cast<std::uint32_t>(withTerminator.size() * sizeof(char16_t)));
}

win::Error Key::DeleteValue(std::u16string_view name) {
  if (!valid()) return win::ERROR_INVALID_HANDLE;
  if (!(access_ & KEY_SET_VALUE)) return win::ERROR_ACCESS_DENIED;
  return db_->Run(true, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    return tx.RemoveValue(id_, name) ? win::ERROR_SUCCESS : win::ERROR_FILE_NOT_FOUND;
  });
}

win::Error Key::EnumKey(std::uint32_t index, std::u16string* name) const {
  auto names = SubKeyNames();
  if (!names) return names.error();
  if (index >= names->size()) return win::ERROR_NO_MORE_ITEMS;
  *name = (*names)[index];
  return win::ERROR_SUCCESS;
}

win::Error Key::EnumValue(std::uint32_t index, std::u16string* name, Value* value) const {
  auto values = Values();
  if (!values) return values.error();
  if (index >= values->size()) return win::ERROR_NO_MORE_ITEMS;
  if (name) *name = (*values)[index].name;
  if (value) *value = (*values)[index].value;
  return win::ERROR_SUCCESS;
}

Result<std::vector<std::u16string>, win::Error> Key::SubKeyNames() const {
  using R = Result<std::vector<std::u16string>, win::Error>;
  if (!valid()) return R::Fail(win::ERROR_INVALID_HANDLE);
  if (!(access_ & KEY_ENUMERATE_SUB_KEYS)) return R::Fail(win::ERROR_ACCESS_DENIED);
  std::vector<std::u16string> names;
  win::Error err = db_->Run(false, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    names = tx.ChildNames(id_);
    return win::ERROR_SUCCESS;
  });
  if (err != win::ERROR_SUCCESS) return R::Fail(err);
  return names;
}

Result<std::vector<Key::NamedValue>, win::Error> Key::Values() const {
  using R = Result<std::vector<NamedValue>, win::Error>;
  if (!valid()) return R::Fail(win::ERROR_INVALID_HANDLE);
  if (!(access_ & KEY_QUERY_VALUE)) return R::Fail(win::ERROR_ACCESS_DENIED);
  std::vector<NamedValue> out;
  win::Error err = db_->Run(false, [&](Tx& tx) -> win::Error {
    if (!tx.FindKey(id_)) return win::ERROR_KEY_DELETED;
    for (auto& v : tx.Values(id_, true))
      out.push_back(NamedValue{std::move(v.name), Value{v.type, std::move(v.data)}});
    return win::ERROR_SUCCESS;
  });
  if (err != win::ERROR_SUCCESS) return R::Fail(err);
  return out;
}

namespace {

win::Error WithKeyPath(std::u16string_view path, bool write,
                       const std::function<win::Error(Tx&, const detail::KeyRow&)>& body) {
  auto parts = SplitKeyPath(path);
  if (!parts) return parts.error();
  auto db = CurrentDb();
  if (!db) return win::ERROR_CANTOPEN;
  return db->Run(write, [&](Tx& tx) -> win::Error {
    detail::KeyRow row;
    if (win::Error err = tx.FindPath(*parts, false, &row)) return err;
    return body(tx, row);
  });
}

}  // namespace

win::Error DeleteKey(std::u16string_view path) {
  return WithKeyPath(path, true, [](Tx& tx, const detail::KeyRow& row) -> win::Error {
    if (row.id == kRootId || row.readOnly || !tx.ChildNames(row.id).empty())
      return win::ERROR_ACCESS_DENIED;
    tx.RemoveKey(row.id);
    return win::ERROR_SUCCESS;
  });
}

win::Error DeleteTree(std::u16string_view path) {
  return WithKeyPath(path, true, [](Tx& tx, const detail::KeyRow& row) -> win::Error {
    if (row.id == kRootId || tx.TreeHasReadOnly(row)) return win::ERROR_ACCESS_DENIED;
    tx.RemoveTree(row.id);
    return win::ERROR_SUCCESS;
  });
}

win::Error SetReadOnly(std::u16string_view path, bool readOnly) {
  return WithKeyPath(path, true, [&](Tx& tx, const detail::KeyRow& row) -> win::Error {
    if (row.id == kRootId) return win::ERROR_ACCESS_DENIED;
    tx.SetReadOnly(row.id, readOnly);
    return win::ERROR_SUCCESS;
  });
}

Result<bool, win::Error> IsReadOnly(std::u16string_view path) {
  bool readOnly = false;
  win::Error err = WithKeyPath(path, false, [&](Tx&, const detail::KeyRow& row) -> win::Error {
    readOnly = row.readOnly;
    return win::ERROR_SUCCESS;
  });
  if (err != win::ERROR_SUCCESS) return Result<bool, win::Error>::Fail(err);
  return readOnly;
}

}  // namespace pvn::reg
