#include "engine/tables/ABSBTreeIndex.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"

namespace zev {

namespace {

using TBytes = std::vector<uint8_t>;

TBytes referenceOf(const TABSPageItemID& RecordID) {
  TBytes reference(TABSPageItemID::Size);
  RecordID.Store(reference.data());
  return reference;
}

// Characters of a string value held in a slot of Size bytes.
int32_t stringLength(TABSBaseFieldType Type, const uint8_t* Value, int32_t Size) {
  if (IsWideStringFieldType(Type)) {
    int32_t units = 0;
    while (units * 2 + 1 < Size && (Value[units * 2] | Value[units * 2 + 1]) != 0) ++units;
    return units;
  }
  const void* end = std::memchr(Value, 0, static_cast<size_t>(Size));
  return end ? static_cast<int32_t>(static_cast<const uint8_t*>(end) - Value) : Size;
}

// Narrows the comparisons of a key description for one search and restores them after.
class TCompareScope {
 public:
  TCompareScope(TABSRecordKeyRef& KeyRef, int32_t KeyFieldCount, bool PartialCompare,
                const uint8_t* KeyRecordBuffer)
      : LKeyRef(KeyRef), FSavedCount(KeyRef.CompareFieldCount()),
        FSavedLengths(KeyRef.FCompareLengths) {
    KeyRef.SetCompareFieldCount(KeyFieldCount);
    if (!PartialCompare) return;
    for (size_t i = 0; i < KeyRef.Parts.size(); ++i) {
      const TABSKeyPart& part = KeyRef.Parts[i];
      if (IsStringFieldType(part.DataType) && !IsFieldNull(KeyRecordBuffer, part.FieldNo))
        KeyRef.FCompareLengths[i] = stringLength(
            part.DataType, KeyRecordBuffer + part.OffsetInRecordBuffer, part.FullValueSize());
    }
  }
  ~TCompareScope() {
    LKeyRef.SetCompareFieldCount(FSavedCount);
    LKeyRef.FCompareLengths = FSavedLengths;
  }
  TCompareScope(const TCompareScope&) = delete;
  TCompareScope& operator=(const TCompareScope&) = delete;

 private:
  TABSRecordKeyRef& LKeyRef;
  int32_t FSavedCount;
  std::vector<int32_t> FSavedLengths;
};

}  // namespace

// --- TABSBTreeRecordIndex ------------------------------------------------------------------

TABSBTreeRecordIndex::TABSBTreeRecordIndex(TABSIndexDef& IndexDef, TABSPageManager& PageManager,
                                           const TABSFieldDefs& FieldDefs,
                                           TABSRecordReader* RecordReader)
    : LIndexDef(IndexDef), LPageManager(PageManager), LFieldDefs(FieldDefs),
      FKeyRef(std::make_unique<TABSRecordKeyRef>(RecordReader)) {
  FKeyRef->Assign(LIndexDef, &LFieldDefs);
  FTree = std::make_unique<TABSBTree>(LPageManager, *FKeyRef, LIndexDef.FRootPageNo);
}

void TABSBTreeRecordIndex::CreateIndex(int32_t SessionID) {
  LIndexDef.FRootPageNo = FTree->CreateRoot(SessionID);
}

void TABSBTreeRecordIndex::OpenIndex() {
  if (LIndexDef.FRootPageNo < 0) errors::Raise(errors::kRecordIndexWithoutRoot);
  FTree->SetRootPageNo(LIndexDef.FRootPageNo);
}

void TABSBTreeRecordIndex::DropIndex(int32_t SessionID) {
  FTree->FreeAllPages(SessionID, false);
  LIndexDef.FRootPageNo = -1;
}

void TABSBTreeRecordIndex::EmptyIndex(int32_t SessionID) { FTree->FreeAllPages(SessionID, true); }

TBytes TABSBTreeRecordIndex::shortKeyOf(const uint8_t* RecordBuffer) {
  TBytes key(static_cast<size_t>(FKeyRef->ShortKeySize()), 0);
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, key.data());
  return key;
}

TBytes TABSBTreeRecordIndex::fullKeyOf(const uint8_t* RecordBuffer) const {
  TBytes key(static_cast<size_t>(FKeyRef->FullKeySize()), 0);
  FKeyRef->MakeFullKeyFromRecordBuffer(RecordBuffer, key.data());
  return key;
}

void TABSBTreeRecordIndex::InsertRecord(const TABSIndexRowOperation& Row) {
  const TBytes key = shortKeyOf(Row.CurrentRecordBuffer);
  FTree->InsertLeafEntry(Row.SessionID, key.data(), referenceOf(Row.CurrentRecordID).data());
}

void TABSBTreeRecordIndex::DeleteRecord(const TABSIndexRowOperation& Row) {
  const TBytes key = shortKeyOf(Row.CurrentRecordBuffer);
  if (!FTree->DeleteLeafEntry(Row.SessionID, key.data(), referenceOf(Row.CurrentRecordID).data()))
    errors::Raise(errors::kCannotDeleteIndexEntry);
}

bool TABSBTreeRecordIndex::FullKeysEqual(const uint8_t* RecordBuffer1,
                                         const uint8_t* RecordBuffer2) {
  const TBytes key1 = fullKeyOf(RecordBuffer1), key2 = fullKeyOf(RecordBuffer2);
  return FKeyRef->CompareFullKeys(key1.data(), key2.data()) == 0;
}

void TABSBTreeRecordIndex::UpdateRecord(const TABSIndexRowOperation& Row,
                                        bool BeforeNewRecordIsStored) {
  if (FullKeysEqual(Row.EditRecordBuffer, Row.CurrentRecordBuffer)) return;
  if (BeforeNewRecordIsStored) {
    const TBytes oldKey = shortKeyOf(Row.EditRecordBuffer);
    if (!FTree->DeleteLeafEntry(Row.SessionID, oldKey.data(),
                                referenceOf(Row.CurrentRecordID).data()))
      errors::Raise(errors::kCannotDeleteOldIndexEntry);
    return;
  }
  InsertRecord(Row);
}

bool TABSBTreeRecordIndex::CanInsertRecord(int32_t SessionID, const uint8_t* RecordBuffer) {
  if (!LIndexDef.FUnique && !LIndexDef.FPrimary) return true;
  const TBytes key = shortKeyOf(RecordBuffer);
  TABSKeyPath position;
  return !FTree->FindByCondition(SessionID, true, key.data(), scEqual, position);
}

bool TABSBTreeRecordIndex::CanUpdateRecord(int32_t SessionID, const uint8_t* OldRecordBuffer,
                                           const uint8_t* NewRecordBuffer) {
  if (FullKeysEqual(OldRecordBuffer, NewRecordBuffer)) return true;
  return CanInsertRecord(SessionID, NewRecordBuffer);
}

bool TABSBTreeRecordIndex::GetIndexPosition(int32_t SessionID, const TABSPageItemID& RecordID,
                                            const uint8_t* RecordBuffer,
                                            TABSKeyPath& Position) {
  const TBytes key = shortKeyOf(RecordBuffer);
  return FTree->FindEntry(SessionID, key.data(), referenceOf(RecordID).data(), Position);
}

bool TABSBTreeRecordIndex::FindRecordID(int32_t SessionID, bool First,
                                        TABSSearchCondition Condition,
                                        const uint8_t* KeyRecordBuffer, int32_t KeyFieldCount,
                                        bool PartialCompare, TABSPageItemID& RecordID,
                                        TABSKeyPath* Position) {
  const TBytes key = shortKeyOf(KeyRecordBuffer);
  TCompareScope scope(*FKeyRef, KeyFieldCount, PartialCompare, KeyRecordBuffer);
  TABSKeyPath path;
  if (!FTree->FindByCondition(SessionID, First, key.data(), Condition, path)) return false;
  RecordID = GetRecordIDByIndexPosition(SessionID, path);
  if (Position) *Position = path;
  return true;
}

TABSPageItemID TABSBTreeRecordIndex::GetRecordIDByIndexPosition(int32_t SessionID,
                                                                const TABSKeyPath& Position) {
  TBytes reference(TABSPageItemID::Size);
  FTree->ReadEntry(SessionID, Position, nullptr, reference.data());
  TABSPageItemID id;
  id.Load(reference.data());
  return id;
}

int32_t TABSBTreeRecordIndex::GetRecNoByRecordID(int32_t SessionID,
                                                 const TABSPageItemID& RecordID,
                                                 const uint8_t* RecordBuffer) {
  TABSKeyPath position;
  if (!GetIndexPosition(SessionID, RecordID, RecordBuffer, position)) return -1;
  return FTree->GetRecNo(SessionID, position);
}

TABSPageItemID TABSBTreeRecordIndex::GetRecordIDByRecNo(int32_t SessionID, int32_t RecNo) {
  TBytes reference(TABSPageItemID::Size);
  FTree->GetReferenceByRecNo(SessionID, RecNo, reference.data());
  TABSPageItemID id;
  id.Load(reference.data());
  return id;
}

int32_t TABSBTreeRecordIndex::GetMaxEntriesPerPage() const {
  return LPageManager.PageDataSize() / (FKeyRef->ShortKeySize() + 4);
}

// --- TABSBTreePageIndex --------------------------------------------------------------------

TABSBTreePageIndex::TABSBTreePageIndex(TABSPageManager& PageManager, int32_t RootPageNo)
    : FTree(std::make_unique<TABSBTree>(PageManager, FKeyRef, RootPageNo)) {}

int32_t TABSBTreePageIndex::CreateIndex(int32_t SessionID) {
  return FTree->CreateRoot(SessionID);
}

bool TABSBTreePageIndex::FindPage(int32_t SessionID, int32_t PageNo, uint16_t& Count) {
  uint8_t key[4];
  PutInt32LE(key, PageNo);
  TABSKeyPath position;
  if (!FTree->FindByCondition(SessionID, true, key, scEqual, position)) return false;
  uint8_t reference[2];
  FTree->ReadEntry(SessionID, position, nullptr, reference);
  Count = GetUInt16LE(reference);
  return true;
}

bool TABSBTreePageIndex::FindPageFromBothEnds(int32_t SessionID,
                                              const std::function<bool(uint16_t)>& Fits,
                                              int32_t& PageNo) {
  for (const bool fromLast : {true, false}) {
    TABSKeyPath position;
    const bool any = fromLast ? FTree->GetLastPosition(SessionID, position)
                              : FTree->GetFirstPosition(SessionID, position);
    if (!any) return false;
    const int32_t leafEntries = position.Leaf().EntryCount;
    for (int32_t visited = 0; visited < leafEntries; ++visited) {
      uint8_t key[4], reference[2];
      FTree->ReadEntry(SessionID, position, key, reference);
      if (Fits(GetUInt16LE(reference))) {
        PageNo = GetInt32LE(key);
        return true;
      }
      const bool moved =
          fromLast ? FTree->GotoPrior(SessionID, position) : FTree->GotoNext(SessionID, position);
      if (!moved) break;
    }
  }
  return false;
}

bool TABSBTreePageIndex::DeletePage(int32_t SessionID, int32_t PageNo) {
  uint16_t count = 0;
  if (!FindPage(SessionID, PageNo, count)) return false;
  uint8_t key[4], reference[2];
  PutInt32LE(key, PageNo);
  PutUInt16LE(reference, count);
  return FTree->DeleteLeafEntry(SessionID, key, reference);
}

void TABSBTreePageIndex::SetPage(int32_t SessionID, int32_t PageNo, uint16_t Count) {
  DeletePage(SessionID, PageNo);
  uint8_t key[4], reference[2];
  PutInt32LE(key, PageNo);
  PutUInt16LE(reference, Count);
  FTree->InsertLeafEntry(SessionID, key, reference);
}

bool TABSBTreePageIndex::FindPageAtOrAfter(int32_t SessionID, int32_t PageNo,
                                           int32_t& FoundPageNo, uint16_t& Count) {
  uint8_t key[4];
  PutInt32LE(key, PageNo);
  TABSKeyPath position;
  if (!FTree->FindByCondition(SessionID, true, key, scGreaterEqual, position)) return false;
  uint8_t reference[2];
  FTree->ReadEntry(SessionID, position, key, reference);
  FoundPageNo = GetInt32LE(key);
  Count = GetUInt16LE(reference);
  return true;
}

}  // namespace zev
