// TABSDiskPageManager: the page cache of one database file. The file level creates, opens and
// validates the file (signature search, password check, header records), keeps the positions
// of the header records and of the pages, grows and shrinks the file by whole pages, takes the
// database-wide lock bytes and hands out object identifiers. The page level reads and writes
// pages in the file, encrypting the data area of every page except the map pages and the pages
// whose EncryptionEnabled is false, and applies a session's changes under the commit protocol:
// database-header lock, WriteChangesState 1, the pages, State + 1 and WriteChangesState 2.
// In multi-user mode TABSDiskTablePagesCacheManager tells which cached pages are still current.
//
// Ownership: the manager owns its TABSDatabaseFile, its free-space manager (made by the factory
// of its settings, by default the file's own map, when a file is created or opened, freed when
// it is closed) and its TABSDiskTablePagesCacheManager. The free-space manager links back to
// the manager.
//
// Locking: no lock of its own within the process (callers serialise through the database and
// table objects). Between processes: one-byte locks in the file (tables lock, database-header
// lock, object-identifier lock, page bytes); the database-header lock is counted per manager.
//
// Errors: EABSException with the disk page manager texts of ZEVErrorCodes.h (10459 to 10477,
// 20213, 20230, 20236, 20237, 30399 to 30446), the page cache texts of the base, and the
// database file's own texts for failed system calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/storage/ZEVDBHeader.h"
#include "engine/storage/ZEVDatabaseFile.h"
#include "engine/storage/ZEVPage.h"

namespace zev {

class TABSDiskPageManager;

// What the disk page manager needs of the free-space map of its file. The map pages it keeps
// are read and written through InternalReadPage / InternalWritePage of the page manager (never
// through the cache), under the page manager's database-header lock.
class TABSFreeSpaceManager {
 public:
  virtual ~TABSFreeSpaceManager() = default;
  // Allocates one page and answers its number (the page manager passes -1 as the wish).
  virtual int32_t GetPage(int32_t DesiredPageNo) = 0;
  // Gives the page back to the map.
  virtual void FreePage(int32_t PageNo) = 0;
  // Whether PageNo is a map page: never cached, never encrypted.
  virtual bool IsMapPage(int32_t PageNo) const = 0;
};

// Makes the free-space manager of a page manager whose file was just created or opened (the
// in-memory database header holds PageCountInExtent, LastUsedPageNo and TotalPageCount).
using TABSFreeSpaceManagerFactory =
    std::function<std::unique_ptr<TABSFreeSpaceManager>(TABSDiskPageManager& PageManager)>;

// --- Multi-user page validity -------------------------------------------------------------------

// A table as one session sees it: its lock counts and the state loaded under them.
struct TABSDTPCTableInfo {
  int32_t TableID = 0;
  int32_t TableSLockCount = 0;
  int32_t TableRWLockCount = 0;
  bool IsMostUpdatedLoaded = false;
  int32_t TableState = -1;

  void Reset();
  bool IsTableLockedFromModification() const { return TableSLockCount + TableRWLockCount > 0; }
};

struct TABSDTPCSessionInfo {
  std::vector<TABSDTPCTableInfo> FTableInfo;
  std::vector<int32_t> FWorkTableIDs;  // a stack: the last one is the current table

  TABSDTPCTableInfo& TableInfo(int32_t TableID);  // created on first use
  // True when the current work table is locked and its state loaded; WorkTableState is that
  // table's state (-1 when none). An empty work list answers false.
  bool GetWorkTableState(int32_t& WorkTableState);
};

// Per session and table: the table locks held and the table state they were taken with. The
// table layer reports its shared and read-write table locks here in multi-user mode.
class TABSDiskTablePagesCacheManager {
 public:
  TABSDiskTablePagesCacheManager() = default;
  TABSDiskTablePagesCacheManager(const TABSDiskTablePagesCacheManager&) = delete;
  TABSDiskTablePagesCacheManager& operator=(const TABSDiskTablePagesCacheManager&) = delete;

  void TableIsSLocked(int32_t SessionID, int32_t TableID);
  void TableIsSUnlocked(int32_t SessionID, int32_t TableID);
  void TableIsRWLocked(int32_t SessionID, int32_t TableID);
  void TableIsRWUnlocked(int32_t SessionID, int32_t TableID);
  bool GetIsMostUpdatedLoaded(int32_t SessionID, int32_t TableID);
  // Stores the state only when none is loaded yet.
  void SetIsMostUpdatedLoaded(int32_t SessionID, int32_t TableID, int32_t TableState);
  void BeginWorkWithTable(int32_t SessionID, int32_t TableID);
  void EndWorkWithTable(int32_t SessionID, int32_t TableID);
  bool GetWorkTableState(int32_t SessionID, int32_t& WorkTableState);

 private:
  TABSDTPCSessionInfo& Session(int32_t SessionID);  // Requires: SessionID >= -2

  std::vector<TABSDTPCSessionInfo> FSessionInfo;  // indexed by session number + 2
};

// --- The disk page manager ----------------------------------------------------------------------

struct TABSDiskPageManagerSettings {
  // The retry rule of the database-header and object-identifier locks.
  int DBHeaderLockAttempts = kDBHeaderLockAttempts;
  int ObjectIDLockAttempts = kObjectIDLockAttempts;
  uint32_t LockRetryDelayMs = kLockRetryDelayMs;
  // The waits for the lock of an internal file of locks (the session-slot file's, a table
  // lock file's around releases), LockRetryDelayMs apart.
  int InternalFileLockAttempts = kInternalFileLockAttempts;
  // Every wait of the engine's lock layers sleeps through this (tests make it instant).
  TABSSleepFunction SleepFunction = Sleep;
  TABSReopenSettings ReopenSettings;
  int32_t CacheCapacity = TABSPageManager::DefaultCacheCapacity();
  // Empty: the file's own map (TABSDatabaseFreeSpaceManager of ZEVFreeSpaceManager.h).
  TABSFreeSpaceManagerFactory FreeSpaceManagerFactory;
};

class TABSDiskPageManager : public TABSPageManager {
 public:
  explicit TABSDiskPageManager(TABSDiskPageManagerSettings Settings = {});
  ~TABSDiskPageManager() override;  // closes the database

  // --- File level ---
  // Replaces any file of that name by a new database without pages. Raises 10461 while a file
  // is open, 20237 for a page size that leaves no data area.
  void CreateAndOpenDatabase(const AnsiString& DatabaseFileName, const TABSPassword& Password,
                             uint16_t PageSize, uint16_t ExtentPageCount);
  // Opens and validates an existing database. ReadOnly and aMultiUser may be changed by the
  // writability probe; RepairNeeded reports an interrupted commit or an old version. Raises
  // 10462, 20230, 10470, 30445, 20237 and the read errors of the header records.
  void OpenDatabase(const AnsiString& DatabaseFileName, const TABSPassword& Password,
                    bool& ReadOnly, bool& RepairNeeded, bool Exclusive, bool& aMultiUser);
  // Closes the file (a failure to close is swallowed) and frees the free-space manager.
  void CloseDatabase();

  void ReadDBHeader();       // zero-fills the copy, then reads it; 10459, I/O 10464
  void WriteDBHeader();      // 10460, I/O 10462
  void ReadCryptoHeader();   // 30436, I/O 30439
  void WriteCryptoHeader();  // 30437, I/O 30438
  void ReadLockedBytes();    // only LockedByteSize; 30441, I/O 30442
  void WriteLockedBytes();   // 30443, I/O 30444

  // Straight file access to bytes Offset .. Offset + Count - 1 of a page, bypassing the cache
  // and encryption. Raise 10476 / 10477 past the page end, I/O 10474 / 10475.
  void ReadPageRegion(void* Buffer, int32_t PageNo, uint16_t Offset, uint16_t Count);
  void WritePageRegion(const void* Buffer, int32_t PageNo, uint16_t Offset, uint16_t Count);

  // Grows the file by PageCount pages and the in-memory TotalPageCount with it (the caller
  // writes the header). Fewer than 1: nothing.
  void ExtendFile(int32_t PageCount);
  // Shrinks the file and TotalPageCount by PageCount pages and writes the header; nothing for
  // fewer than 1 or more than TotalPageCount.
  void TruncateFile(int32_t PageCount);
  // Cuts the free pages after LastUsedPageNo.
  void TruncateDatabase();

  // 1, 2, 3, ... stored in the file; read-only, the next value plus 0..9999, not stored.
  // Raises 30399, 30401.
  int32_t GetNextObjectID();
  void InitObjectID();

  // Single attempts. The database-header lock is counted: only the first LockDBHeader locks
  // and only the UnlockDBHeader that brings the count back to 0 unlocks.
  bool LockDBHeader();
  bool UnlockDBHeader();
  // LockDBHeader by the retry rule of the settings.
  bool LockDBHeaderWithRetries();
  bool LockTables();
  bool UnlockTables();
  bool LockLastObjectID();
  bool UnlockLastObjectID();
  bool LockPageByte(int32_t PageNo, uint16_t Offset);
  bool UnlockPageByte(int32_t PageNo, uint16_t Offset);
  bool IsPageByteLocked(int32_t PageNo, uint16_t Offset);
  bool IsPageRegionLocked(int32_t PageNo, uint16_t Offset, int64_t Count);

  // The file position of a page; 10471 for a negative page number.
  int64_t PagePosition(int32_t PageNo) const;

  // Re-reads the header under the database-header lock (single attempt, 20236).
  int32_t PageCount() override;

  const TABSDBHeader& DBHeader() const { return FDBHeader; }
  // For the free-space manager, which changes the header under the database-header lock.
  TABSDBHeader& MutableDBHeader() { return FDBHeader; }
  const TABSCryptoHeader& CryptoHeader() const { return FCryptoHeader; }
  bool Encrypted() const { return FDBHeader.Encrypted; }
  bool IsOpened() const { return FDatabaseFile->IsOpened(); }
  const TABSPassword& Password() const { return FPassword; }
  bool Exclusive() const { return FExclusive; }
  int64_t OffsetToDBHeader() const { return FOffsetToDBHeader; }
  int64_t OffsetToCryptoHeader() const { return FOffsetToCryptoHeader; }
  int64_t OffsetToLockedBytes() const { return FOffsetToLockedBytes; }
  int64_t OffsetToLastObjectID() const { return FOffsetToLastObjectID; }
  int64_t OffsetToFirstPage() const { return FOffsetToFirstPage; }
  int32_t LockDBHeaderCount() const { return FLockDBHeaderCount; }
  TABSDatabaseFile& DatabaseFile() { return *FDatabaseFile; }
  TABSFreeSpaceManager* DatabaseFreeSpaceManager() const { return FDatabaseFreeSpaceManager.get(); }
  TABSDiskTablePagesCacheManager& TablePagesCacheManager() { return *FTablePagesCacheManager; }
  const TABSDiskPageManagerSettings& Settings() const { return FSettings; }

  // --- Page level ---
  // Refuse map pages (30434), then as in the base.
  TABSPage* GetPage(int32_t SessionID, int32_t PageNo, uint16_t PageType = kAnyPageType,
                    bool SynchronizeAllowed = true) override;
  void RemovePage(int32_t SessionID, int32_t PageNo) override;
  // The commit protocol around the base. Nothing at all for a session without changes; 20152
  // before anything is written while a page is pinned; 20213 when the database-header lock is
  // refused (nothing written, the change set stays).
  void ApplyChanges(int32_t SessionID) override;

  bool IsPageUpToDate(int32_t SessionID, TABSPage* Page) override;
  void SetPageUpToDate(int32_t SessionID, TABSPage* Page) override;

  // Public for the free-space manager, which reads and writes map pages with them.
  // Reads the page and decrypts its data area (encrypted database, not a map page, encryption
  // enabled); 30446 on a checksum difference unless IgnoreCRCErrors. A failed or short read
  // answers false and leaves State kInvalidPageState.
  bool InternalReadPage(TABSPage* aPage) override;
  // Advances State, encrypts the data area for the write and decrypts it again; I/O 10469.
  void InternalWritePage(TABSPage* aPage) override;
  // The State field of a page in the file; kInvalidPageState in single-user mode or when the
  // read fails.
  int32_t InternalReadPageState(int32_t PageNo) override;
  void InternalWritePageState(int32_t PageNo, int32_t PageState);  // I/O 20198

 protected:
  void InternalAddPage(TABSPage* aPage) override;
  void InternalRemovePage(int32_t PageNo) override;

 private:
  void resetFileLevel();
  void startNewFile();
  void checkNotInUse(const errors::TNativeMessage& Message) const;
  static bool probeWritable(const AnsiString& FileName, bool& aMultiUser);
  void readHeaderUnderLock(bool& RepairNeeded, int64_t& FileSize);
  void checkPassword();
  void checkPageGeometry(int64_t FileSize) const;
  void createControlBlock();
  void createFreeSpaceManager();
  bool isMapPage(int32_t PageNo) const;
  void refuseMapPage(int32_t PageNo) const;
  bool encryptsPage(const TABSPage* aPage) const;
  bool retry(int Attempts, const std::function<bool()>& Lock) const;

  TABSDiskPageManagerSettings FSettings;
  std::unique_ptr<TABSFreeSpaceManager> FDatabaseFreeSpaceManager;
  std::unique_ptr<TABSDatabaseFile> FDatabaseFile;
  TABSDBHeader FDBHeader;
  TABSCryptoHeader FCryptoHeader;
  TABSPassword FPassword;
  std::vector<uint8_t> FWriteBuffer;  // an encrypted page on its way to the file
  TABSLockedBytes FLockedBytes;
  int32_t FLockDBHeaderCount = 0;
  bool FExclusive = false;
  std::unique_ptr<TABSDiskTablePagesCacheManager> FTablePagesCacheManager;
  int64_t FOffsetToDBHeader = 0;
  int64_t FOffsetToCryptoHeader = 0;
  int64_t FOffsetToLockedBytes = 0;
  int64_t FOffsetToLastObjectID = 0;
  int64_t FOffsetToFirstPage = 0;
};

}  // namespace zev
