#include "engine/storage/ZEVDiskPageManager.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "engine/storage/ZEVChecksum.h"
#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "engine/storage/ZEVOSFile.h"
#include "engine/storage/ZEVOSServices.h"
#include "engine/storage/ZEVSecurity.h"

namespace zev {

namespace {

[[noreturn]] void raise(const errors::TNativeMessage& Message) {
  throw EABSException(Message.Code, Message.Text);
}

[[noreturn]] void raise(const errors::TNativeMessage& Message,
                        std::initializer_list<TFormatArg> Args) {
  throw EABSException(Message.Code, Message.Text, Args);
}

// Positions of a new file (header base 0).
constexpr int64_t kNewOffsetToCryptoHeader = TABSDBHeader::Size;
constexpr int64_t kNewOffsetToLockedBytes = kNewOffsetToCryptoHeader + TABSCryptoHeader::Size;
constexpr int64_t kNewOffsetToLastObjectID = kNewOffsetToLockedBytes + TABSLockedBytes::Size;
constexpr int64_t kNewOffsetToFirstPage = kNewOffsetToLastObjectID + kLastObjectIDSize;

// Releases one lock when it goes, whatever happens in between.
class TUnlockOnExit {
 public:
  explicit TUnlockOnExit(std::function<bool()> Unlock) : FUnlock(std::move(Unlock)) {}
  ~TUnlockOnExit() {
    try {
      FUnlock();
    } catch (const EABSException&) {
      // A file closed under the lock has released it already.
    }
  }
  TUnlockOnExit(const TUnlockOnExit&) = delete;
  TUnlockOnExit& operator=(const TUnlockOnExit&) = delete;

 private:
  std::function<bool()> FUnlock;
};

}  // namespace

// --- Multi-user page validity -------------------------------------------------------------------

void TABSDTPCTableInfo::Reset() {
  IsMostUpdatedLoaded = false;
  TableState = -1;
}

TABSDTPCTableInfo& TABSDTPCSessionInfo::TableInfo(int32_t TableID) {
  for (TABSDTPCTableInfo& info : FTableInfo)
    if (info.TableID == TableID) return info;
  FTableInfo.push_back(TABSDTPCTableInfo{});
  FTableInfo.back().TableID = TableID;
  return FTableInfo.back();
}

bool TABSDTPCSessionInfo::GetWorkTableState(int32_t& WorkTableState) {
  WorkTableState = -1;
  if (FWorkTableIDs.empty()) return false;
  const TABSDTPCTableInfo& info = TableInfo(FWorkTableIDs.back());
  WorkTableState = info.TableState;
  return info.IsTableLockedFromModification() && info.IsMostUpdatedLoaded;
}

TABSDTPCSessionInfo& TABSDiskTablePagesCacheManager::Session(int32_t SessionID) {
  const size_t index = static_cast<size_t>(SessionID + 2);
  if (index >= FSessionInfo.size()) FSessionInfo.resize(index + 1);
  return FSessionInfo[index];
}

void TABSDiskTablePagesCacheManager::TableIsSLocked(int32_t SessionID, int32_t TableID) {
  TABSDTPCTableInfo& info = Session(SessionID).TableInfo(TableID);
  if (!info.IsTableLockedFromModification()) info.Reset();
  ++info.TableSLockCount;
}

void TABSDiskTablePagesCacheManager::TableIsSUnlocked(int32_t SessionID, int32_t TableID) {
  TABSDTPCTableInfo& info = Session(SessionID).TableInfo(TableID);
  if (info.TableSLockCount > 0) --info.TableSLockCount;
  if (!info.IsTableLockedFromModification()) info.Reset();
}

void TABSDiskTablePagesCacheManager::TableIsRWLocked(int32_t SessionID, int32_t TableID) {
  TABSDTPCTableInfo& info = Session(SessionID).TableInfo(TableID);
  if (!info.IsTableLockedFromModification()) info.Reset();
  ++info.TableRWLockCount;
}

void TABSDiskTablePagesCacheManager::TableIsRWUnlocked(int32_t SessionID, int32_t TableID) {
  TABSDTPCTableInfo& info = Session(SessionID).TableInfo(TableID);
  if (info.TableRWLockCount > 0) --info.TableRWLockCount;
  if (!info.IsTableLockedFromModification()) info.Reset();
}

bool TABSDiskTablePagesCacheManager::GetIsMostUpdatedLoaded(int32_t SessionID, int32_t TableID) {
  return Session(SessionID).TableInfo(TableID).IsMostUpdatedLoaded;
}

void TABSDiskTablePagesCacheManager::SetIsMostUpdatedLoaded(int32_t SessionID, int32_t TableID,
                                                            int32_t TableState) {
  TABSDTPCTableInfo& info = Session(SessionID).TableInfo(TableID);
  if (info.IsMostUpdatedLoaded) return;
  info.TableState = TableState;
  info.IsMostUpdatedLoaded = true;
}

void TABSDiskTablePagesCacheManager::BeginWorkWithTable(int32_t SessionID, int32_t TableID) {
  Session(SessionID).FWorkTableIDs.push_back(TableID);
}

void TABSDiskTablePagesCacheManager::EndWorkWithTable(int32_t SessionID, int32_t TableID) {
  std::vector<int32_t>& ids = Session(SessionID).FWorkTableIDs;
  // The most recent entry of that table goes: brackets nest.
  auto it = std::find(ids.rbegin(), ids.rend(), TableID);
  if (it != ids.rend()) ids.erase(std::next(it).base());
}

bool TABSDiskTablePagesCacheManager::GetWorkTableState(int32_t SessionID, int32_t& WorkTableState) {
  return Session(SessionID).GetWorkTableState(WorkTableState);
}

// --- Construction and file level ----------------------------------------------------------------

TABSDiskPageManager::TABSDiskPageManager(TABSDiskPageManagerSettings Settings)
    : TABSPageManager(Settings.CacheCapacity),
      FSettings(std::move(Settings)),
      FDatabaseFile(std::make_unique<TABSDatabaseFile>(FSettings.ReopenSettings)),
      FTablePagesCacheManager(std::make_unique<TABSDiskTablePagesCacheManager>()) {
  resetFileLevel();
}

TABSDiskPageManager::~TABSDiskPageManager() { CloseDatabase(); }

void TABSDiskPageManager::resetFileLevel() {
  FDBHeader = TABSDBHeader::Preset();
  FCryptoHeader = TABSCryptoHeader{};
  FLockedBytes = TABSLockedBytes{};
  FLockDBHeaderCount = 0;
  FOffsetToDBHeader = 0;
  FOffsetToCryptoHeader = kNewOffsetToCryptoHeader;
  FOffsetToLockedBytes = kNewOffsetToLockedBytes;
  FOffsetToLastObjectID = kNewOffsetToLastObjectID;
  FOffsetToFirstPage = kNewOffsetToFirstPage;
}

// A manager used again for another file must not serve pages of the previous one: the cache
// and the table states go (20097 while a session still has uncommitted pages).
void TABSDiskPageManager::startNewFile() {
  FreeAllPages();
  FTablePagesCacheManager = std::make_unique<TABSDiskTablePagesCacheManager>();
  FDatabaseFreeSpaceManager.reset();
  resetFileLevel();
}

void TABSDiskPageManager::checkNotInUse(const errors::TNativeMessage& Message) const {
  if (FDatabaseFile->IsOpened()) raise(Message, {FDatabaseFile->FileName()});
}

void TABSDiskPageManager::CreateAndOpenDatabase(const AnsiString& DatabaseFileName,
                                                const TABSPassword& Password, uint16_t PageSize,
                                                uint16_t ExtentPageCount) {
  checkNotInUse(errors::kCreateDatabaseFileInUse);
  // A page must have room for data after its header.
  if (PageSize <= TABSDiskPageHeader::Size) raise(errors::kInvalidDatabaseFormat);
  startNewFile();
  SetPageSize(PageSize, TABSDiskPageHeader::Size);
  FPassword = Password;
  FDatabaseFile->CreateAndOpenFile(DatabaseFileName);

  FDBHeader.Encrypted = !Password.Password.empty();
  FDBHeader.PageSize = PageSize;
  FDBHeader.PageCountInExtent = ExtentPageCount;
  if (FDBHeader.Encrypted) createControlBlock();
  WriteDBHeader();
  WriteCryptoHeader();
  WriteLockedBytes();
  InitObjectID();
  createFreeSpaceManager();
}

void TABSDiskPageManager::createControlBlock() {
  FCryptoHeader.CryptoAlgorithm = FPassword.CryptoAlgorithm;
  for (uint8_t& byte : FCryptoHeader.ControlBlock) byte = static_cast<uint8_t>(Random(255));
  FCryptoHeader.ControlBlockCRC =
      CalcCRC32(0, FCryptoHeader.ControlBlock.data(), FCryptoHeader.ControlBlock.size());
  // A cipher failure leaves bytes the password check will refuse: the file cannot be opened.
  (void)EncryptBuffer(FPassword.CryptoAlgorithm, FCryptoHeader.ControlBlock.data(),
                      FCryptoHeader.ControlBlock.size(), FPassword.Password);
}

void TABSDiskPageManager::createFreeSpaceManager() {
  FDatabaseFreeSpaceManager.reset();
  if (FSettings.FreeSpaceManagerFactory)
    FDatabaseFreeSpaceManager = FSettings.FreeSpaceManagerFactory(*this);
  else
    FDatabaseFreeSpaceManager = std::make_unique<TABSDatabaseFreeSpaceManager>(*this);
}

// Whether the file may be opened for writing; a read-only attribute also ends multi-user work.
bool TABSDiskPageManager::probeWritable(const AnsiString& FileName, bool& aMultiUser) {
  if (IsFileReadOnly(FileName).value_or(false)) {
    aMultiUser = false;
    return false;
  }
  TOSFile probe;
  if (!probe.Open(FileName, TOSAccess::ReadWrite,
                  aMultiUser ? TOSShare::ShareReadWrite : TOSShare::ShareNone))
    return false;
  uint8_t byte = 0;
  bool writable = true;
  if (probe.Read(&byte, 1, 0) == 1) writable = probe.Write(&byte, 1, 0);
  probe.Close();
  return writable;
}

void TABSDiskPageManager::OpenDatabase(const AnsiString& DatabaseFileName,
                                       const TABSPassword& Password, bool& ReadOnly,
                                       bool& RepairNeeded, bool Exclusive, bool& aMultiUser) {
  checkNotInUse(errors::kOpenDatabaseFileInUse);
  startNewFile();
  FPassword = Password;
  if (!ReadOnly && FileExists(DatabaseFileName))
    ReadOnly = !probeWritable(DatabaseFileName, aMultiUser);
  FExclusive = Exclusive;
  TABSShareMode shareMode = smShareDenyNone;
  if (!ReadOnly && Exclusive) {
    shareMode = smExclusive;
    aMultiUser = false;
  }
  SetMultiUser(aMultiUser);
  FDatabaseFile->OpenFile(DatabaseFileName, ReadOnly ? amReadOnly : amReadWrite, shareMode);

  int64_t fileSize = 0;
  readHeaderUnderLock(RepairNeeded, fileSize);
  if (!FDBHeader.HasSignature())
    raise(errors::kInvalidFileFormat, {FDBHeader.SignatureText(), AnsiString(kDatabaseSignature)});
  if (FDBHeader.PageSize <= TABSDiskPageHeader::Size) raise(errors::kInvalidDatabaseFormat);
  SetPageSize(FDBHeader.PageSize, TABSDiskPageHeader::Size);

  FOffsetToCryptoHeader = FOffsetToDBHeader + FDBHeader.HeaderSize;
  FOffsetToLockedBytes = FOffsetToCryptoHeader + TABSCryptoHeader::Size;
  ReadCryptoHeader();
  if (FDBHeader.Encrypted) checkPassword();
  if (FOffsetToCryptoHeader + FCryptoHeader.CryptoHeaderSize != FOffsetToLockedBytes)
    raise(errors::kInvalidDatabaseFormat);
  ReadLockedBytes();
  FOffsetToLastObjectID = FOffsetToLockedBytes + FLockedBytes.LockedByteSize;
  FOffsetToFirstPage = FOffsetToLastObjectID + kLastObjectIDSize;
  checkPageGeometry(fileSize);
  createFreeSpaceManager();
}

// The header and the file size are read together under the database-header lock, at the
// positions of a new file: the base is only known once the signature has been found.
void TABSDiskPageManager::readHeaderUnderLock(bool& RepairNeeded, int64_t& FileSize) {
  if (!LockDBHeaderWithRetries()) raise(errors::kDatabaseLockedAtOpen);
  TUnlockOnExit unlock([this] { return UnlockDBHeader(); });
  int64_t base = 0;
  if (!FDatabaseFile->FindSignature(base)) base = 0;
  FOffsetToDBHeader = base;
  ReadDBHeader();
  RepairNeeded = FDBHeader.WriteChangesState != kWriteChangesDone ||
                 FDBHeader.Version < kMinVersionWithoutRepair;
  FileSize = FDatabaseFile->GetSize();
}

void TABSDiskPageManager::checkPassword() {
  FPassword.CryptoAlgorithm = static_cast<TABSCryptoAlgorithm>(FCryptoHeader.CryptoAlgorithm);
  const bool decrypted = DecryptBuffer(FPassword.CryptoAlgorithm, FCryptoHeader.ControlBlock.data(),
                                       FCryptoHeader.ControlBlock.size(), FPassword.Password);
  if (!decrypted || CalcCRC32(0, FCryptoHeader.ControlBlock.data(),
                              FCryptoHeader.ControlBlock.size()) != FCryptoHeader.ControlBlockCRC)
    raise(errors::kIncorrectPassword);
}

// A header whose page count does not fit the file (or is negative) is not a database this
// engine wrote: its pages would be read from beyond the end of the file.
void TABSDiskPageManager::checkPageGeometry(int64_t FileSize) const {
  const TABSDBHeader& h = FDBHeader;
  if (FLockedBytes.LockedByteSize < 0 || h.TotalPageCount < 0 || h.LastUsedPageNo < -1 ||
      h.LastUsedPageNo >= h.TotalPageCount ||
      FOffsetToFirstPage + static_cast<int64_t>(h.TotalPageCount) * h.PageSize > FileSize)
    raise(errors::kInvalidDatabaseFormat);
}

void TABSDiskPageManager::CloseDatabase() {
  if (FDatabaseFile->IsOpened()) {
    try {
      FDatabaseFile->CloseFile();
    } catch (const EABSException&) {
      // The handle is gone in any case.
    }
  }
  FLockDBHeaderCount = 0;  // the locks went with the handle
  FDatabaseFreeSpaceManager.reset();
}

void TABSDiskPageManager::ReadDBHeader() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kReadDBHeaderNotOpened);
  FDBHeader = TABSDBHeader{};
  uint8_t bytes[TABSDBHeader::Size];
  FDatabaseFile->ReadBuffer(bytes, sizeof bytes, FOffsetToDBHeader, errors::kReadDBHeaderIOCode);
  FDBHeader.Load(bytes);
}

void TABSDiskPageManager::WriteDBHeader() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kWriteDBHeaderNotOpened);
  uint8_t bytes[TABSDBHeader::Size];
  FDBHeader.Store(bytes);
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes, FOffsetToDBHeader, errors::kWriteDBHeaderIOCode);
}

void TABSDiskPageManager::ReadCryptoHeader() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kReadCryptoHeaderNotOpened);
  uint8_t bytes[TABSCryptoHeader::Size];
  FDatabaseFile->ReadBuffer(bytes, sizeof bytes, FOffsetToCryptoHeader,
                            errors::kReadCryptoHeaderIOCode);
  FCryptoHeader.Load(bytes);
}

void TABSDiskPageManager::WriteCryptoHeader() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kWriteCryptoHeaderNotOpened);
  uint8_t bytes[TABSCryptoHeader::Size];
  FCryptoHeader.Store(bytes);
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes, FOffsetToCryptoHeader,
                             errors::kWriteCryptoHeaderIOCode);
}

void TABSDiskPageManager::ReadLockedBytes() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kReadLockedBytesNotOpened);
  uint8_t bytes[2];
  FDatabaseFile->ReadBuffer(bytes, sizeof bytes, FOffsetToLockedBytes,
                            errors::kReadLockedBytesIOCode);
  FLockedBytes.LockedByteSize = GetInt16LE(bytes);
}

void TABSDiskPageManager::WriteLockedBytes() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kWriteLockedBytesNotOpened);
  uint8_t bytes[TABSLockedBytes::Size];
  FLockedBytes.Store(bytes);
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes, FOffsetToLockedBytes,
                             errors::kWriteLockedBytesIOCode);
}

int64_t TABSDiskPageManager::PagePosition(int32_t PageNo) const {
  if (PageNo < 0) raise(errors::kInvalidPageNo, {PageNo});
  // At most 2^31 pages of at most 65535 bytes: no overflow in 64 bits.
  return FOffsetToFirstPage + static_cast<int64_t>(PageNo) * PageSize();
}

void TABSDiskPageManager::ReadPageRegion(void* Buffer, int32_t PageNo, uint16_t Offset,
                                         uint16_t Count) {
  const int end = Offset + Count;
  if (end > PageSize()) raise(errors::kInvalidReadPageOffset, {end, PageSize()});
  FDatabaseFile->ReadBuffer(Buffer, Count, PagePosition(PageNo) + Offset,
                            errors::kReadPageRegionIOCode);
}

void TABSDiskPageManager::WritePageRegion(const void* Buffer, int32_t PageNo, uint16_t Offset,
                                          uint16_t Count) {
  const int end = Offset + Count;
  if (end > PageSize()) raise(errors::kInvalidWritePageOffset, {end, PageSize()});
  FDatabaseFile->WriteBuffer(Buffer, Count, PagePosition(PageNo) + Offset,
                             errors::kWritePageRegionIOCode);
}

void TABSDiskPageManager::ExtendFile(int32_t PageCount) {
  if (PageCount < 1) return;
  FDatabaseFile->SetSize(FDatabaseFile->GetSize() + static_cast<int64_t>(PageCount) * PageSize());
  FDBHeader.TotalPageCount += PageCount;
}

void TABSDiskPageManager::TruncateFile(int32_t PageCount) {
  if (PageCount < 1 || PageCount > FDBHeader.TotalPageCount) return;
  FDBHeader.TotalPageCount -= PageCount;
  FDatabaseFile->SetSize(FDatabaseFile->GetSize() - static_cast<int64_t>(PageCount) * PageSize());
  WriteDBHeader();
}

void TABSDiskPageManager::TruncateDatabase() {
  const int32_t unused = FDBHeader.TotalPageCount - 1 - FDBHeader.LastUsedPageNo;
  if (unused > 0) TruncateFile(unused);
}

bool TABSDiskPageManager::retry(int Attempts, const std::function<bool()>& Lock) const {
  return TryWithRetries(Attempts, FSettings.LockRetryDelayMs, Lock, FSettings.SleepFunction);
}

int32_t TABSDiskPageManager::GetNextObjectID() {
  if (!FDatabaseFile->IsOpened()) raise(errors::kNextObjectIDNotOpened);
  if (!retry(FSettings.ObjectIDLockAttempts, [this] { return LockLastObjectID(); }))
    raise(errors::kObjectIDAreaLocked);
  TUnlockOnExit unlock([this] { return UnlockLastObjectID(); });
  uint8_t bytes[kLastObjectIDSize];
  FDatabaseFile->ReadBuffer(bytes, sizeof bytes, FOffsetToLastObjectID,
                            errors::kReadObjectIDIOCode);
  const int32_t next = GetInt32LE(bytes) + 1;
  if (FDatabaseFile->AccessMode() != amReadWrite) return next + Random(10000);
  PutInt32LE(bytes, next);
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes, FOffsetToLastObjectID,
                             errors::kWriteObjectIDIOCode);
  return next;
}

void TABSDiskPageManager::InitObjectID() {
  if (!retry(FSettings.ObjectIDLockAttempts, [this] { return LockLastObjectID(); })) return;
  TUnlockOnExit unlock([this] { return UnlockLastObjectID(); });
  if (FDatabaseFile->AccessMode() != amReadWrite) return;
  uint8_t bytes[kLastObjectIDSize] = {};
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes, FOffsetToLastObjectID,
                             errors::kInitObjectIDIOCode);
}

bool TABSDiskPageManager::LockDBHeader() {
  if (FLockDBHeaderCount > 0) {
    ++FLockDBHeaderCount;
    return true;
  }
  if (!FDatabaseFile->LockByte(FOffsetToLockedBytes + TABSLockedBytes::DBHeaderByteOffset, 1))
    return false;
  FLockDBHeaderCount = 1;
  return true;
}

bool TABSDiskPageManager::UnlockDBHeader() {
  if (FLockDBHeaderCount <= 0) return false;
  if (--FLockDBHeaderCount > 0) return true;
  return FDatabaseFile->UnlockByte(FOffsetToLockedBytes + TABSLockedBytes::DBHeaderByteOffset, 1);
}

bool TABSDiskPageManager::LockDBHeaderWithRetries() {
  return retry(FSettings.DBHeaderLockAttempts, [this] { return LockDBHeader(); });
}

bool TABSDiskPageManager::LockTables() {
  return FDatabaseFile->LockByte(FOffsetToLockedBytes + TABSLockedBytes::TablesByteOffset, 1);
}

bool TABSDiskPageManager::UnlockTables() {
  return FDatabaseFile->UnlockByte(FOffsetToLockedBytes + TABSLockedBytes::TablesByteOffset, 1);
}

bool TABSDiskPageManager::LockLastObjectID() {
  return FDatabaseFile->LockByte(FOffsetToLastObjectID, 1);
}

bool TABSDiskPageManager::UnlockLastObjectID() {
  return FDatabaseFile->UnlockByte(FOffsetToLastObjectID, 1);
}

bool TABSDiskPageManager::LockPageByte(int32_t PageNo, uint16_t Offset) {
  return FDatabaseFile->LockByte(PagePosition(PageNo) + Offset, 1);
}

bool TABSDiskPageManager::UnlockPageByte(int32_t PageNo, uint16_t Offset) {
  return FDatabaseFile->UnlockByte(PagePosition(PageNo) + Offset, 1);
}

bool TABSDiskPageManager::IsPageByteLocked(int32_t PageNo, uint16_t Offset) {
  return FDatabaseFile->IsByteLocked(PagePosition(PageNo) + Offset);
}

bool TABSDiskPageManager::IsPageRegionLocked(int32_t PageNo, uint16_t Offset, int64_t Count) {
  return FDatabaseFile->IsRegionLocked(PagePosition(PageNo) + Offset, Count);
}

int32_t TABSDiskPageManager::PageCount() {
  if (!LockDBHeader()) raise(errors::kDatabaseLockedAtPageCount);
  TUnlockOnExit unlock([this] { return UnlockDBHeader(); });
  ReadDBHeader();
  return FDBHeader.TotalPageCount;
}

// --- Page level ---------------------------------------------------------------------------------

bool TABSDiskPageManager::isMapPage(int32_t PageNo) const {
  return FDatabaseFreeSpaceManager && FDatabaseFreeSpaceManager->IsMapPage(PageNo);
}

void TABSDiskPageManager::refuseMapPage(int32_t PageNo) const {
  if (isMapPage(PageNo)) raise(errors::kCannotUseMapPage, {PageNo});
}

TABSPage* TABSDiskPageManager::GetPage(int32_t SessionID, int32_t PageNo, uint16_t PageType,
                                       bool SynchronizeAllowed) {
  refuseMapPage(PageNo);
  return TABSPageManager::GetPage(SessionID, PageNo, PageType, SynchronizeAllowed);
}

void TABSDiskPageManager::RemovePage(int32_t SessionID, int32_t PageNo) {
  refuseMapPage(PageNo);
  TABSPageManager::RemovePage(SessionID, PageNo);
}

void TABSDiskPageManager::ApplyChanges(int32_t SessionID) {
  CheckSessionID(SessionID);
  if (!HasChanges(SessionID)) return;
  // A pinned page must stop the commit before the header shows one in progress.
  CheckSessionPagesReleased(SessionID);
  if (!LockDBHeaderWithRetries()) raise(errors::kDatabaseLockedAtCommit);
  TUnlockOnExit unlock([this] { return UnlockDBHeader(); });
  ReadDBHeader();
  FDBHeader.WriteChangesState = kWriteChangesInProgress;
  WriteDBHeader();
  TABSPageManager::ApplyChanges(SessionID);
  ++FDBHeader.State;
  FDBHeader.WriteChangesState = kWriteChangesDone;
  WriteDBHeader();
}

void TABSDiskPageManager::InternalAddPage(TABSPage* aPage) {
  if (!FDatabaseFreeSpaceManager) return;  // the number stays -1: AddPage refuses
  aPage->SetPageNo(FDatabaseFreeSpaceManager->GetPage(-1));
  aPage->AllocPageBuffer();
}

void TABSDiskPageManager::InternalRemovePage(int32_t PageNo) {
  InternalWritePageState(PageNo, kInvalidPageState);
  if (FDatabaseFreeSpaceManager) FDatabaseFreeSpaceManager->FreePage(PageNo);
}

bool TABSDiskPageManager::encryptsPage(const TABSPage* aPage) const {
  return FDBHeader.Encrypted && aPage->EncryptionEnabled() && !isMapPage(aPage->PageNo());
}

bool TABSDiskPageManager::InternalReadPage(TABSPage* aPage) {
  if (!aPage->PageBuffer()) aPage->AllocPageBuffer();
  const int64_t position = PagePosition(aPage->PageNo());
  // A page beyond the end of the file is a failed read, not the buffer's old content (the read
  // gives fewer bytes only there).
  const bool ok = FDatabaseFile->ReadAvailable(aPage->PageBuffer(), PageSize(), position) ==
                  PageSize();
  aPage->SetReloaded(true);
  if (!ok) {
    aPage->SetPageState(kInvalidPageState);
    return false;
  }
  if (encryptsPage(aPage)) {
    const TABSDiskPageHeader header = aPage->LoadHeader();
    const bool decrypted = DecryptBuffer(static_cast<TABSCryptoAlgorithm>(header.Cipherype),
                                         aPage->PageData(), PageDataSize(), FPassword.Password);
    if (!IgnoreCRCErrors() &&
        (!decrypted || CalcCRC32(0, aPage->PageData(), PageDataSize()) != header.CRC32))
      raise(errors::kPageCRCCheckFailed, {aPage->PageNo()});
  }
  return true;
}

void TABSDiskPageManager::InternalWritePage(TABSPage* aPage) {
  aPage->SetPageState(NextPageState(aPage->GetPageState()));
  const uint8_t* bytes = aPage->PageBuffer();
  if (encryptsPage(aPage)) {
    TABSDiskPageHeader header = aPage->LoadHeader();
    header.Cipherype = FPassword.CryptoAlgorithm;
    header.CRC32 = CalcCRC32(0, aPage->PageData(), PageDataSize());
    aPage->StoreHeader(header);
    // The cached copy stays plain: the encrypted bytes are made in the write buffer.
    FWriteBuffer.assign(aPage->PageBuffer(), aPage->PageBuffer() + PageSize());
    (void)EncryptBuffer(FPassword.CryptoAlgorithm, FWriteBuffer.data() + aPage->PageHeaderSize(),
                        PageDataSize(), FPassword.Password);
    bytes = FWriteBuffer.data();
  }
  FDatabaseFile->WriteBuffer(bytes, PageSize(), PagePosition(aPage->PageNo()),
                             errors::kWritePageIOCode);
}

int32_t TABSDiskPageManager::InternalReadPageState(int32_t PageNo) {
  if (!MultiUser()) return kInvalidPageState;
  uint8_t bytes[4];
  const int64_t position = PagePosition(PageNo) + TABSDiskPageHeader::StateOffset;
  if (FDatabaseFile->ReadAvailable(bytes, sizeof bytes, position) !=
      static_cast<int64_t>(sizeof bytes))
    return kInvalidPageState;
  return GetInt32LE(bytes);
}

void TABSDiskPageManager::InternalWritePageState(int32_t PageNo, int32_t PageState) {
  uint8_t bytes[4];
  PutInt32LE(bytes, PageState);
  FDatabaseFile->WriteBuffer(bytes, sizeof bytes,
                             PagePosition(PageNo) + TABSDiskPageHeader::StateOffset,
                             errors::kWritePageStateIOCode);
}

bool TABSDiskPageManager::IsPageUpToDate(int32_t SessionID, TABSPage* Page) {
  if (!MultiUser()) return true;
  int32_t workState = -1;
  if (!FTablePagesCacheManager->GetWorkTableState(SessionID, workState)) return false;
  int32_t pageState = -1;
  return Page->GetTableState(SessionID, pageState) && pageState == workState;
}

void TABSDiskPageManager::SetPageUpToDate(int32_t SessionID, TABSPage* Page) {
  if (!MultiUser()) return;
  int32_t workState = -1;
  if (FTablePagesCacheManager->GetWorkTableState(SessionID, workState))
    Page->SetTableState(SessionID, workState);
}

}  // namespace zev
