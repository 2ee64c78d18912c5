// TABSSmallBlobPage: a view over one pinned BLOB page (type 11) that packs small values.
//
// Data area:
//   offset 0  BlobCount  uint16   number of items
//   offset 2  items, packed without gaps: a 22-byte TABSBlobItemHeader, then StoredSize bytes
//
// Item IDs are unique on a page, lie in 0..65534 and are found by walking the items from
// offset 2. A removed item's space is closed up; the bytes after the last item are left as
// they are.
//
// Ownership: links to the page only (the caller holds the pin). Locking: none; used under the
// table object's lock. Errors: 20171 (item not found on delete), 20172 (no item ID left),
// 20248 (an item that runs past the data area: a damaged page).
#pragma once

#include <cstdint>

#include "engine/storage/ZEVPage.h"
#include "engine/tables/ZEVBlobFormats.h"

namespace zev {

class TABSSmallBlobPage : public TABSPageController {
 public:
  // Requires: Page is pinned for as long as the view is used.
  explicit TABSSmallBlobPage(TABSPage* Page) : TABSPageController(Page) {}

  uint16_t BlobCount() const;
  void SetBlobCount(uint16_t Count);
  // 2 + the sizes of all items: where the next item goes.
  int32_t EndOffset() const;

  // Appends the cache's stored bytes as a new item and answers its identifier (this page, the
  // chosen ID); marks the page dirty. Requires: EndOffset() + 22 + data size <= PageDataSize().
  void AddBlob(const TABSDiskBLOBCache& BlobCache, TABSPageItemID& PageItemID);
  // Removes item PageItemNo; BlobSize := 22 + its StoredSize. 20171 when there is none.
  void DeleteBlob(uint16_t PageItemNo, int32_t& BlobSize);
  // Copies item PageItemNo into the cache (not modified); false, cache untouched, when there
  // is no such item.
  bool ReadBlob(TABSDiskBLOBCache& BlobCache, uint16_t PageItemNo) const;

  // The ID a new item gets: from BlobCount upwards (65534 wraps to 0) the first ID no item
  // has. 255 is passed over: readers cannot tell a small item 255 from a large value by its
  // identifier alone. 20172 should the search reach 65535.
  uint16_t NextItemID() const;

 private:
  // Data offset of item PageItemNo, -1 when absent; Header receives its header.
  int32_t findItem(uint16_t PageItemNo, TABSBlobItemHeader& Header) const;
};

}  // namespace zev
