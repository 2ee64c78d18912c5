#include "engine/tables/ZEVSmallBlobPage.h"

#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVBlobErrors.h"

namespace zev {

uint16_t TABSSmallBlobPage::BlobCount() const { return GetUInt16LE(PageData()); }

void TABSSmallBlobPage::SetBlobCount(uint16_t Count) { PutUInt16LE(PageData(), Count); }

int32_t TABSSmallBlobPage::findItem(uint16_t PageItemNo, TABSBlobItemHeader& Header) const {
  const int32_t dataSize = PageDataSize();
  int32_t offset = kSmallBlobItemsOffset;
  for (int32_t i = 0; i < BlobCount(); ++i) {
    if (offset + static_cast<int32_t>(TABSBlobItemHeader::Size) > dataSize)
      errors::Raise(errors::kInvalidBlobFieldSize);
    Header.Load(PageData() + offset);
    const int64_t end = offset + static_cast<int64_t>(TABSBlobItemHeader::Size) + Header.StoredSize;
    if (Header.StoredSize < 0 || end > dataSize) errors::Raise(errors::kInvalidBlobFieldSize);
    if (Header.ItemID == PageItemNo) return offset;
    offset = static_cast<int32_t>(end);
  }
  return -1;
}

int32_t TABSSmallBlobPage::EndOffset() const {
  const int32_t dataSize = PageDataSize();
  int32_t offset = kSmallBlobItemsOffset;
  for (int32_t i = 0; i < BlobCount(); ++i) {
    if (offset + static_cast<int32_t>(TABSBlobItemHeader::Size) > dataSize)
      errors::Raise(errors::kInvalidBlobFieldSize);
    TABSBlobItemHeader header;
    header.Load(PageData() + offset);
    const int64_t end = offset + static_cast<int64_t>(TABSBlobItemHeader::Size) + header.StoredSize;
    if (header.StoredSize < 0 || end > dataSize) errors::Raise(errors::kInvalidBlobFieldSize);
    offset = static_cast<int32_t>(end);
  }
  return offset;
}

uint16_t TABSSmallBlobPage::NextItemID() const {
  uint32_t id = BlobCount();
  TABSBlobItemHeader header;
  for (;;) {
    if (id >= 0xFFFF) errors::Raise(errors::kInvalidBlobItemID);
    if (id != kAmbiguousBlobItemNo && findItem(static_cast<uint16_t>(id), header) < 0)
      return static_cast<uint16_t>(id);
    id = id == 0xFFFE ? 0 : id + 1;
    if (id == BlobCount()) errors::Raise(errors::kInvalidBlobItemID);  // every ID taken
  }
}

void TABSSmallBlobPage::AddBlob(const TABSDiskBLOBCache& BlobCache, TABSPageItemID& PageItemID) {
  const uint16_t id = NextItemID();
  const int32_t offset = EndOffset();
  TABSBlobItemHeader header;
  header.ItemID = id;
  header.NumBlocks = BlobCache.NumBlocks;
  header.StoredSize = static_cast<int64_t>(BlobCache.BlobData.size());
  header.UncompressedSize = BlobCache.UncompressedSize;
  header.Store(PageData() + offset);
  if (!BlobCache.BlobData.empty())
    std::memcpy(PageData() + offset + TABSBlobItemHeader::Size, BlobCache.BlobData.data(),
                BlobCache.BlobData.size());
  SetBlobCount(static_cast<uint16_t>(BlobCount() + 1));
  SetIsDirty(true);
  PageItemID.PageNo = PageNo();
  PageItemID.PageItemNo = id;
}

void TABSSmallBlobPage::DeleteBlob(uint16_t PageItemNo, int32_t& BlobSize) {
  TABSBlobItemHeader header;
  const int32_t offset = findItem(PageItemNo, header);
  if (offset < 0) errors::Raise(errors::kBlobItemNotFound);
  BlobSize = static_cast<int32_t>(TABSBlobItemHeader::Size + header.StoredSize);
  const int32_t next = offset + BlobSize;
  std::memmove(PageData() + offset, PageData() + next, static_cast<size_t>(PageDataSize() - next));
  SetBlobCount(static_cast<uint16_t>(BlobCount() - 1));
  SetIsDirty(true);
}

bool TABSSmallBlobPage::ReadBlob(TABSDiskBLOBCache& BlobCache, uint16_t PageItemNo) const {
  TABSBlobItemHeader header;
  const int32_t offset = findItem(PageItemNo, header);
  if (offset < 0) return false;
  const uint8_t* data = PageData() + offset + TABSBlobItemHeader::Size;
  BlobCache.NumBlocks = header.NumBlocks;
  BlobCache.UncompressedSize = header.UncompressedSize;
  BlobCache.BlobData.assign(data, data + header.StoredSize);
  BlobCache.Modified = false;
  return true;
}

}  // namespace zev
