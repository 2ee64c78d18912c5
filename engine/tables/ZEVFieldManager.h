// The per-table field manager and the field access on row buffers.
//
// TABSSessionSequenceValues: what one session remembers of the sequences it drew from, one
// TABSSessionNamedObjectSequenceValue per sequence (identified by the field's object id).
//
// TABSRecordFieldAccess: reads and writes one field of a memory-form row buffer, through the
// dataset layer's field buffers (GetFieldData / SetFieldData) or through TABSVariant
// (GetFieldValue / SetFieldValue), and initialises rows. It is a small view over field lists
// owned elsewhere, so that a cursor (with its own copies of the lists) and the field manager
// share one implementation: the dataset path counts the visible fields when a visible list is
// given (each mapped to its underlying field by FFieldNoReference), the variant path always
// counts all fields.
//
// TABSBaseFieldManager: one per open table. Owns the table's field definitions and the last
// autoincrement value of every field; converts rows between their memory and disk forms,
// compares rows, applies defaults and autoincrement values, and reads and writes the
// autoincrement part of the most-updated block.
//
// Ownership: the manager owns FFieldDefs and FLastAutoIncValues; a TABSRecordFieldAccess and
// every operation only link to the lists, buffers and sequence stores they are handed.
// Locking: none; the owner of the table object (or cursor) serialises the calls.
// Errors: EABSException 10000, 10004, 10005, 10006 (field number out of range), 10001 (no row
// buffer), 10421, 20160, 30012, 20056 (a value larger than its slot), the conversion errors of
// TABSVariant, and the stream texts of the definition lists.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVVariant.h"

namespace zev {

// --- Session sequence values --------------------------------------------------------------------
struct TABSSessionNamedObjectSequenceValue {
  int32_t SequenceID = -1;  // the object id of the autoincrement field
  int64_t LastValue = 0;
};

class TABSSessionSequenceValues {
 public:
  TABSSessionSequenceValues() = default;
  TABSSessionSequenceValues(const TABSSessionSequenceValues&) = delete;
  TABSSessionSequenceValues& operator=(const TABSSessionSequenceValues&) = delete;

  // Records LastValue for the sequence, replacing an older record of it.
  void Set(int32_t SequenceID, int64_t LastValue);
  // The record of the sequence, nullptr when the session has none; valid until the next Set
  // or Clear.
  const TABSSessionNamedObjectSequenceValue* Find(int32_t SequenceID) const;
  void Clear() { FValues.clear(); }
  int Count() const { return static_cast<int>(FValues.size()); }

 private:
  std::vector<TABSSessionNamedObjectSequenceValue> FValues;
};

// --- Field access on row buffers ---------------------------------------------------------------
// Requires: the lists outlive the view and hold their offsets (RecalcFieldOffsets); every row
// buffer holds at least the memory row size of FieldDefs.
class TABSRecordFieldAccess {
 public:
  explicit TABSRecordFieldAccess(const TABSFieldDefs& FieldDefs,
                                 const TABSFieldDefs* VisibleFieldDefs = nullptr)
      : LFieldDefs(FieldDefs), LVisibleFieldDefs(VisibleFieldDefs) {}

  // Dataset path. FieldNo counts the visible fields (all fields without a visible list).
  // Answers false for a NULL field (nothing copied), else true and, when Buffer is given, the
  // value in the dataset's buffer format: nothing for the BLOB declared types, aftShortint as
  // int16, aftCardinal as int64, aftSingle and aftExtended as double, aftByte and
  // aftAutoIncByte as a 16-bit word (high byte 0), the slot's bytes for the rest.
  // 10000 for FieldNo out of range, 10001 without RecordBuffer.
  bool GetFieldData(int FieldNo, void* Buffer, const uint8_t* RecordBuffer) const;
  // Makes the field NULL when Buffer is null, when a string-like declared type (1, 2, 36)
  // gets a first byte 0 or a wide one (3, 4) a first 16-bit unit 0; else stores the value with
  // the inverse conversions and clears the NULL bit. A BLOB declared type only has its NULL bit
  // set or cleared: its slot belongs to the BLOB streams. 10004, 10001.
  void SetFieldData(int FieldNo, const void* Buffer, uint8_t* RecordBuffer) const;

  // Variant path; FieldNo counts all fields. GetFieldValue gives NULL of the field's type or
  // a copy of the whole slot (its memory data size) with the field's storage type (10005).
  // SetFieldValue sets the NULL bit for a NULL value; otherwise it clears the bit and stores
  // Value cast to the field's storage type, 20056 when it does not fit the slot; a string of
  // size 0 or 1 (the empty string) leaves the slot as it was (10006).
  void GetFieldValue(TABSVariant& Value, int FieldNo, const uint8_t* RecordBuffer) const;
  void SetFieldValue(const TABSVariant& Value, int FieldNo, uint8_t* RecordBuffer) const;

  // NULL string slots zeroed whole, non-NULL ones zeroed after their terminator.
  void ClearStringFieldsGarbage(uint8_t* RecordBuffer) const;
  // Every bitmap bit set, the field area zeroed, and in insert mode the defaults applied.
  void InternalInitRecord(uint8_t* RecordBuffer, bool InsertMode) const;
  // For every non-BLOB field with a non-NULL default: the default cast to the field's storage
  // type is stored and the NULL bit cleared (defaults are literals).
  void ApplyDefaultValuesToRecordBuffer(uint8_t* RecordBuffer) const;

  const TABSFieldDefs& FieldDefs() const { return LFieldDefs; }

 private:
  // The underlying field number of visible field FieldNo; Code's error when out of range.
  int underlyingFieldNo(int FieldNo, const errors::TNativeMessage& Code) const;
  const TABSFieldDef& checkedField(int FieldNo, const errors::TNativeMessage& Code) const;

  const TABSFieldDefs& LFieldDefs;
  const TABSFieldDefs* LVisibleFieldDefs;
};

// --- Field manager ------------------------------------------------------------------------------
class TABSBaseFieldManager {
 public:
  TABSBaseFieldManager() = default;
  TABSBaseFieldManager(const TABSBaseFieldManager&) = delete;
  TABSBaseFieldManager& operator=(const TABSBaseFieldManager&) = delete;

  // Reads the field list, lays the row out and resets the last autoincrement values.
  void LoadMetadata(TABSStream& Stream);
  void SaveMetadata(TABSStream& Stream) const;

  // The autoincrement part of the most-updated block at Offset, advancing Offset past it:
  //   int32 n | n x int64 last value of each field, in field order
  void LoadMostUpdated(const uint8_t* Buf, int32_t& Offset);
  void SaveMostUpdated(uint8_t* Buf, int32_t& Offset) const;
  // Size in bytes of what SaveMostUpdated writes.
  int32_t MostUpdatedSize() const { return 4 + 8 * FieldDefs().Count(); }

  // One value per field: an autoincrement field's initial value, 0 for the others.
  void InitLastAutoIncValues();

  // Row conversions (Requires: both buffers hold their row sizes). The target is zero-filled,
  // then takes the bitmap and every field's disk data size bytes.
  void DiskRecordBufferToMemRecordBuffer(const uint8_t* DiskBuffer, uint8_t* MemBuffer) const;
  void MemRecordBufferToDiskRecordBuffer(const uint8_t* MemBuffer, uint8_t* DiskBuffer) const;

  // True when two memory-form rows hold the same stored values: equal bitmaps, then every
  // non-NULL slot equal over at most its disk data size, a string slot only up to and
  // including its terminator.
  bool CompareRecordBuffers(const uint8_t* Buffer1, const uint8_t* Buffer2) const;

  // True when some field has a BLOB storage type; 10421 for a BLOB field whose block size is
  // not positive.
  bool BlobFieldsPresent() const;

  void ApplyDefaultValuesToRecordBuffer(uint8_t* RecordBuffer) const;

  // FieldNo of the sequence operations counts all fields; out of range it raises 10000.
  // Before a row is stored: a NULL autoincrement field takes the next value (its NULL bit
  // cleared); a given value above the last one becomes the last one, of the table and of the
  // session.
  void ApplyAutoincsToRecordBuffer(TABSSessionSequenceValues& Sequences, uint8_t* RecordBuffer);
  // Last value plus the increment (1 for an increment of 0); past a non-zero maximum: the
  // minimum when cycled, else 20160. The value is recorded in the session.
  int64_t GetNextAutoinc(TABSSessionSequenceValues& Sequences, int FieldNo);
  // The session's last value of the field's sequence; without one 30012 in a multi-user
  // session, else the table's last value (0 for a field that is no autoincrement).
  int64_t GetLastAutoinc(const TABSSessionSequenceValues& Sequences, bool MultiUser,
                         int FieldNo) const;
  // A value inserted explicitly: above the last value it becomes the last one, of the table
  // and of the session.
  void UpdateLastAutoinc(TABSSessionSequenceValues& Sequences, int FieldNo, int64_t InsertedValue);

  TABSFieldDefs& FieldDefs() { return FFieldDefs; }
  const TABSFieldDefs& FieldDefs() const { return FFieldDefs; }
  const std::vector<int64_t>& LastAutoIncValues() const { return FLastAutoIncValues; }
  // A view for field access over all fields of the table.
  TABSRecordFieldAccess FieldAccess() const { return TABSRecordFieldAccess(FFieldDefs); }

 private:
  const TABSFieldDef& autoincField(int FieldNo) const;

  TABSFieldDefs FFieldDefs;
  std::vector<int64_t> FLastAutoIncValues;
};

}  // namespace zev
