#include "engine/tables/ZEVTableComponent.h"

#include <algorithm>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/DBError.h"
#include "engine/tables/ZEVEngineErrors.h"

using zev::DatabaseError;

namespace {

// A shared table lock for re-reading rows: 900 tries 100 ms apart, as long as the session's
// budget for reads allows.
constexpr int kSharedLockTries = 900;
constexpr int kSharedLockDelayMs = 100;

}  // namespace

TABSTable::TABSTable(TComponent* Owner) : TABSDataSet(Owner) {}

TABSTable::~TABSTable() {
  try {
    Close();
  } catch (...) {
    // See TABSDataSet.
  }
}

void TABSTable::SetTableName(const AnsiString& Name) {
  if (Name == FTableName) return;
  CheckInactive();
  FTableName = Name;
  FieldDefs().Clear();
  IndexDefs().Clear();
}

void TABSTable::SetExclusive(bool Exclusive) {
  CheckInactive();
  FExclusive = Exclusive;
}

bool TABSTable::Exists() {
  if (Active()) return true;
  if (DatabaseName().empty() || TrimBlanks(FTableName).empty()) return false;
  TABSSession& session = Sessions().GetSessionByName(SessionName());
  TABSDatabase& database = session.OpenDatabase(DatabaseName(), GetOwner());
  bool exists = false;
  try {
    exists = database.TableExists(TrimBlanks(FTableName));
  } catch (...) {
    session.CloseDatabase(database);
    throw;
  }
  session.CloseDatabase(database);
  return exists;
}

// --- Opening ------------------------------------------------------------------------------------

std::unique_ptr<zev::TABSLocalCursor> TABSTable::CreateHandle() {
  const AnsiString name = TrimBlanks(FTableName);
  if (name.empty()) DatabaseError("Missing TableName property", this);
  if (InMemory()) zev::errors::Raise(zev::errors::kNotSupported);
  TABSDatabase& database = *Database();
  auto cursor = std::make_unique<zev::TABSLocalCursor>(*database.Handle());
  cursor->SetTableName(name);
  cursor->SetExclusive(FExclusive);
  cursor->SetIsRepairing(FRepairing);
  cursor->OpenTable();
  if (database.ReadOnly() || database.Handle()->ReadOnly()) SetReadOnly(true);
  return cursor;
}

AnsiString TABSTable::resolvedIndexName() const {
  if (!FFieldsIndex) return FIndexName;
  // The index whose fields are exactly those names, in order.
  const std::vector<AnsiString> wanted = SplitFieldList(FIndexFieldNames, false);
  const zev::TABSIndexDefs& indexes = Handle()->IndexDefs();
  for (int i = 0; i < indexes.Count(); ++i) {
    const zev::TABSIndexDef& index = *indexes.Items(i);
    if (index.FIndexColumns.size() != wanted.size()) continue;
    bool same = true;
    for (size_t c = 0; c < wanted.size() && same; ++c)
      same = zev::AnsiSameText(index.FIndexColumns[c].FFieldName, wanted[c]);
    if (same) return index.FName;
  }
  return "";
}

void TABSTable::buildKeyMap() {
  FIndexFieldMap.clear();
  FKeySize = 0;
  const AnsiString name = resolvedIndexName();
  if (name.empty()) return;
  const zev::TABSIndexDef* index = Handle()->IndexDefs().GetIndexDefByName(name);
  if (!index) zev::errors::Raise(zev::errors::kCannotFindIndex, {name});
  for (const zev::TABSIndexColumn& column : index->FIndexColumns) {
    const int fieldNo = Handle()->FieldDefs().GetDefNumberByName(column.FFieldName);
    if (fieldNo < 0) continue;
    FIndexFieldMap.push_back(fieldNo);
    FKeySize += Handle()->FieldDefs().Items(fieldNo)->FMemoryDataSize;
  }
}

void TABSTable::HandleOpened() {
  IndexDefs().Clear();
  const zev::TABSIndexDefs& indexes = Handle()->IndexDefs();
  for (int i = 0; i < indexes.Count(); ++i) {
    const zev::TABSIndexDef& index = *indexes.Items(i);
    AnsiString fields, descending, caseInsensitive;
    for (const zev::TABSIndexColumn& column : index.FIndexColumns) {
      fields += (fields.empty() ? "" : ";") + column.FFieldName;
      if (column.FDescending) descending += (descending.empty() ? "" : ";") + column.FFieldName;
      if (column.FCaseInsensitive)
        caseInsensitive += (caseInsensitive.empty() ? "" : ";") + column.FFieldName;
    }
    zev::TIndexOptions options;
    if (index.FPrimary) options.Include(zev::ixPrimary);
    if (index.FUnique) options.Include(zev::ixUnique);
    zev::TIndexDef& def = IndexDefs().Add(index.FName, fields, options);
    def.SetDescFields(descending);
    def.SetCaseInsFields(caseInsensitive);
  }
  const AnsiString name = resolvedIndexName();
  if (!name.empty() && !Handle()->IndexDefs().GetIndexDefByName(name))
    zev::errors::Raise(zev::errors::kCannotFindIndex, {name});
  Handle()->SetIndexName(name);
  buildKeyMap();
}

// --- Choosing the index ---------------------------------------------------------------------------

void TABSTable::applyIndex() {
  if (!Active()) return;
  CheckBrowseMode();
  zev::TABSLocalCursor& cursor = *Handle();
  cursor.ResetRange();
  if (RecordBuffer() && !IsEmpty()) InternalSetToRecord(RecordBuffer());
  cursor.SetIndexName(resolvedIndexName());
  buildKeyMap();
  Refresh();
}

void TABSTable::SetIndexName(const AnsiString& Name) {
  if (!FFieldsIndex && Name == FIndexName) return;
  FIndexName = Name;
  FFieldsIndex = false;
  applyIndex();
}

void TABSTable::SetIndexFieldNames(const AnsiString& FieldNames) {
  if (FFieldsIndex && FieldNames == FIndexFieldNames) return;
  FIndexFieldNames = FieldNames;
  FFieldsIndex = !FieldNames.empty();
  applyIndex();
}

// --- Key search ---------------------------------------------------------------------------------

void TABSTable::beginKeyEntry(int Index, bool Clear) {
  CheckActive();
  CheckBrowseMode();
  FEditedKey = Index;
  KeyBuffer(kiSave) = KeyBuffer(Index);
  if (Clear) ClearKeyBuffer(Index);
  SetState(zev::dsSetKey);
  SetModified(KeyModified(Index));
}

void TABSTable::SetKey() { beginKeyEntry(kiLookup, true); }
void TABSTable::EditKey() { beginKeyEntry(kiLookup, false); }
void TABSTable::SetRangeStart() { beginKeyEntry(kiRangeStart, true); }
void TABSTable::SetRangeEnd() { beginKeyEntry(kiRangeEnd, true); }
void TABSTable::EditRangeStart() { beginKeyEntry(kiRangeStart, false); }
void TABSTable::EditRangeEnd() { beginKeyEntry(kiRangeEnd, false); }

void TABSTable::PostKeyEntry() {
  if (FEditedKey < 0) return;
  SetKeyHeader(FEditedKey, Modified(), KeyExclusiveOf(FEditedKey), KeyFieldCountOf(FEditedKey));
  FEditedKey = -1;
}

void TABSTable::CancelKeyEntry() {
  if (FEditedKey < 0) return;
  KeyBuffer(FEditedKey) = KeyBuffer(kiSave);
  FEditedKey = -1;
}

zev::TField& TABSTable::GetIndexField(int Index) {
  if (Index < 0 || Index >= IndexFieldCount()) DatabaseError("Field index out of range", this);
  const AnsiString& name = Handle()->FieldDefs().Items(FIndexFieldMap[static_cast<size_t>(Index)])->FName;
  zev::TField* field = FindField(name);
  if (!field) DatabaseError(zev::Format("Cannot access index field '%s'", {name}), this);
  return *field;
}

bool TABSTable::KeyExclusive() {
  CheckActive();
  return KeyExclusiveOf(FEditedKey >= 0 ? FEditedKey : kiLookup);
}

void TABSTable::SetKeyExclusive(bool Exclusive) {
  CheckActive();
  const int index = FEditedKey >= 0 ? FEditedKey : kiLookup;
  SetKeyHeader(index, KeyModified(index), Exclusive, KeyFieldCountOf(index));
}

int32_t TABSTable::KeyFieldCount() {
  CheckActive();
  return KeyFieldCountOf(FEditedKey >= 0 ? FEditedKey : kiLookup);
}

void TABSTable::SetKeyFieldCount(int32_t Count) {
  CheckActive();
  const int index = FEditedKey >= 0 ? FEditedKey : kiLookup;
  SetKeyHeader(index, KeyModified(index), KeyExclusiveOf(index), Count);
}

// Runs Action under a shared table lock when one is granted, and without it otherwise.
template <class F>
void TABSTable::underSharedLock(F&& Action) {
  const zev::TABSCursorLockBudgets& budgets = Handle()->Session().LockBudgets();
  const bool locked = Handle()->LockTable(zev::ltS, std::min(kSharedLockTries, budgets.ReadTries),
                                          std::min(kSharedLockDelayMs, budgets.ReadDelayMs));
  try {
    Action();
  } catch (...) {
    if (locked) Handle()->UnlockTable(zev::ltS, true);
    throw;
  }
  if (locked) Handle()->UnlockTable(zev::ltS, true);
}

// Shows the cursor's row, read under a shared table lock when one is granted.
void TABSTable::showCursorRow() {
  zev::TBookmark bookmark(zev::TABSPageItemID::Size);
  Handle()->CurrentRecordID.Store(bookmark.data());
  underSharedLock([&] { GotoBookmark(bookmark); });
}

// The search key into the cursor, with its field count (every key field for 0).
zev::TABSLocalCursor& TABSTable::prepareKeySearch() {
  CheckActive();
  CheckBrowseMode();
  zev::TABSLocalCursor& cursor = *Handle();
  if (FIndexFieldMap.empty()) DatabaseError("No index currently active", this);
  const std::vector<uint8_t>& key = KeyBuffer(kiLookup);
  std::copy(key.begin(), key.end(), cursor.KeyBuffer());
  const int32_t count = KeyFieldCountOf(kiLookup);
  cursor.SetKeyFieldCount(count > 0 ? count : IndexFieldCount());
  return cursor;
}

// The values in order into the first key fields of a fresh search key.
void TABSTable::fillKey(const std::vector<AnsiString>& KeyValues) {
  CheckBrowseMode();
  if (FIndexFieldMap.empty()) DatabaseError("No index currently active", this);
  SetKey();
  for (size_t i = 0; i < KeyValues.size() && i < FIndexFieldMap.size(); ++i)
    GetIndexField(static_cast<int>(i)).SetAsString(KeyValues[i]);
  SetKeyFieldCount(static_cast<int32_t>(KeyValues.size()));
  Post();
}

bool TABSTable::GotoKey() {
  if (!prepareKeySearch().FindKey(zev::scEqual)) return false;
  showCursorRow();
  return true;
}

void TABSTable::GotoNearest() {
  zev::TABSLocalCursor& cursor = prepareKeySearch();
  const zev::TABSSearchCondition condition =
      KeyExclusiveOf(kiLookup) ? zev::scGreater : zev::scGreaterEqual;
  if (cursor.FindKey(condition))
    showCursorRow();
  else
    Last();
}

bool TABSTable::FindKey(const std::vector<AnsiString>& KeyValues) {
  fillKey(KeyValues);
  return GotoKey();
}

void TABSTable::FindNearest(const std::vector<AnsiString>& KeyValues) {
  fillKey(KeyValues);
  GotoNearest();
}

// --- Ranges -------------------------------------------------------------------------------------

void TABSTable::ApplyRange() {
  CheckActive();
  CheckBrowseMode();
  zev::TABSLocalCursor& cursor = *Handle();
  for (int index : {kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd})
    cursor.FieldAccess().ClearStringFieldsGarbage(KeyBuffer(index).data());
  if (KeyBuffer(kiRangeStart) == KeyBuffer(kiCurRangeStart) &&
      KeyBuffer(kiRangeEnd) == KeyBuffer(kiCurRangeEnd))
    return;
  auto countOf = [&](int index) {
    const int32_t count = KeyFieldCountOf(index);
    return count > 0 ? count : IndexFieldCount();
  };
  cursor.ApplyRange(KeyModified(kiRangeStart) ? KeyBuffer(kiRangeStart).data() : nullptr,
                    KeyModified(kiRangeEnd) ? KeyBuffer(kiRangeEnd).data() : nullptr,
                    countOf(kiRangeStart), countOf(kiRangeEnd), KeyExclusiveOf(kiRangeStart),
                    KeyExclusiveOf(kiRangeEnd));
  KeyBuffer(kiCurRangeStart) = KeyBuffer(kiRangeStart);
  KeyBuffer(kiCurRangeEnd) = KeyBuffer(kiRangeEnd);
  underSharedLock([&] { First(); });
}

void TABSTable::CancelRange() {
  CheckActive();
  CheckBrowseMode();
  zev::TABSLocalCursor& cursor = *Handle();
  if (!KeyModified(kiCurRangeStart) && !KeyModified(kiCurRangeEnd)) {
    cursor.ResetRange();
    return;
  }
  for (int index : {kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd})
    ClearKeyBuffer(index);
  if (RecordBuffer() && !IsEmpty()) InternalSetToRecord(RecordBuffer());
  cursor.ResetRange();
  underSharedLock([&] { Refresh(); });
}
