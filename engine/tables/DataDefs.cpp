#include "engine/tables/DataDefs.h"

namespace zev {

TFieldDef& TFieldDefs::Add(const AnsiString& Name, TFieldType DataType, int32_t Size,
                           bool Required) {
  TFieldDef& def = AddFieldDef();
  def.SetName(Name);
  def.SetDataType(DataType);
  def.SetSize(Size);
  def.SetRequired(Required);
  return def;
}

TFieldDef& TFieldDefs::AddFieldDef() {
  FItems.push_back(std::make_unique<TFieldDef>());
  FItems.back()->SetFieldNo(Count());
  return *FItems.back();
}

int TFieldDefs::IndexOf(const AnsiString& Name) const {
  for (int i = 0; i < Count(); ++i) {
    if (AnsiSameText(FItems[i]->Name(), Name)) return i;
  }
  return -1;
}

TFieldDef* TFieldDefs::Find(const AnsiString& Name) const {
  const int i = IndexOf(Name);
  return i < 0 ? nullptr : FItems[i].get();
}

TIndexDef& TIndexDefs::Add(const AnsiString& Name, const AnsiString& Fields,
                           TIndexOptions Options) {
  TIndexDef& def = AddIndexDef();
  def.SetName(Name);
  def.SetFields(Fields);
  def.SetOptions(Options);
  return def;
}

TIndexDef& TIndexDefs::AddIndexDef() {
  FItems.push_back(std::make_unique<TIndexDef>());
  return *FItems.back();
}

int TIndexDefs::IndexOf(const AnsiString& Name) const {
  for (int i = 0; i < Count(); ++i) {
    if (AnsiSameText(FItems[i]->Name(), Name)) return i;
  }
  return -1;
}

TIndexDef* TIndexDefs::Find(const AnsiString& Name) const {
  const int i = IndexOf(Name);
  return i < 0 ? nullptr : FItems[i].get();
}

}  // namespace zev
