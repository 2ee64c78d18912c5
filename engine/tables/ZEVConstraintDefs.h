// The constraint definitions of a table: TABSConstraintDef (the kind), the column constraints
// TABSConstraintDefNotNull and TABSConstraintDefCheck (a check adds a minimum and a maximum),
// the index constraints TABSConstraintDefUnique and TABSConstraintDefPrimary (a unique
// constraint of kind ctPK) with their TABSConstraintColumn lists, and TABSConstraintDefs, the
// list that stores each constraint behind its kind byte and creates the right class on loading.
//
// Names (schema, table, column, index) are short strings: at most 255 characters, and at most
// 254 behind the 1-byte counts of the column constraints.
//
// Ownership: a check owns its two values; the list owns its definitions.
// Locking: none (guarded by the owner of the list).
// Errors: EABSException 30316 (a stored kind the list cannot create), 10424 (Assign), and the
// stream texts with the codes of the item cut.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/ZEVMetaObjectDefs.h"
#include "engine/tables/ZEVVariant.h"

namespace zev {

enum TABSConstraintType : uint8_t { ctPK = 0, ctFK = 1, ctUnique = 2, ctNotNull = 3, ctCheck = 4 };

class TABSConstraintDef : public TABSMetaObjectDef {
 public:
  void Assign(const TABSMetaObjectDef& Source) override;

  TABSConstraintType FConstraintType;

 protected:
  explicit TABSConstraintDef(TABSConstraintType ConstraintType) : FConstraintType(ConstraintType) {}
};

// A constraint on one column. A check is a not-null definition with its own stream codes and
// two values more.
class TABSConstraintDefNotNull : public TABSConstraintDef {
 public:
  TABSConstraintDefNotNull() : TABSConstraintDefNotNull(ctNotNull) {}

  void Assign(const TABSMetaObjectDef& Source) override;
  // Header, schema / table / column object ids, then schema / table / column names as short
  // strings behind a 1-byte count.
  void LoadFromStream(TABSStream& Stream) override;
  void SaveToStream(TABSStream& Stream) const override;
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;

  AnsiString FTableSchemaName;
  AnsiString FTableName;
  AnsiString FColumnName;
  int32_t FTableSchemaObjectID = -1;
  int32_t FTableObjectID = -1;
  int32_t FColumnObjectID = -1;

 protected:
  explicit TABSConstraintDefNotNull(TABSConstraintType ConstraintType)
      : TABSConstraintDef(ConstraintType) {}
};

class TABSConstraintDefCheck : public TABSConstraintDefNotNull {
 public:
  TABSConstraintDefCheck() : TABSConstraintDefNotNull(ctCheck) {}

  void Assign(const TABSMetaObjectDef& Source) override;
  // As a not-null definition (with the check's codes), then the minimum and the maximum as
  // TABSVariant records.
  void LoadFromStream(TABSStream& Stream) override;
  void SaveToStream(TABSStream& Stream) const override;
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;

  TABSVariant FMinValue;
  TABSVariant FMaxValue;
};

struct TABSConstraintColumn {
  AnsiString ColumnName;
  int32_t ColumnObjectID = -1;

  bool operator==(const TABSConstraintColumn&) const = default;
};

class TABSConstraintDefUnique : public TABSConstraintDef {
 public:
  TABSConstraintDefUnique() : TABSConstraintDefUnique(ctUnique) {}

  void Assign(const TABSMetaObjectDef& Source) override;
  // Header, schema / table / index object ids, schema / table / index names as short strings
  // behind a 32-bit count, the column count, then per column its object id and name.
  void LoadFromStream(TABSStream& Stream) override;
  void SaveToStream(TABSStream& Stream) const override;
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;

  AnsiString FTableSchemaName;
  AnsiString FTableName;
  AnsiString FIndexName;
  int32_t FTableSchemaObjectID = -1;
  int32_t FTableObjectID = -1;
  int32_t FIndexObjectID = -1;
  std::vector<TABSConstraintColumn> Columns;

 protected:
  explicit TABSConstraintDefUnique(TABSConstraintType ConstraintType)
      : TABSConstraintDef(ConstraintType) {}
};

class TABSConstraintDefPrimary : public TABSConstraintDefUnique {
 public:
  TABSConstraintDefPrimary() : TABSConstraintDefUnique(ctPK) {}
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
};

class TABSConstraintDefs : public TABSMetaObjectDefs {
 public:
  // Each appends a new empty constraint of its kind and answers it.
  TABSConstraintDefNotNull* AddNotNull();
  TABSConstraintDefCheck* AddCheck();
  TABSConstraintDefPrimary* AddPK();
  TABSConstraintDefUnique* AddUnique();

  TABSConstraintDef* Items(int Index) const {
    return static_cast<TABSConstraintDef*>(TABSMetaObjectDefs::Items(Index));
  }

 protected:
  // The kind byte (10220), then the definition of that kind; 30316 for a kind not loadable.
  std::unique_ptr<TABSMetaObjectDef> loadItem(TABSStream& Stream) const override;
  // The kind byte (10219), then the definition.
  void saveItem(TABSStream& Stream, const TABSMetaObjectDef& Def) const override;
  bool isOwnKind(const TABSMetaObjectDef& Def) const override;
};

}  // namespace zev
