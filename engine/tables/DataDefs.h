// Field and index definitions of the dataset contract: TFieldDef / TFieldDefs (the columns a
// dataset presents) and TIndexDef / TIndexDefs (its indexes, field lists separated by ';').
//
// Ownership: each collection owns its definitions (unique_ptr); references returned by Add and
// Items stay valid until Clear or the collection's destruction. Names are found ignoring case
// (Windows-1252 upper case). Find returns nullptr when the name is missing; IndexOf -1.
// Locking: none (one thread). Errors: none raised here.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/tables/ZEVTypes.h"

namespace zev {

class TFieldDef {
 public:
  TFieldDef() = default;
  TFieldDef(const AnsiString& Name, TFieldType DataType, int32_t Size, bool Required)
      : FName(Name), FDataType(DataType), FSize(Size), FRequired(Required) {}
  TFieldDef(const TFieldDef&) = delete;
  TFieldDef& operator=(const TFieldDef&) = delete;

  const AnsiString& Name() const { return FName; }
  void SetName(const AnsiString& Name) { FName = Name; }
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType DataType) { FDataType = DataType; }
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Size) { FSize = Size; }
  bool Required() const { return FRequired; }
  void SetRequired(bool Required) { FRequired = Required; }
  // 1-based position in the collection, set when added.
  int FieldNo() const { return FFieldNo; }
  void SetFieldNo(int FieldNo) { FFieldNo = FieldNo; }

 private:
  AnsiString FName;
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  bool FRequired = false;
  int FFieldNo = 0;
};

class TFieldDefs {
 public:
  TFieldDefs() = default;
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  TFieldDef& Add(const AnsiString& Name, TFieldType DataType, int32_t Size = 0,
                 bool Required = false);
  // A new empty definition at the end (its FieldNo set).
  TFieldDef& AddFieldDef();
  TFieldDef* Find(const AnsiString& Name) const;
  int IndexOf(const AnsiString& Name) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Requires: 0 <= Index < Count().
  TFieldDef& Items(int Index) const { return *FItems[Index]; }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TFieldDef>> FItems;
};

enum TIndexOption : uint8_t { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive };

// A small set of TIndexOption.
class TIndexOptions {
 public:
  TIndexOptions() = default;
  TIndexOptions(std::initializer_list<TIndexOption> Options) {  // NOLINT: set literal
    for (TIndexOption o : Options) Include(o);
  }
  bool Contains(TIndexOption Option) const { return (FBits & bit(Option)) != 0; }
  void Include(TIndexOption Option) { FBits = static_cast<uint8_t>(FBits | bit(Option)); }
  void Exclude(TIndexOption Option) { FBits = static_cast<uint8_t>(FBits & ~bit(Option)); }
  bool Empty() const { return FBits == 0; }
  bool operator==(const TIndexOptions&) const = default;

 private:
  static uint8_t bit(TIndexOption Option) { return static_cast<uint8_t>(1u << Option); }
  uint8_t FBits = 0;
};

class TIndexDef {
 public:
  TIndexDef() = default;
  TIndexDef(const AnsiString& Name, const AnsiString& Fields, TIndexOptions Options)
      : FName(Name), FFields(Fields), FOptions(Options) {}
  TIndexDef(const TIndexDef&) = delete;
  TIndexDef& operator=(const TIndexDef&) = delete;

  const AnsiString& Name() const { return FName; }
  void SetName(const AnsiString& Name) { FName = Name; }
  // Field names separated by ';'.
  const AnsiString& Fields() const { return FFields; }
  void SetFields(const AnsiString& Fields) { FFields = Fields; }
  const AnsiString& DescFields() const { return FDescFields; }
  void SetDescFields(const AnsiString& Fields) { FDescFields = Fields; }
  const AnsiString& CaseInsFields() const { return FCaseInsFields; }
  void SetCaseInsFields(const AnsiString& Fields) { FCaseInsFields = Fields; }
  TIndexOptions Options() const { return FOptions; }
  void SetOptions(TIndexOptions Options) { FOptions = Options; }

 private:
  AnsiString FName;
  AnsiString FFields;
  AnsiString FDescFields;
  AnsiString FCaseInsFields;
  TIndexOptions FOptions;
};

class TIndexDefs {
 public:
  TIndexDefs() = default;
  TIndexDefs(const TIndexDefs&) = delete;
  TIndexDefs& operator=(const TIndexDefs&) = delete;

  TIndexDef& Add(const AnsiString& Name, const AnsiString& Fields, TIndexOptions Options = {});
  TIndexDef& AddIndexDef();
  TIndexDef* Find(const AnsiString& Name) const;
  int IndexOf(const AnsiString& Name) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Requires: 0 <= Index < Count().
  TIndexDef& Items(int Index) const { return *FItems[Index]; }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TIndexDef>> FItems;
};

}  // namespace zev
