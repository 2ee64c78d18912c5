#include "engine/tables/ZEVRecordPage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVRecordErrors.h"

namespace zev {

TABSSmallRecordPage::TABSSmallRecordPage(TABSPage& Page, int32_t RecordBufferSize,
                                         int32_t MaxRecordsOnPage)
    : LPage(Page),
      FRecordBufferSize(RecordBufferSize),
      FMaxRecordsOnPage(MaxRecordsOnPage),
      FRecordDataOffset((MaxRecordsOnPage + 7) / 8) {
  const int64_t needed = static_cast<int64_t>(FRecordDataOffset) +
                         static_cast<int64_t>(MaxRecordsOnPage) * RecordBufferSize;
  if (MaxRecordsOnPage < 0 || RecordBufferSize < 0 || needed > LPage.PageDataSize())
    errors::Raise(errors::kInvalidRecordsOnPage);
}

int32_t TABSSmallRecordPage::MaxRecordsOnPage(int32_t PageDataSize, int32_t DiskRecordBufferSize) {
  const double capacity = (static_cast<double>(PageDataSize) - 1.0) /
                          (static_cast<double>(DiskRecordBufferSize) + 0.125);
  return capacity <= 0 ? 0 : static_cast<int32_t>(std::floor(capacity));
}

bool TABSSmallRecordPage::isUsed(int32_t Slot) const {
  return (LPage.PageData()[Slot / 8] >> (Slot % 8) & 1) != 0;
}

void TABSSmallRecordPage::setUsed(int32_t Slot, bool Used) {
  uint8_t& bits = LPage.PageData()[Slot / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (Slot % 8));
  bits = Used ? static_cast<uint8_t>(bits | mask) : static_cast<uint8_t>(bits & ~mask);
  LPage.SetIsDirty(true);
}

bool TABSSmallRecordPage::validSlot(const TABSPageItemID& RecordID) const {
  return RecordID.PageItemNo < FMaxRecordsOnPage && isUsed(RecordID.PageItemNo);
}

uint8_t* TABSSmallRecordPage::slotData(int32_t Slot) const {
  return LPage.PageData() + FRecordDataOffset + static_cast<size_t>(Slot) * FRecordBufferSize;
}

TABSPageItemID TABSSmallRecordPage::idOf(int32_t Slot) const {
  TABSPageItemID id;
  id.PageNo = LPage.PageNo();
  id.PageItemNo = static_cast<uint16_t>(Slot);
  return id;
}

void TABSSmallRecordPage::AddRecord(const uint8_t* DiskRecordBuffer, TABSPageItemID& RecordID) {
  for (int32_t slot = 0; slot < FMaxRecordsOnPage; ++slot) {
    if (isUsed(slot)) continue;
    std::memcpy(slotData(slot), DiskRecordBuffer, static_cast<size_t>(FRecordBufferSize));
    setUsed(slot, true);
    RecordID = idOf(slot);
    return;
  }
  errors::Raise(errors::kRecordPageIsFull);
}

bool TABSSmallRecordPage::UpdateRecord(const uint8_t* DiskRecordBuffer,
                                       const TABSPageItemID& RecordID) {
  if (!validSlot(RecordID)) return false;
  std::memcpy(slotData(RecordID.PageItemNo), DiskRecordBuffer,
              static_cast<size_t>(FRecordBufferSize));
  LPage.SetIsDirty(true);
  return true;
}

bool TABSSmallRecordPage::DeleteRecord(const TABSPageItemID& RecordID) {
  if (!validSlot(RecordID)) return false;
  setUsed(RecordID.PageItemNo, false);
  return true;
}

bool TABSSmallRecordPage::GetRecordBuffer(const TABSPageItemID& RecordID,
                                          uint8_t* DiskRecordBuffer) const {
  if (!validSlot(RecordID)) return false;
  std::memcpy(DiskRecordBuffer, slotData(RecordID.PageItemNo),
              static_cast<size_t>(FRecordBufferSize));
  return true;
}

TABSPageItemID TABSSmallRecordPage::GetFirstRecordID() const {
  for (int32_t slot = 0; slot < FMaxRecordsOnPage; ++slot)
    if (isUsed(slot)) return idOf(slot);
  errors::Raise(errors::kNoFirstRecordOnPage, {LPage.PageNo(), RecordCount()});
}

TABSPageItemID TABSSmallRecordPage::GetLastRecordID() const {
  for (int32_t slot = FMaxRecordsOnPage - 1; slot >= 0; --slot)
    if (isUsed(slot)) return idOf(slot);
  errors::Raise(errors::kNoLastRecordOnPage);
}

bool TABSSmallRecordPage::GetNextRecordID(const TABSPageItemID& Current,
                                          TABSPageItemID& Next) const {
  for (int32_t slot = Current.PageItemNo + 1; slot < FMaxRecordsOnPage; ++slot) {
    if (!isUsed(slot)) continue;
    Next = idOf(slot);
    return true;
  }
  return false;
}

bool TABSSmallRecordPage::GetPriorRecordID(const TABSPageItemID& Current,
                                           TABSPageItemID& Prior) const {
  const int32_t start = std::min<int32_t>(Current.PageItemNo, FMaxRecordsOnPage) - 1;
  for (int32_t slot = start; slot >= 0; --slot) {
    if (!isUsed(slot)) continue;
    Prior = idOf(slot);
    return true;
  }
  return false;
}

TABSPageItemID TABSSmallRecordPage::GetRecordID(int32_t RecNoOnPage) const {
  int32_t rank = 0;
  for (int32_t slot = 0; slot < FMaxRecordsOnPage && RecNoOnPage >= 0; ++slot) {
    if (!isUsed(slot)) continue;
    if (rank == RecNoOnPage) return idOf(slot);
    ++rank;
  }
  errors::Raise(errors::kNoRecordWithRank);
}

int32_t TABSSmallRecordPage::GetRecNoOnPage(const TABSPageItemID& RecordID) const {
  int32_t below = 0;
  const int32_t end = std::min<int32_t>(RecordID.PageItemNo, FMaxRecordsOnPage);
  for (int32_t slot = 0; slot < end; ++slot)
    if (isUsed(slot)) ++below;
  return below;
}

int32_t TABSSmallRecordPage::RecordCount() const {
  int32_t count = 0;
  const uint8_t* bits = LPage.PageData();
  for (int32_t byte = 0; byte < FRecordDataOffset; ++byte) {
    // Bits past slot M-1 in the last byte are never set by this view, but mask them anyway.
    const int32_t slotsHere = std::min(8, FMaxRecordsOnPage - byte * 8);
    const unsigned mask = (1u << slotsHere) - 1u;
    count += std::popcount(static_cast<unsigned>(bits[byte]) & mask);
  }
  return count;
}

}  // namespace zev
