// TABSVariant: the engine's container for one value of a storage type, in the storage encoding
// of that type (the bytes of a field slot). It may own its bytes or link to bytes owned
// elsewhere (a row buffer). Offers NULL handling, typed accessors, Cast between storage types,
// Compare with three-valued logic, case-insensitivity and partial keys, and stream persistence.
// Also the comparison of two raw values of one storage type, shared with the index keys.
//
// Ownership: a variant owns its bytes unless they are linked (IsDataLinked); a linked
// variant's bytes must outlive it. Locking: none (one thread at a time).
// Errors: EABSException 20056, 30016, 30044 to 30047 and 30048 for conversion failures;
// stream persistence raises the codes its caller names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVTypes.h"

namespace zev {

enum TABSCompareResult : uint8_t {
  cmprLower,
  cmprEqual,
  cmprGreater,
  cmprLeftNull,
  cmprRightNull,
  cmprBothNull,
};

// Compares two non-NULL values of one storage type held in their storage encoding: strings
// zero-terminated within MaxSize bytes (single-byte or UTF-16), numbers and dates as stored.
// CompareLength >= 0 limits string comparison to that many characters (a prefix compare);
// -1 compares whole strings. Answers -1, 0 or 1. Raises 30045 or 30047.
int CompareValues(TABSBaseFieldType Type, const uint8_t* Value1, const uint8_t* Value2,
                  int32_t MaxSize, bool CaseInsensitive, int32_t CompareLength = -1);

class TABSVariant {
 public:
  TABSVariant() = default;                           // NULL of bftUnknown
  explicit TABSVariant(TABSBaseFieldType DataType);  // NULL of that type
  TABSVariant(const TABSVariant& Other);             // copies the bytes, even of a linked Other
  TABSVariant& operator=(const TABSVariant& Other);
  ~TABSVariant();

  // --- State ---
  bool IsNull() const;  // the null flag set, or no data
  void SetNull();       // keeps the data type
  void Clear();         // NULL of bftUnknown, bytes freed
  TABSBaseFieldType DataType() const { return FDataType; }
  int32_t DataSize() const { return FDataSize; }
  const uint8_t* Data() const { return FPData; }
  bool IsDataLinked() const { return FIsDataLinked; }

  // Takes Size bytes of DataType: copied, or linked when CopyDataFlag is false (bytes of the
  // variant's own buffer are always copied). A null Buffer makes it NULL of DataType. The
  // setters below always give owned bytes; they never write into linked memory.
  void SetData(const void* Buffer, int32_t Size, TABSBaseFieldType DataType,
               bool CopyDataFlag = true);
  void Assign(const TABSVariant& Source, bool CopyDataFlag = true);
  // Copies the DataSize bytes to Buffer (nothing for NULL, the rest of the slot untouched);
  // 20056 when they do not fit in MaxSize.
  void CopyDataToAddress(void* Buffer, int32_t MaxSize) const;

  // --- Typed setters (the value's natural storage type) ---
  void SetAsShortint(int8_t Value);
  void SetAsSmallint(int16_t Value);
  void SetAsInteger(int32_t Value);
  void SetAsInt64(int64_t Value);
  void SetAsByte(uint8_t Value);
  void SetAsWord(uint16_t Value);
  void SetAsCardinal(uint32_t Value);
  void SetAsSingle(float Value);
  void SetAsDouble(double Value);
  void SetAsExtended(double Value);                   // stored as 80-bit
  void SetAsAnsiString(const AnsiString& Value);      // bftVarchar, terminator included
  void SetAsWideString(const std::u16string& Value);  // bftWideVarchar
  void SetAsZEVDate(int32_t Value);
  void SetAsZEVTime(int32_t Value);
  void SetAsZEVDateTime(const TABSDateTime& Value);
  void SetAsTDate(TDateTime Value);
  void SetAsTTime(TDateTime Value);
  void SetAsTDateTime(TDateTime Value);
  void SetAsBoolean(bool Value);
  void SetAsCurrency(double Value);

  // --- Typed accessors: the value converted; 30016 for NULL where a value is needed, 30048
  // where no conversion exists or the value does not fit the target. Conversions:
  //   integers, floats, currency <-> each other (floats round to the nearest integer; a value
  //     outside the target's range fails), and <-> logical (0 false, non-zero true);
  //   floats <-> date, time, datetime as platform date-times; date <-> datetime (time 0),
  //     time -> datetime (on 30 December 1899), datetime -> date or time (its part);
  //   every type but the byte and BLOB types <-> strings: integers in decimal, floats in the
  //     shortest text that reads back exactly ('.' separator), "YYYY-MM-DD", "HH:MM:SS[.mmm]",
  //     "YYYY-MM-DD HH:MM:SS[.mmm]", "TRUE" / "FALSE" (any case; numbers 0 / non-0 too);
  //   wide strings <-> single-byte strings through Windows-1252 ('?' for what it lacks). ---
  int8_t AsShortint() const;
  int16_t AsSmallint() const;
  int32_t AsInteger() const;
  int64_t AsInt64() const;
  uint8_t AsByte() const;
  uint16_t AsWord() const;
  uint32_t AsCardinal() const;
  float AsSingle() const;
  double AsDouble() const;
  double AsExtended() const;
  AnsiString AsAnsiString() const;      // "" for NULL
  std::u16string AsWideString() const;  // u"" for NULL
  int32_t AsZEVDate() const;
  int32_t AsZEVTime() const;
  TABSDateTime AsZEVDateTime() const;
  TDateTime AsTDate() const;
  TDateTime AsTTime() const;
  TDateTime AsTDateTime() const;
  bool AsBoolean() const;
  double AsCurrency() const;

  // Converts the value in place to NewDataType with the conversions above (bftBytes and
  // bftVarBytes only into each other, the BLOB types into none): exact for a type and itself;
  // 30048 when no conversion exists, the variant unchanged. NULL stays NULL of the new type.
  void Cast(TABSBaseFieldType NewDataType);

  // With TrueFalseNullLogic a NULL side gives cmprLeftNull / cmprRightNull / cmprBothNull;
  // otherwise NULL sorts first. Different storage types are first cast to a common one:
  //   string and string -> bftWideVarchar if either is wide, else bftVarchar;
  //   integer and integer (signed or unsigned) -> bftSignedInt64;
  //   other numeric pairs (floats, currency, integer with float) -> bftDouble;
  //   date, time, datetime pairs -> bftDateTime;
  //   string and integer -> bftSignedInt64, string and float -> bftDouble, string and a date
  //     type or logical -> that type (the string parsed: 30048 when it does not parse);
  //   anything else -> 30044. A BLOB type compared with itself raises 30047.
  // PartialKey compares strings over the length of Value's string.
  TABSCompareResult Compare(const TABSVariant& Value, bool TrueFalseNullLogic = false,
                            bool CaseInsensitive = false, bool PartialKey = false) const;

  // Data type (1 byte), null flag (0xFF when NULL), and when not NULL: size (int32) and bytes.
  // The codes name the item that could not be written or read.
  struct TStreamCodes {
    int DataType, NullFlag, DataSize, Data;
  };
  void SaveToStream(TABSStream& Stream, const TStreamCodes& Codes) const;
  void LoadFromStream(TABSStream& Stream, const TStreamCodes& Codes);

 private:
  void freeData();
  void setOwned(const void* Buffer, int32_t Size, TABSBaseFieldType DataType);

  TABSBaseFieldType FDataType = bftUnknown;
  int32_t FDataSize = 0;
  uint8_t* FPData = nullptr;  // FOwnedData.get() or linked bytes
  std::unique_ptr<uint8_t[]> FOwnedData;
  bool FIsDataLinked = false;
  bool FIsNull = true;
};

}  // namespace zev
