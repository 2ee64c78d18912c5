#include "engine/storage/ZEVSystemDirectory.h"

#include <gtest/gtest.h>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace {

using zev::TABSSystemDirectory;

TEST(SystemDirectory, KeepsItsEntriesInOrderOnPage2) {
  enginetest::TTestDatabase database;
  {
    auto manager = database.Open(false);
    TABSSystemDirectory directory(*manager);
    directory.CreateDirectory();
    directory.CreateFile(zev::dbftActiveSessionsList, 3);
    directory.CreateFile(zev::dbftTablesList, 4);
    directory.SaveDirectory();
    manager->ApplyChanges(zev::kSystemSessionID);
  }
  const std::string bytes = database.Bytes();
  EXPECT_EQ(bytes.substr(database.PagePosition(2) + 40, 20),
            std::string("\x0A\x0A\0\0\0\x0A\0\0\0\0"
                        "\x02\x03\0\0\0\x01\x04\0\0\0",
                        20));
  auto manager = database.Open(false);
  TABSSystemDirectory directory(*manager);
  directory.LoadDirectory();
  EXPECT_EQ(directory.GetFileFirstPageNo(zev::dbftActiveSessionsList), 3);
  EXPECT_EQ(directory.GetFileFirstPageNo(zev::dbftTablesList), 4);
  EXPECT_EQ(directory.GetFileFirstPageNo(zev::dbftUnknown), -1);
}

TEST(SystemDirectory, MustBeTheFirstFileOfADatabase) {
  enginetest::TTestDatabase database;
  auto manager = database.Open(false);
  zev::TABSPinnedPage taken(manager->AddPage(zev::kSystemSessionID, zev::ptTableRecord));
  ASSERT_EQ(taken->PageNo(), 2);
  TABSSystemDirectory directory(*manager);
  EXPECT_EQ(errorOf([&] { directory.CreateDirectory(); }),
            enginetest::FormattedTextOf(
                "Error Creating SystemDirectory. SystemDirectoryPageNo=3. Real PageNo=2.",
                30392));
}

}  // namespace
