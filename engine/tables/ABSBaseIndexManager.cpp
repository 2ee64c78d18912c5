#include "engine/tables/ABSBaseIndexManager.h"

#include <algorithm>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"

namespace zev {

TABSBaseIndexManager::TABSBaseIndexManager(TABSPageManager& PageManager,
                                           const TABSFieldDefs& FieldDefs,
                                           TABSRecordReader* RecordReader)
    : LPageManager(PageManager), LFieldDefs(FieldDefs), LRecordReader(RecordReader) {}

void TABSBaseIndexManager::LoadMetadata(TABSStream& Stream) {
  FOpenIndexList.clear();
  FIndexDefs.LoadFromStream(Stream);
}

void TABSBaseIndexManager::SaveMetadata(TABSStream& Stream) { FIndexDefs.SaveToStream(Stream); }

void TABSBaseIndexManager::CreateIndexDefs(const TABSIndexDefs& IndexDefs) {
  FOpenIndexList.clear();
  FIndexDefs.Assign(IndexDefs);
}

TABSBTreeRecordIndex* TABSBaseIndexManager::FindOpenIndex(int32_t IndexID) {
  for (const auto& index : FOpenIndexList)
    if (index->IndexDef().FObjectID == IndexID) return index.get();
  return nullptr;
}

TABSBTreeRecordIndex& TABSBaseIndexManager::OpenIndex(int32_t IndexID) {
  if (TABSBTreeRecordIndex* open = FindOpenIndex(IndexID)) return *open;
  TABSIndexDef* def = static_cast<TABSIndexDef*>(FIndexDefs.GetDefByObjectId(IndexID));
  if (!def) errors::Raise(errors::kIndexNotFound);
  auto index = std::make_unique<TABSBTreeRecordIndex>(*def, LPageManager, LFieldDefs,
                                                      LRecordReader);
  if (def->FRootPageNo >= 0) index->OpenIndex();
  FOpenIndexList.push_back(std::move(index));
  return *FOpenIndexList.back();
}

void TABSBaseIndexManager::CloseIndex(int32_t IndexID) {
  std::erase_if(FOpenIndexList,
                [&](const auto& index) { return index->IndexDef().FObjectID == IndexID; });
}

TABSBTreeRecordIndex& TABSBaseIndexManager::CreateIndex(int32_t SessionID,
                                                        const TABSIndexDef& IndexDef,
                                                        const TABSRowEnumerator& Rows) {
  auto copy = IndexDef.Clone();
  const int32_t indexID = copy->FObjectID;
  FIndexDefs.Add(std::move(copy));
  try {
    TABSBTreeRecordIndex& index = OpenIndex(indexID);
    index.CreateIndex(SessionID);
    if (Rows)
      Rows([&](const TABSPageItemID& RecordID, const uint8_t* RecordBuffer) {
        TABSIndexRowOperation row;
        row.SessionID = SessionID;
        row.CurrentRecordBuffer = RecordBuffer;
        row.CurrentRecordID = RecordID;
        index.InsertRecord(row);
      });
    return index;
  } catch (...) {
    CloseIndex(indexID);
    FIndexDefs.Delete(FIndexDefs.GetDefNumberByObjectId(indexID));
    throw;
  }
}

void TABSBaseIndexManager::CreateIndexesByIndexDefs(int32_t SessionID) {
  for (int i = 0; i < FIndexDefs.Count(); ++i)
    OpenIndex(FIndexDefs.Items(i)->FObjectID).CreateIndex(SessionID);
}

void TABSBaseIndexManager::DropIndex(int32_t SessionID, int32_t IndexID) {
  OpenIndex(IndexID).DropIndex(SessionID);
  CloseIndex(IndexID);
  FIndexDefs.Delete(FIndexDefs.GetDefNumberByObjectId(IndexID));
}

void TABSBaseIndexManager::DropAllIndexes(int32_t SessionID) {
  while (FIndexDefs.Count() > 0) DropIndex(SessionID, FIndexDefs.Items(0)->FObjectID);
}

void TABSBaseIndexManager::EmptyIndex(int32_t SessionID, int32_t IndexID) {
  OpenIndex(IndexID).EmptyIndex(SessionID);
}

void TABSBaseIndexManager::EmptyAllIndexes(int32_t SessionID) {
  forEachIndex([&](TABSBTreeRecordIndex& index) { index.EmptyIndex(SessionID); });
}

template <class F>
void TABSBaseIndexManager::forEachIndex(F&& Action) {
  for (int i = 0; i < FIndexDefs.Count(); ++i) Action(OpenIndex(FIndexDefs.Items(i)->FObjectID));
}

bool TABSBaseIndexManager::CanInsertRecord(int32_t SessionID, const uint8_t* RecordBuffer) {
  bool accepted = true;
  forEachIndex([&](TABSBTreeRecordIndex& index) {
    accepted = accepted && index.CanInsertRecord(SessionID, RecordBuffer);
  });
  return accepted;
}

bool TABSBaseIndexManager::CanUpdateRecord(int32_t SessionID, const uint8_t* OldRecordBuffer,
                                           const uint8_t* NewRecordBuffer) {
  bool accepted = true;
  forEachIndex([&](TABSBTreeRecordIndex& index) {
    accepted = accepted && index.CanUpdateRecord(SessionID, OldRecordBuffer, NewRecordBuffer);
  });
  return accepted;
}

void TABSBaseIndexManager::InsertRecord(const TABSIndexRowOperation& Row) {
  forEachIndex([&](TABSBTreeRecordIndex& index) {
    index.InsertRecord(Row);
    ++index.IndexDef().FTableState;
  });
}

void TABSBaseIndexManager::UpdateRecord(const TABSIndexRowOperation& Row,
                                        bool BeforeNewRecordIsStored) {
  forEachIndex([&](TABSBTreeRecordIndex& index) {
    index.UpdateRecord(Row, BeforeNewRecordIsStored);
    if (!BeforeNewRecordIsStored) ++index.IndexDef().FTableState;
  });
}

void TABSBaseIndexManager::DeleteRecord(const TABSIndexRowOperation& Row) {
  if (LRecordReader) {
    std::vector<uint8_t> stored(static_cast<size_t>(LRecordReader->RecordBufferSize()));
    if (!LRecordReader->ReadRecordBuffer(Row.SessionID, Row.CurrentRecordID, stored.data()))
      return;
  }
  forEachIndex([&](TABSBTreeRecordIndex& index) {
    index.DeleteRecord(Row);
    ++index.IndexDef().FTableState;
  });
}

}  // namespace zev
