// TABSFieldDef, one field of a table: declared and storage type, size, the data sizes and
// offsets derived from them, BLOB storage attributes, the autoincrement sequence attributes and
// the default value; and TABSFieldDefs, a table's ordered field list, which lays out the row:
// a null bitmap of ceil(n/8) bytes, then every field unpadded in definition order, in memory
// with its memory data size and on disk with its disk data size (6 bytes for a BLOB slot
// instead of 10).
//
// Default values are literals: a default is used as the value it holds, never evaluated as an
// expression, so there is no parsed default expression to keep.
//
// Ownership: a field definition owns its default value; the list owns its definitions.
// Locking: none (guarded by the owner of the list).
// Errors: EABSException 30007, 30008, 30050 (types without a storage type or size), 10424
// (Assign), and the stream texts with the codes of the item cut.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "engine/storage/ZEVCompression.h"
#include "engine/storage/ZEVPage.h"
#include "engine/tables/ZEVMetaObjectDefs.h"
#include "engine/tables/ZEVTypes.h"
#include "engine/tables/ZEVVariant.h"

namespace zev {

class TABSFieldDef : public TABSMetaObjectDef {
 public:
  static constexpr int32_t kDefaultBLOBBlockSize = 102400;

  void Assign(const TABSMetaObjectDef& Source) override;
  // Header, types, size, BLOB attributes (BLOB storage types only), the five autoincrement
  // items and the default value record; the data sizes are derived again (30050 for a storage
  // type without a size).
  void LoadFromStream(TABSStream& Stream) override;
  void SaveToStream(TABSStream& Stream) const override;
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;

  // Declares the field by its declared type (storage type: the first row of the type table,
  // 30007 when none) or by its storage type (declared type: the first row with it, 30008 when
  // none), stores the size and recomputes the data sizes.
  void SetFieldDefDataType(TABSAdvancedFieldType AdvancedFieldType, int32_t FieldSize);
  void SetFieldDefDataType(TABSBaseFieldType BaseFieldType, int32_t FieldSize);
  // Memory and disk data sizes from the storage type and the size; 30050 for an unknown type.
  void RecalcDataSizes();

  TABSBaseFieldType FBaseFieldType = bftUnknown;
  TABSAdvancedFieldType FAdvancedFieldType = aftUnknown;
  int32_t FFieldSize = 0;
  int32_t FDiskDataSize = 0;    // derived
  int32_t FMemoryDataSize = 0;  // derived
  int32_t FDiskOffset = 0;      // derived by TABSFieldDefs::RecalcFieldOffsets
  int32_t FMemoryOffset = 0;    // derived by TABSFieldDefs::RecalcFieldOffsets
  // In a cursor's visible field list, the number of the underlying field. Not stored.
  int32_t FFieldNoReference = 0;
  TABSVariant FDefaultValue;  // NULL when the field has no default
  TABSCompressionAlgorithm FBLOBCompressionAlgorithm = acaNone;
  uint8_t FBLOBCompressionMode = 0;
  int32_t FBLOBBlockSize = kDefaultBLOBBlockSize;
  int64_t FAutoincIncrement = 1;
  int64_t FAutoincInitialValue = 0;
  int64_t FAutoincMinValue = 0;
  int64_t FAutoincMaxValue = std::numeric_limits<int64_t>::max();
  bool FAutoincCycled = false;
};

class TABSFieldDefs : public TABSMetaObjectDefs {
 public:
  // Appends a new field definition (all defaults) and answers it.
  TABSFieldDef* AddCreated();
  // Loads the list and lays the row out again.
  void LoadFromStream(TABSStream& Stream) override;
  // Assigns the list and lays the row out again.
  void Assign(const TABSMetaObjectDefs& Source) override;

  // Memory and disk offsets of every field from the data sizes the definitions hold.
  void RecalcFieldOffsets();
  // Null bitmap size: ceil(Count() / 8).
  int32_t GetNullBitmapSize() const { return (Count() + 7) / 8; }
  // Bitmap plus the memory (disk) data sizes of all fields.
  int32_t GetMemoryRecordBufferSize() const;
  int32_t GetDiskRecordBufferSize() const;

  TABSFieldDef* GetFieldDefByName(const AnsiString& Name) const {
    return static_cast<TABSFieldDef*>(GetDefByName(Name));
  }
  TABSFieldDef* Items(int Index) const {
    return static_cast<TABSFieldDef*>(TABSMetaObjectDefs::Items(Index));
  }

 protected:
  std::unique_ptr<TABSMetaObjectDef> createDef() const override;
  bool isOwnKind(const TABSMetaObjectDef& Def) const override;
};

// --- Null bitmap of a memory- or disk-form row ------------------------------------------------
// Bit (FieldNo mod 8) of byte (FieldNo div 8) set means the field is NULL.
inline bool IsFieldNull(const uint8_t* RecordBuffer, int FieldNo) {
  return (RecordBuffer[FieldNo / 8] & (1u << (FieldNo % 8))) != 0;
}
inline void SetFieldNull(uint8_t* RecordBuffer, int FieldNo, bool IsNull) {
  const auto bit = static_cast<uint8_t>(1u << (FieldNo % 8));
  if (IsNull) {
    RecordBuffer[FieldNo / 8] |= bit;
  } else {
    RecordBuffer[FieldNo / 8] &= static_cast<uint8_t>(~bit);
  }
}

// Positions in a cursor's row buffer: the memory form of the row, then the row's 6-byte
// identifier (the bookmark), one further byte, then the dataset layer's calculated fields.
struct TABSCursorBufferLayout {
  int32_t FieldValuesOffset = 0;  // memory offset of the first field, 0 without fields
  int32_t BookmarkOffset = 0;     // end of the last field
  int32_t KeyOffset = 0;
  int32_t KeyBufferSize = 0;
  int32_t RecordSize = 0;
  int32_t RecordBufferSize = 0;
  int32_t CalculatedFieldsOffset = 0;

  // Requires: offsets laid out (RecalcFieldOffsets).
  static TABSCursorBufferLayout Of(const TABSFieldDefs& FieldDefs) {
    TABSCursorBufferLayout layout;
    layout.FieldValuesOffset = FieldDefs.Count() > 0 ? FieldDefs.Items(0)->FMemoryOffset : 0;
    layout.BookmarkOffset = FieldDefs.GetMemoryRecordBufferSize();
    layout.KeyOffset = layout.BookmarkOffset;
    layout.KeyBufferSize = layout.BookmarkOffset + static_cast<int32_t>(TABSPageItemID::Size);
    layout.RecordSize = layout.RecordBufferSize = layout.CalculatedFieldsOffset =
        layout.KeyBufferSize + 1;
    return layout;
  }
};

}  // namespace zev
