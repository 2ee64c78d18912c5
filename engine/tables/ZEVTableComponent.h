// TABSTable: the dataset of one table, in the order of its active index (chosen by IndexName or
// IndexFieldNames), with key search (SetKey / EditKey / GotoKey / GotoNearest / FindKey /
// FindNearest), ranges, and CreateTable, which builds the table from the framework definitions
// (FieldDefs, IndexDefs) or the engine's (AdvFieldDefs, AdvIndexDefs).
//
// Ownership: owns its definition lists; the rest as TABSDataSet. Errors: EDatabaseError
// "Missing TableName property", "Field index out of range", "Cannot access index field '%s'",
// "No index currently active"; EABSException 10325 and the creation errors (30499, 30453,
// 20257, 20048 to 20050, 20182).
#pragma once

#include <functional>
#include <vector>

#include "engine/tables/ZEVAdvDefs.h"
#include "engine/tables/ZEVDataSetComponent.h"

class TABSTable : public TABSDataSet {
 public:
  explicit TABSTable(TComponent* Owner);
  ~TABSTable() override;

  const AnsiString& TableName() const { return FTableName; }
  void SetTableName(const AnsiString& Name);
  // The index name, or "" when the index was chosen by its fields.
  AnsiString IndexName() const { return FFieldsIndex ? AnsiString() : FIndexName; }
  void SetIndexName(const AnsiString& Name);
  AnsiString IndexFieldNames() const { return FFieldsIndex ? FIndexFieldNames : AnsiString(); }
  void SetIndexFieldNames(const AnsiString& FieldNames);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Exclusive);
  bool Exists();
  int IndexFieldCount() const { return static_cast<int>(FIndexFieldMap.size()); }

  // --- Key search ---
  void SetKey();
  void EditKey();
  zev::TField& GetIndexField(int Index);
  bool KeyExclusive();
  void SetKeyExclusive(bool Exclusive);
  int32_t KeyFieldCount();
  void SetKeyFieldCount(int32_t Count);
  bool GotoKey();
  void GotoNearest();
  // The values in order into the first key fields (as text), then GotoKey / GotoNearest.
  bool FindKey(const std::vector<AnsiString>& KeyValues);
  void FindNearest(const std::vector<AnsiString>& KeyValues);

  // --- Ranges ---
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  void ApplyRange();
  void CancelRange();

  // --- Creation ---
  void CreateTable();

  // --- Copying (ZEVDatabaseMaintenance.cpp) ---
  // Opens the table in the table layer's repair mode (before opening): the record page index
  // is checked against the record pages in the file and rebuilt when they disagree.
  void SetRepairing(bool Repairing) { FRepairing = Repairing; }
  bool Repairing() const { return FRepairing; }
  // Copies this table with its rows (and, with CopyIndexes, its indexes) into Destination
  // (Requires: connected) as NewTableName. Progress runs from ProgressFrom to ProgressTo
  // through OnProgress (Percent, var Continue); answers false when Continue was cleared.
  // 20297 for a field definition without its field object; 30448 when the destination table
  // exists and Overwrite is off; 30450 when it cannot be created. With IgnoreErrors these and
  // the rows that cannot be read or written go to Log instead, and the table is skipped
  // (or its copy stops at the first unreadable row).
  bool CopyTable(const AnsiString& NewTableName, TABSDatabase& Destination, bool CopyIndexes,
                 bool Overwrite, bool IgnoreErrors, AnsiString& Log, int ProgressFrom,
                 int ProgressTo, const std::function<void(int, bool&)>& OnProgress);
  TABSAdvFieldDefs& AdvFieldDefs() { return FAdvFieldDefs; }
  TABSAdvIndexDefs& AdvIndexDefs() { return FAdvIndexDefs; }

 protected:
  std::unique_ptr<zev::TABSLocalCursor> CreateHandle() override;
  void HandleOpened() override;
  void PostKeyEntry() override;
  void CancelKeyEntry() override;

 private:
  void beginKeyEntry(int Index, bool Clear);
  void buildKeyMap();
  AnsiString resolvedIndexName() const;
  void applyIndex();
  // Re-reads the rows around the cursor's row, under a shared table lock when one is granted.
  void showCursorRow();
  template <class F>
  void underSharedLock(F&& Action);
  zev::TABSLocalCursor& prepareKeySearch();
  void fillKey(const std::vector<AnsiString>& KeyValues);

  AnsiString FTableName;
  AnsiString FIndexName;
  AnsiString FIndexFieldNames;
  bool FFieldsIndex = false;
  bool FExclusive = false;
  bool FRepairing = false;
  TABSAdvFieldDefs FAdvFieldDefs;
  TABSAdvIndexDefs FAdvIndexDefs;
};
