// TABSTable::CreateTable: the framework or engine definitions of the component become the
// engine's field, index and constraint definitions, validated, and a cursor creates the table.
#include <algorithm>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/DBError.h"
#include "engine/tables/ZEVEngineErrors.h"
#include "engine/tables/ZEVTableComponent.h"

using zev::DatabaseError;

namespace {

constexpr int32_t kDefaultMaxIndexedSize = 20;
constexpr int32_t kGuidSize = 38;

std::vector<AnsiString> splitItems(const AnsiString& List) { return SplitFieldList(List, true); }

bool contains(const std::vector<AnsiString>& Items, const AnsiString& Name) {
  return std::any_of(Items.begin(), Items.end(),
                     [&](const AnsiString& item) { return zev::AnsiSameText(item, Name); });
}

AnsiString joined(const std::vector<AnsiString>& Items) {
  AnsiString text;
  for (const AnsiString& item : Items) text += (text.empty() ? "" : ";") + item;
  return text;
}

bool isSizedType(zev::TABSAdvancedFieldType Type) {
  return (Type >= zev::aftChar && Type <= zev::aftWideString) || Type == zev::aftGuid ||
         Type == zev::aftBytes || Type == zev::aftVarBytes;
}

bool keepsIndexedSize(zev::TABSAdvancedFieldType Type) {
  return (Type >= zev::aftChar && Type <= zev::aftWideString) || Type == zev::aftBytes ||
         Type == zev::aftVarBytes;
}

// A value whose text is empty becomes NULL of the storage type, any other is converted to it.
void normaliseValue(zev::TABSVariant& Value, zev::TABSBaseFieldType Type) {
  if (Value.IsNull() || Value.AsAnsiString().empty())
    Value = zev::TABSVariant(Type);
  else
    Value.Cast(Type);
}

void validate(const TABSAdvFieldDefs& Fields, const AnsiString& TableName) {
  for (int i = 0; i < Fields.Count(); ++i) {
    const TABSAdvFieldDef& field = Fields.Items(i);
    if (field.FName.empty()) zev::errors::Raise(zev::errors::kMissingFieldName, {i, TableName});
    if (isSizedType(field.FDataType) && field.FSize <= 0)
      zev::errors::Raise(zev::errors::kInvalidFieldSize,
                         {TableName, field.FName, zev::AdvancedFieldTypeName(field.FDataType),
                          field.FSize});
    const bool blob = field.FDataType >= zev::aftBlob && field.FDataType <= zev::aftWideMemo;
    if (blob && field.FBLOBCompressionAlgorithm != zev::acaNone &&
        (field.FBLOBCompressionMode == 0 || field.FBLOBCompressionMode > 9))
      zev::errors::Raise(zev::errors::kInvalidBlobCompressionMode, {field.FName, TableName});
  }
}

}  // namespace

AnsiString TrimBlanks(const AnsiString& Text) {
  const size_t first = Text.find_first_not_of(' ');
  if (first == AnsiString::npos) return "";
  return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

std::vector<AnsiString> SplitFieldList(const AnsiString& List, bool KeepEmpty) {
  std::vector<AnsiString> items;
  if (TrimBlanks(List).empty()) return items;
  AnsiString item;
  for (char c : List + ";") {
    if (c != ';' && c != ',') {
      item += c;
      continue;
    }
    const AnsiString name = TrimBlanks(item);
    if (KeepEmpty || !name.empty()) items.push_back(name);
    item.clear();
  }
  return items;
}

void TABSTable::CreateTable() {
  CheckInactive();
  const AnsiString tableName = TrimBlanks(TableName());
  if (tableName.empty()) DatabaseError("Missing TableName property", this);
  TABSSession& session = Sessions().GetSessionByName(SessionName());
  TABSDatabase& database = session.OpenDatabase(DatabaseName(), GetOwner());
  struct THold {
    TABSSession& Session;
    TABSDatabase& Database;
    ~THold() {
      try {
        Session.CloseDatabase(Database);
      } catch (...) {
      }
    }
  } hold{session, database};

  // Field definitions: derived from the framework's list when the engine's is empty.
  for (zev::TField* field : Fields())
    if (field->FieldKind() == zev::fkData && !FieldDefs().Find(field->FieldName()))
      FieldDefs().Add(field->FieldName(), field->DataType(), field->Size(), field->Required());
  if (FAdvFieldDefs.Count() == 0) {
    for (int i = 0; i < FieldDefs().Count(); ++i) {
      zev::TFieldDef& def = FieldDefs().Items(i);
      if (def.DataType() == zev::ftGuid) def.SetSize(kGuidSize);
      FAdvFieldDefs.Add(def.Name(), zev::FieldTypeToAdvancedFieldType(def.DataType()), def.Size(),
                        def.Required());
    }
    validate(FAdvFieldDefs, tableName);
  } else {
    for (int i = 0; i < FAdvFieldDefs.Count(); ++i) {
      TABSAdvFieldDef& field = FAdvFieldDefs.Items(i);
      const zev::TABSBaseFieldType base = zev::AdvancedFieldTypeToBaseFieldType(field.FDataType);
      normaliseValue(field.FDefaultValue, base);
      normaliseValue(field.FMinValue, base);
      normaliseValue(field.FMaxValue, base);
      if (field.FSize != 0 && !zev::IsStringFieldType(base) && base != zev::bftBytes &&
          base != zev::bftVarBytes)
        field.FSize = 0;
      if (field.FDataType == zev::aftGuid) field.FSize = kGuidSize;
    }
    validate(FAdvFieldDefs, tableName);
    FieldDefs().Clear();
    for (int i = 0; i < FAdvFieldDefs.Count(); ++i) {
      const TABSAdvFieldDef& field = FAdvFieldDefs.Items(i);
      FieldDefs().Add(field.FName, zev::AdvancedFieldTypeToFieldType(field.FDataType), field.FSize,
                      field.FRequired);
    }
  }

  // Index definitions, the same way.
  if (FAdvIndexDefs.Count() == 0) {
    for (int i = 0; i < IndexDefs().Count(); ++i) {
      const zev::TIndexDef& def = IndexDefs().Items(i);
      TABSAdvIndexDef& index = FAdvIndexDefs.Add(def.Name(), def.Fields(), def.Options());
      index.FDescFields = def.DescFields();
      index.FCaseInsFields = def.CaseInsFields();
    }
  } else {
    IndexDefs().Clear();
    for (int i = 0; i < FAdvIndexDefs.Count(); ++i) {
      const TABSAdvIndexDef& index = FAdvIndexDefs.Items(i);
      zev::TIndexOptions options = index.FOptions;
      const AnsiString fields = zev::AnsiUpperCase(TrimBlanks(index.FFields));
      if (!fields.empty() && zev::AnsiUpperCase(TrimBlanks(index.FDescFields)) == fields)
        options.Include(zev::ixDescending);
      if (!fields.empty() && zev::AnsiUpperCase(TrimBlanks(index.FCaseInsFields)) == fields)
        options.Include(zev::ixCaseInsensitive);
      zev::TIndexDef& def = IndexDefs().Add(index.FName, index.FFields, options);
      def.SetDescFields(index.FDescFields);
      def.SetCaseInsFields(index.FCaseInsFields);
    }
  }

  // The engine's definitions.
  zev::TABSFieldDefs fieldDefs;
  zev::TABSConstraintDefs constraints;
  for (int i = 0; i < FAdvFieldDefs.Count(); ++i) {
    const TABSAdvFieldDef& source = FAdvFieldDefs.Items(i);
    zev::TABSFieldDef& field = *fieldDefs.AddCreated();
    field.FName = source.FName.substr(0, 255);
    field.SetFieldDefDataType(source.FDataType, source.FSize);
    field.FBLOBCompressionAlgorithm = source.FBLOBCompressionAlgorithm;
    field.FBLOBCompressionMode = source.FBLOBCompressionMode;
    field.FBLOBBlockSize = source.FBLOBBlockSize > 0 ? source.FBLOBBlockSize : 102400;
    field.FAutoincIncrement = source.FAutoincIncrement;
    field.FAutoincInitialValue = source.FAutoincInitialValue;
    field.FAutoincMinValue = source.FAutoincMinValue;
    field.FAutoincMaxValue = source.FAutoincMaxValue;
    field.FAutoincCycled = source.FAutoincCycled;
    field.FDefaultValue = source.FDefaultValue;
    if (source.FRequired) {
      zev::TABSConstraintDefNotNull& notNull = *constraints.AddNotNull();
      notNull.FName = "C_NotNull$" + field.FName;
      notNull.FColumnName = field.FName;
    }
    if (!source.FMinValue.IsNull() || !source.FMaxValue.IsNull()) {
      zev::TABSConstraintDefCheck& check = *constraints.AddCheck();
      check.FName = "C_Check$" + field.FName;
      check.FColumnName = field.FName;
      check.FMinValue = source.FMinValue;
      check.FMaxValue = source.FMaxValue;
    }
  }
  fieldDefs.RecalcFieldOffsets();

  zev::TABSIndexDefs indexDefs;
  for (int i = 0; i < FAdvIndexDefs.Count(); ++i) {
    TABSAdvIndexDef& source = FAdvIndexDefs.Items(i);
    if (source.FName.empty()) zev::errors::Raise(zev::errors::kInvalidIndexName, {source.FName});
    const std::vector<AnsiString> fields = splitItems(source.FFields);
    if (fields.empty()) zev::errors::Raise(zev::errors::kIndexWithoutFields, {source.FFields});
    const std::vector<AnsiString> descending = splitItems(source.FDescFields);
    const std::vector<AnsiString> caseInsensitive = splitItems(source.FCaseInsFields);
    const std::vector<AnsiString> sizes = splitItems(source.FMaxIndexedSizes);
    zev::TABSIndexDef& index = *indexDefs.AddCreated();
    index.FName = source.FName;
    index.FIndexType = zev::itBTree;
    index.FUnique = source.FOptions.Contains(zev::ixUnique);
    index.FPrimary = source.FOptions.Contains(zev::ixPrimary);
    index.FTemporary = source.FTemporary;
    std::vector<AnsiString> sizeTexts;
    for (size_t c = 0; c < fields.size(); ++c) {
      if (FieldDefs().IndexOf(fields[c]) < 0)
        zev::errors::Raise(zev::errors::kIndexFieldUnknown, {fields[c]});
      zev::TABSIndexColumn column;
      column.FFieldName = fields[c];
      column.FDescending = contains(descending, fields[c]) ||
                           (source.FOptions.Contains(zev::ixDescending) && descending.empty());
      column.FCaseInsensitive =
          contains(caseInsensitive, fields[c]) ||
          (source.FOptions.Contains(zev::ixCaseInsensitive) && caseInsensitive.empty());
      int32_t size = c < sizes.size() && !sizes[c].empty() ? std::stoi(sizes[c]) : 0;
      const TABSAdvFieldDef* field = FAdvFieldDefs.Find(fields[c]);
      if (!(size > 0 && (!field || keepsIndexedSize(field->FDataType)))) size = kDefaultMaxIndexedSize;
      column.FMaxIndexedSize = size;
      sizeTexts.push_back(std::to_string(size));
      index.FIndexColumns.push_back(column);
    }
    source.FMaxIndexedSizes = joined(sizeTexts);
    if (index.FPrimary || index.FUnique) {
      zev::TABSConstraintDefUnique& constraint =
          index.FPrimary ? *constraints.AddPK() : *constraints.AddUnique();
      constraint.FName = index.FPrimary ? "C_PK" : "C_Unique";
      for (const zev::TABSIndexColumn& column : index.FIndexColumns) {
        constraint.FName += "$" + column.FFieldName;
        constraint.Columns.push_back({column.FFieldName, -1});
      }
      constraint.FIndexName = index.FName;
    }
  }

  if (database.Handle()->InTransaction())
    zev::errors::Raise(zev::errors::kCreateTableInTransaction, {AnsiString("CreateTable")});
  zev::TABSLocalCursor cursor(*database.Handle());
  cursor.SetTableName(tableName);
  cursor.SetExclusive(true);
  cursor.CreateTable(fieldDefs, indexDefs, constraints);
}
