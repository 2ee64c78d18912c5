// TABSDatabaseFreeSpaceManager: decides which page number a new page of a database file gets
// and takes freed pages back. It keeps two kinds of map pages inside the file: PFS pages, a
// bitmap with one bit per page (1 = in use), and EAM pages, two bits per extent of
// PageCountInExtent pages telling whether the extent is full. It grows the file in steps of a
// tenth of its size (at least one extent, six pages for an empty file) and shrinks it by whole
// steps when enough pages at its end are free.
//
// Layout, with D the page data size, E the pages per extent, P = 8 D, X = 4 D, M = X E:
//   PFS page k at page k P, covering pages k P .. (k + 1) P - 1; bit (n mod P) mod 8 of data
//     byte (n mod P) div 8 for page n.
//   EAM page j at page j M (j M + 1 when a PFS page stands at j M), covering extents
//     j X .. (j + 1) X - 1; the 2-bit field 2 (i mod 4) of data byte i div 4 for extent
//     j X + i: 3 full, 1 not full, 0 never computed.
//
// Ownership: owned by the disk page manager, which it links back to (LPageManager). It holds
// no map page between operations: each one is read fresh from the file, checked for its type
// and written back at once (never cached, never encrypted).
//
// Locking: every allocation and release runs under the page manager's (counted)
// database-header lock, taken by its retry rule; LastUsedPageNo and TotalPageCount are re-read
// from the file header at the start of each operation and saved before the lock is released.
//
// Errors: EABSException with the free-space manager texts of ZEVErrorCodes.h: "Database is
// locked" (20231, 20232), "Page: %d cannot be addressed..." (30430, 30431), "already used"
// (30425), "already free" (30427), wrong map page types (30423, 30424, 30428, 30430, 30432),
// "Cannot delete PFS or EAM page" (30434), and the page manager's own I/O errors.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVPage.h"

namespace zev {

class TABSDatabaseFreeSpaceManager : public TABSFreeSpaceManager {
 public:
  // Takes E, LastUsedPageNo and TotalPageCount from the page manager's in-memory header.
  // Raises 20237 for a header without pages per extent or a page without data area.
  explicit TABSDatabaseFreeSpaceManager(TABSDiskPageManager& PageManager);
  TABSDatabaseFreeSpaceManager(const TABSDatabaseFreeSpaceManager&) = delete;
  TABSDatabaseFreeSpaceManager& operator=(const TABSDatabaseFreeSpaceManager&) = delete;

  // The factory to put into TABSDiskPageManagerSettings.
  static TABSFreeSpaceManagerFactory Factory();

  // Allocates one page; DesiredPageNo is not used.
  int32_t GetPage(int32_t DesiredPageNo) override;
  // Frees one page, lowers LastUsedPageNo and shrinks the file when a step is free at its end.
  void FreePage(int32_t PageNo) override;
  bool IsMapPage(int32_t PageNo) const override;

  // Raises 30434 for a map page.
  void CheckPageNoForSystemPages(int32_t PageNo) const;
  // The PFS bit of the page; false when its PFS page lies above FLastUsedPageNo.
  bool GetPageUsageFromPFS(int32_t PageNo);
  int32_t AddPagesStep() const;
  int32_t DelPagesStep() const { return AddPagesStep(); }

  // Kept and settable; no operation consults it.
  bool GetSuppressDBHeaderErrors() const { return FSuppressDBHeaderErrors; }
  void SetSuppressDBHeaderErrors(bool Value) { FSuppressDBHeaderErrors = Value; }

  int32_t PFSPagePagesAddressed() const { return FPFSPage_PagesAddressed; }
  int32_t EAMPageExtentsAddressed() const { return FEAMPage_ExtentsAddressed; }
  int64_t EAMPagePagesAddressed() const { return FEAMPage_PagesAddressed; }
  // Page numbers of PFS page k and EAM page j.
  int32_t PFSPagePosition(int64_t Index) const;
  int32_t EAMPagePosition(int64_t Index) const;

 private:
  std::unique_ptr<TABSPage> readMapPage(int32_t PageNo, uint16_t PageType, int NativeError);
  void writeMapPage(TABSPage& Page);
  void writeNewMapPage(int32_t PageNo, uint16_t PageType);
  void loadHeader();
  void saveHeader();
  template <class F>
  void underHeaderLock(const errors::TNativeMessage& Refused, F&& Operation);

  int32_t findFreePage();
  int32_t searchEAMPage(int64_t EAMIndex);
  int32_t searchPFSPagesOfExtent(int64_t Extent);
  int32_t appendPage();
  void markPage(int32_t PageNo, bool Used);
  void setPFSBit(int32_t PageNo, bool Used, bool Strict);
  void updateEAMEntry(int32_t PageNo);
  int32_t findLastUsedPage();
  void shrink();
  int64_t lastPFSIndex() const;
  int64_t lastEAMIndex() const;

  TABSDiskPageManager& LPageManager;
  int32_t FPageCountInExtent = 0;         // E
  int32_t FPFSPage_PagesAddressed = 0;    // P
  int32_t FEAMPage_ExtentsAddressed = 0;  // X
  int64_t FEAMPage_PagesAddressed = 0;    // M (above 2^31 for large extents)
  int32_t FLastUsedPageNo = -1;
  int32_t FTotalPageCount = 0;
  bool FSuppressDBHeaderErrors = false;
  bool FFileSizeChanged = false;  // the header must be written even if the two match
};

}  // namespace zev
