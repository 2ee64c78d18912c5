// TABSSmallRecordPage: a short-lived view of one pinned record page of a table. The data area
// of a record page with capacity M rows of R disk bytes each:
//
//   offset 0           ceil(M / 8) bytes  slot bitmap: bit (s mod 8) of byte (s div 8) set means
//                                         slot s holds a row
//   offset ceil(M / 8) M x R bytes        slots 0 .. M-1, one disk-form row each
//
// The rest of the data area is unused. Identifiers are (page number, slot).
//
// Ownership: links to the page, which the caller keeps pinned for the view's life. Locking: none;
// used under the table's locks. Errors: 20140 (view larger than the data area), 20141, 20143,
// 20144, 20146 (see ZEVRecordErrors.h).
#pragma once

#include <cstdint>

#include "engine/storage/ZEVPage.h"

namespace zev {

class TABSSmallRecordPage {
 public:
  // R = disk row size, M = rows per page; 20140 when the bitmap and M slots exceed the data area.
  TABSSmallRecordPage(TABSPage& Page, int32_t RecordBufferSize, int32_t MaxRecordsOnPage);
  TABSSmallRecordPage(const TABSSmallRecordPage&) = delete;
  TABSSmallRecordPage& operator=(const TABSSmallRecordPage&) = delete;

  // Whole part of (PageDataSize - 1) / (R + 0.125) in floating point.
  static int32_t MaxRecordsOnPage(int32_t PageDataSize, int32_t DiskRecordBufferSize);

  // Puts the row into the lowest free slot and marks the page dirty; 20141 when full.
  void AddRecord(const uint8_t* DiskRecordBuffer, TABSPageItemID& RecordID);
  // Overwrite / free / copy out an occupied slot; false when the slot is free or out of range.
  bool UpdateRecord(const uint8_t* DiskRecordBuffer, const TABSPageItemID& RecordID);
  bool DeleteRecord(const TABSPageItemID& RecordID);  // the slot's bytes stay
  bool GetRecordBuffer(const TABSPageItemID& RecordID, uint8_t* DiskRecordBuffer) const;

  // Lowest / highest occupied slot; 20143 (PageNo, PageRecordCount) / 20144 on an empty page.
  TABSPageItemID GetFirstRecordID() const;
  TABSPageItemID GetLastRecordID() const;
  // The next higher / lower occupied slot; false when there is none.
  bool GetNextRecordID(const TABSPageItemID& Current, TABSPageItemID& Next) const;
  bool GetPriorRecordID(const TABSPageItemID& Current, TABSPageItemID& Prior) const;
  // The occupied slot of that 0-based rank among the occupied slots; 20146 when none.
  TABSPageItemID GetRecordID(int32_t RecNoOnPage) const;
  // Number of occupied slots below the identifier's slot.
  int32_t GetRecNoOnPage(const TABSPageItemID& RecordID) const;
  int32_t RecordCount() const;  // number of set slot bits

  int32_t RecordDataOffset() const { return FRecordDataOffset; }

 private:
  bool isUsed(int32_t Slot) const;
  void setUsed(int32_t Slot, bool Used);
  bool validSlot(const TABSPageItemID& RecordID) const;
  uint8_t* slotData(int32_t Slot) const;
  TABSPageItemID idOf(int32_t Slot) const;

  TABSPage& LPage;
  int32_t FRecordBufferSize;
  int32_t FMaxRecordsOnPage;
  int32_t FRecordDataOffset;
};

}  // namespace zev
