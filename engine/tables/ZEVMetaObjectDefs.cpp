#include "engine/tables/ZEVMetaObjectDefs.h"

#include <algorithm>
#include <stdexcept>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVDefinitionErrors.h"

namespace zev {

namespace {

// Stream codes of the definition header and of a collection (write / read).
constexpr int kWriteNameLength = 10164, kWriteNameBytes = 10165;
constexpr int kReadNameLength = 10166, kReadNameBytes = 10167;
constexpr int kWriteObjectID = 10168, kReadObjectID = 10169;
constexpr int kWriteCount = 10158, kReadCount = 10159;

}  // namespace

// --- Metadata items ------------------------------------------------------------------------
namespace metadata {

void WriteUInt8(TABSStream& Stream, uint8_t Value, int Code) {
  Stream.WriteBuffer(&Value, 1, Code);
}

uint8_t ReadUInt8(TABSStream& Stream, int Code) {
  uint8_t value = 0;
  Stream.ReadBuffer(&value, 1, Code);
  return value;
}

void WriteBool(TABSStream& Stream, bool Value, int Code) {
  WriteUInt8(Stream, Value ? 1 : 0, Code);
}

bool ReadBool(TABSStream& Stream, int Code) { return ReadUInt8(Stream, Code) != 0; }

void WriteInt32(TABSStream& Stream, int32_t Value, int Code) {
  uint8_t bytes[4];
  PutInt32LE(bytes, Value);
  Stream.WriteBuffer(bytes, sizeof bytes, Code);
}

int32_t ReadInt32(TABSStream& Stream, int Code) {
  uint8_t bytes[4];
  Stream.ReadBuffer(bytes, sizeof bytes, Code);
  return GetInt32LE(bytes);
}

void WriteInt64(TABSStream& Stream, int64_t Value, int Code) {
  uint8_t bytes[8];
  PutInt64LE(bytes, Value);
  Stream.WriteBuffer(bytes, sizeof bytes, Code);
}

int64_t ReadInt64(TABSStream& Stream, int Code) {
  uint8_t bytes[8];
  Stream.ReadBuffer(bytes, sizeof bytes, Code);
  return GetInt64LE(bytes);
}

void WriteString1(TABSStream& Stream, const AnsiString& Value, int LengthCode, int BytesCode) {
  const size_t length = std::min(Value.size(), TABSMetaObjectDef::MaxNameLength);
  WriteUInt8(Stream, static_cast<uint8_t>(length), LengthCode);
  Stream.WriteBuffer(Value.data(), static_cast<int64_t>(length), BytesCode);
}

AnsiString ReadString1(TABSStream& Stream, int LengthCode, int BytesCode) {
  AnsiString value(ReadUInt8(Stream, LengthCode), '\0');
  Stream.ReadBuffer(value.data(), static_cast<int64_t>(value.size()), BytesCode);
  return value;
}

void WriteShortString(TABSStream& Stream, const AnsiString& Value, int CountWidth, int CountCode,
                      int BytesCode) {
  const size_t limit = CountWidth == 1 ? 254 : 255;
  const size_t length = std::min(Value.size(), limit);
  std::vector<uint8_t> bytes(length + 1);
  bytes[0] = static_cast<uint8_t>(length);
  std::copy_n(Value.begin(), length, bytes.begin() + 1);
  const auto count = static_cast<int32_t>(bytes.size());
  if (CountWidth == 1)
    WriteUInt8(Stream, static_cast<uint8_t>(count), CountCode);
  else
    WriteInt32(Stream, count, CountCode);
  Stream.WriteBuffer(bytes.data(), count, BytesCode);
}

AnsiString ReadShortString(TABSStream& Stream, int CountWidth, int CountCode, int BytesCode) {
  const int32_t count =
      CountWidth == 1 ? ReadUInt8(Stream, CountCode) : ReadInt32(Stream, CountCode);
  if (count <= 0) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  Stream.ReadBuffer(bytes.data(), count, BytesCode);
  const size_t length = std::min<size_t>(bytes[0], bytes.size() - 1);
  return AnsiString(bytes.begin() + 1, bytes.begin() + 1 + static_cast<std::ptrdiff_t>(length));
}

}  // namespace metadata

// --- TABSMetaObjectDef -----------------------------------------------------------------------

void TABSMetaObjectDef::Assign(const TABSMetaObjectDef& Source) {
  FName = Source.FName;
  FObjectID = Source.FObjectID;
  FSchemaName = Source.FSchemaName;
  FSchemaID = Source.FSchemaID;
}

void TABSMetaObjectDef::LoadFromStream(TABSStream& Stream) {
  FName = metadata::ReadString1(Stream, kReadNameLength, kReadNameBytes);
  FObjectID = metadata::ReadInt32(Stream, kReadObjectID);
}

void TABSMetaObjectDef::SaveToStream(TABSStream& Stream) const {
  metadata::WriteString1(Stream, FName, kWriteNameLength, kWriteNameBytes);
  metadata::WriteInt32(Stream, FObjectID, kWriteObjectID);
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDef::Clone() const {
  auto copy = std::make_unique<TABSMetaObjectDef>();
  copy->Assign(*this);
  return copy;
}

// --- TABSMetaObjectDefs ----------------------------------------------------------------------

void TABSMetaObjectDefs::LoadFromStream(TABSStream& Stream) {
  Clear();
  const int32_t count = metadata::ReadInt32(Stream, kReadCount);
  for (int32_t i = 0; i < count; ++i) Add(loadItem(Stream));
}

void TABSMetaObjectDefs::SaveToStream(TABSStream& Stream) const {
  metadata::WriteInt32(Stream, Count(), kWriteCount);
  for (const auto& def : FItems) saveItem(Stream, *def);
}

void TABSMetaObjectDefs::Assign(const TABSMetaObjectDefs& Source) {
  if (&Source == this) return;
  Clear();
  for (const auto& def : Source.FItems) {
    // Unnamed definitions (constraints created without a name) do not collide.
    if (!def->FName.empty() && GetDefNumberByName(def->FName) >= 0)
      errors::Raise(errors::kDuplicateDefName, {def->FName});
    Add(def->Clone());
  }
}

void TABSMetaObjectDefs::Delete(int Index) {
  FItems.at(checkedIndex(Index));
  FItems.erase(FItems.begin() + Index);
}

TABSMetaObjectDef* TABSMetaObjectDefs::Insert(int Index, std::unique_ptr<TABSMetaObjectDef> Def) {
  if (Index < 0 || Index > Count()) throw std::out_of_range("TABSMetaObjectDefs::Insert");
  if (!Def || !isOwnKind(*Def))
    throw std::invalid_argument("TABSMetaObjectDefs::Insert: definition of another kind");
  TABSMetaObjectDef* link = Def.get();
  FItems.insert(FItems.begin() + Index, std::move(Def));
  return link;
}

void TABSMetaObjectDefs::Move(int CurIndex, int NewIndex) {
  FItems.at(checkedIndex(CurIndex));
  FItems.at(checkedIndex(NewIndex));
  if (CurIndex == NewIndex) return;
  std::unique_ptr<TABSMetaObjectDef> def = std::move(FItems[CurIndex]);
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, std::move(def));
}

void TABSMetaObjectDefs::Clear() { FItems.clear(); }

int TABSMetaObjectDefs::GetDefNumberByName(const AnsiString& Name) const {
  const AnsiString upperName = AnsiUpperCase(Name);
  for (int i = 0; i < Count(); ++i)
    if (AnsiUpperCase(FItems[i]->FName) == upperName) return i;
  return -1;
}

TABSMetaObjectDef* TABSMetaObjectDefs::GetDefByName(const AnsiString& Name) const {
  const int index = GetDefNumberByName(Name);
  return index < 0 ? nullptr : FItems[index].get();
}

int TABSMetaObjectDefs::GetDefNumberByObjectId(int32_t ObjectID) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i]->FObjectID == ObjectID) return i;
  return -1;
}

TABSMetaObjectDef* TABSMetaObjectDefs::GetDefByObjectId(int32_t ObjectID) const {
  const int index = GetDefNumberByObjectId(ObjectID);
  return index < 0 ? nullptr : FItems[index].get();
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDefs::createDef() const {
  return std::make_unique<TABSMetaObjectDef>();
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDefs::loadItem(TABSStream& Stream) const {
  std::unique_ptr<TABSMetaObjectDef> def = createDef();
  def->LoadFromStream(Stream);
  return def;
}

void TABSMetaObjectDefs::saveItem(TABSStream& Stream, const TABSMetaObjectDef& Def) const {
  Def.SaveToStream(Stream);
}

bool TABSMetaObjectDefs::isOwnKind(const TABSMetaObjectDef&) const { return true; }

}  // namespace zev
