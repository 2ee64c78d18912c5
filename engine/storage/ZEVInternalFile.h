// Internal files: chains of pages of one page type inside the database file, linked by the page
// header's NextPageNo (-1 ends the chain) and named by their first page. The first 10 bytes of
// the first page's data area are the file header:
//
//   0  uint8  header length (10)
//   1  int32  stored size (bytes kept in the chain; the compressed size when compressed)
//   5  int32  content size (uncompressed length; 0 in direct files)
//   9  uint8  TABSCompressionAlgorithm of the stored content (0 in direct files)
//
// Content byte i is at chain position i + 10: page (i + 10) div D of the chain, data offset
// (i + 10) mod D, D being the page data size.
//
// TABSInternalDBTransactedAccessFile goes through the page cache and a session's change set, so
// its changes become visible when that session's changes are applied; its content may be
// stored compressed. TABSInternalDBDirectAccessFile reads and writes page regions straight in
// the file (never cached, never encrypted, visible to other processes at once), so that its
// bytes can serve as lock bytes shared by all processes.
//
// Ownership: both link to the page manager they are given; they own nothing but their chain
// bookkeeping. Locking: none of their own; callers serialise (database and table locks).
// Errors: EABSException with the internal-file texts of ZEVErrorCodes.h (20155 to 20159, 20187,
// 20189, 20300, 20301, 30383, 30387 to 30389) and the page manager's texts.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/ZEVCompression.h"
#include "engine/storage/ZEVDiskPageManager.h"

namespace zev {

// The 10-byte header at the start of an internal file's first data area.
struct TABSInternalFileHeader {
  static constexpr size_t Size = 10;
  uint8_t HeaderSize = Size;
  int32_t StoredSize = 0;
  int32_t ContentSize = 0;
  uint8_t CompressionAlgorithm = 0;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

// Pages a file of ContentBytes content bytes needs (at least one), for data size D.
int32_t InternalFilePageCount(int64_t ContentBytes, int32_t PageDataSize);

class TABSInternalDBTransactedAccessFile {
 public:
  TABSInternalDBTransactedAccessFile(TABSPageManager& PageManager, uint16_t PageTypeID);
  TABSInternalDBTransactedAccessFile(const TABSInternalDBTransactedAccessFile&) = delete;
  TABSInternalDBTransactedAccessFile& operator=(const TABSInternalDBTransactedAccessFile&) = delete;

  // One page of the file's type added in the session, with an empty header; 30383 when open.
  void CreateFile(int32_t SessionID);
  void OpenFile(int32_t StartPageNo);  // -1 changes nothing
  // Removes every page of the chain in the session; the file is closed afterwards.
  void DeleteFile(int32_t SessionID, int32_t StartPageNo = -1);
  void CloseFile() { FStartPageNo = -1; }

  void GetFileSize(int32_t SessionID, bool SynchronizeAllowed, int32_t& StoredSize,
                   int32_t& ContentSize, TABSCompressionAlgorithm& Algorithm, bool& Reloaded);
  int32_t GetSize(int32_t SessionID);
  // Grows the chain as the stored size needs (20300 for a chain cut short) or cuts it at the
  // new end, freeing the pages beyond in the session, and writes the header.
  void SetFileSize(int32_t SessionID, int32_t StoredSize, int32_t ContentSize,
                   TABSCompressionAlgorithm Algorithm);
  // Reads Count content bytes from the start; 30387, 30388, 20189.
  void ReadFile(int32_t SessionID, void* Buffer, int32_t Count, bool SynchronizeAllowed = true);
  // Replaces the content by Count bytes, compressed with Algorithm and Mode; 20187.
  void WriteFile(int32_t SessionID, const void* Buffer, int32_t Count,
                 TABSCompressionAlgorithm Algorithm = acaNone, uint8_t Mode = 1);
  // Repair aid: re-initialises the first page's headers, ignoring checksum errors; 20301.
  void InitFileHeader(int32_t SessionID);
  // Byte 0 of the first page; false when the page manager has no file (not a disk manager).
  bool LockFile();
  bool UnlockFile();

  int32_t StartPageNo() const { return FStartPageNo; }
  bool IsOpened() const { return FStartPageNo >= 0; }
  uint16_t PageTypeID() const { return FPageTypeID; }

 private:
  TABSPageManager& LPageManager;
  int32_t FStartPageNo = -1;
  uint16_t FPageTypeID;
};

class TABSInternalDBDirectAccessFile {
 public:
  // Requires: a disk page manager (page regions and page bytes are file operations).
  TABSInternalDBDirectAccessFile(TABSDiskPageManager& PageManager, uint16_t PageTypeID);
  TABSInternalDBDirectAccessFile(const TABSInternalDBDirectAccessFile&) = delete;
  TABSInternalDBDirectAccessFile& operator=(const TABSInternalDBDirectAccessFile&) = delete;

  // Adds the pages Size content bytes need in the system session, unencrypted and chained,
  // with the header (10, Size); 20157 when open. They reach the file when the system session's
  // changes are applied. The file stays open.
  void CreateFile(int32_t Size);
  // Reads the chain's page headers straight from the file, skipping byte 0; 20155.
  void OpenFile(int32_t StartPageNo);
  // Removes every page of the chain in the system session; the file is closed afterwards.
  void DeleteFile(int32_t StartPageNo = -1);
  void CloseFile();

  int32_t GetSize();  // the header's size, read from the file
  // Content bytes Position .. Position + Count - 1; 20159 past the size, 20158 writing beyond.
  void ReadBuffer(void* Buffer, int32_t Count, int32_t Position);
  void WriteBuffer(const void* Buffer, int32_t Count, int32_t Position);

  bool LockFile();  // byte 0 of the first page
  bool UnlockFile();
  bool LockByte(int32_t ByteNo);  // the file position of content byte ByteNo
  bool UnlockByte(int32_t ByteNo);
  bool IsByteLocked(int32_t ByteNo);
  // Whether any byte of the range is locked by another handle; false for Count <= 0.
  bool IsRegionLocked(int32_t ByteNo, int32_t Count);

  int32_t StartPageNo() const { return FStartPageNo; }
  bool IsOpened() const { return FStartPageNo >= 0; }
  int32_t FileSize() const { return FFileSize; }  // content capacity known after opening
  const std::vector<int32_t>& FilePages() const { return FFilePages; }

 private:
  void checkOpened(const char* Operation) const;
  TABSDiskPageHeader readPageHeader(int32_t PageNo);
  template <class F>
  void forEachPiece(int32_t Count, int32_t Position, F&& Transfer);
  bool bytePosition(int32_t ByteNo, int32_t& PageNo, uint16_t& Offset) const;

  TABSDiskPageManager& LPageManager;
  int32_t FStartPageNo = -1;
  uint16_t FPageTypeID;
  int32_t FFileSize = 0;
  std::vector<int32_t> FFilePages;
};

}  // namespace zev
