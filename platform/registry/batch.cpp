#include "platform/registry/batch.h"

#include "platform/registry/database.h"

namespace pvn::reg {

namespace {

using detail::KeyRow;
using detail::Tx;

// Finds the key named by `parts`, creating missing components when `create`
// is set. A component cannot be created below a read-only key.
win::Error FindKey(Tx& tx, const std::vector<std::u16string>& parts, bool create, KeyRow* out) {
  auto current = tx.FindKey(detail::kRootId);
  if (!current) return win::ERROR_REGISTRY_CORRUPT;
  for (const auto& part : parts) {
    auto child = tx.FindChild(current->id, part);
    if (!child) {
      if (!create) return win::ERROR_FILE_NOT_FOUND;
      if (current->readOnly) return win::ERROR_ACCESS_DENIED;
      child = KeyRow{tx.AddChild(current->id, part), part, false};
    }
    current = std::move(child);
  }
  *out = *current;
  return win::ERROR_SUCCESS;
}

bool HoldsReadOnly(Tx& tx, const KeyRow& row) {
  if (row.readOnly) return true;
  for (const auto& name : tx.ChildNames(row.id))
    if (auto child = tx.FindChild(row.id, name); child && HoldsReadOnly(tx, *child)) return true;
  return false;
}

void RemoveTree(Tx& tx, std::int64_t id) {
  for (const auto& name : tx.ChildNames(id))
    if (auto child = tx.FindChild(id, name)) RemoveTree(tx, child->id);
  tx.RemoveKey(id);
}

win::Error ApplyOne(Tx& tx, const Change& change) {
  auto parts = SplitKeyPath(change.path);
  if (!parts) return parts.error();
  if (change.name.size() > kMaxValueNameLength) return win::ERROR_INVALID_PARAMETER;
  KeyRow row;
  switch (change.kind) {
    case Change::Kind::kCreateKey:
      return FindKey(tx, *parts, true, &row);
    case Change::Kind::kDeleteTree: {
      win::Error err = FindKey(tx, *parts, false, &row);
      if (err == win::ERROR_FILE_NOT_FOUND) return win::ERROR_SUCCESS;
      if (err) return err;
      if (row.id == detail::kRootId || HoldsReadOnly(tx, row)) return win::ERROR_ACCESS_DENIED;
      RemoveTree(tx, row.id);
      return win::ERROR_SUCCESS;
    }
    case Change::Kind::kSetValue: {
      if (win::Error err = FindKey(tx, *parts, false, &row)) return err;
      if (row.readOnly) return win::ERROR_ACCESS_DENIED;
      tx.PutValue(row.id, change.name, change.value.type, change.value.data.data(),
                  change.value.data.size());
      return win::ERROR_SUCCESS;
    }
    case Change::Kind::kDeleteValue: {
      win::Error err = FindKey(tx, *parts, false, &row);
      if (err == win::ERROR_FILE_NOT_FOUND) return win::ERROR_SUCCESS;
      if (err) return err;
      if (row.readOnly) return win::ERROR_ACCESS_DENIED;
      tx.RemoveValue(row.id, change.name);
      return win::ERROR_SUCCESS;
    }
  }
  return win::ERROR_INVALID_PARAMETER;
}

}  // namespace

BatchResult ApplyBatch(const std::vector<Change>& changes) {
  BatchResult result;
  auto db = detail::Database::Current();
  if (!db) return {win::ERROR_CANTOPEN, 0};
  std::size_t index = 0;
  result.error = db->Run(true, [&](Tx& tx) -> win::Error {
    for (index = 0; index < changes.size(); ++index)
      if (win::Error err = ApplyOne(tx, changes[index])) return err;
    return win::ERROR_SUCCESS;
  });
  if (result.error) result.failed = index < changes.size() ? index : 0;
  return result;
}

}  // namespace pvn::reg
