// TABSDiskBlobManager: the BLOB values of one disk table. A row keeps in each BLOB slot the
// identifier of its stored value; the value lives on BLOB pages (type 11), packed with other
// small values on a shared page (TABSSmallBlobPage, listed with its used size in the BLOB page
// index) or, when it would not fit a fresh page, on pages of its own:
//
//   first page   [item header 22][page-list locator 10][data ...]
//   next pages   [data ...]
//   page list    PageCount int32 page numbers (data pages in order, the first included), right
//                after the last data byte, or at offset 0 of a page of its own when the data
//                fills the last data page; continued at offset 0 of the page named by
//                NextPageNo when a page holds no more whole entries.
//
// A value read or written in memory is a TABSDiskBLOBCache attached to the row buffer: the
// slot's 4-byte cache reference is a number this manager handed out, and counts only while
// that cache is in FBlobCacheList, so a copied row buffer never reaches a freed cache.
//
// Ownership: owns every cache it made (until cleared) and the BLOB page index; links to the
// table's page, field and record managers, which outlive it. Locking: none of its own; every
// operation is called with the table object's lock held. Errors: 20150, 20161, 20162, 20291,
// 20171, 20172, 20290, 20106, 20110 to 20112, 20118, 20248 and the page manager's. A failure
// while storing or freeing leaves the session's page changes as far as they got: the caller
// cancels them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCompressedBLOBStream.h"
#include "engine/storage/ZEVPage.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ABSBTreeBlobPageIndex.h"
#include "engine/tables/ZEVBlobFormats.h"
#include "engine/tables/ZEVFieldManager.h"

namespace zev {

class TABSDiskRecordManager;
class TABSLocalBLOBStream;

class TABSDiskBlobManager {
 public:
  TABSDiskBlobManager(TABSPageManager& PageManager, TABSBaseFieldManager& FieldManager,
                      TABSDiskRecordManager& RecordManager);
  // Frees the caches still listed without raising: the table is going away.
  ~TABSDiskBlobManager();
  TABSDiskBlobManager(const TABSDiskBlobManager&) = delete;
  TABSDiskBlobManager& operator=(const TABSDiskBlobManager&) = delete;

  // The check before the manager goes: 20150 "Blob cache not released" while caches remain.
  void Destroy();

  // The index root page, made in the system session.
  void CreateBlobPageIndex();
  // The index root page number (int32 little-endian).
  void LoadMetadata(TABSStream& Stream);
  void SaveMetadata(TABSStream& Stream) const;

  // Frees every stored value of the table (rows read in physical order) and empties the index.
  void Empty(int32_t SessionID);
  // Empty, then the index dropped (root -1).
  void Delete(int32_t SessionID);

  // FieldNo counts the table's fields; RecordBuffer is a memory-form row.
  // Loads the stored value into a new cache of the row unless one is attached or nothing is
  // stored.
  void ReadBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo);
  // Stores a modified cache, freeing the old value, and writes the new identifier.
  void WriteBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo);
  void WriteBlobs(int32_t SessionID, uint8_t* RecordBuffer);
  // Before an update: a field made NULL without a new value (no modified cache) whose slot
  // still names the value the row had when editing began frees that value, and the slot takes
  // (-1, 0xFFFF), so that clearing a BLOB field leaves no pages behind.
  void ReleaseNulledBlobs(int32_t SessionID, uint8_t* RecordBuffer,
                          const uint8_t* EditRecordBuffer);
  // Frees the field's stored value (nothing for a NULL field); the identifier stays.
  void DeleteBlob(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo);
  void DeleteBlobs(int32_t SessionID, uint8_t* RecordBuffer);

  // Writes the stored bytes into Stream and fills NumBlocks and UncompressedSize (0 and
  // nothing written for a NULL field). 20162 when a non-NULL field has nothing stored.
  void CopyBlobFromRecordBufferToStream(int32_t SessionID, uint8_t* RecordBuffer, int32_t FieldNo,
                                        TABSBLOBDescriptor& BLOBDescriptor, TABSStream& Stream);
  // A written cursor stream becomes a new modified cache of the row (nothing when the stream
  // is not modified); the NULL bit follows the stream's size.
  void CopyBlobFromStreamToRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo,
                                        TABSLocalBLOBStream& Stream);
  // Frees the attached cache; a modified one only with ForceClear.
  void ClearBlobInRecordBuffer(uint8_t* RecordBuffer, int32_t FieldNo, bool ForceClear);
  void ClearBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer);
  void ClearModifiedBLOBFieldsInRecordBuffer(uint8_t* RecordBuffer);

  // The stored bytes of the field without copying: pBlobData stays owned by the row's cache
  // (null and a zero descriptor for a NULL field). 20291 when nothing is stored.
  void GetDirectBlobInfoFromRecordBuffer(int32_t SessionID, uint8_t* RecordBuffer,
                                         int32_t FieldNo,
                                         TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                         const uint8_t*& pBlobData);
  // Installs a copy of CompressedSize bytes at pBlobData as a modified cache of the field.
  void SetDirectBlobInfoFromRecordBuffer(int32_t SessionID, uint8_t* RecordBuffer,
                                         int32_t FieldNo,
                                         const TABSPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                         const uint8_t* pBlobData);

  // The pages a stored value occupies (data and list pages, or its small page).
  void CollectValuePages(int32_t SessionID, const TABSPageItemID& BlobID,
                         std::vector<int32_t>& Pages);
  // Every BLOB page the table's rows reach through non-NULL fields (sorted, unique): what a
  // check compares with the file's BLOB pages.
  std::vector<int32_t> CollectTablePages(int32_t SessionID);

  // The slot's identifier and cache reference.
  TABSPageItemID GetBlobID(const uint8_t* RecordBuffer, int32_t FieldNo) const;
  void SetBlobID(uint8_t* RecordBuffer, int32_t FieldNo, const TABSPageItemID& BlobID) const;
  // The listed cache the slot refers to, null when none.
  TABSDiskBLOBCache* AttachedCache(const uint8_t* RecordBuffer, int32_t FieldNo) const;
  size_t CacheCount() const { return FBlobCacheList.size(); }
  TABSBTreeBlobPageIndex& BlobPageIndex() { return *FBlobPageIndex; }

 private:
  const TABSFieldDef& blobField(int32_t FieldNo) const;
  uint8_t* slotOf(uint8_t* RecordBuffer, int32_t FieldNo) const;
  const uint8_t* slotOf(const uint8_t* RecordBuffer, int32_t FieldNo) const;
  TABSDiskBLOBCache& attachCache(uint8_t* RecordBuffer, int32_t FieldNo);
  void setCacheReference(uint8_t* RecordBuffer, int32_t FieldNo, uint32_t Reference) const;

  // Storing and freeing by form.
  TABSPageItemID storeValue(int32_t SessionID, const TABSDiskBLOBCache& Cache);
  TABSPageItemID storeSmall(int32_t SessionID, const TABSDiskBLOBCache& Cache);
  TABSPageItemID storeLarge(int32_t SessionID, const TABSDiskBLOBCache& Cache);
  void readValue(int32_t SessionID, const TABSPageItemID& BlobID, TABSDiskBLOBCache& Cache);
  bool readSmall(int32_t SessionID, const TABSPageItemID& BlobID, TABSDiskBLOBCache& Cache);
  void readLarge(int32_t SessionID, int32_t FirstPageNo, TABSDiskBLOBCache& Cache);
  void freeValue(int32_t SessionID, const TABSPageItemID& BlobID);
  void freeSmall(int32_t SessionID, const TABSPageItemID& BlobID);
  void freeLarge(int32_t SessionID, int32_t FirstPageNo);
  // A 255 identifier names a large value when its first page reads as one whose size and page
  // list agree (the list's first entry is the page itself).
  bool plausiblyLarge(int32_t SessionID, int32_t FirstPageNo);
  // The header, locator and page list of a large value; ListPages receives the pages the list
  // occupies. 20248 for pages that describe no value.
  void readLargeLayout(int32_t SessionID, int32_t FirstPageNo, TABSBlobItemHeader& Header,
                       std::vector<int32_t>& DataPages, std::vector<int32_t>& ListPages);
  template <class F>
  void forEachRow(int32_t SessionID, F&& Visit);

  TABSPageManager& LPageManager;
  TABSBaseFieldManager& LFieldManager;
  TABSDiskRecordManager& LRecordManager;
  std::map<uint32_t, std::unique_ptr<TABSDiskBLOBCache>> FBlobCacheList;
  uint32_t FNextCacheReference = 1;
  std::unique_ptr<TABSBTreeBlobPageIndex> FBlobPageIndex;
};

}  // namespace zev
