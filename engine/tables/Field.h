// TField, one column of a dataset as the application reads and writes it, and its subclasses
// per data type with their forms in the dataset's record buffer:
//   TStringField    ftString, ftFixedChar, ftGuid  Size+1 bytes, zero-terminated single-byte text
//   TWideStringField ftWideString                  (Size+1)*2 bytes, zero-terminated UTF-16LE
//   TSmallintField / TWordField                    int16 / uint16
//   TIntegerField / TAutoIncField                  int32
//   TLargeintField                                 int64
//   TFloatField / TCurrencyField                   double
//   TBooleanField                                  16-bit, 0 false, anything else true
//   TDateField                                     int32 day number: whole days + 693594
//   TTimeField                                     int32 milliseconds of the day, rounded
//   TDateTimeField  ftDateTime, ftTimeStamp        double: (value + 693594) * 86400000
//   TBlobField / TMemoField                        no buffer form (DataSize 0); typed access
//                                                  raises "Field '<name>' of BLOB type is not
//                                                  supported"
// All numbers in the buffer are little-endian.
//
// Reads go through DataSet()->GetFieldData (false: NULL, which reads as 0, "" or false); writes
// through DataSet()->SetFieldData (a null buffer stores NULL) after the dataset's
// CheckFieldWritable and the field's own checks. Text <-> number conversions use '.' as decimal
// separator; an empty text written to a non-text field clears it. Dates as text are
// "yyyy-mm-dd", times "hh:nn:ss", date-times "yyyy-mm-dd hh:nn:ss".
// A text longer than a string column is REFUSED, not cut: SetAsString raises EDatabaseError
// "<dataset name>: Value of field '<name>' is longer than <Size> characters" and stores nothing.
//
// Ownership: a field only links to its dataset; the dataset owns its fields (automatic or
// persistent). Not copyable. Locking: none (one thread). Errors: EDatabaseError (dbtexts).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/ZEVCodePage.h"
#include "engine/tables/DataDefs.h"
#include "engine/tables/ZEVTypes.h"

namespace zev {

class TDataSet;

enum TFieldKind { fkData, fkCalculated, fkLookup };

class TField {
 public:
  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const AnsiString& FieldName() const { return FFieldName; }
  void SetFieldName(const AnsiString& Name) { FFieldName = Name; }
  // The field name unless a display name was set.
  const AnsiString& DisplayName() const;
  void SetDisplayName(const AnsiString& Name) { FDisplayName = Name; }
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Size) { FSize = Size; }
  bool Required() const { return FRequired; }
  void SetRequired(bool Required) { FRequired = Required; }
  // 1-based position among the dataset's field definitions; 0 for a calculated field.
  int FieldNo() const { return FFieldNo; }
  void SetFieldNo(int FieldNo) { FFieldNo = FieldNo; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Kind) { FFieldKind = Kind; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool ReadOnly) { FReadOnly = ReadOnly; }
  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* DataSet) { FDataSet = DataSet; }
  // Offset of a calculated or lookup field in the calculated area (set by the dataset).
  int32_t Offset() const { return FOffset; }
  void SetOffset(int32_t Offset) { FOffset = Offset; }

  // Bytes of the value in the dataset's buffer format.
  virtual int32_t DataSize() const = 0;

  bool IsNull() const;
  void Clear();

  int32_t AsInteger() const;
  void SetAsInteger(int32_t Value) { SetAsLargeInt(Value); }
  virtual int64_t AsLargeInt() const;
  virtual void SetAsLargeInt(int64_t Value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double Value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool Value);
  virtual AnsiString AsString() const;
  virtual void SetAsString(const AnsiString& Value);
  // Single-byte Windows-1252 text, the same as AsString here.
  AnsiString AsAnsiString() const { return AsString(); }
  void SetAsAnsiString(const AnsiString& Value) { SetAsString(Value); }
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime Value);

  // Reads the buffer form of the value (DataSize() bytes; Buffer may be nullptr to only test
  // for NULL). False when NULL or when the dataset has no current row.
  bool GetData(void* Buffer) const;
  // Stores the buffer form (nullptr: NULL) after the dataset's and the field's checks.
  void SetData(const void* Buffer);

 protected:
  TField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType, int32_t Size,
         bool Required);
  // "Cannot access field '<name>' as type <TypeName>" (the BLOB text for BLOB fields).
  [[noreturn]] void AccessError(const char* TypeName) const;
  // Raises the range error when Value is outside [Min, Max].
  void CheckRange(int64_t Value, int64_t Min, int64_t Max) const;

 private:
  TDataSet* FDataSet;
  AnsiString FFieldName;
  AnsiString FDisplayName;
  TFieldType FDataType;
  int32_t FSize;
  bool FRequired;
  int FFieldNo = 0;
  TFieldKind FFieldKind = fkData;
  bool FReadOnly = false;
  int32_t FOffset = 0;
};

class TStringField : public TField {
 public:
  TStringField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 20,
               bool Required = false, TFieldType DataType = ftString);
  int32_t DataSize() const override { return Size() + 1; }
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t Value) override;
  double AsFloat() const override;
  void SetAsFloat(double Value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  AnsiString AsString() const override;
  void SetAsString(const AnsiString& Value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;

 protected:
  // The text and its length in characters of the column.
  virtual bool ReadText(AnsiString& Text) const;
  virtual void WriteText(const AnsiString& Text);
};

class TWideStringField : public TStringField {
 public:
  TWideStringField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 20,
                   bool Required = false);
  int32_t DataSize() const override { return (Size() + 1) * 2; }

 protected:
  bool ReadText(AnsiString& Text) const override;
  void WriteText(const AnsiString& Text) override;
};

// The integer types, with the range of their buffer form.
class TIntegralField : public TField {
 public:
  int32_t DataSize() const override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t Value) override;
  double AsFloat() const override;
  void SetAsFloat(double Value) override;
  bool AsBoolean() const override { return AsLargeInt() != 0; }
  void SetAsBoolean(bool Value) override { SetAsLargeInt(Value ? 1 : 0); }
  AnsiString AsString() const override;
  void SetAsString(const AnsiString& Value) override;
  int64_t MinValue() const { return FMinValue; }
  int64_t MaxValue() const { return FMaxValue; }

 protected:
  TIntegralField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType, bool Required,
                 int64_t MinValue, int64_t MaxValue);

 private:
  int64_t FMinValue;
  int64_t FMaxValue;
};

class TIntegerField : public TIntegralField {
 public:
  TIntegerField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                bool Required = false);

 protected:
  TIntegerField(TDataSet* DataSet, const AnsiString& FieldName, TFieldType DataType, bool Required,
                int64_t MinValue, int64_t MaxValue);
};

class TSmallintField : public TIntegerField {
 public:
  TSmallintField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                 bool Required = false);
};

class TWordField : public TIntegerField {
 public:
  TWordField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
             bool Required = false);
};

// Writable like any integer field; the engine fills the ones left NULL when a row is posted,
// so Post does not require a value here.
class TAutoIncField : public TIntegerField {
 public:
  TAutoIncField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                bool Required = false);
};

class TLargeintField : public TIntegralField {
 public:
  TLargeintField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                 bool Required = false);
};

class TFloatField : public TField {
 public:
  TFloatField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
              bool Required = false, TFieldType DataType = ftFloat);
  int32_t DataSize() const override { return 8; }
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t Value) override { SetAsFloat(static_cast<double>(Value)); }
  double AsFloat() const override;
  void SetAsFloat(double Value) override;
  bool AsBoolean() const override { return AsFloat() != 0; }
  void SetAsBoolean(bool Value) override { SetAsFloat(Value ? 1 : 0); }
  AnsiString AsString() const override;
  void SetAsString(const AnsiString& Value) override;
};

class TCurrencyField : public TFloatField {
 public:
  TCurrencyField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                 bool Required = false);
};

class TBooleanField : public TField {
 public:
  TBooleanField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                bool Required = false);
  int32_t DataSize() const override { return 2; }
  int64_t AsLargeInt() const override { return AsBoolean() ? 1 : 0; }
  void SetAsLargeInt(int64_t Value) override { SetAsBoolean(Value != 0); }
  double AsFloat() const override { return AsBoolean() ? 1 : 0; }
  void SetAsFloat(double Value) override { SetAsBoolean(Value != 0); }
  bool AsBoolean() const override;
  void SetAsBoolean(bool Value) override;
  // "True" / "False"; written: those words, "T"/"F", "Y"/"N" or "1"/"0", ignoring case.
  AnsiString AsString() const override;
  void SetAsString(const AnsiString& Value) override;
};

// Date-time fields; TDateField and TTimeField only change the buffer form and the text.
class TDateTimeField : public TField {
 public:
  TDateTimeField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
                 bool Required = false, TFieldType DataType = ftDateTime);
  int32_t DataSize() const override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double Value) override { SetAsDateTime(Value); }
  AnsiString AsString() const override;
  void SetAsString(const AnsiString& Value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime Value) override;
};

class TDateField : public TDateTimeField {
 public:
  TDateField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
             bool Required = false);
};

class TTimeField : public TDateTimeField {
 public:
  TTimeField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
             bool Required = false);
};

class TBlobField : public TField {
 public:
  TBlobField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
             bool Required = false, TFieldType DataType = ftBlob);
  int32_t DataSize() const override { return 0; }
};

class TMemoField : public TBlobField {
 public:
  TMemoField(TDataSet* DataSet, const AnsiString& FieldName, int32_t Size = 0,
             bool Required = false, TFieldType DataType = ftMemo);
};

// The field object for a definition (its FieldNo, size and required flag copied), linked to
// DataSet; EDatabaseError "Field '<name>' is of an unknown type" for a type without a class.
std::unique_ptr<TField> CreateField(TDataSet& DataSet, const TFieldDef& Def);

// Text forms of date-times used by the fields: "yyyy-mm-dd", "hh:nn:ss", both with a blank.
AnsiString DateTimeToText(TDateTime Value, bool WithDate, bool WithTime);
// Reads "yyyy-mm-dd", "hh:nn[:ss[.zzz]]" or both separated by a blank; false when malformed.
bool TextToDateTime(const AnsiString& Text, TDateTime& Value);

}  // namespace zev
