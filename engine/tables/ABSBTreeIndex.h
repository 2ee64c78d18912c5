// The two kinds of B-tree index:
//
//   TABSBTreeRecordIndex  one entry per row of a table: the short key built from the index
//                         columns of the row, and the row's identifier as reference. Keeps
//                         itself in step with row inserts, updates and deletes, refuses equal
//                         keys for unique and primary indexes, searches by condition and counts
//                         rows in index order.
//   TABSBTreePageIndex    page numbers with a 16-bit count each (a table's record pages, the
//                         BLOB pages), one entry per page number.
//
// Ownership: each owns its key description and tree and links to its index definition, the
// page manager, the table's field definitions and record reader, which outlive it.
// Locking: none; used under the table's locks. Errors: 20027, 20250 (entry not found), 20119
// (no root), 20074, 20075 and the tree's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/tables/ABSBTree.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVIndexDefs.h"

namespace zev {

// What a row operation hands the indexes: the row as it is now (stored, or about to be), for
// updates the row as it was when editing began, and the row's identifier.
struct TABSIndexRowOperation {
  int32_t SessionID = kSystemSessionID;
  const uint8_t* CurrentRecordBuffer = nullptr;
  const uint8_t* EditRecordBuffer = nullptr;
  TABSPageItemID CurrentRecordID;
};

class TABSBTreeRecordIndex {
 public:
  TABSBTreeRecordIndex(TABSIndexDef& IndexDef, TABSPageManager& PageManager,
                       const TABSFieldDefs& FieldDefs, TABSRecordReader* RecordReader);
  TABSBTreeRecordIndex(const TABSBTreeRecordIndex&) = delete;
  TABSBTreeRecordIndex& operator=(const TABSBTreeRecordIndex&) = delete;

  // Adds an empty root and writes its page number into the definition.
  void CreateIndex(int32_t SessionID);
  // Builds the key description over the definition's tree; 20119 without a root page.
  void OpenIndex();
  void DropIndex(int32_t SessionID);   // every page freed, RootPageNo -1
  void EmptyIndex(int32_t SessionID);  // every page but the root freed

  void InsertRecord(const TABSIndexRowOperation& Row);
  void DeleteRecord(const TABSIndexRowOperation& Row);  // 20027 when the entry is missing
  // Nothing when the full keys of the edited and current rows are equal; otherwise the old
  // entry goes before the new row is stored (20250 when missing), the new one after.
  void UpdateRecord(const TABSIndexRowOperation& Row, bool BeforeNewRecordIsStored);
  // False for a unique or primary index that has an entry with an equal key.
  bool CanInsertRecord(int32_t SessionID, const uint8_t* RecordBuffer);
  bool CanUpdateRecord(int32_t SessionID, const uint8_t* OldRecordBuffer,
                       const uint8_t* NewRecordBuffer);
  bool FullKeysEqual(const uint8_t* RecordBuffer1, const uint8_t* RecordBuffer2);

  // The position of a row's entry; false when it has none.
  bool GetIndexPosition(int32_t SessionID, const TABSPageItemID& RecordID,
                        const uint8_t* RecordBuffer, TABSKeyPath& Position);
  // The first (First) or last row whose first KeyFieldCount columns stand in Condition's
  // relation to the key values in KeyRecordBuffer (a row buffer); with PartialCompare string
  // columns compare as prefixes as long as the key row's strings.
  bool FindRecordID(int32_t SessionID, bool First, TABSSearchCondition Condition,
                    const uint8_t* KeyRecordBuffer, int32_t KeyFieldCount, bool PartialCompare,
                    TABSPageItemID& RecordID, TABSKeyPath* Position = nullptr);
  // The row identifier at a position.
  TABSPageItemID GetRecordIDByIndexPosition(int32_t SessionID, const TABSKeyPath& Position);
  // Row number in index order from 1, -1 when the row has no entry.
  int32_t GetRecNoByRecordID(int32_t SessionID, const TABSPageItemID& RecordID,
                             const uint8_t* RecordBuffer);
  TABSPageItemID GetRecordIDByRecNo(int32_t SessionID, int32_t RecNo);  // 20074, 20075
  int32_t GetMaxEntriesPerPage() const;

  void CheckIntegrity(int32_t SessionID) { FTree->CheckIntegrity(SessionID); }
  TABSIndexDef& IndexDef() { return LIndexDef; }
  TABSBTree& Tree() { return *FTree; }
  TABSRecordKeyRef& KeyRef() { return *FKeyRef; }

 private:
  std::vector<uint8_t> shortKeyOf(const uint8_t* RecordBuffer);
  std::vector<uint8_t> fullKeyOf(const uint8_t* RecordBuffer) const;

  TABSIndexDef& LIndexDef;
  TABSPageManager& LPageManager;
  const TABSFieldDefs& LFieldDefs;
  std::unique_ptr<TABSRecordKeyRef> FKeyRef;
  std::unique_ptr<TABSBTree> FTree;
};

class TABSBTreePageIndex {
 public:
  explicit TABSBTreePageIndex(TABSPageManager& PageManager, int32_t RootPageNo = -1);
  TABSBTreePageIndex(const TABSBTreePageIndex&) = delete;
  TABSBTreePageIndex& operator=(const TABSBTreePageIndex&) = delete;

  int32_t CreateIndex(int32_t SessionID);  // the new root's page number
  void OpenIndex(int32_t RootPageNo) { FTree->SetRootPageNo(RootPageNo); }
  int32_t RootPageNo() const { return FTree->RootPageNo(); }
  void DropIndex(int32_t SessionID) { FTree->FreeAllPages(SessionID, false); }
  void EmptyIndex(int32_t SessionID) { FTree->FreeAllPages(SessionID, true); }

  // Adds PageNo with its count, or replaces the count of a page already there.
  void SetPage(int32_t SessionID, int32_t PageNo, uint16_t Count);
  bool DeletePage(int32_t SessionID, int32_t PageNo);  // false when absent
  bool FindPage(int32_t SessionID, int32_t PageNo, uint16_t& Count);
  // Page numbers in ascending order: the first at or after PageNo; false past the last.
  bool FindPageAtOrAfter(int32_t SessionID, int32_t PageNo, int32_t& FoundPageNo,
                         uint16_t& Count);
  // The search for a page with room: from the last entry backwards over at most as many
  // entries as the last leaf page holds, then from the first entry forwards over at most as
  // many as the first leaf page holds; the first page whose count Fits answers. False when no
  // visited page fits (or the index is empty).
  bool FindPageFromBothEnds(int32_t SessionID, const std::function<bool(uint16_t)>& Fits,
                            int32_t& PageNo);
  int32_t PageCount(int32_t SessionID) { return FTree->EntryCount(SessionID); }
  void CheckIntegrity(int32_t SessionID) { FTree->CheckIntegrity(SessionID); }
  TABSBTree& Tree() { return *FTree; }

 private:
  TABSPageKeyRef FKeyRef;
  std::unique_ptr<TABSBTree> FTree;
};

}  // namespace zev
