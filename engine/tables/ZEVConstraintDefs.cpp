#include "engine/tables/ZEVConstraintDefs.h"

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVDefinitionErrors.h"

namespace zev {

namespace {

using namespace metadata;

// Stream codes of the kind byte (write / read).
constexpr int kWriteConstraintType = 10219, kReadConstraintType = 10220;

// The codes of one short string: its count and its bytes.
struct TShortStringCodes {
  int Count, Bytes;
};

// The codes of a column constraint in one direction: the three object ids, then the three
// names (schema, table, column).
struct TColumnConstraintCodes {
  int SchemaID, TableID, ColumnID;
  TShortStringCodes SchemaName, TableName, ColumnName;
};

constexpr TColumnConstraintCodes kWriteNotNull{10240,          10241,          10242,
                                               {10243, 10244}, {10245, 10246}, {10247, 10248}};
constexpr TColumnConstraintCodes kReadNotNull{10249,          10250,          10251,
                                              {10252, 10253}, {10254, 10255}, {10256, 10257}};
constexpr TColumnConstraintCodes kWriteCheck{10227,          10228,          10229,
                                             {10221, 10222}, {10223, 10224}, {10225, 10226}};
constexpr TColumnConstraintCodes kReadCheck{10230,          10231,          10232,
                                            {10233, 10234}, {10235, 10236}, {10237, 10238}};
constexpr TABSVariant::TStreamCodes kWriteCheckValue{10179, 10180, 10181, 10182};
constexpr TABSVariant::TStreamCodes kReadCheckValue{10183, 10184, 10185, 10186};

// Unique and primary constraints (write / read).
constexpr int kWriteUniqueSchemaID = 30313, kReadUniqueSchemaID = 30303;
constexpr int kWriteUniqueTableID = 30314, kReadUniqueTableID = 30304;
constexpr int kWriteUniqueIndexID = 30318, kReadUniqueIndexID = 30317;
constexpr TShortStringCodes kWriteUniqueSchemaName{30315, 30316},
    kReadUniqueSchemaName{30305, 30306};
constexpr TShortStringCodes kWriteUniqueTableName{30317, 30318}, kReadUniqueTableName{30307, 30308};
constexpr TShortStringCodes kWriteUniqueIndexName{30323, 30324}, kReadUniqueIndexName{30321, 30322};
constexpr int kWriteUniqueColumnCount = 30319, kReadUniqueColumnCount = 30309;
constexpr int kWriteUniqueColumnID = 30320, kReadUniqueColumnID = 30310;
constexpr TShortStringCodes kWriteUniqueColumnName{30321, 30322},
    kReadUniqueColumnName{30311, 30312};

void writeShort1(TABSStream& Stream, const AnsiString& Value, const TShortStringCodes& Codes) {
  WriteShortString(Stream, Value, 1, Codes.Count, Codes.Bytes);
}
AnsiString readShort1(TABSStream& Stream, const TShortStringCodes& Codes) {
  return ReadShortString(Stream, 1, Codes.Count, Codes.Bytes);
}
void writeShort4(TABSStream& Stream, const AnsiString& Value, const TShortStringCodes& Codes) {
  WriteShortString(Stream, Value, 4, Codes.Count, Codes.Bytes);
}
AnsiString readShort4(TABSStream& Stream, const TShortStringCodes& Codes) {
  return ReadShortString(Stream, 4, Codes.Count, Codes.Bytes);
}

/* Stored column constraint (not-null or check), after the header:
     schema id, table id, column id                         int32 each
     schema name, table name, column name                   1-byte count N, N bytes each
                                                            (length byte + characters)
   a check then adds its minimum and maximum as TABSVariant records.                      */
void saveColumnPart(TABSStream& Stream, const TABSConstraintDefNotNull& Def,
                    const TColumnConstraintCodes& Codes) {
  WriteInt32(Stream, Def.FTableSchemaObjectID, Codes.SchemaID);
  WriteInt32(Stream, Def.FTableObjectID, Codes.TableID);
  WriteInt32(Stream, Def.FColumnObjectID, Codes.ColumnID);
  writeShort1(Stream, Def.FTableSchemaName, Codes.SchemaName);
  writeShort1(Stream, Def.FTableName, Codes.TableName);
  writeShort1(Stream, Def.FColumnName, Codes.ColumnName);
}

void loadColumnPart(TABSStream& Stream, TABSConstraintDefNotNull& Def,
                    const TColumnConstraintCodes& Codes) {
  Def.FTableSchemaObjectID = ReadInt32(Stream, Codes.SchemaID);
  Def.FTableObjectID = ReadInt32(Stream, Codes.TableID);
  Def.FColumnObjectID = ReadInt32(Stream, Codes.ColumnID);
  Def.FTableSchemaName = readShort1(Stream, Codes.SchemaName);
  Def.FTableName = readShort1(Stream, Codes.TableName);
  Def.FColumnName = readShort1(Stream, Codes.ColumnName);
}

}  // namespace

// --- TABSConstraintDef -----------------------------------------------------------------------

void TABSConstraintDef::Assign(const TABSMetaObjectDef& Source) {
  TABSMetaObjectDef::Assign(Source);
  if (const auto* source = dynamic_cast<const TABSConstraintDef*>(&Source))
    FConstraintType = source->FConstraintType;
}

// --- TABSConstraintDefNotNull ----------------------------------------------------------------

void TABSConstraintDefNotNull::Assign(const TABSMetaObjectDef& Source) {
  TABSConstraintDef::Assign(Source);
  const auto* source = dynamic_cast<const TABSConstraintDefNotNull*>(&Source);
  if (!source) return;
  FTableSchemaName = source->FTableSchemaName;
  FTableName = source->FTableName;
  FColumnName = source->FColumnName;
  FTableSchemaObjectID = source->FTableSchemaObjectID;
  FTableObjectID = source->FTableObjectID;
  FColumnObjectID = source->FColumnObjectID;
}

void TABSConstraintDefNotNull::SaveToStream(TABSStream& Stream) const {
  TABSMetaObjectDef::SaveToStream(Stream);
  saveColumnPart(Stream, *this, kWriteNotNull);
}

void TABSConstraintDefNotNull::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDef::LoadFromStream(Stream);
  loadColumnPart(Stream, *this, kReadNotNull);
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefNotNull::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefNotNull>();
  copy->Assign(*this);
  return copy;
}

// --- TABSConstraintDefCheck ------------------------------------------------------------------

void TABSConstraintDefCheck::Assign(const TABSMetaObjectDef& Source) {
  TABSConstraintDefNotNull::Assign(Source);
  const auto* source = dynamic_cast<const TABSConstraintDefCheck*>(&Source);
  if (!source) return;
  FMinValue.Assign(source->FMinValue);
  FMaxValue.Assign(source->FMaxValue);
}

void TABSConstraintDefCheck::SaveToStream(TABSStream& Stream) const {
  TABSMetaObjectDef::SaveToStream(Stream);
  saveColumnPart(Stream, *this, kWriteCheck);
  FMinValue.SaveToStream(Stream, kWriteCheckValue);
  FMaxValue.SaveToStream(Stream, kWriteCheckValue);
}

void TABSConstraintDefCheck::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDef::LoadFromStream(Stream);
  loadColumnPart(Stream, *this, kReadCheck);
  FMinValue.LoadFromStream(Stream, kReadCheckValue);
  FMaxValue.LoadFromStream(Stream, kReadCheckValue);
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefCheck::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefCheck>();
  copy->Assign(*this);
  return copy;
}

// --- TABSConstraintDefUnique / TABSConstraintDefPrimary --------------------------------------

void TABSConstraintDefUnique::Assign(const TABSMetaObjectDef& Source) {
  TABSConstraintDef::Assign(Source);
  const auto* source = dynamic_cast<const TABSConstraintDefUnique*>(&Source);
  if (!source) return;
  FTableSchemaName = source->FTableSchemaName;
  FTableName = source->FTableName;
  FIndexName = source->FIndexName;
  FTableSchemaObjectID = source->FTableSchemaObjectID;
  FTableObjectID = source->FTableObjectID;
  FIndexObjectID = source->FIndexObjectID;
  Columns = source->Columns;
}

/* Stored unique or primary constraint, after the header:
     schema id, table id, index id                          int32 each
     schema name, table name, index name                    int32 count N, N bytes each
     column count                                           int32
     per column: column id int32, column name (int32 count N, N bytes)                     */
void TABSConstraintDefUnique::SaveToStream(TABSStream& Stream) const {
  TABSMetaObjectDef::SaveToStream(Stream);
  WriteInt32(Stream, FTableSchemaObjectID, kWriteUniqueSchemaID);
  WriteInt32(Stream, FTableObjectID, kWriteUniqueTableID);
  WriteInt32(Stream, FIndexObjectID, kWriteUniqueIndexID);
  writeShort4(Stream, FTableSchemaName, kWriteUniqueSchemaName);
  writeShort4(Stream, FTableName, kWriteUniqueTableName);
  writeShort4(Stream, FIndexName, kWriteUniqueIndexName);
  WriteInt32(Stream, static_cast<int32_t>(Columns.size()), kWriteUniqueColumnCount);
  for (const TABSConstraintColumn& column : Columns) {
    WriteInt32(Stream, column.ColumnObjectID, kWriteUniqueColumnID);
    writeShort4(Stream, column.ColumnName, kWriteUniqueColumnName);
  }
}

void TABSConstraintDefUnique::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDef::LoadFromStream(Stream);
  FTableSchemaObjectID = ReadInt32(Stream, kReadUniqueSchemaID);
  FTableObjectID = ReadInt32(Stream, kReadUniqueTableID);
  FIndexObjectID = ReadInt32(Stream, kReadUniqueIndexID);
  FTableSchemaName = readShort4(Stream, kReadUniqueSchemaName);
  FTableName = readShort4(Stream, kReadUniqueTableName);
  FIndexName = readShort4(Stream, kReadUniqueIndexName);
  const int32_t columnCount = ReadInt32(Stream, kReadUniqueColumnCount);
  Columns.clear();
  for (int32_t i = 0; i < columnCount; ++i) {
    TABSConstraintColumn column;
    column.ColumnObjectID = ReadInt32(Stream, kReadUniqueColumnID);
    column.ColumnName = readShort4(Stream, kReadUniqueColumnName);
    Columns.push_back(std::move(column));
  }
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefUnique::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefUnique>();
  copy->Assign(*this);
  return copy;
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefPrimary::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefPrimary>();
  copy->Assign(*this);
  return copy;
}

// --- TABSConstraintDefs ----------------------------------------------------------------------

TABSConstraintDefNotNull* TABSConstraintDefs::AddNotNull() {
  return static_cast<TABSConstraintDefNotNull*>(Add(std::make_unique<TABSConstraintDefNotNull>()));
}

TABSConstraintDefCheck* TABSConstraintDefs::AddCheck() {
  return static_cast<TABSConstraintDefCheck*>(Add(std::make_unique<TABSConstraintDefCheck>()));
}

TABSConstraintDefPrimary* TABSConstraintDefs::AddPK() {
  return static_cast<TABSConstraintDefPrimary*>(Add(std::make_unique<TABSConstraintDefPrimary>()));
}

TABSConstraintDefUnique* TABSConstraintDefs::AddUnique() {
  return static_cast<TABSConstraintDefUnique*>(Add(std::make_unique<TABSConstraintDefUnique>()));
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefs::loadItem(TABSStream& Stream) const {
  const uint8_t type = ReadUInt8(Stream, kReadConstraintType);
  std::unique_ptr<TABSMetaObjectDef> def;
  switch (type) {
    case ctPK:
      def = std::make_unique<TABSConstraintDefPrimary>();
      break;
    case ctUnique:
      def = std::make_unique<TABSConstraintDefUnique>();
      break;
    case ctNotNull:
      def = std::make_unique<TABSConstraintDefNotNull>();
      break;
    case ctCheck:
      def = std::make_unique<TABSConstraintDefCheck>();
      break;
    default:
      errors::Raise(errors::kUnknownConstraintType, {type});
  }
  def->LoadFromStream(Stream);
  return def;
}

void TABSConstraintDefs::saveItem(TABSStream& Stream, const TABSMetaObjectDef& Def) const {
  WriteUInt8(Stream, static_cast<const TABSConstraintDef&>(Def).FConstraintType,
             kWriteConstraintType);
  Def.SaveToStream(Stream);
}

bool TABSConstraintDefs::isOwnKind(const TABSMetaObjectDef& Def) const {
  return dynamic_cast<const TABSConstraintDef*>(&Def) != nullptr;
}

}  // namespace zev
