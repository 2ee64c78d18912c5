// TABSDiskRecordManager: the rows of one disk table. Rows live in record pages (page type 10,
// header ObjectID = the table id), each a slot bitmap and M fixed-size slots of disk-form rows
// (TABSSmallRecordPage); the record page index lists the pages with their row counts. Rows are
// handed in and out in memory form and converted through the field manager. Physical order is
// page-index order (ascending page number), then slot order; record numbers count in it from 1.
//
// The manager never applies or cancels page changes: every change stays in the caller's session
// until the caller applies it (or cancels it after a failed AddRecord).
//
// Ownership: owns the record page index and one disk row of scratch space; links to the page
// manager and the field manager, which outlive it. Locking: none of its own; the table's locks
// cover it. Errors: 20174 (Init), 20113, the record page and page index errors of
// ZEVRecordErrors.h, and the page manager's.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVPage.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVFieldManager.h"
#include "engine/tables/ZEVRecordPageIndex.h"

namespace zev {

enum TABSGetRecordMode : uint8_t { grmCurrent = 0, grmNext = 1, grmPrior = 2 };
enum TABSGetRecordResult : uint8_t { grrOK = 0, grrBOF = 1, grrEOF = 2, grrError = 3 };

// One navigation step: the request (mode, current row, flags) and the answer.
struct TABSNavigationInfo {
  TABSGetRecordMode GetRecordMode = grmCurrent;
  int32_t IndexID = -1;
  TABSPageItemID RecordID;
  uint8_t* RecordBuffer = nullptr;  // memory form; null moves without reading
  bool FirstPosition = false;       // the position is before the first row
  bool LastPosition = false;        // the position is after the last row
  TABSGetRecordResult GetRecordResult = grrOK;
};

class TABSDiskRecordManager {
 public:
  // TableID goes into the ObjectID of every record page.
  TABSDiskRecordManager(TABSPageManager& PageManager, TABSBaseFieldManager& FieldManager,
                        int32_t TableID);
  TABSDiskRecordManager(const TABSDiskRecordManager&) = delete;
  TABSDiskRecordManager& operator=(const TABSDiskRecordManager&) = delete;

  // Computes M from the page data size, allocates the scratch row, zeroes counts and table
  // state; 20174 when not one row fits a page.
  void Init(int32_t RecordBufferSize, int32_t DiskRecordBufferSize, int32_t FieldCount);
  void CreateRecordPageIndex(int32_t SessionID);
  void OpenRecordPageIndex(int32_t RootPageNo);

  // False on any failure inside (the caller cancels the session's changes).
  bool AddRecord(int32_t SessionID, const uint8_t* RecordBuffer, TABSPageItemID& RecordID);
  // False when the slot is free; the identifier and the page's count stay.
  bool UpdateRecord(int32_t SessionID, const uint8_t* RecordBuffer, const TABSPageItemID& RecordID);
  // False when the slot is already free; a page left without rows is removed.
  bool DeleteRecord(int32_t SessionID, const TABSPageItemID& RecordID);
  // One step in physical order; the answer goes into NavigationInfo.
  void GetRecordBuffer(int32_t SessionID, TABSNavigationInfo& NavigationInfo);
  // -1, 0 or 1 by page number, then slot.
  static int CompareRecordID(const TABSPageItemID& RecordID1, const TABSPageItemID& RecordID2);
  int64_t GetApproximateRecNo(int32_t SessionID, const TABSPageItemID& RecordID);
  // 1-based record numbers in physical order; SetRecNo raises 20113 beyond the last row.
  void SetRecNo(int32_t SessionID, int64_t RecNo, TABSPageItemID& RecordID);
  int64_t GetRecNo(int32_t SessionID, const TABSPageItemID& RecordID);

  // Every record page removed, page index emptied (root kept), counts and state 0.
  void Empty(int32_t SessionID);
  // Every record page and the page index freed.
  void Delete(int32_t SessionID);
  // A new page index from the record pages found in the file (the old index pages stay).
  void RebuildRecordPageIndex(int32_t SessionID);
  void ValidateRecordPageIndex(int32_t SessionID);  // 20292
  // Repair mode: 20292 also when the index does not list exactly the record pages of the table
  // found in the file with their occupied slots (an interrupted commit or a damaged page can
  // leave an index whose sum still agrees). Reads every page of the file.
  void ValidateRecordPages(int32_t SessionID);

  // The record page index root: int32 little-endian.
  void LoadMetadata(TABSStream& Stream);
  void SaveMetadata(TABSStream& Stream);
  // The record manager's part of the most-updated block at Offset, advancing it:
  //   int32 table state | int32 record count (low 32 bits; read back with the upper half 0)
  void LoadMostUpdated(const uint8_t* Buf, int32_t& Offset);
  void SaveMostUpdated(uint8_t* Buf, int32_t& Offset);
  static constexpr int32_t MostUpdatedSize = 8;

  // Record-bitmap numbering: PageNo * M + PageItemNo; the size is (last page + 1) * M, or 1
  // without record pages.
  int64_t GetRecordBitmapNo(const TABSPageItemID& RecordID) const;
  TABSPageItemID GetRecordIDByBitmapNo(int64_t BitmapNo) const;
  int64_t GetRecordBitmapSize(int32_t SessionID);

  // The record page check of navigation: when false every page read passes. On a disk page
  // manager the check is also waived by itself while the free-space map suppresses header
  // errors or the file's version is below 2.99.
  void SetCheckRecordPages(bool Check) { FCheckRecordPages = Check; }
  bool CheckRecordPages() const { return FCheckRecordPages; }

  int64_t RecordCount() const { return FRecordCount; }
  void SetRecordCount(int64_t RecordCount) { FRecordCount = RecordCount; }
  int32_t TableState() const { return FTableState; }
  void SetTableState(int32_t TableState) { FTableState = TableState; }
  int32_t MaxRecordsOnPage() const { return FMaxRecordsOnPage; }
  int32_t RecordBufferSize() const { return FRecordBufferSize; }
  int32_t DiskRecordBufferSize() const { return FDiskRecordBufferSize; }
  int32_t TableID() const { return FTableID; }
  TABSBTreeRecordPageIndex& RecordPageIndex() { return *FRecordPageIndex; }

 private:
  // The page for navigation, or an empty pin when it fails the record page check.
  TABSPinnedPage readNavigationPage(int32_t SessionID, int32_t PageNo);
  // True when SetCheckRecordPages(false) was called, the free-space map suppresses header
  // errors, or the file's version is older than 2.99: every page read then passes.
  bool recordPageCheckWaived() const;
  bool isTableRecordPage(const TABSPage& Page) const;
  bool isPageInUse(int32_t PageNo) const;
  // The record pages of this table found in the file, with their occupied slots (pages that
  // cannot be read are left out).
  std::vector<std::pair<int32_t, int32_t>> scanRecordPages(int32_t SessionID,
                                                           int32_t SkipPageNo);
  // Copies the row out (into NavigationInfo.RecordBuffer when given) and answers grrOK.
  void answerRow(TABSPage& Page, const TABSPageItemID& RecordID, TABSNavigationInfo& NavigationInfo,
                 const errors::TNativeMessage& Missing);
  // The first row of the first page (Next) or the last row of the last page (Prior).
  TABSGetRecordResult readEdgeRow(int32_t SessionID, bool Last, TABSNavigationInfo& Info);
  TABSGetRecordResult readNext(int32_t SessionID, TABSNavigationInfo& Info);
  TABSGetRecordResult readPrior(int32_t SessionID, TABSNavigationInfo& Info);
  TABSGetRecordResult readCurrent(int32_t SessionID, TABSNavigationInfo& Info);
  void removeAllRecordPages(int32_t SessionID);

  TABSPageManager& LPageManager;
  TABSBaseFieldManager& LFieldManager;
  int32_t FTableID;
  std::unique_ptr<TABSBTreeRecordPageIndex> FRecordPageIndex;
  int64_t FRecordCount = 0;
  int32_t FTableState = 0;
  int32_t FRecordBufferSize = 0;
  int32_t FDiskRecordBufferSize = 0;
  int32_t FFieldCount = 0;
  int32_t FMaxRecordsOnPage = 0;
  std::vector<uint8_t> FTempDiskRecordBuffer;
  bool FCheckRecordPages = true;
};

}  // namespace zev
