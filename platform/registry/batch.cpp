#include "platform/registry/batch.h"

#include "platform/registry/database.h"

namespace pvn::reg {

namespace {

using detail::KeyRow;
using detail::Tx;

win::Error ApplyOne(Tx& tx, const Change& change) {
  auto parts = SplitKeyPath(change.path);
  if (!parts) return parts.error();
  if (change.name.size() > kMaxValueNameLength) return win::ERROR_INVALID_PARAMETER;
  KeyRow row;
  switch (change.kind) {
    case Change::Kind::kCreateKey:
      return tx.FindPath(*parts, true, &row);
    case Change::Kind::kDeleteTree: {
      win::Error err = tx.FindPath(*parts, false, &row);
      if (err == win::ERROR_FILE_NOT_FOUND) return win::ERROR_SUCCESS;
      if (err) return err;
      if (row.id == detail::kRootId || tx.TreeHasReadOnly(row)) return win::ERROR_ACCESS_DENIED;
      tx.RemoveTree(row.id);
      return win::ERROR_SUCCESS;
    }
    case Change::Kind::kSetValue: {
      if (win::Error err = tx.FindPath(*parts, false, &row)) return err;
      if (row.readOnly) return win::ERROR_ACCESS_DENIED;
      tx.PutValue(row.id, change.name, change.value.type, change.value.data.data(),
                  change.value.data.size());
      return win::ERROR_SUCCESS;
    }
    case Change::Kind::kDeleteValue: {
      win::Error err = tx.FindPath(*parts, false, &row);
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
