#include "engine/tables/ZEVFieldManager.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVTableErrors.h"

namespace zev {

namespace {

uint8_t* slotOf(uint8_t* RecordBuffer, const TABSFieldDef& Def) {
  return RecordBuffer + Def.FMemoryOffset;
}
const uint8_t* slotOf(const uint8_t* RecordBuffer, const TABSFieldDef& Def) {
  return RecordBuffer + Def.FMemoryOffset;
}

// Length of a single-byte string slot's value including its terminator (the whole slot when
// it has none).
int32_t stringExtent(const uint8_t* Slot, int32_t Size) {
  const auto* end = Slot + Size;
  const auto* terminator = std::find(Slot, end, uint8_t{0});
  return terminator == end ? Size : static_cast<int32_t>(terminator - Slot) + 1;
}

// The same for a UTF-16 slot: up to and including the first zero unit.
int32_t wideStringExtent(const uint8_t* Slot, int32_t Size) {
  for (int32_t i = 0; i + 1 < Size; i += 2) {
    if (GetUInt16LE(Slot + i) == 0) return i + 2;
  }
  return Size;
}

// An integer slot as a signed 64-bit value: unsigned storage types zero-extended, signed ones
// sign-extended.
int64_t readSlotInteger(const TABSFieldDef& Def, const uint8_t* Slot) {
  switch (Def.FBaseFieldType) {
    case bftSignedInt8:
      return static_cast<int8_t>(Slot[0]);
    case bftUnsignedInt8:
      return Slot[0];
    case bftSignedInt16:
      return GetInt16LE(Slot);
    case bftUnsignedInt16:
      return GetUInt16LE(Slot);
    case bftSignedInt32:
      return GetInt32LE(Slot);
    case bftUnsignedInt32:
      return GetUInt32LE(Slot);
    default:
      return GetInt64LE(Slot);
  }
}

// The lowest memory-data-size bytes of Value, little-endian.
void writeSlotInteger(const TABSFieldDef& Def, uint8_t* Slot, int64_t Value) {
  uint8_t bytes[8];
  PutInt64LE(bytes, Value);
  std::memcpy(Slot, bytes, static_cast<size_t>(std::clamp<int32_t>(Def.FMemoryDataSize, 0, 8)));
}

}  // namespace

// --- TABSSessionSequenceValues ------------------------------------------------------------------

void TABSSessionSequenceValues::Set(int32_t SequenceID, int64_t LastValue) {
  for (TABSSessionNamedObjectSequenceValue& value : FValues) {
    if (value.SequenceID == SequenceID) {
      value.LastValue = LastValue;
      return;
    }
  }
  FValues.push_back({SequenceID, LastValue});
}

const TABSSessionNamedObjectSequenceValue* TABSSessionSequenceValues::Find(
    int32_t SequenceID) const {
  for (const TABSSessionNamedObjectSequenceValue& value : FValues) {
    if (value.SequenceID == SequenceID) return &value;
  }
  return nullptr;
}

// --- TABSRecordFieldAccess ----------------------------------------------------------------------

const TABSFieldDef& TABSRecordFieldAccess::checkedField(int FieldNo,
                                                        const errors::TNativeMessage& Code) const {
  if (FieldNo < 0 || FieldNo >= LFieldDefs.Count()) {
    errors::Raise(Code, {FieldNo, LFieldDefs.Count()});
  }
  return *LFieldDefs.Items(FieldNo);
}

int TABSRecordFieldAccess::underlyingFieldNo(int FieldNo,
                                             const errors::TNativeMessage& Code) const {
  if (!LVisibleFieldDefs) {
    checkedField(FieldNo, Code);
    return FieldNo;
  }
  if (FieldNo < 0 || FieldNo >= LVisibleFieldDefs->Count()) {
    errors::Raise(Code, {FieldNo, LVisibleFieldDefs->Count()});
  }
  const int underlying = LVisibleFieldDefs->Items(FieldNo)->FFieldNoReference;
  checkedField(underlying, Code);
  return underlying;
}

bool TABSRecordFieldAccess::GetFieldData(int FieldNo, void* Buffer,
                                         const uint8_t* RecordBuffer) const {
  const int fieldNo = underlyingFieldNo(FieldNo, errors::kInvalidFieldNoAtGetData);
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  if (IsFieldNull(RecordBuffer, fieldNo)) return false;
  if (!Buffer) return true;
  const TABSFieldDef& def = *LFieldDefs.Items(fieldNo);
  const uint8_t* slot = slotOf(RecordBuffer, def);
  auto* out = static_cast<uint8_t*>(Buffer);
  // BLOBs are read through their streams: a BLOB slot means nothing to the dataset.
  if (IsBLOBAdvancedFieldType(def.FAdvancedFieldType)) return true;
  switch (def.FAdvancedFieldType) {
    case aftShortint:
      PutInt16LE(out, static_cast<int8_t>(slot[0]));
      break;
    case aftCardinal:
      PutUInt64LE(out, GetUInt32LE(slot));
      break;
    case aftSingle:
      PutDoubleLE(out, static_cast<double>(std::bit_cast<float>(GetUInt32LE(slot))));
      break;
    case aftExtended:
      PutDoubleLE(out, ExtendedToDouble(slot));
      break;
    case aftByte:
    case aftAutoIncByte:
      // The dataset's buffer is a 16-bit word; writing the whole word (high byte 0) leaves no
      // stale byte in it.
      PutUInt16LE(out, slot[0]);
      break;
    default:
      std::memcpy(out, slot, static_cast<size_t>(def.FMemoryDataSize));
      break;
  }
  return true;
}

void TABSRecordFieldAccess::SetFieldData(int FieldNo, const void* Buffer,
                                         uint8_t* RecordBuffer) const {
  const int fieldNo = underlyingFieldNo(FieldNo, errors::kInvalidFieldNoAtSetData);
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  const TABSFieldDef& def = *LFieldDefs.Items(fieldNo);
  const auto* in = static_cast<const uint8_t*>(Buffer);
  // An empty string is stored as NULL.
  const bool isNull =
      !in ||
      (IsStringLikeAdvancedFieldType(def.FAdvancedFieldType) &&
       !IsWideStringAdvancedFieldType(def.FAdvancedFieldType) && in[0] == 0) ||
      (IsWideStringAdvancedFieldType(def.FAdvancedFieldType) && GetUInt16LE(in) == 0);
  if (isNull) {
    SetFieldNull(RecordBuffer, fieldNo, true);
    return;
  }
  SetFieldNull(RecordBuffer, fieldNo, false);
  uint8_t* slot = slotOf(RecordBuffer, def);
  // The slot of a BLOB field is written by the BLOB streams only; a dataset buffer is no slot.
  if (IsBLOBAdvancedFieldType(def.FAdvancedFieldType)) return;
  switch (def.FAdvancedFieldType) {
    case aftShortint:
      slot[0] = static_cast<uint8_t>(GetUInt16LE(in));
      break;
    case aftCardinal:
      PutUInt32LE(slot, static_cast<uint32_t>(GetUInt64LE(in)));
      break;
    case aftSingle:
      PutUInt32LE(slot, std::bit_cast<uint32_t>(static_cast<float>(GetDoubleLE(in))));
      break;
    case aftExtended:
      DoubleToExtended(GetDoubleLE(in), slot);
      break;
    case aftByte:
    case aftAutoIncByte:
      slot[0] = in[0];  // the low byte of the 16-bit word
      break;
    default:
      std::memcpy(slot, in, static_cast<size_t>(def.FMemoryDataSize));
      break;
  }
}

void TABSRecordFieldAccess::GetFieldValue(TABSVariant& Value, int FieldNo,
                                          const uint8_t* RecordBuffer) const {
  const TABSFieldDef& def = checkedField(FieldNo, errors::kInvalidFieldNoAtGetValue);
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  if (IsFieldNull(RecordBuffer, FieldNo)) {
    Value.SetData(nullptr, 0, def.FBaseFieldType);
    return;
  }
  Value.SetData(slotOf(RecordBuffer, def), def.FMemoryDataSize, def.FBaseFieldType);
}

void TABSRecordFieldAccess::SetFieldValue(const TABSVariant& Value, int FieldNo,
                                          uint8_t* RecordBuffer) const {
  const TABSFieldDef& def = checkedField(FieldNo, errors::kInvalidFieldNoAtSetValue);
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  if (Value.IsNull()) {
    SetFieldNull(RecordBuffer, FieldNo, true);
    return;
  }
  TABSVariant value(Value);
  value.Cast(def.FBaseFieldType);
  // The empty string: the field holds a value, the slot keeps what it had.
  if (!(IsStringFieldType(value.DataType()) && value.DataSize() <= 1)) {
    value.CopyDataToAddress(slotOf(RecordBuffer, def), def.FMemoryDataSize);
  }
  SetFieldNull(RecordBuffer, FieldNo, false);
}

void TABSRecordFieldAccess::ClearStringFieldsGarbage(uint8_t* RecordBuffer) const {
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  for (int i = 0; i < LFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *LFieldDefs.Items(i);
    if (!IsStringFieldType(def.FBaseFieldType)) continue;
    uint8_t* slot = slotOf(RecordBuffer, def);
    const int32_t size = def.FMemoryDataSize;
    int32_t keep = 0;
    if (!IsFieldNull(RecordBuffer, i)) {
      keep = IsWideStringFieldType(def.FBaseFieldType) ? wideStringExtent(slot, size)
                                                       : stringExtent(slot, size);
    }
    std::memset(slot + keep, 0, static_cast<size_t>(size - keep));
  }
}

void TABSRecordFieldAccess::InternalInitRecord(uint8_t* RecordBuffer, bool InsertMode) const {
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  const int32_t bitmapSize = LFieldDefs.GetNullBitmapSize();
  std::memset(RecordBuffer, 0xFF, static_cast<size_t>(bitmapSize));
  std::memset(RecordBuffer + bitmapSize, 0,
              static_cast<size_t>(LFieldDefs.GetMemoryRecordBufferSize() - bitmapSize));
  if (InsertMode) ApplyDefaultValuesToRecordBuffer(RecordBuffer);
}

void TABSRecordFieldAccess::ApplyDefaultValuesToRecordBuffer(uint8_t* RecordBuffer) const {
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  for (int i = 0; i < LFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *LFieldDefs.Items(i);
    if (IsBLOBFieldType(def.FBaseFieldType) || def.FDefaultValue.IsNull()) continue;
    TABSVariant value(def.FDefaultValue);
    value.Cast(def.FBaseFieldType);
    value.CopyDataToAddress(slotOf(RecordBuffer, def), def.FMemoryDataSize);
    SetFieldNull(RecordBuffer, i, false);
  }
}

// --- TABSBaseFieldManager -----------------------------------------------------------------------

void TABSBaseFieldManager::LoadMetadata(TABSStream& Stream) {
  FFieldDefs.LoadFromStream(Stream);
  FFieldDefs.RecalcFieldOffsets();
  InitLastAutoIncValues();
}

void TABSBaseFieldManager::SaveMetadata(TABSStream& Stream) const {
  FFieldDefs.SaveToStream(Stream);
}

void TABSBaseFieldManager::LoadMostUpdated(const uint8_t* Buf, int32_t& Offset) {
  if (FLastAutoIncValues.size() != static_cast<size_t>(FFieldDefs.Count())) {
    InitLastAutoIncValues();
  }
  const int32_t stored = std::max<int32_t>(GetInt32LE(Buf + Offset), 0);
  Offset += 4;
  // A block written for a field list of another length yields only the values of the fields
  // both lists have (the first min(n, field count)); the others keep their values. Offset
  // still moves past all n stored values, so that what follows them is read in its place.
  const int32_t count = std::min(stored, FFieldDefs.Count());
  for (int32_t i = 0; i < count; ++i) FLastAutoIncValues[i] = GetInt64LE(Buf + Offset + 8 * i);
  Offset += 8 * stored;
}

void TABSBaseFieldManager::SaveMostUpdated(uint8_t* Buf, int32_t& Offset) const {
  const int32_t count = FFieldDefs.Count();
  PutInt32LE(Buf + Offset, count);
  Offset += 4;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t value =
        static_cast<size_t>(i) < FLastAutoIncValues.size() ? FLastAutoIncValues[i] : 0;
    PutInt64LE(Buf + Offset, value);
    Offset += 8;
  }
}

void TABSBaseFieldManager::InitLastAutoIncValues() {
  FLastAutoIncValues.assign(static_cast<size_t>(FFieldDefs.Count()), 0);
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    if (IsAutoincFieldType(def.FAdvancedFieldType)) {
      FLastAutoIncValues[i] = def.FAutoincInitialValue;
    }
  }
}

void TABSBaseFieldManager::DiskRecordBufferToMemRecordBuffer(const uint8_t* DiskBuffer,
                                                             uint8_t* MemBuffer) const {
  std::memset(MemBuffer, 0, static_cast<size_t>(FFieldDefs.GetMemoryRecordBufferSize()));
  std::memcpy(MemBuffer, DiskBuffer, static_cast<size_t>(FFieldDefs.GetNullBitmapSize()));
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    std::memcpy(MemBuffer + def.FMemoryOffset, DiskBuffer + def.FDiskOffset,
                static_cast<size_t>(def.FDiskDataSize));
  }
}

void TABSBaseFieldManager::MemRecordBufferToDiskRecordBuffer(const uint8_t* MemBuffer,
                                                             uint8_t* DiskBuffer) const {
  std::memset(DiskBuffer, 0, static_cast<size_t>(FFieldDefs.GetDiskRecordBufferSize()));
  std::memcpy(DiskBuffer, MemBuffer, static_cast<size_t>(FFieldDefs.GetNullBitmapSize()));
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    std::memcpy(DiskBuffer + def.FDiskOffset, MemBuffer + def.FMemoryOffset,
                static_cast<size_t>(def.FDiskDataSize));
  }
}

// Both rows are memory forms of the row as stored, so what a slot holds beyond its stored
// value must not count: the bytes after a string's terminator (left over by shorter values)
// and the memory-only tail of a BLOB slot beyond its disk data size. Every other byte of a
// slot is compared as it is: equal stored bytes are exactly equal values, with no collation
// or number conversion that could call two different stored rows equal.
bool TABSBaseFieldManager::CompareRecordBuffers(const uint8_t* Buffer1,
                                                const uint8_t* Buffer2) const {
  const auto bitmapSize = static_cast<size_t>(FFieldDefs.GetNullBitmapSize());
  if (std::memcmp(Buffer1, Buffer2, bitmapSize) != 0) return false;
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    if (IsFieldNull(Buffer1, i)) continue;  // NULL in both: nothing more to compare
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    const uint8_t* slot1 = slotOf(Buffer1, def);
    const uint8_t* slot2 = slotOf(Buffer2, def);
    int32_t size = std::min(def.FMemoryDataSize, def.FDiskDataSize);
    if (IsWideStringFieldType(def.FBaseFieldType)) {
      size = wideStringExtent(slot1, size);
    } else if (IsStringFieldType(def.FBaseFieldType)) {
      size = stringExtent(slot1, size);
    }
    if (std::memcmp(slot1, slot2, static_cast<size_t>(size)) != 0) return false;
  }
  return true;
}

bool TABSBaseFieldManager::BlobFieldsPresent() const {
  bool present = false;
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    if (!IsBLOBFieldType(def.FBaseFieldType)) continue;
    if (def.FBLOBBlockSize <= 0) errors::Raise(errors::kZeroBLOBBlockSize, {def.FName});
    present = true;
  }
  return present;
}

void TABSBaseFieldManager::ApplyDefaultValuesToRecordBuffer(uint8_t* RecordBuffer) const {
  FieldAccess().ApplyDefaultValuesToRecordBuffer(RecordBuffer);
}

const TABSFieldDef& TABSBaseFieldManager::autoincField(int FieldNo) const {
  if (FieldNo < 0 || FieldNo >= FFieldDefs.Count()) {
    errors::Raise(errors::kInvalidFieldNoAtGetData, {FieldNo, FFieldDefs.Count()});
  }
  return *FFieldDefs.Items(FieldNo);
}

void TABSBaseFieldManager::ApplyAutoincsToRecordBuffer(TABSSessionSequenceValues& Sequences,
                                                       uint8_t* RecordBuffer) {
  if (!RecordBuffer) errors::Raise(errors::kRecordBufferIsNil);
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TABSFieldDef& def = *FFieldDefs.Items(i);
    if (!IsAutoincFieldType(def.FAdvancedFieldType)) continue;
    uint8_t* slot = slotOf(RecordBuffer, def);
    if (IsFieldNull(RecordBuffer, i)) {
      writeSlotInteger(def, slot, GetNextAutoinc(Sequences, i));
      SetFieldNull(RecordBuffer, i, false);
    } else {
      UpdateLastAutoinc(Sequences, i, readSlotInteger(def, slot));
    }
  }
}

int64_t TABSBaseFieldManager::GetNextAutoinc(TABSSessionSequenceValues& Sequences, int FieldNo) {
  const TABSFieldDef& def = autoincField(FieldNo);
  if (FLastAutoIncValues.size() != static_cast<size_t>(FFieldDefs.Count())) {
    InitLastAutoIncValues();
  }
  const int64_t increment = def.FAutoincIncrement != 0 ? def.FAutoincIncrement : 1;
  int64_t next = 0;
  // Running past the 64-bit range counts as passing the maximum.
  const bool overflow = __builtin_add_overflow(FLastAutoIncValues[FieldNo], increment, &next);
  if (def.FAutoincMaxValue != 0 && (overflow || next > def.FAutoincMaxValue)) {
    if (!def.FAutoincCycled) errors::Raise(errors::kAutoincMaxValueExceeded, {def.FName});
    next = def.FAutoincMinValue;
  }
  FLastAutoIncValues[FieldNo] = next;
  Sequences.Set(def.FObjectID, next);
  return next;
}

int64_t TABSBaseFieldManager::GetLastAutoinc(const TABSSessionSequenceValues& Sequences,
                                             bool MultiUser, int FieldNo) const {
  const TABSFieldDef& def = autoincField(FieldNo);
  if (const TABSSessionNamedObjectSequenceValue* value = Sequences.Find(def.FObjectID)) {
    return value->LastValue;
  }
  if (MultiUser) errors::Raise(errors::kNoSequenceLastValue, {def.FName});
  if (!IsAutoincFieldType(def.FAdvancedFieldType)) return 0;
  return static_cast<size_t>(FieldNo) < FLastAutoIncValues.size() ? FLastAutoIncValues[FieldNo]
                                                                  : def.FAutoincInitialValue;
}

void TABSBaseFieldManager::UpdateLastAutoinc(TABSSessionSequenceValues& Sequences, int FieldNo,
                                             int64_t InsertedValue) {
  const TABSFieldDef& def = autoincField(FieldNo);
  if (FLastAutoIncValues.size() != static_cast<size_t>(FFieldDefs.Count())) {
    InitLastAutoIncValues();
  }
  if (InsertedValue <= FLastAutoIncValues[FieldNo]) return;
  FLastAutoIncValues[FieldNo] = InsertedValue;
  Sequences.Set(def.FObjectID, InsertedValue);
}

}  // namespace zev
