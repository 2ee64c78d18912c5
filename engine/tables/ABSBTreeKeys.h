// Key descriptions of the B-trees: how a key is laid out in an index entry and how two keys
// compare.
//
//   TABSBTreeKeyRef   the base: short key size (bytes kept per entry), full key size,
//                     reference size, the parts and how many leading parts a comparison uses;
//   TABSPageKeyRef    page indexes: one signed 32-bit part, no NULL marker, 2-byte reference;
//   TABSRecordKeyRef  record indexes: one part per index column, each a marker byte (1 NULL,
//                     0 a value) and the field's bytes; a column indexed by its first
//                     MaxIndexedSize bytes keeps that prefix plus two zero bytes in the short
//                     key, and two tied prefixes are decided by reading both rows through the
//                     record reader and comparing their full keys.
//
// Ownership: a record key description links to the record reader and keeps a link to the row
// its last short key was built from (LRecordBuffer); both must outlive its comparisons.
// Locking: none; one session uses a key description at a time.
// Errors: 20043, 20044, 20295 while building; 20170 when the fallback cannot read a row; the
// value comparison failures (30045 to 30047).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVPage.h"
#include "engine/tables/ZEVTypes.h"

namespace zev {

class TABSFieldDefs;
class TABSIndexDef;

// Reads a row by its identifier for the full-key comparison of truncated parts. Implemented by
// the table's record manager.
class TABSRecordReader {
 public:
  virtual ~TABSRecordReader() = default;
  // Bytes of a row buffer in memory form.
  virtual int32_t RecordBufferSize() const = 0;
  // Reads the row into Buffer (RecordBufferSize bytes); false when it cannot be read.
  virtual bool ReadRecordBuffer(int32_t SessionID, const TABSPageItemID& RecordID,
                                uint8_t* Buffer) = 0;
};

struct TABSKeyPart {
  int32_t OffsetInShortKeyBuffer = 0;
  int32_t OffsetInFullKeyBuffer = 0;
  int32_t OffsetInRecordBuffer = 0;  // the field's memory offset
  int32_t FieldNo = 0;
  int32_t ShortSize = 0;  // marker + kept value bytes + AddedSize
  int32_t FullSize = 0;   // marker + the whole value
  int32_t AddedSize = 0;  // 2 for a truncated part
  TABSBaseFieldType DataType = bftUnknown;
  bool Descending = false;
  bool CaseInsensitive = false;

  bool Truncated() const { return AddedSize != 0; }
  int32_t ShortValueSize() const { return ShortSize - AddedSize - 1; }
  int32_t FullValueSize() const { return FullSize - 1; }
};

// -1, 0 or 1: six-byte row identifiers by PageNo (signed) then PageItemNo (unsigned); other
// sizes byte by byte as unsigned bytes.
int CompareReferences(const uint8_t* Reference1, const uint8_t* Reference2, int32_t Size);

class TABSBTreeKeyRef {
 public:
  TABSBTreeKeyRef() = default;
  virtual ~TABSBTreeKeyRef() = default;
  TABSBTreeKeyRef(const TABSBTreeKeyRef&) = delete;
  TABSBTreeKeyRef& operator=(const TABSBTreeKeyRef&) = delete;

  virtual void SetPartCount(int32_t Count);
  // -1, 0 or 1 over the first CompareFieldCount parts of two short keys. With MayUseFullKeys a
  // tie on a truncated prefix is decided by the full keys of the rows behind the keys
  // (Reference1 null: the row the first key was built from). Reference2 names the second row.
  virtual int CompareShortKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2,
                               bool MayUseFullKeys, int32_t SessionID,
                               const uint8_t* Reference1, const uint8_t* Reference2) = 0;
  virtual int CompareFullKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2) = 0;

  int32_t ShortKeySize() const { return FShortKeySize; }
  int32_t FullKeySize() const { return FFullKeySize; }
  uint16_t ReferenceSize() const { return FReferenceSize; }
  void SetReferenceSize(uint16_t Size) { FReferenceSize = Size; }
  bool KeyIsReference() const { return FKeyIsReference; }
  int32_t PartCount() const { return static_cast<int32_t>(Parts.size()); }
  int32_t CompareFieldCount() const { return FCompareFieldCount; }
  // At most PartCount(); a negative count means all parts.
  void SetCompareFieldCount(int32_t Count);

  std::vector<TABSKeyPart> Parts;

 protected:
  int32_t FShortKeySize = 0;
  int32_t FFullKeySize = 0;
  uint16_t FReferenceSize = 0;
  bool FKeyIsReference = false;
  int32_t FCompareFieldCount = 0;
};

class TABSPageKeyRef : public TABSBTreeKeyRef {
 public:
  TABSPageKeyRef();
  int CompareShortKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2, bool MayUseFullKeys,
                       int32_t SessionID, const uint8_t* Reference1,
                       const uint8_t* Reference2) override;
  int CompareFullKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2) override;
};

class TABSRecordKeyRef : public TABSBTreeKeyRef {
 public:
  explicit TABSRecordKeyRef(TABSRecordReader* RecordReader = nullptr)
      : LTableData(RecordReader) {
    FReferenceSize = TABSPageItemID::Size;
  }

  // One part per column of the index, from the fields the columns name (ignoring case).
  // Raises 20044 without fields, 20043 for a column naming no field, 20295 for a BLOB field.
  void Assign(const TABSIndexDef& IndexDef, const TABSFieldDefs* FieldDefs);
  // Appends one part over a field of the row; MaxIndexedSize smaller than a string field's
  // memory data size truncates the part (values of other types are always kept whole).
  void AddPart(int32_t FieldNo, int32_t OffsetInRecordBuffer, int32_t MemoryDataSize,
               TABSBaseFieldType DataType, bool Descending, bool CaseInsensitive,
               int32_t MaxIndexedSize);
  void SetRecordReader(TABSRecordReader* RecordReader) { LTableData = RecordReader; }

  void SetPartCount(int32_t Count) override;
  int CompareShortKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2, bool MayUseFullKeys,
                       int32_t SessionID, const uint8_t* Reference1,
                       const uint8_t* Reference2) override;
  int CompareFullKeys(const uint8_t* KeyBuffer1, const uint8_t* KeyBuffer2) override;

  // Write every part at its offset: the NULL marker from the row's null bitmap, then the
  // value. Requires: Key holds ShortKeySize (FullKeySize) zero bytes.
  void MakeShortKeyFromRecordBuffer(const uint8_t* RecordBuffer, uint8_t* Key);
  void MakeFullKeyFromRecordBuffer(const uint8_t* RecordBuffer, uint8_t* Key) const;

  // Per part: -1, or a character count compared as a prefix.
  std::vector<int32_t> FCompareLengths;

 private:
  int comparePart(const TABSKeyPart& Part, const uint8_t* Value1, const uint8_t* Value2,
                  int32_t ValueSize, int32_t CompareLength) const;
  bool fillsPrefix(const TABSKeyPart& Part, const uint8_t* Value) const;
  int compareRows(int32_t SessionID, const uint8_t* Reference1, const uint8_t* Reference2);

  TABSRecordReader* LTableData;
  const uint8_t* LRecordBuffer = nullptr;
};

}  // namespace zev
