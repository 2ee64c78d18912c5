#include "engine/tables/ZEVConstraintManager.h"

#include <algorithm>
#include <iterator>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"
#include "engine/tables/ZEVConstraintErrors.h"
#include "engine/tables/ZEVFieldManager.h"
#include "engine/tables/ZEVVariant.h"

namespace zev {

namespace {

// The native codes CheckConstraints raises itself: what RecordPassesConstraints answers as
// "does not pass".
constexpr int kOwnCodes[] = {
    errors::kConstraintFieldNotFound.Code,  errors::kNotNullConstraintViolated.Code,
    errors::kCheckMinValueViolated.Code,    errors::kCheckMaxValueViolated.Code,
    errors::kUniqueConstraintViolated.Code, errors::kPrimaryKeyConstraintViolated.Code,
    errors::kPrimaryKeyIsNull.Code,         errors::kIndexNotFound.Code,
};

bool isOwnCode(int NativeError) {
  return std::find(std::begin(kOwnCodes), std::end(kOwnCodes), NativeError) != std::end(kOwnCodes);
}

}  // namespace

TABSConstraintManager::TABSConstraintManager(const TABSConstraintDefs& ConstraintDefs,
                                             const TABSFieldDefs& FieldDefs,
                                             TABSBaseIndexManager& IndexManager)
    : LConstraintDefs(ConstraintDefs), LFieldDefs(FieldDefs), LIndexManager(IndexManager) {}

void TABSConstraintManager::CheckConstraints(int32_t SessionID, const uint8_t* NewRecordBuffer,
                                             const uint8_t* OldRecordBuffer, bool ToInsert) {
  // The class of a definition follows its kind (the list creates them so); a definition whose
  // class does not fit its kind carries nothing to check.
  for (int i = 0; i < LConstraintDefs.Count(); ++i) {
    const TABSConstraintDef* def = LConstraintDefs.Items(i);
    switch (def->FConstraintType) {
      case ctNotNull:
        if (const auto* notNull = dynamic_cast<const TABSConstraintDefNotNull*>(def))
          checkNotNull(*notNull, NewRecordBuffer);
        break;
      case ctCheck:
        if (const auto* check = dynamic_cast<const TABSConstraintDefCheck*>(def))
          checkRange(*check, NewRecordBuffer);
        break;
      case ctUnique:
        if (const auto* unique = dynamic_cast<const TABSConstraintDefUnique*>(def)) {
          for (const TABSConstraintColumn& column : unique->Columns)
            fieldNoOf(column.ColumnName, column.ColumnObjectID);
          checkNoDuplicate(SessionID, *unique, NewRecordBuffer, OldRecordBuffer, ToInsert,
                           errors::kUniqueConstraintViolated);
        }
        break;
      case ctPK:
        if (const auto* primary = dynamic_cast<const TABSConstraintDefUnique*>(def)) {
          checkKeyNotNull(*primary, NewRecordBuffer);
          checkNoDuplicate(SessionID, *primary, NewRecordBuffer, OldRecordBuffer, ToInsert,
                           errors::kPrimaryKeyConstraintViolated);
        }
        break;
      case ctFK:
        break;
    }
  }
}

bool TABSConstraintManager::RecordPassesConstraints(int32_t SessionID,
                                                    const uint8_t* NewRecordBuffer,
                                                    const uint8_t* OldRecordBuffer, bool ToInsert) {
  try {
    CheckConstraints(SessionID, NewRecordBuffer, OldRecordBuffer, ToInsert);
  } catch (const EABSException& e) {
    if (!isOwnCode(e.NativeError())) throw;
    return false;
  }
  return true;
}

int TABSConstraintManager::fieldNoOf(const AnsiString& ColumnName, int32_t ColumnObjectID) const {
  const int fieldNo = ColumnName.empty() ? LFieldDefs.GetDefNumberByObjectId(ColumnObjectID)
                                         : LFieldDefs.GetDefNumberByName(ColumnName);
  if (fieldNo < 0) errors::Raise(errors::kConstraintFieldNotFound, {ColumnObjectID});
  return fieldNo;
}

void TABSConstraintManager::checkNotNull(const TABSConstraintDefNotNull& Constraint,
                                         const uint8_t* NewRecordBuffer) {
  const int fieldNo = fieldNoOf(Constraint.FColumnName, Constraint.FColumnObjectID);
  if (IsFieldNull(NewRecordBuffer, fieldNo))
    errors::Raise(errors::kNotNullConstraintViolated,
                  {Constraint.FName, LFieldDefs.Items(fieldNo)->FName});
}

void TABSConstraintManager::checkRange(const TABSConstraintDefCheck& Constraint,
                                       const uint8_t* NewRecordBuffer) {
  const int fieldNo = fieldNoOf(Constraint.FColumnName, Constraint.FColumnObjectID);
  TABSVariant value;
  TABSRecordFieldAccess(LFieldDefs).GetFieldValue(value, fieldNo, NewRecordBuffer);
  if (value.IsNull()) return;
  const AnsiString& fieldName = LFieldDefs.Items(fieldNo)->FName;
  if (!Constraint.FMinValue.IsNull() && value.Compare(Constraint.FMinValue) == cmprLower)
    errors::Raise(errors::kCheckMinValueViolated,
                  {Constraint.FName, fieldName, Constraint.FMinValue.AsAnsiString()});
  if (!Constraint.FMaxValue.IsNull() && value.Compare(Constraint.FMaxValue) == cmprGreater)
    errors::Raise(errors::kCheckMaxValueViolated,
                  {Constraint.FName, fieldName, Constraint.FMaxValue.AsAnsiString()});
}

void TABSConstraintManager::checkKeyNotNull(const TABSConstraintDefUnique& Constraint,
                                            const uint8_t* NewRecordBuffer) {
  bool allNull = true;
  AnsiString columnNames;
  for (const TABSConstraintColumn& column : Constraint.Columns) {
    const int fieldNo = fieldNoOf(column.ColumnName, column.ColumnObjectID);
    allNull = allNull && IsFieldNull(NewRecordBuffer, fieldNo);
    if (!columnNames.empty()) columnNames += ", ";
    columnNames += LFieldDefs.Items(fieldNo)->FName;
  }
  // A key without columns has nothing that could be NULL.
  if (allNull && !Constraint.Columns.empty())
    errors::Raise(errors::kPrimaryKeyIsNull, {Constraint.FName, columnNames});
}

void TABSConstraintManager::checkNoDuplicate(int32_t SessionID,
                                             const TABSConstraintDefUnique& Constraint,
                                             const uint8_t* NewRecordBuffer,
                                             const uint8_t* OldRecordBuffer, bool ToInsert,
                                             const errors::TNativeMessage& Violation) {
  TABSBTreeRecordIndex& index = indexOf(Constraint);
  const bool keyIsFree = ToInsert || !OldRecordBuffer
                             ? index.CanInsertRecord(SessionID, NewRecordBuffer)
                             : index.CanUpdateRecord(SessionID, OldRecordBuffer, NewRecordBuffer);
  if (!keyIsFree) errors::Raise(Violation, {Constraint.FName});
}

TABSBTreeRecordIndex& TABSConstraintManager::indexOf(const TABSConstraintDefUnique& Constraint) {
  TABSIndexDefs& indexDefs = LIndexManager.IndexDefs();
  // -1 is the object id of a definition that never received one: it identifies nothing.
  const TABSMetaObjectDef* def = Constraint.FIndexObjectID != -1
                                     ? indexDefs.GetDefByObjectId(Constraint.FIndexObjectID)
                                     : nullptr;
  if (!def && !Constraint.FIndexName.empty()) def = indexDefs.GetDefByName(Constraint.FIndexName);
  if (!def) errors::Raise(errors::kIndexNotFound);
  return LIndexManager.OpenIndex(def->FObjectID);
}

}  // namespace zev
