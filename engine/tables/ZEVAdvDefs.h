// The table component's own definition lists, in the engine's vocabulary: TABSAdvFieldDef(s)
// (declared type, size, required, default, bounds, autoincrement and BLOB settings) and
// TABSAdvIndexDef(s) (field lists as text separated by ';' or ',', options, indexed sizes).
// Table creation turns them into the engine's field, index and constraint definitions.
//
// Ownership: each list owns its definitions. Locking: none. Errors: none raised here.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCompression.h"
#include "engine/tables/DataDefs.h"
#include "engine/tables/ZEVTypes.h"
#include "engine/tables/ZEVVariant.h"

struct TABSAdvFieldDef {
  AnsiString FName;
  int32_t FObjectID = -1;
  zev::TABSAdvancedFieldType FDataType = zev::aftUnknown;
  bool FRequired = false;
  int32_t FSize = 0;
  zev::TABSVariant FDefaultValue, FMinValue, FMaxValue;
  int64_t FAutoincIncrement = 1;
  int64_t FAutoincInitialValue = 0;
  int64_t FAutoincMinValue = 0;
  int64_t FAutoincMaxValue = std::numeric_limits<int64_t>::max();
  bool FAutoincCycled = false;
  zev::TABSCompressionAlgorithm FBLOBCompressionAlgorithm = zev::acaNone;
  uint8_t FBLOBCompressionMode = 0;
  int32_t FBLOBBlockSize = 102400;
};

struct TABSAdvIndexDef {
  AnsiString FName;
  AnsiString FFields;
  AnsiString FDescFields;
  AnsiString FCaseInsFields;
  zev::TIndexOptions FOptions;
  AnsiString FMaxIndexedSizes;
  bool FTemporary = false;
};

// The text without blanks at either end.
AnsiString TrimBlanks(const AnsiString& Text);
// The items of a field list separated by ';' (a ',' counts as ';'), each without its blanks;
// empty items are kept or dropped.
std::vector<AnsiString> SplitFieldList(const AnsiString& List, bool KeepEmpty);

template <class TDef>
class TABSAdvDefs {
 public:
  TDef& AddDef() {
    FItems.push_back(std::make_unique<TDef>());
    return *FItems.back();
  }
  // Ignoring case; nullptr when absent.
  TDef* Find(const AnsiString& Name) const {
    const AnsiString wanted = zev::AnsiUpperCase(Name);
    for (const auto& item : FItems)
      if (zev::AnsiUpperCase(item->FName) == wanted) return item.get();
    return nullptr;
  }
  void Delete(const AnsiString& Name) {
    std::erase_if(FItems, [&](const auto& item) { return zev::AnsiSameText(item->FName, Name); });
  }
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  TDef& Items(int Index) const { return *FItems[static_cast<size_t>(Index)]; }

 private:
  std::vector<std::unique_ptr<TDef>> FItems;
};

class TABSAdvFieldDefs : public TABSAdvDefs<TABSAdvFieldDef> {
 public:
  TABSAdvFieldDef& Add(const AnsiString& Name, zev::TABSAdvancedFieldType DataType,
                       int32_t Size = 0, bool Required = false) {
    TABSAdvFieldDef& def = AddDef();
    def.FName = Name;
    def.FDataType = DataType;
    def.FSize = Size;
    def.FRequired = Required;
    return def;
  }
};

class TABSAdvIndexDefs : public TABSAdvDefs<TABSAdvIndexDef> {
 public:
  TABSAdvIndexDef& Add(const AnsiString& Name, const AnsiString& Fields,
                       zev::TIndexOptions Options = {}) {
    TABSAdvIndexDef& def = AddDef();
    def.FName = Name;
    def.FFields = Fields;
    def.FOptions = Options;
    return def;
  }
};
