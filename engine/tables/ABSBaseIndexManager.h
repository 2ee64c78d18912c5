// TABSBaseIndexManager: the indexes of one open table. Owns the table's index definitions and
// the index objects opened so far (created on first use), and keeps every index in step with
// the table's rows: each row insert, update and delete goes to every index in definition
// order and raises the definition's table state.
//
// Ownership: owns FIndexDefs and FOpenIndexList; links to the page manager, the table's field
// definitions and its record reader, which outlive it. Locking: none; used under the table's
// locks. Errors: 20018 for an unknown index, and those of the indexes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/ZEVStream.h"
#include "engine/tables/ABSBTreeIndex.h"
#include "engine/tables/ZEVIndexDefs.h"

namespace zev {

// Calls Visit for every row of the table in physical order.
using TABSRowEnumerator = std::function<void(
    const std::function<void(const TABSPageItemID& RecordID, const uint8_t* RecordBuffer)>& Visit)>;

class TABSBaseIndexManager {
 public:
  TABSBaseIndexManager(TABSPageManager& PageManager, const TABSFieldDefs& FieldDefs,
                       TABSRecordReader* RecordReader);
  virtual ~TABSBaseIndexManager() = default;
  TABSBaseIndexManager(const TABSBaseIndexManager&) = delete;
  TABSBaseIndexManager& operator=(const TABSBaseIndexManager&) = delete;

  // The index definition list (temporary indexes are not written).
  virtual void LoadMetadata(TABSStream& Stream);
  virtual void SaveMetadata(TABSStream& Stream);
  // Replaces the definitions by copies of IndexDefs.
  virtual void CreateIndexDefs(const TABSIndexDefs& IndexDefs);

  TABSIndexDefs& IndexDefs() { return FIndexDefs; }

  // The index of a definition's object identifier, opened on first use; 20018 when unknown.
  TABSBTreeRecordIndex& OpenIndex(int32_t IndexID);
  TABSBTreeRecordIndex* FindOpenIndex(int32_t IndexID);
  void CloseIndex(int32_t IndexID);

  // Adds a copy of IndexDef, creates its tree and fills it from Rows when given. A failure
  // removes the definition again and passes the error on.
  TABSBTreeRecordIndex& CreateIndex(int32_t SessionID, const TABSIndexDef& IndexDef,
                                    const TABSRowEnumerator& Rows = nullptr);
  // An empty tree for every definition (a new table).
  void CreateIndexesByIndexDefs(int32_t SessionID);
  void DropIndex(int32_t SessionID, int32_t IndexID);  // the tree and the definition
  void DropAllIndexes(int32_t SessionID);
  void EmptyIndex(int32_t SessionID, int32_t IndexID);
  void EmptyAllIndexes(int32_t SessionID);

  // Whether every unique and primary index accepts the row (no equal key there yet).
  bool CanInsertRecord(int32_t SessionID, const uint8_t* RecordBuffer);
  bool CanUpdateRecord(int32_t SessionID, const uint8_t* OldRecordBuffer,
                       const uint8_t* NewRecordBuffer);
  void InsertRecord(const TABSIndexRowOperation& Row);
  // Table states are raised in the call after the new row is stored.
  void UpdateRecord(const TABSIndexRowOperation& Row, bool BeforeNewRecordIsStored);
  // Nothing when the row can no longer be read by its identifier.
  void DeleteRecord(const TABSIndexRowOperation& Row);

  int32_t FindIndex(const std::vector<AnsiString>& FieldNames,
                    const std::vector<AnsiString>& AscDescList,
                    const std::vector<AnsiString>& CaseSensitivityList, int32_t SessionID) const {
    return FIndexDefs.FindIndex(FieldNames, AscDescList, CaseSensitivityList, SessionID,
                                LFieldDefs);
  }
  bool IsIndexExists(const std::vector<AnsiString>& FieldNames,
                     const std::vector<AnsiString>& AscDescList,
                     const std::vector<AnsiString>& CaseSensitivityList,
                     int32_t SessionID) const {
    return FindIndex(FieldNames, AscDescList, CaseSensitivityList, SessionID) != -1;
  }
  TABSPageManager& GetPageManager() { return LPageManager; }

 private:
  template <class F>
  void forEachIndex(F&& Action);

  TABSPageManager& LPageManager;
  const TABSFieldDefs& LFieldDefs;
  TABSRecordReader* LRecordReader;
  TABSIndexDefs FIndexDefs;
  std::vector<std::unique_ptr<TABSBTreeRecordIndex>> FOpenIndexList;
};

}  // namespace zev
