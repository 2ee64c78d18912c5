#include "engine/storage/ZEVInternalFile.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"

namespace zev {

namespace {

constexpr int32_t kHeaderSize = static_cast<int32_t>(TABSInternalFileHeader::Size);

// Follows a chain one page at a time and refuses a page met twice, so that a damaged chain
// that loops cannot keep a walk going for ever.
class TChainGuard {
 public:
  // Answers false when PageNo was already visited.
  bool Visit(int32_t PageNo) { return FVisited.insert(PageNo).second; }

 private:
  std::unordered_set<int32_t> FVisited;
};

}  // namespace

void TABSInternalFileHeader::Load(const uint8_t* Buffer) {
  HeaderSize = Buffer[0];
  StoredSize = GetInt32LE(Buffer + 1);
  ContentSize = GetInt32LE(Buffer + 5);
  CompressionAlgorithm = Buffer[9];
}

void TABSInternalFileHeader::Store(uint8_t* Buffer) const {
  Buffer[0] = HeaderSize;
  PutInt32LE(Buffer + 1, StoredSize);
  PutInt32LE(Buffer + 5, ContentSize);
  Buffer[9] = CompressionAlgorithm;
}

int32_t InternalFilePageCount(int64_t ContentBytes, int32_t PageDataSize) {
  const int64_t chain = std::max<int64_t>(ContentBytes, 0) + kHeaderSize;
  return static_cast<int32_t>(std::max<int64_t>(1, (chain + PageDataSize - 1) / PageDataSize));
}

// --- TABSInternalDBTransactedAccessFile -----------------------------------------------------

TABSInternalDBTransactedAccessFile::TABSInternalDBTransactedAccessFile(TABSPageManager& PageManager,
                                                                       uint16_t PageTypeID)
    : LPageManager(PageManager), FPageTypeID(PageTypeID) {}

namespace {

void checkOpen(bool IsOpened, const char* Operation) {
  if (!IsOpened) errors::Raise(errors::kTransactedFileClosed, {Operation});
}

}  // namespace

void TABSInternalDBTransactedAccessFile::CreateFile(int32_t SessionID) {
  if (IsOpened()) errors::Raise(errors::kTransactedFileExists, {FStartPageNo});
  TABSPinnedPage page(LPageManager.AddPage(SessionID, FPageTypeID));
  TABSInternalFileHeader().Store(page->PageData());
  page->SetIsDirty(true);
  FStartPageNo = page->PageNo();
}

void TABSInternalDBTransactedAccessFile::OpenFile(int32_t StartPageNo) {
  if (StartPageNo != -1) FStartPageNo = StartPageNo;
}

void TABSInternalDBTransactedAccessFile::DeleteFile(int32_t SessionID, int32_t StartPageNo) {
  int32_t pageNo = StartPageNo == -1 ? FStartPageNo : StartPageNo;
  TChainGuard chain;
  while (pageNo >= 0 && chain.Visit(pageNo)) {
    int32_t next;
    {
      TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, FPageTypeID));
      next = page->GetNextPageNo();
    }
    LPageManager.RemovePage(SessionID, pageNo);
    pageNo = next;
  }
  FStartPageNo = -1;
}

void TABSInternalDBTransactedAccessFile::GetFileSize(int32_t SessionID, bool SynchronizeAllowed,
                                                     int32_t& StoredSize, int32_t& ContentSize,
                                                     TABSCompressionAlgorithm& Algorithm,
                                                     bool& Reloaded) {
  checkOpen(IsOpened(), "GetSize");
  TABSPinnedPage page(
      LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, SynchronizeAllowed));
  TABSInternalFileHeader header;
  header.Load(page->PageData());
  StoredSize = header.StoredSize;
  ContentSize = header.ContentSize;
  Algorithm = static_cast<TABSCompressionAlgorithm>(header.CompressionAlgorithm);
  Reloaded = page->Reloaded();
}

int32_t TABSInternalDBTransactedAccessFile::GetSize(int32_t SessionID) {
  int32_t stored = 0, content = 0;
  TABSCompressionAlgorithm algorithm = acaNone;
  bool reloaded = false;
  GetFileSize(SessionID, true, stored, content, algorithm, reloaded);
  return content;
}

void TABSInternalDBTransactedAccessFile::SetFileSize(int32_t SessionID, int32_t StoredSize,
                                                     int32_t ContentSize,
                                                     TABSCompressionAlgorithm Algorithm) {
  checkOpen(IsOpened(), "SetSize");
  TABSPinnedPage first(LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID));
  TABSInternalFileHeader header;
  header.Load(first->PageData());
  const int32_t dataSize = LPageManager.PageDataSize();
  const int32_t oldStored = header.StoredSize < 0 ? StoredSize : header.StoredSize;
  const int32_t oldCount = InternalFilePageCount(oldStored, dataSize);
  const int32_t newCount = InternalFilePageCount(StoredSize, dataSize);

  if (newCount != oldCount) {
    // Walk to the page that stays the last one (the old last one when growing).
    const int32_t lastKept = std::min(oldCount, newCount) - 1;
    TABSPinnedPage last(LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID));
    TChainGuard chain;
    chain.Visit(FStartPageNo);
    for (int32_t step = 1; step <= lastKept; ++step) {
      const int32_t next = last->GetNextPageNo();
      if (next < 0 || !chain.Visit(next)) errors::Raise(errors::kInternalFileChainBroken, {step});
      last = TABSPinnedPage(LPageManager.GetPage(SessionID, next, FPageTypeID));
    }
    if (newCount > oldCount) {
      for (int32_t added = oldCount; added < newCount; ++added) {
        TABSPinnedPage page(LPageManager.AddPage(SessionID, FPageTypeID));
        last->SetNextPageNo(page->PageNo());
        last->SetIsDirty(true);
        last = std::move(page);
      }
    } else {
      // The chain is cut at its new end and the pages beyond go back to the free-space map.
      int32_t pageNo = last->GetNextPageNo();
      last->SetNextPageNo(-1);
      last->SetIsDirty(true);
      last = TABSPinnedPage();
      for (int32_t removed = newCount; removed < oldCount && pageNo >= 0 && chain.Visit(pageNo);
           ++removed) {
        int32_t next;
        {
          TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, FPageTypeID));
          next = page->GetNextPageNo();
        }
        LPageManager.RemovePage(SessionID, pageNo);
        pageNo = next;
      }
    }
  }

  header.HeaderSize = kHeaderSize;
  header.StoredSize = StoredSize;
  header.ContentSize = ContentSize;
  header.CompressionAlgorithm = Algorithm;
  header.Store(first->PageData());
  first->SetIsDirty(true);
}

void TABSInternalDBTransactedAccessFile::WriteFile(int32_t SessionID, const void* Buffer,
                                                   int32_t Count,
                                                   TABSCompressionAlgorithm Algorithm,
                                                   uint8_t Mode) {
  checkOpen(IsOpened(), "WriteFile");
  const uint8_t* stored = static_cast<const uint8_t*>(Buffer);
  int64_t storedSize = Count;
  std::vector<uint8_t> compressed;
  if (Algorithm != acaNone) {
    if (!CompressBuffer(Algorithm, Mode, Buffer, Count, compressed, storedSize))
      errors::Raise(errors::kTableFileCompressionError);
    stored = compressed.data();
  }
  SetFileSize(SessionID, static_cast<int32_t>(storedSize), Count, Algorithm);

  const int32_t dataSize = LPageManager.PageDataSize();
  int32_t pageNo = FStartPageNo;
  int32_t offset = kHeaderSize;
  int64_t done = 0;
  TChainGuard chain;
  while (done < storedSize && pageNo >= 0 && chain.Visit(pageNo)) {
    TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, FPageTypeID));
    const int64_t part = std::min<int64_t>(dataSize - offset, storedSize - done);
    std::memcpy(page->PageData() + offset, stored + done, static_cast<size_t>(part));
    page->SetIsDirty(true);
    done += part;
    offset = 0;
    pageNo = page->GetNextPageNo();
  }
}

void TABSInternalDBTransactedAccessFile::ReadFile(int32_t SessionID, void* Buffer, int32_t Count,
                                                  bool SynchronizeAllowed) {
  checkOpen(IsOpened(), "ReadFile");
  int32_t storedSize = 0, contentSize = 0;
  TABSCompressionAlgorithm algorithm = acaNone;
  bool reloaded = false;
  GetFileSize(SessionID, SynchronizeAllowed, storedSize, contentSize, algorithm, reloaded);
  if (contentSize < Count) errors::Raise(errors::kTransactedReadPastSize, {contentSize, Count});

  const int64_t toRead = algorithm == acaNone ? Count : storedSize;
  std::vector<uint8_t> scratch;
  uint8_t* target = static_cast<uint8_t*>(Buffer);
  if (algorithm != acaNone) {
    scratch.resize(static_cast<size_t>(std::max<int64_t>(toRead, 0)));
    target = scratch.data();
  }
  const int32_t dataSize = LPageManager.PageDataSize();
  int32_t pageNo = FStartPageNo;
  int32_t offset = kHeaderSize;
  int64_t done = 0;
  TChainGuard chain;
  while (done < toRead) {
    if (pageNo < 0 || !chain.Visit(pageNo))
      errors::Raise(errors::kTransactedChainTooShort,
                    {static_cast<int>(done), contentSize, static_cast<int>(toRead), Count});
    TABSPinnedPage page(LPageManager.GetPage(SessionID, pageNo, FPageTypeID, SynchronizeAllowed));
    const int64_t part = std::min<int64_t>(dataSize - offset, toRead - done);
    std::memcpy(target + done, page->PageData() + offset, static_cast<size_t>(part));
    done += part;
    offset = 0;
    pageNo = page->GetNextPageNo();
  }
  if (algorithm == acaNone) return;

  int64_t outSize = contentSize;
  std::vector<uint8_t> plain;
  AnsiString detail;
  if (!DecompressBuffer(algorithm, scratch.data(), toRead, outSize, plain, &detail) ||
      outSize < Count)
    errors::Raise(errors::kTableFileDecompressionError, {detail});
  std::memcpy(Buffer, plain.data(), static_cast<size_t>(Count));
}

void TABSInternalDBTransactedAccessFile::InitFileHeader(int32_t SessionID) {
  if (!IsOpened()) errors::Raise(errors::kInternalFileInvalidPageNo);
  const bool ignored = LPageManager.IgnoreCRCErrors();
  LPageManager.SetIgnoreCRCErrors(true);
  try {
    TABSPinnedPage page(LPageManager.GetPage(SessionID, FStartPageNo));
    page->InitHeader();
    page->SetPageType(FPageTypeID);
    TABSInternalFileHeader().Store(page->PageData());
    page->SetIsDirty(true);
  } catch (...) {
    LPageManager.SetIgnoreCRCErrors(ignored);
    throw;
  }
  LPageManager.SetIgnoreCRCErrors(ignored);
}

bool TABSInternalDBTransactedAccessFile::LockFile() {
  checkOpen(IsOpened(), "LockFile");
  auto* disk = dynamic_cast<TABSDiskPageManager*>(&LPageManager);
  return disk != nullptr && disk->LockPageByte(FStartPageNo, 0);
}

bool TABSInternalDBTransactedAccessFile::UnlockFile() {
  checkOpen(IsOpened(), "UnlockFile");
  auto* disk = dynamic_cast<TABSDiskPageManager*>(&LPageManager);
  return disk != nullptr && disk->UnlockPageByte(FStartPageNo, 0);
}

// --- TABSInternalDBDirectAccessFile ---------------------------------------------------------

namespace {

constexpr uint16_t kPageHeaderSize = static_cast<uint16_t>(TABSDiskPageHeader::Size);

}  // namespace

TABSInternalDBDirectAccessFile::TABSInternalDBDirectAccessFile(TABSDiskPageManager& PageManager,
                                                               uint16_t PageTypeID)
    : LPageManager(PageManager), FPageTypeID(PageTypeID) {}

void TABSInternalDBDirectAccessFile::checkOpened(const char* Operation) const {
  if (!IsOpened()) errors::Raise(errors::kDirectFileClosed, {Operation});
}

void TABSInternalDBDirectAccessFile::CreateFile(int32_t Size) {
  if (IsOpened()) errors::Raise(errors::kDirectFileExists, {FStartPageNo});
  const int32_t count = InternalFilePageCount(Size, LPageManager.PageDataSize());
  std::vector<int32_t> pages;
  TABSPinnedPage previous;
  for (int32_t i = 0; i < count; ++i) {
    TABSPinnedPage page(LPageManager.AddPage(kSystemSessionID, FPageTypeID));
    page->SetEncryptionEnabled(false);
    if (previous) previous->SetNextPageNo(page->PageNo());
    if (i == 0) {
      TABSInternalFileHeader header;
      header.StoredSize = Size;
      header.Store(page->PageData());
    }
    pages.push_back(page->PageNo());
    previous = std::move(page);
  }
  FStartPageNo = pages.front();
  FFilePages = std::move(pages);
  FFileSize = Size;
}

// The page header of PageNo as it stands in the file, without its first byte (which another
// process may hold locked); the type must be the file's.
TABSDiskPageHeader TABSInternalDBDirectAccessFile::readPageHeader(int32_t PageNo) {
  uint8_t bytes[TABSDiskPageHeader::Size] = {};
  LPageManager.ReadPageRegion(bytes + 1, PageNo, 1, kPageHeaderSize - 1);
  TABSDiskPageHeader header;
  header.Load(bytes);
  if (header.PageType != FPageTypeID)
    errors::Raise(errors::kDirectFileWrongPageType, {header.PageType, FPageTypeID});
  return header;
}

void TABSInternalDBDirectAccessFile::OpenFile(int32_t StartPageNo) {
  CloseFile();
  TABSDiskPageHeader header = readPageHeader(StartPageNo);
  uint8_t fileHeader[TABSInternalFileHeader::Size];
  LPageManager.ReadPageRegion(fileHeader, StartPageNo, kPageHeaderSize, sizeof fileHeader);
  TABSInternalFileHeader content;
  content.Load(fileHeader);
  const int32_t dataSize = LPageManager.PageDataSize();
  const int32_t count = InternalFilePageCount(content.StoredSize, dataSize);

  std::vector<int32_t> pages{StartPageNo};
  TChainGuard chain;
  chain.Visit(StartPageNo);
  int32_t fileSize = std::max(content.StoredSize, 0);
  if (header.NextPageNo < 0) {
    fileSize = dataSize - kHeaderSize;
  } else {
    while (static_cast<int32_t>(pages.size()) < count && header.NextPageNo >= 0) {
      const int32_t next = header.NextPageNo;
      if (!chain.Visit(next))
        errors::Raise(errors::kInternalFileChainBroken, {static_cast<int>(pages.size())});
      header = readPageHeader(next);
      pages.push_back(next);
    }
    // A chain cut short holds only what its pages can.
    const int64_t capacity = static_cast<int64_t>(pages.size()) * dataSize - kHeaderSize;
    fileSize = static_cast<int32_t>(std::min<int64_t>(fileSize, capacity));
  }
  FStartPageNo = StartPageNo;
  FFilePages = std::move(pages);
  FFileSize = fileSize;
}

void TABSInternalDBDirectAccessFile::DeleteFile(int32_t StartPageNo) {
  int32_t pageNo = StartPageNo == -1 ? FStartPageNo : StartPageNo;
  TChainGuard chain;
  while (pageNo >= 0 && chain.Visit(pageNo)) {
    const int32_t next = readPageHeader(pageNo).NextPageNo;
    LPageManager.RemovePage(kSystemSessionID, pageNo);
    pageNo = next;
  }
  CloseFile();
}

void TABSInternalDBDirectAccessFile::CloseFile() {
  FStartPageNo = -1;
  FFileSize = 0;
  FFilePages.clear();
}

int32_t TABSInternalDBDirectAccessFile::GetSize() {
  checkOpened("GetSize");
  uint8_t size[4];
  LPageManager.ReadPageRegion(size, FStartPageNo, kPageHeaderSize + 1, sizeof size);
  return GetInt32LE(size);
}

// Calls Transfer(page number, offset in the page, offset in the request, bytes) for each piece
// of content bytes Position .. Position + Count - 1, page by page along the chain.
template <class F>
void TABSInternalDBDirectAccessFile::forEachPiece(int32_t Count, int32_t Position, F&& Transfer) {
  const int32_t dataSize = LPageManager.PageDataSize();
  int64_t chainPos = static_cast<int64_t>(Position) + kHeaderSize;
  int64_t done = 0;
  while (done < Count) {
    const size_t index = static_cast<size_t>(chainPos / dataSize);
    if (index >= FFilePages.size()) break;
    const int32_t pageNo = FFilePages[index];
    readPageHeader(pageNo);
    const int32_t offset = static_cast<int32_t>(chainPos % dataSize);
    const int32_t part = static_cast<int32_t>(std::min<int64_t>(dataSize - offset, Count - done));
    Transfer(pageNo, static_cast<uint16_t>(kPageHeaderSize + offset), done, part);
    done += part;
    chainPos += part;
  }
}

void TABSInternalDBDirectAccessFile::ReadBuffer(void* Buffer, int32_t Count, int32_t Position) {
  checkOpened("DirectReadBuffer");
  if (Position > FFileSize || Position < 0)
    errors::Raise(errors::kDirectSeekPastSize, {FFileSize, Position});
  auto* target = static_cast<uint8_t*>(Buffer);
  forEachPiece(Count, Position, [&](int32_t PageNo, uint16_t Offset, int64_t Done, int32_t Part) {
    LPageManager.ReadPageRegion(target + Done, PageNo, Offset, static_cast<uint16_t>(Part));
  });
}

void TABSInternalDBDirectAccessFile::WriteBuffer(const void* Buffer, int32_t Count,
                                                 int32_t Position) {
  checkOpened("DirectWriteBuffer");
  if (Position > FFileSize || Position < 0)
    errors::Raise(errors::kDirectSeekPastSize, {FFileSize, Position});
  if (static_cast<int64_t>(Position) + Count > GetSize())
    errors::Raise(errors::kDirectWritePastEnd, {FFileSize, Position, Count});
  const auto* source = static_cast<const uint8_t*>(Buffer);
  forEachPiece(Count, Position, [&](int32_t PageNo, uint16_t Offset, int64_t Done, int32_t Part) {
    LPageManager.WritePageRegion(source + Done, PageNo, Offset, static_cast<uint16_t>(Part));
  });
}

bool TABSInternalDBDirectAccessFile::LockFile() {
  checkOpened("LockFile");
  return LPageManager.LockPageByte(FStartPageNo, 0);
}

bool TABSInternalDBDirectAccessFile::UnlockFile() {
  checkOpened("UnlockFile");
  return LPageManager.UnlockPageByte(FStartPageNo, 0);
}

bool TABSInternalDBDirectAccessFile::bytePosition(int32_t ByteNo, int32_t& PageNo,
                                                  uint16_t& Offset) const {
  const int32_t dataSize = LPageManager.PageDataSize();
  const int64_t chainPos = static_cast<int64_t>(ByteNo) + kHeaderSize;
  const size_t index = static_cast<size_t>(chainPos / dataSize);
  if (ByteNo < 0 || index >= FFilePages.size()) return false;
  PageNo = FFilePages[index];
  Offset = static_cast<uint16_t>(kPageHeaderSize + chainPos % dataSize);
  return true;
}

bool TABSInternalDBDirectAccessFile::LockByte(int32_t ByteNo) {
  checkOpened("LockByte");
  int32_t pageNo;
  uint16_t offset;
  return bytePosition(ByteNo, pageNo, offset) && LPageManager.LockPageByte(pageNo, offset);
}

bool TABSInternalDBDirectAccessFile::UnlockByte(int32_t ByteNo) {
  checkOpened("UnlockByte");
  int32_t pageNo;
  uint16_t offset;
  return bytePosition(ByteNo, pageNo, offset) && LPageManager.UnlockPageByte(pageNo, offset);
}

bool TABSInternalDBDirectAccessFile::IsByteLocked(int32_t ByteNo) {
  checkOpened("IsByteLocked");
  int32_t pageNo;
  uint16_t offset;
  return bytePosition(ByteNo, pageNo, offset) && LPageManager.IsPageByteLocked(pageNo, offset);
}

bool TABSInternalDBDirectAccessFile::IsRegionLocked(int32_t ByteNo, int32_t Count) {
  checkOpened("IsRegionLocked");
  const int32_t dataSize = LPageManager.PageDataSize();
  int32_t byteNo = ByteNo;
  int32_t rest = Count;
  while (rest > 0) {
    int32_t pageNo;
    uint16_t offset;
    if (!bytePosition(byteNo, pageNo, offset)) return false;
    const int32_t part = std::min<int32_t>(rest, kPageHeaderSize + dataSize - offset);
    if (LPageManager.IsPageRegionLocked(pageNo, offset, part)) return true;
    byteNo += part;
    rest -= part;
  }
  return false;
}

}  // namespace zev
