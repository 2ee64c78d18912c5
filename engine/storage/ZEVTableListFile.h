// TABSTableListFile: the catalogue of tables, a transacted file of page type 6 holding 272-byte
// entries in creation order (name as 1 length byte + 255 bytes, TableID, and the first pages of
// the table's metadata, most-updated and lock files), stored uncompressed, always changed in
// the system session. Names are looked up after conversion to upper case; the first match wins.
//
// Ownership: owns its transacted file; links to the page manager.
// Locking: none of its own (the database object's critical section and the tables lock).
// Errors: EABSException 30393, 30395 to 30397, 30405 and the internal-file texts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVInternalFile.h"

namespace zev {

struct TABSTableListItem {
  static constexpr size_t Size = 272;
  static constexpr size_t MaxNameLength = 255;
  AnsiString TableName;
  int32_t TableID = -1;
  int32_t MetaDataFilePageNo = -1;
  int32_t MostUpdatedFilePageNo = -1;
  int32_t LocksFilePageNo = -1;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;  // the name cut to 255 characters
};

class TABSTableListFile {
 public:
  explicit TABSTableListFile(TABSPageManager& PageManager);
  TABSTableListFile(const TABSTableListFile&) = delete;
  TABSTableListFile& operator=(const TABSTableListFile&) = delete;

  int32_t CreateFile();               // an empty file, closed again; its first page
  void OpenFile(int32_t FirstPageNo);  // 30393 when a file is open
  void CloseFile();
  void Load();
  void Save();

  bool TableExists(const AnsiString& TableName) const;
  void AddTable(int32_t TableID, const AnsiString& TableName, int32_t MetadataFilePageNo,
                int32_t MostUpdatedFilePageNo, int32_t LocksFilePageNo);  // 30395
  void OpenTable(const AnsiString& TableName, int32_t& TableID, int32_t& MetadataFilePageNo,
                 int32_t& MostUpdatedFilePageNo, int32_t& LocksFilePageNo) const;  // 30396
  void RemoveTable(const AnsiString& TableName);                                   // 30405
  void RenameTable(const AnsiString& TableName, const AnsiString& NewTableName);   // 30397
  // Re-reads the catalogue and lists every name in catalogue order.
  void GetTablesList(std::vector<AnsiString>& List);

  bool IsOpened() const { return FFile->IsOpened(); }
  const std::vector<TABSTableListItem>& Items() const { return FItems; }

 private:
  int findTable(const AnsiString& TableName) const;  // -1 when absent

  std::unique_ptr<TABSInternalDBTransactedAccessFile> FFile;
  std::vector<TABSTableListItem> FItems;
};

}  // namespace zev
