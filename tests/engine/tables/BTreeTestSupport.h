// B-tree tests: a table's fields and one index over them on a real database file, rows kept in
// memory and read back by identifier (the record reader the full-key comparison uses), and
// helpers that build keys and references.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/tables/ABSBTree.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVIndexDefs.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace btreetest {

using Bytes = std::vector<uint8_t>;

struct TFieldSpec {
  const char* Name;
  zev::TABSAdvancedFieldType Type;
  int32_t Size;
};

struct TColumnSpec {
  const char* FieldName;
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t MaxIndexedSize = 20;
};

inline zev::TABSPageItemID idOf(int32_t PageNo, uint16_t ItemNo = 0) {
  zev::TABSPageItemID id;
  id.PageNo = PageNo;
  id.PageItemNo = ItemNo;
  return id;
}

inline Bytes referenceOf(const zev::TABSPageItemID& Id) {
  Bytes reference(zev::TABSPageItemID::Size);
  Id.Store(reference.data());
  return reference;
}

// Rows in memory form, by identifier.
class TRowStore : public zev::TABSRecordReader {
 public:
  explicit TRowStore(const zev::TABSFieldDefs& Fields) : LFields(Fields) {}

  int32_t RecordBufferSize() const override { return LFields.GetMemoryRecordBufferSize(); }
  bool ReadRecordBuffer(int32_t, const zev::TABSPageItemID& RecordID, uint8_t* Buffer) override {
    ++Reads;
    auto row = FRows.find({RecordID.PageNo, RecordID.PageItemNo});
    if (row == FRows.end()) return false;
    std::memcpy(Buffer, row->second.data(), row->second.size());
    return true;
  }

  // A row with every field NULL.
  Bytes NewRow() const {
    Bytes row(static_cast<size_t>(RecordBufferSize()), 0);
    for (int i = 0; i < LFields.Count(); ++i) row[static_cast<size_t>(i / 8)] |= 1 << (i % 8);
    return row;
  }
  void SetInteger(Bytes& Row, int FieldNo, int32_t Value) const {
    zev::PutInt32LE(Row.data() + LFields.Items(FieldNo)->FMemoryOffset, Value);
    Row[static_cast<size_t>(FieldNo / 8)] &= static_cast<uint8_t>(~(1 << (FieldNo % 8)));
  }
  void SetString(Bytes& Row, int FieldNo, const std::string& Value) const {
    const zev::TABSFieldDef& field = *LFields.Items(FieldNo);
    std::memset(Row.data() + field.FMemoryOffset, 0, static_cast<size_t>(field.FMemoryDataSize));
    std::memcpy(Row.data() + field.FMemoryOffset, Value.data(), Value.size());
    Row[static_cast<size_t>(FieldNo / 8)] &= static_cast<uint8_t>(~(1 << (FieldNo % 8)));
  }
  void Put(const zev::TABSPageItemID& Id, const Bytes& Row) { FRows[{Id.PageNo, Id.PageItemNo}] = Row; }
  void Remove(const zev::TABSPageItemID& Id) { FRows.erase({Id.PageNo, Id.PageItemNo}); }

  int Reads = 0;

 private:
  const zev::TABSFieldDefs& LFields;
  std::map<std::pair<int32_t, uint16_t>, Bytes> FRows;
};

// Field definitions laid out for rows.
inline std::unique_ptr<zev::TABSFieldDefs> makeFields(const std::vector<TFieldSpec>& Specs) {
  auto fields = std::make_unique<zev::TABSFieldDefs>();
  for (const TFieldSpec& spec : Specs) {
    zev::TABSFieldDef* field = fields->AddCreated();
    field->FName = spec.Name;
    field->SetFieldDefDataType(spec.Type, spec.Size);
  }
  fields->RecalcFieldOffsets();
  return fields;
}

inline std::unique_ptr<zev::TABSIndexDef> makeIndex(const char* Name,
                                                    const std::vector<TColumnSpec>& Columns) {
  auto index = std::make_unique<zev::TABSIndexDef>();
  index->FName = Name;
  for (const TColumnSpec& spec : Columns) {
    zev::TABSIndexColumn column;
    column.FFieldName = spec.FieldName;
    column.FDescending = spec.Descending;
    column.FCaseInsensitive = spec.CaseInsensitive;
    column.FMaxIndexedSize = spec.MaxIndexedSize;
    index->FIndexColumns.push_back(column);
  }
  return index;
}

}  // namespace btreetest
