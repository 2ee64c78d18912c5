#include "engine/storage/ZEVSystemDirectory.h"

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"

namespace zev {

void TABSSystemDirectoryListItem::Load(const uint8_t* Buffer) {
  FileID = static_cast<TABSDBFileType>(Buffer[0]);
  FirstPageNo = GetInt32LE(Buffer + 1);
}

void TABSSystemDirectoryListItem::Store(uint8_t* Buffer) const {
  Buffer[0] = FileID;
  PutInt32LE(Buffer + 1, FirstPageNo);
}

TABSSystemDirectory::TABSSystemDirectory(TABSPageManager& PageManager)
    : FFile(std::make_unique<TABSInternalDBTransactedAccessFile>(PageManager,
                                                                 ptFileSystemDirectory)) {}

void TABSSystemDirectory::CreateDirectory() {
  FFile->CreateFile(kSystemSessionID);
  if (FFile->StartPageNo() != kSystemDirectoryPageNo)
    errors::Raise(errors::kSystemDirectoryNotOnPage2,
                  {FFile->StartPageNo(), kSystemDirectoryPageNo});
}

void TABSSystemDirectory::LoadDirectory() {
  FFile->OpenFile(kSystemDirectoryPageNo);
  const int32_t count =
      FFile->GetSize(kSystemSessionID) / static_cast<int32_t>(TABSSystemDirectoryListItem::Size);
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * TABSSystemDirectoryListItem::Size);
  FFile->ReadFile(kSystemSessionID, bytes.data(), static_cast<int32_t>(bytes.size()));
  FItems.assign(static_cast<size_t>(count), {});
  for (int32_t i = 0; i < count; ++i)
    FItems[i].Load(bytes.data() + i * TABSSystemDirectoryListItem::Size);
}

void TABSSystemDirectory::SaveDirectory() {
  std::vector<uint8_t> bytes(FItems.size() * TABSSystemDirectoryListItem::Size);
  for (size_t i = 0; i < FItems.size(); ++i)
    FItems[i].Store(bytes.data() + i * TABSSystemDirectoryListItem::Size);
  FFile->WriteFile(kSystemSessionID, bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TABSSystemDirectory::CreateFile(TABSDBFileType FileType, int32_t FirstPageNo) {
  TABSSystemDirectoryListItem item;
  item.FileID = FileType;
  item.FirstPageNo = FirstPageNo;
  FItems.push_back(item);
}

int32_t TABSSystemDirectory::GetFileFirstPageNo(TABSDBFileType FileType) const {
  for (const TABSSystemDirectoryListItem& item : FItems)
    if (item.FileID == FileType) return item.FirstPageNo;
  return -1;
}

}  // namespace zev
