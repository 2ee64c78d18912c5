#include "engine/tables/ZEVFieldDefs.h"

namespace zev {

namespace {

using namespace metadata;

// Stream codes of a field definition (write / read).
constexpr int kWriteBaseType = 10170, kReadBaseType = 10187;
constexpr int kWriteAdvancedType = 10171, kReadAdvancedType = 10188;
constexpr int kWriteFieldSize = 10172, kReadFieldSize = 10189;
constexpr int kWriteCompressionAlgorithm = 10175, kReadCompressionAlgorithm = 10192;
constexpr int kWriteCompressionMode = 10176, kReadCompressionMode = 10193;
constexpr int kWriteBLOBBlockSize = 10177, kReadBLOBBlockSize = 10194;
constexpr int kWriteIncrement = 30412, kReadIncrement = 30407;
constexpr int kWriteInitialValue = 30413, kReadInitialValue = 30408;
constexpr int kWriteMinValue = 30414, kReadMinValue = 30409;
constexpr int kWriteMaxValue = 30415, kReadMaxValue = 30410;
constexpr int kWriteCycled = 30416, kReadCycled = 30411;
constexpr TABSVariant::TStreamCodes kWriteDefaultValue{10179, 10180, 10181, 10182};
constexpr TABSVariant::TStreamCodes kReadDefaultValue{10183, 10184, 10185, 10186};

}  // namespace

// --- TABSFieldDef ----------------------------------------------------------------------------

void TABSFieldDef::Assign(const TABSMetaObjectDef& Source) {
  TABSMetaObjectDef::Assign(Source);
  const auto* source = dynamic_cast<const TABSFieldDef*>(&Source);
  if (!source) return;
  FBaseFieldType = source->FBaseFieldType;
  FAdvancedFieldType = source->FAdvancedFieldType;
  FFieldSize = source->FFieldSize;
  FDiskDataSize = source->FDiskDataSize;
  FMemoryDataSize = source->FMemoryDataSize;
  FDiskOffset = source->FDiskOffset;
  FMemoryOffset = source->FMemoryOffset;
  FFieldNoReference = source->FFieldNoReference;
  FDefaultValue.Assign(source->FDefaultValue);
  FBLOBCompressionAlgorithm = source->FBLOBCompressionAlgorithm;
  FBLOBCompressionMode = source->FBLOBCompressionMode;
  FBLOBBlockSize = source->FBLOBBlockSize;
  FAutoincIncrement = source->FAutoincIncrement;
  FAutoincInitialValue = source->FAutoincInitialValue;
  FAutoincMinValue = source->FAutoincMinValue;
  FAutoincMaxValue = source->FAutoincMaxValue;
  FAutoincCycled = source->FAutoincCycled;
}

/* Stored field definition, after the header:
     base type      1 byte        declared type   1 byte        field size   int32
     BLOB storage types only: compression algorithm 1 byte, compression mode 1 byte,
                              block size int32
     autoinc increment, initial value, minimum, maximum   int64 each;  cycled 1 byte
     default value: TABSVariant record                                                     */
void TABSFieldDef::SaveToStream(TABSStream& Stream) const {
  TABSMetaObjectDef::SaveToStream(Stream);
  WriteUInt8(Stream, FBaseFieldType, kWriteBaseType);
  WriteUInt8(Stream, FAdvancedFieldType, kWriteAdvancedType);
  WriteInt32(Stream, FFieldSize, kWriteFieldSize);
  if (IsBLOBFieldType(FBaseFieldType)) {
    WriteUInt8(Stream, FBLOBCompressionAlgorithm, kWriteCompressionAlgorithm);
    WriteUInt8(Stream, FBLOBCompressionMode, kWriteCompressionMode);
    WriteInt32(Stream, FBLOBBlockSize, kWriteBLOBBlockSize);
  }
  WriteInt64(Stream, FAutoincIncrement, kWriteIncrement);
  WriteInt64(Stream, FAutoincInitialValue, kWriteInitialValue);
  WriteInt64(Stream, FAutoincMinValue, kWriteMinValue);
  WriteInt64(Stream, FAutoincMaxValue, kWriteMaxValue);
  WriteBool(Stream, FAutoincCycled, kWriteCycled);
  FDefaultValue.SaveToStream(Stream, kWriteDefaultValue);
}

void TABSFieldDef::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDef::LoadFromStream(Stream);
  FBaseFieldType = static_cast<TABSBaseFieldType>(ReadUInt8(Stream, kReadBaseType));
  FAdvancedFieldType = static_cast<TABSAdvancedFieldType>(ReadUInt8(Stream, kReadAdvancedType));
  FFieldSize = ReadInt32(Stream, kReadFieldSize);
  if (IsBLOBFieldType(FBaseFieldType)) {
    FBLOBCompressionAlgorithm =
        static_cast<TABSCompressionAlgorithm>(ReadUInt8(Stream, kReadCompressionAlgorithm));
    FBLOBCompressionMode = ReadUInt8(Stream, kReadCompressionMode);
    FBLOBBlockSize = ReadInt32(Stream, kReadBLOBBlockSize);
  }
  FAutoincIncrement = ReadInt64(Stream, kReadIncrement);
  FAutoincInitialValue = ReadInt64(Stream, kReadInitialValue);
  FAutoincMinValue = ReadInt64(Stream, kReadMinValue);
  FAutoincMaxValue = ReadInt64(Stream, kReadMaxValue);
  FAutoincCycled = ReadBool(Stream, kReadCycled);
  FDefaultValue = TABSVariant(FBaseFieldType);
  FDefaultValue.LoadFromStream(Stream, kReadDefaultValue);
  RecalcDataSizes();
}

std::unique_ptr<TABSMetaObjectDef> TABSFieldDef::Clone() const {
  auto copy = std::make_unique<TABSFieldDef>();
  copy->Assign(*this);
  return copy;
}

void TABSFieldDef::SetFieldDefDataType(TABSAdvancedFieldType AdvancedFieldType, int32_t FieldSize) {
  const TABSBaseFieldType baseType = AdvancedFieldTypeToBaseFieldType(AdvancedFieldType);
  FAdvancedFieldType = AdvancedFieldType;
  FBaseFieldType = baseType;
  FFieldSize = FieldSize;
  RecalcDataSizes();
}

void TABSFieldDef::SetFieldDefDataType(TABSBaseFieldType BaseFieldType, int32_t FieldSize) {
  const TABSAdvancedFieldType advancedType = BaseFieldTypeToAdvancedFieldType(BaseFieldType);
  FBaseFieldType = BaseFieldType;
  FAdvancedFieldType = advancedType;
  FFieldSize = FieldSize;
  RecalcDataSizes();
}

void TABSFieldDef::RecalcDataSizes() {
  FMemoryDataSize = GetMemoryDataSize(FBaseFieldType, FFieldSize);
  FDiskDataSize = GetDiskDataSize(FBaseFieldType, FFieldSize);
}

// --- TABSFieldDefs ---------------------------------------------------------------------------

TABSFieldDef* TABSFieldDefs::AddCreated() {
  return static_cast<TABSFieldDef*>(Add(std::make_unique<TABSFieldDef>()));
}

void TABSFieldDefs::LoadFromStream(TABSStream& Stream) {
  TABSMetaObjectDefs::LoadFromStream(Stream);
  RecalcFieldOffsets();
}

void TABSFieldDefs::Assign(const TABSMetaObjectDefs& Source) {
  TABSMetaObjectDefs::Assign(Source);
  RecalcFieldOffsets();
}

void TABSFieldDefs::RecalcFieldOffsets() {
  int32_t memoryOffset = GetNullBitmapSize();
  int32_t diskOffset = memoryOffset;
  for (int i = 0; i < Count(); ++i) {
    TABSFieldDef& def = *Items(i);
    def.FMemoryOffset = memoryOffset;
    def.FDiskOffset = diskOffset;
    memoryOffset += def.FMemoryDataSize;
    diskOffset += def.FDiskDataSize;
  }
}

int32_t TABSFieldDefs::GetMemoryRecordBufferSize() const {
  int32_t size = GetNullBitmapSize();
  for (int i = 0; i < Count(); ++i) size += Items(i)->FMemoryDataSize;
  return size;
}

int32_t TABSFieldDefs::GetDiskRecordBufferSize() const {
  int32_t size = GetNullBitmapSize();
  for (int i = 0; i < Count(); ++i) size += Items(i)->FDiskDataSize;
  return size;
}

std::unique_ptr<TABSMetaObjectDef> TABSFieldDefs::createDef() const {
  return std::make_unique<TABSFieldDef>();
}

bool TABSFieldDefs::isOwnKind(const TABSMetaObjectDef& Def) const {
  return dynamic_cast<const TABSFieldDef*>(&Def) != nullptr;
}

}  // namespace zev
