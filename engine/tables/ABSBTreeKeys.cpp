#include "engine/tables/ABSBTreeKeys.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVIndexDefs.h"
#include "engine/tables/ZEVVariant.h"

namespace zev {

namespace {

constexpr uint8_t kNullMarker = 1;

int sign(int Value) { return (Value > 0) - (Value < 0); }

}  // namespace

int CompareReferences(const uint8_t* Reference1, const uint8_t* Reference2, int32_t Size) {
  if (Size == static_cast<int32_t>(TABSPageItemID::Size)) {
    const int32_t page1 = GetInt32LE(Reference1), page2 = GetInt32LE(Reference2);
    if (page1 != page2) return page1 < page2 ? -1 : 1;
    const uint16_t item1 = GetUInt16LE(Reference1 + 4), item2 = GetUInt16LE(Reference2 + 4);
    return item1 == item2 ? 0 : (item1 < item2 ? -1 : 1);
  }
  return sign(std::memcmp(Reference1, Reference2, static_cast<size_t>(Size)));
}

// --- TABSBTreeKeyRef -------------------------------------------------------------------------

void TABSBTreeKeyRef::SetPartCount(int32_t Count) {
  Parts.resize(static_cast<size_t>(std::max(Count, 0)));
  FCompareFieldCount = PartCount();
}

void TABSBTreeKeyRef::SetCompareFieldCount(int32_t Count) {
  FCompareFieldCount = Count < 0 ? PartCount() : std::min(Count, PartCount());
}

// --- TABSPageKeyRef --------------------------------------------------------------------------

TABSPageKeyRef::TABSPageKeyRef() {
  TABSKeyPart part;
  part.ShortSize = part.FullSize = 4;
  part.DataType = bftSignedInt32;
  Parts.push_back(part);
  FCompareFieldCount = 1;
  FShortKeySize = FFullKeySize = 4;
  FReferenceSize = 2;
}

int TABSPageKeyRef::CompareShortKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2, bool,
                                     int32_t, const uint8_t*, const uint8_t*) {
  return CompareFullKeys(KeyBuffer1, KeyBuffer2);
}

int TABSPageKeyRef::CompareFullKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2) {
  const int32_t key1 = GetInt32LE(KeyBuffer1), key2 = GetInt32LE(KeyBuffer2);
  return key1 == key2 ? 0 : (key1 < key2 ? -1 : 1);
}

// --- TABSRecordKeyRef ------------------------------------------------------------------------

void TABSRecordKeyRef::Assign(const TABSIndexDef& IndexDef, const TABSFieldDefs* FieldDefs) {
  if (!FieldDefs) errors::Raise(errors::kKeyRefWithoutFields);
  SetPartCount(0);
  for (const TABSIndexColumn& column : IndexDef.FIndexColumns) {
    const int32_t fieldNo = FieldDefs->GetDefNumberByName(column.FFieldName);
    if (fieldNo < 0) errors::Raise(errors::kCannotFindIndexField, {column.FFieldName});
    const TABSFieldDef& field = *FieldDefs->Items(fieldNo);
    if (IsBLOBFieldType(field.FBaseFieldType))
      errors::Raise(errors::kCannotIndexBlobField, {column.FFieldName});
    AddPart(fieldNo, field.FMemoryOffset, field.FMemoryDataSize, field.FBaseFieldType,
            column.FDescending, column.FCaseInsensitive, column.FMaxIndexedSize);
  }
}

void TABSRecordKeyRef::AddPart(int32_t FieldNo, int32_t OffsetInRecordBuffer,
                               int32_t MemoryDataSize, TABSBaseFieldType DataType,
                               bool Descending, bool CaseInsensitive, int32_t MaxIndexedSize) {
  TABSKeyPart part;
  part.FieldNo = FieldNo;
  part.OffsetInRecordBuffer = OffsetInRecordBuffer;
  part.DataType = DataType;
  part.Descending = Descending;
  part.CaseInsensitive = CaseInsensitive;
  part.FullSize = MemoryDataSize + 1;
  // A prefix of a number or a date orders nothing: only text and bytes are cut.
  const bool cut = MaxIndexedSize >= 0 && MaxIndexedSize < MemoryDataSize &&
                   (IsStringFieldType(DataType) || DataType == bftBytes ||
                    DataType == bftVarBytes);
  part.AddedSize = cut ? 2 : 0;
  part.ShortSize = cut ? MaxIndexedSize + 3 : MemoryDataSize + 1;
  part.OffsetInShortKeyBuffer = FShortKeySize;
  part.OffsetInFullKeyBuffer = FFullKeySize;
  FShortKeySize += part.ShortSize;
  FFullKeySize += part.FullSize;
  Parts.push_back(part);
  FCompareLengths.push_back(-1);
  FCompareFieldCount = PartCount();
}

void TABSRecordKeyRef::SetPartCount(int32_t Count) {
  TABSBTreeKeyRef::SetPartCount(Count);
  FCompareLengths.resize(Parts.size(), -1);
  FShortKeySize = FFullKeySize = 0;
  for (const TABSKeyPart& part : Parts) {
    FShortKeySize += part.ShortSize;
    FFullKeySize += part.FullSize;
  }
}

void TABSRecordKeyRef::MakeShortKeyFromRecordBuffer(const uint8_t* RecordBuffer, uint8_t* Key) {
  for (const TABSKeyPart& part : Parts) {
    uint8_t* target = Key + part.OffsetInShortKeyBuffer;
    if (IsFieldNull(RecordBuffer, part.FieldNo)) {
      target[0] = kNullMarker;
      continue;
    }
    target[0] = 0;
    std::memcpy(target + 1, RecordBuffer + part.OffsetInRecordBuffer,
                static_cast<size_t>(part.ShortValueSize()));
  }
  LRecordBuffer = RecordBuffer;
}

void TABSRecordKeyRef::MakeFullKeyFromRecordBuffer(const uint8_t* RecordBuffer,
                                                   uint8_t* Key) const {
  for (const TABSKeyPart& part : Parts) {
    uint8_t* target = Key + part.OffsetInFullKeyBuffer;
    if (IsFieldNull(RecordBuffer, part.FieldNo)) {
      target[0] = kNullMarker;
      continue;
    }
    target[0] = 0;
    std::memcpy(target + 1, RecordBuffer + part.OffsetInRecordBuffer,
                static_cast<size_t>(part.FullValueSize()));
  }
}

int TABSRecordKeyRef::comparePart(const TABSKeyPart& Part, const uint8_t* Value1,
                                  const uint8_t* Value2, int32_t ValueSize,
                                  int32_t CompareLength) const {
  const bool null1 = Value1[0] == kNullMarker, null2 = Value2[0] == kNullMarker;
  int result;
  if (null1 || null2)
    result = null1 == null2 ? 0 : (null1 ? -1 : 1);
  else
    result = CompareValues(Part.DataType, Value1 + 1, Value2 + 1, ValueSize, Part.CaseInsensitive,
                           CompareLength);
  return Part.Descending ? -result : result;
}

int TABSRecordKeyRef::CompareFullKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2) {
  for (int32_t i = 0; i < FCompareFieldCount; ++i) {
    const TABSKeyPart& part = Parts[static_cast<size_t>(i)];
    const int result = comparePart(part, KeyBuffer1 + part.OffsetInFullKeyBuffer,
                                   KeyBuffer2 + part.OffsetInFullKeyBuffer, part.FullValueSize(),
                                   FCompareLengths[static_cast<size_t>(i)]);
    if (result != 0) return result;
  }
  return 0;
}

// Whether a truncated value uses every byte of its prefix (it may have been cut).
bool TABSRecordKeyRef::fillsPrefix(const TABSKeyPart& Part, const uint8_t* Value) const {
  const int32_t size = Part.ShortValueSize();
  if (IsWideStringFieldType(Part.DataType)) {
    for (int32_t i = 0; i + 1 < size; i += 2)
      if (Value[i] == 0 && Value[i + 1] == 0) return false;
    return true;
  }
  if (IsStringFieldType(Part.DataType)) return std::memchr(Value, 0, static_cast<size_t>(size)) == nullptr;
  return true;
}

int TABSRecordKeyRef::compareRows(int32_t SessionID, const uint8_t* Reference1,
                                  const uint8_t* Reference2) {
  if (!LTableData) errors::Raise(errors::kCannotRetrieveRecordForIndex);
  const size_t rowSize = static_cast<size_t>(LTableData->RecordBufferSize());
  std::vector<uint8_t> row1(rowSize), row2(rowSize);
  const uint8_t* first = LRecordBuffer;
  if (Reference1) {
    TABSPageItemID id;
    id.Load(Reference1);
    if (!LTableData->ReadRecordBuffer(SessionID, id, row1.data()))
      errors::Raise(errors::kCannotRetrieveRecordForIndex);
    first = row1.data();
  }
  TABSPageItemID id;
  if (!first || !Reference2) errors::Raise(errors::kCannotRetrieveRecordForIndex);
  id.Load(Reference2);
  if (!LTableData->ReadRecordBuffer(SessionID, id, row2.data()))
    errors::Raise(errors::kCannotRetrieveRecordForIndex);
  std::vector<uint8_t> key1(static_cast<size_t>(FFullKeySize)), key2(key1.size());
  MakeFullKeyFromRecordBuffer(first, key1.data());
  MakeFullKeyFromRecordBuffer(row2.data(), key2.data());
  return CompareFullKeys(key1.data(), key2.data());
}

int TABSRecordKeyRef::CompareShortKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2,
                                       bool MayUseFullKeys, int32_t SessionID,
                                       const uint8_t* Reference1, const uint8_t* Reference2) {
  for (int32_t i = 0; i < FCompareFieldCount; ++i) {
    const TABSKeyPart& part = Parts[static_cast<size_t>(i)];
    const uint8_t* value1 = KeyBuffer1 + part.OffsetInShortKeyBuffer;
    const uint8_t* value2 = KeyBuffer2 + part.OffsetInShortKeyBuffer;
    const int32_t length = FCompareLengths[static_cast<size_t>(i)];
    const int result = comparePart(part, value1, value2, part.ShortValueSize(), length);
    if (result != 0) return result;
    const bool prefixMayHideDifference = part.Truncated() && value1[0] != kNullMarker &&
                                         (length < 0 || length > part.ShortValueSize());
    if (!prefixMayHideDifference || !fillsPrefix(part, value1 + 1)) continue;
    if (!MayUseFullKeys) return 0;
    return compareRows(SessionID, Reference1, Reference2);
  }
  return 0;
}

}  // namespace zev
