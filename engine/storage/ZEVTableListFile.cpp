#include "engine/storage/ZEVTableListFile.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"

namespace zev {

namespace {

constexpr size_t kItemSize = TABSTableListItem::Size;

AnsiString cutName(const AnsiString& Name) {
  return Name.substr(0, TABSTableListItem::MaxNameLength);
}

}  // namespace

void TABSTableListItem::Load(const uint8_t* Buffer) {
  TableName.assign(reinterpret_cast<const char*>(Buffer + 1), Buffer[0]);
  TableID = GetInt32LE(Buffer + 256);
  MetaDataFilePageNo = GetInt32LE(Buffer + 260);
  MostUpdatedFilePageNo = GetInt32LE(Buffer + 264);
  LocksFilePageNo = GetInt32LE(Buffer + 268);
}

void TABSTableListItem::Store(uint8_t* Buffer) const {
  const AnsiString name = cutName(TableName);
  std::memset(Buffer, 0, 256);
  Buffer[0] = static_cast<uint8_t>(name.size());
  std::memcpy(Buffer + 1, name.data(), name.size());
  PutInt32LE(Buffer + 256, TableID);
  PutInt32LE(Buffer + 260, MetaDataFilePageNo);
  PutInt32LE(Buffer + 264, MostUpdatedFilePageNo);
  PutInt32LE(Buffer + 268, LocksFilePageNo);
}

TABSTableListFile::TABSTableListFile(TABSPageManager& PageManager)
    : FFile(std::make_unique<TABSInternalDBTransactedAccessFile>(PageManager, ptTableList)) {}

int32_t TABSTableListFile::CreateFile() {
  FFile->CreateFile(kSystemSessionID);
  const int32_t firstPageNo = FFile->StartPageNo();
  FFile->CloseFile();
  return firstPageNo;
}

void TABSTableListFile::OpenFile(int32_t FirstPageNo) {
  if (FFile->IsOpened()) errors::Raise(errors::kTableListAlreadyOpened);
  FFile->OpenFile(FirstPageNo);
}

void TABSTableListFile::CloseFile() {
  FFile->CloseFile();
  FItems.clear();
}

void TABSTableListFile::Load() {
  const int32_t count = FFile->GetSize(kSystemSessionID) / static_cast<int32_t>(kItemSize);
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * kItemSize);
  FFile->ReadFile(kSystemSessionID, bytes.data(), static_cast<int32_t>(bytes.size()));
  FItems.assign(static_cast<size_t>(count), {});
  for (int32_t i = 0; i < count; ++i) FItems[i].Load(bytes.data() + i * kItemSize);
}

void TABSTableListFile::Save() {
  std::vector<uint8_t> bytes(FItems.size() * kItemSize);
  for (size_t i = 0; i < FItems.size(); ++i) FItems[i].Store(bytes.data() + i * kItemSize);
  FFile->WriteFile(kSystemSessionID, bytes.data(), static_cast<int32_t>(bytes.size()));
}

int TABSTableListFile::findTable(const AnsiString& TableName) const {
  const AnsiString wanted = AnsiUpperCase(TableName);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (AnsiUpperCase(FItems[i].TableName) == wanted) return static_cast<int>(i);
  return -1;
}

bool TABSTableListFile::TableExists(const AnsiString& TableName) const {
  return findTable(TableName) >= 0;
}

void TABSTableListFile::AddTable(int32_t TableID, const AnsiString& TableName,
                                 int32_t MetadataFilePageNo, int32_t MostUpdatedFilePageNo,
                                 int32_t LocksFilePageNo) {
  if (TableExists(TableName)) errors::Raise(errors::kTableAlreadyExists, {TableName});
  TABSTableListItem item;
  item.TableName = cutName(TableName);
  item.TableID = TableID;
  item.MetaDataFilePageNo = MetadataFilePageNo;
  item.MostUpdatedFilePageNo = MostUpdatedFilePageNo;
  item.LocksFilePageNo = LocksFilePageNo;
  FItems.push_back(item);
}

void TABSTableListFile::OpenTable(const AnsiString& TableName, int32_t& TableID,
                                  int32_t& MetadataFilePageNo, int32_t& MostUpdatedFilePageNo,
                                  int32_t& LocksFilePageNo) const {
  const int index = findTable(TableName);
  if (index < 0) errors::Raise(errors::kTableNotExistsAtOpen, {TableName});
  const TABSTableListItem& item = FItems[index];
  TableID = item.TableID;
  MetadataFilePageNo = item.MetaDataFilePageNo;
  MostUpdatedFilePageNo = item.MostUpdatedFilePageNo;
  LocksFilePageNo = item.LocksFilePageNo;
}

void TABSTableListFile::RemoveTable(const AnsiString& TableName) {
  const int index = findTable(TableName);
  if (index < 0) errors::Raise(errors::kTableNotExistsAtRemove, {TableName});
  FItems.erase(FItems.begin() + index);
}

void TABSTableListFile::RenameTable(const AnsiString& TableName, const AnsiString& NewTableName) {
  const int index = findTable(TableName);
  if (index < 0) errors::Raise(errors::kTableNotExistsAtRename, {TableName});
  FItems[index].TableName = cutName(NewTableName);
}

void TABSTableListFile::GetTablesList(std::vector<AnsiString>& List) {
  Load();
  List.clear();
  for (const TABSTableListItem& item : FItems) List.push_back(item.TableName);
}

}  // namespace zev
