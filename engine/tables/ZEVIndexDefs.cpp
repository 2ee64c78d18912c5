#include "engine/tables/ZEVIndexDefs.h"

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVDefinitionErrors.h"

namespace zev {

namespace {

using namespace metadata;

// Stream codes of an index list and an index definition (write / read).
constexpr int kWriteIndexCount = 10343;
constexpr int kWriteIndexType = 10344, kReadIndexType = 10349;
constexpr int kWriteUnique = 10345, kReadUnique = 10350;
constexpr int kWritePrimary = 10346, kReadPrimary = 10351;
constexpr int kWriteColumnCount = 10347, kReadColumnCount = 10352;
constexpr int kWriteRootPageNo = 10348, kReadRootPageNo = 10353;
constexpr int kWriteColumnNameLength = 10354, kWriteColumnNameBytes = 10355;
constexpr int kReadColumnNameLength = 10358, kReadColumnNameBytes = 10359;
constexpr int kWriteDescending = 10356, kReadDescending = 10360;
constexpr int kWriteCaseInsensitive = 10357, kReadCaseInsensitive = 10361;
constexpr int kWriteMaxIndexedSize = 20169, kReadMaxIndexedSize = 20168;

}  // namespace

// --- TABSIndexDef ----------------------------------------------------------------------------

void TABSIndexDef::Assign(const TABSMetaObjectDef& Source) {
  TABSMetaObjectDef::Assign(Source);
  const auto* source = dynamic_cast<const TABSIndexDef*>(&Source);
  if (!source) return;
  FIndexType = source->FIndexType;
  FIndexColumns = source->FIndexColumns;
  FUnique = source->FUnique;
  FPrimary = source->FPrimary;
  FRootPageNo = source->FRootPageNo;
  FTemporary = source->FTemporary;
  FSessionID = source->FSessionID;
  FTableState = source->FTableState;
  FNeedRebuild = source->FNeedRebuild;
}

/* Stored index definition, after the header:
     index type 1 byte, unique 1 byte, primary 1 byte, column count int32, root page int32,
     per column: field name (length byte + characters), descending 1 byte,
                 case-insensitive 1 byte, maximum indexed size int32                       */
void TABSIndexDef::SaveToStream(TABSStream& Stream) const {
  TABSMetaObjectDef::SaveToStream(Stream);
  WriteUInt8(Stream, FIndexType, kWriteIndexType);
  WriteBool(Stream, FUnique, kWriteUnique);
  WriteBool(Stream, FPrimary, kWritePrimary);
  WriteInt32(Stream, static_cast<int32_t>(FIndexColumns.size()), kWriteColumnCount);
  WriteInt32(Stream, FRootPageNo, kWriteRootPageNo);
  for (const TABSIndexColumn& column : FIndexColumns) {
    WriteString1(Stream, column.FFieldName, kWriteColumnNameLength, kWriteColumnNameBytes);
    WriteBool(Stream, column.FDescending, kWriteDescending);
    WriteBool(Stream, column.FCaseInsensitive, kWriteCaseInsensitive);
    WriteInt32(Stream, column.FMaxIndexedSize, kWriteMaxIndexedSize);
  }
}

void TABSIndexDef::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDef::LoadFromStream(Stream);
  FIndexType = static_cast<TABSIndexType>(ReadUInt8(Stream, kReadIndexType));
  FUnique = ReadBool(Stream, kReadUnique);
  FPrimary = ReadBool(Stream, kReadPrimary);
  const int32_t columnCount = ReadInt32(Stream, kReadColumnCount);
  FRootPageNo = ReadInt32(Stream, kReadRootPageNo);
  FTemporary = false;
  FIndexColumns.clear();
  for (int32_t i = 0; i < columnCount; ++i) {
    TABSIndexColumn column;
    column.FFieldName = ReadString1(Stream, kReadColumnNameLength, kReadColumnNameBytes);
    column.FDescending = ReadBool(Stream, kReadDescending);
    column.FCaseInsensitive = ReadBool(Stream, kReadCaseInsensitive);
    column.FMaxIndexedSize = ReadInt32(Stream, kReadMaxIndexedSize);
    FIndexColumns.push_back(std::move(column));
  }
}

std::unique_ptr<TABSMetaObjectDef> TABSIndexDef::Clone() const {
  auto copy = std::make_unique<TABSIndexDef>();
  copy->Assign(*this);
  return copy;
}

void TABSIndexDef::AssignByNames(const std::vector<AnsiString>& FieldNames,
                                 const std::vector<AnsiString>& AscDescList,
                                 const std::vector<AnsiString>& CaseSensitivityList) {
  if (FieldNames.size() != AscDescList.size())
    errors::Raise(errors::kAssignByNamesAscDescLengths, {FieldNames.size(), AscDescList.size()});
  if (FieldNames.size() != CaseSensitivityList.size())
    errors::Raise(errors::kAssignByNamesCaseLengths,
                  {FieldNames.size(), CaseSensitivityList.size()});
  FIndexColumns.clear();
  for (size_t i = 0; i < FieldNames.size(); ++i) {
    TABSIndexColumn column;
    column.FFieldName = FieldNames[i];
    column.FDescending = AscDescList[i] == "DESC";
    column.FCaseInsensitive = CaseSensitivityList[i] == "NO_CASE";
    column.FMaxIndexedSize = TABSIndexColumn::kDefaultMaxIndexedSize;
    FIndexColumns.push_back(std::move(column));
  }
}

// --- TABSIndexDefs ---------------------------------------------------------------------------

TABSIndexDef* TABSIndexDefs::AddCreated() {
  return static_cast<TABSIndexDef*>(Add(std::make_unique<TABSIndexDef>()));
}

void TABSIndexDefs::SaveToStream(TABSStream& Stream) const {
  int32_t storedCount = 0;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->FTemporary) ++storedCount;
  WriteInt32(Stream, storedCount, kWriteIndexCount);
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->FTemporary) saveItem(Stream, *Items(i));
}

int32_t TABSIndexDefs::FindIndex(const std::vector<AnsiString>& FieldNames,
                                 const std::vector<AnsiString>& AscDescList,
                                 const std::vector<AnsiString>& CaseSensitivityList,
                                 int32_t SessionID, const TABSFieldDefs& FieldDefs) const {
  if (FieldNames.size() != AscDescList.size())
    errors::Raise(errors::kFindIndexAscDescLengths, {FieldNames.size(), AscDescList.size()});
  if (FieldNames.size() != CaseSensitivityList.size())
    errors::Raise(errors::kFindIndexCaseLengths, {FieldNames.size(), CaseSensitivityList.size()});

  auto columnServes = [&](const TABSIndexColumn& column, size_t i) {
    if (!AnsiSameText(column.FFieldName, FieldNames[i])) return false;
    if (AscDescList[i] == "ASC" && column.FDescending) return false;
    if (AscDescList[i] == "DESC" && !column.FDescending) return false;
    if (CaseSensitivityList[i] == "CASE" && column.FCaseInsensitive) {
      const TABSFieldDef* field = FieldDefs.GetFieldDefByName(FieldNames[i]);
      if (field && IsStringFieldType(field->FBaseFieldType)) return false;
    }
    if (CaseSensitivityList[i] == "NO_CASE" && !column.FCaseInsensitive) return false;
    return true;
  };

  for (int n = 0; n < Count(); ++n) {
    const TABSIndexDef& index = *Items(n);
    if (index.FIndexColumns.size() < FieldNames.size()) continue;
    if (index.FTemporary && index.FSessionID != SessionID) continue;
    bool serves = true;
    for (size_t i = 0; serves && i < FieldNames.size(); ++i)
      serves = columnServes(index.FIndexColumns[i], i);
    if (serves) return index.FObjectID;
  }
  return -1;
}

std::unique_ptr<TABSMetaObjectDef> TABSIndexDefs::createDef() const {
  return std::make_unique<TABSIndexDef>();
}

bool TABSIndexDefs::isOwnKind(const TABSMetaObjectDef& Def) const {
  return dynamic_cast<const TABSIndexDef*>(&Def) != nullptr;
}

}  // namespace zev
