// TABSSystemDirectory: the root of a database's internal files, a transacted file of page type
// 4 that always starts at page 2 and lists where the other system files start (5-byte entries:
// uint8 FileID, int32 FirstPageNo), stored uncompressed and always changed in the system
// session.
//
// Ownership: owns its transacted file; links to the page manager.
// Locking: none of its own (the database object serialises its callers).
// Errors: EABSException 30392 and the internal-file texts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVInternalFile.h"

namespace zev {

enum TABSDBFileType : uint8_t {
  dbftUnknown = 0,
  dbftTablesList = 1,
  dbftActiveSessionsList = 2,
};

struct TABSSystemDirectoryListItem {
  static constexpr size_t Size = 5;
  TABSDBFileType FileID = dbftUnknown;
  int32_t FirstPageNo = -1;

  void Load(const uint8_t* Buffer);
  void Store(uint8_t* Buffer) const;
};

inline constexpr int32_t kSystemDirectoryPageNo = 2;

class TABSSystemDirectory {
 public:
  explicit TABSSystemDirectory(TABSPageManager& PageManager);
  TABSSystemDirectory(const TABSSystemDirectory&) = delete;
  TABSSystemDirectory& operator=(const TABSSystemDirectory&) = delete;

  void CreateDirectory();  // 30392 when the first page is not page 2
  void LoadDirectory();
  void SaveDirectory();
  void CreateFile(TABSDBFileType FileType, int32_t FirstPageNo);  // in memory
  int32_t GetFileFirstPageNo(TABSDBFileType FileType) const;      // -1 when none

  const std::vector<TABSSystemDirectoryListItem>& Items() const { return FItems; }

 private:
  std::unique_ptr<TABSInternalDBTransactedAccessFile> FFile;
  std::vector<TABSSystemDirectoryListItem> FItems;
};

}  // namespace zev
