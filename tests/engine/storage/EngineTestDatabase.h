// Engine tests: a fresh database file in a temporary folder, opened by a disk page manager
// whose lock waits are instant, plus a second manager on the same file for checks through
// another handle.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "engine/storage/ZEVDiskPageManager.h"
#include "tests/support/TestSupport.h"

namespace enginetest {

inline zev::TABSDiskPageManagerSettings InstantSettings() {
  zev::TABSDiskPageManagerSettings settings;
  settings.DBHeaderLockAttempts = 2;
  settings.ObjectIDLockAttempts = 2;
  settings.InternalFileLockAttempts = 3;
  settings.SleepFunction = [](uint32_t) {};
  settings.CacheCapacity = 100;
  return settings;
}

// "<Message> - Native error: 00042", as a message from a text reads.
inline std::string TextOf(const std::string& Message, int Code) {
  char code[8];
  std::snprintf(code, sizeof code, "%.5d", Code);
  return Message + " - Native error: " + code;
}

// A message from a format and arguments: the code blank-padded to five places.
inline std::string FormattedTextOf(const std::string& Message, int Code) {
  char code[8];
  std::snprintf(code, sizeof code, "%5d", Code);
  return Message + " - Native error: " + code;
}

class TTestDatabase {
 public:
  explicit TTestDatabase(uint16_t PageSize = 512, uint16_t ExtentPageCount = 8)
      : FPageSize(PageSize), FExtentPageCount(ExtentPageCount) {
    auto creator = std::make_unique<zev::TABSDiskPageManager>(InstantSettings());
    creator->CreateAndOpenDatabase(FPath, zev::TABSPassword{}, PageSize, ExtentPageCount);
  }

  // A manager on the file, opened in multi-user mode.
  std::unique_ptr<zev::TABSDiskPageManager> Open(bool MultiUser = true) const {
    auto manager = std::make_unique<zev::TABSDiskPageManager>(InstantSettings());
    bool readOnly = false, repair = false, multiUser = MultiUser;
    manager->OpenDatabase(FPath, zev::TABSPassword{}, readOnly, repair, false, multiUser);
    return manager;
  }

  const std::string& Path() const { return FPath; }
  std::string Bytes() const { return testsupport::ReadFile(FPath); }
  // The file position of a page.
  size_t PagePosition(int32_t PageNo) const { return 380 + static_cast<size_t>(PageNo) * FPageSize; }

 private:
  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("test.abs");
  uint16_t FPageSize;
  uint16_t FExtentPageCount;
};

}  // namespace enginetest
