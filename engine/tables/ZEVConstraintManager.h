// TABSConstraintManager: checks a row that is about to be stored against the constraints of
// its table, in definition order, and reports the first violation:
//   not-null   the column holds a value                                   (30026)
//   check      a non-NULL value is not below the minimum nor above the maximum; a NULL bound
//              imposes nothing, a NULL value passes                          (30029, 30030)
//   unique     the constraint's index accepts the row                       (30320)
//   primary    not every key column is NULL (30330), and its index accepts the row (30319)
// A constraint column is the field of its name (ignoring case), or of its object id when the
// name is empty; a column that names no field raises 30024. The index of a unique or primary
// constraint is the index definition with its FIndexObjectID, else the one named FIndexName
// (ignoring case); none raises 20018. An insert asks the index CanInsertRecord, an update
// CanUpdateRecord with the row as it was when editing began, so that a row keeps its own key.
// Foreign keys have no definition class and are not checked here.
//
// Ownership: links only; the constraint and field definitions and the index manager belong to
// the table and outlive the manager. Locking: none; called under the table's locks.
// Errors: EABSException with the codes above; the index and storage errors pass through.
#pragma once

#include <cstdint>

#include "engine/tables/ABSBaseIndexManager.h"
#include "engine/tables/ZEVConstraintDefs.h"
#include "engine/tables/ZEVFieldDefs.h"

namespace zev {

class TABSConstraintManager {
 public:
  // Links: the table's constraint and field definitions and its index manager, which outlive it.
  TABSConstraintManager(const TABSConstraintDefs& ConstraintDefs, const TABSFieldDefs& FieldDefs,
                        TABSBaseIndexManager& IndexManager);
  TABSConstraintManager(const TABSConstraintManager&) = delete;
  TABSConstraintManager& operator=(const TABSConstraintManager&) = delete;

  // Checks the row about to be stored (NewRecordBuffer, memory form) against every constraint
  // in definition order and raises the first violation. OldRecordBuffer is the row as it was when
  // editing began (null for an insert).
  // Requires: row buffers of the memory row size of the field definitions, laid out
  // (RecalcFieldOffsets). An update without an old row is checked as an insert.
  void CheckConstraints(int32_t SessionID, const uint8_t* NewRecordBuffer,
                        const uint8_t* OldRecordBuffer, bool ToInsert);
  // The same, answering whether the row passes: false for every error CheckConstraints raises
  // itself (violations, 30024, 20018); errors of the indexes and the storage pass through.
  bool RecordPassesConstraints(int32_t SessionID, const uint8_t* NewRecordBuffer,
                               const uint8_t* OldRecordBuffer, bool ToInsert);

 private:
  // The number of the field a constraint column names; 30024 with ObjectID when none.
  int fieldNoOf(const AnsiString& ColumnName, int32_t ColumnObjectID) const;
  void checkNotNull(const TABSConstraintDefNotNull& Constraint, const uint8_t* NewRecordBuffer);
  void checkRange(const TABSConstraintDefCheck& Constraint, const uint8_t* NewRecordBuffer);
  void checkKeyNotNull(const TABSConstraintDefUnique& Constraint, const uint8_t* NewRecordBuffer);
  // Asks the constraint's index whether the row's key is free; Violation when it is taken.
  void checkNoDuplicate(int32_t SessionID, const TABSConstraintDefUnique& Constraint,
                        const uint8_t* NewRecordBuffer, const uint8_t* OldRecordBuffer,
                        bool ToInsert, const errors::TNativeMessage& Violation);
  TABSBTreeRecordIndex& indexOf(const TABSConstraintDefUnique& Constraint);

  const TABSConstraintDefs& LConstraintDefs;
  const TABSFieldDefs& LFieldDefs;
  TABSBaseIndexManager& LIndexManager;
};

}  // namespace zev
