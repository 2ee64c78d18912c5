#include "engine/storage/ZEVTableListFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace {

using enginetest::FormattedTextOf;
using zev::TABSTableListFile;

class TableListFileTest : public ::testing::Test {
 protected:
  TableListFileTest() {
    TABSTableListFile list(*FManager);
    FFirstPage = list.CreateFile();
    FManager->ApplyChanges(zev::kSystemSessionID);
  }
  std::vector<AnsiString> saveAndList(TABSTableListFile& List) {
    List.Save();
    FManager->ApplyChanges(zev::kSystemSessionID);
    auto other = FDatabase.Open(false);
    TABSTableListFile reread(*other);
    reread.OpenFile(FFirstPage);
    std::vector<AnsiString> names;
    reread.GetTablesList(names);
    return names;
  }

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager = FDatabase.Open(false);
  int32_t FFirstPage = -1;
};

TEST_F(TableListFileTest, NamesAreFoundWhateverTheirCase) {
  TABSTableListFile list(*FManager);
  list.OpenFile(FFirstPage);
  list.Load();
  list.AddTable(1, "MATI\xC8RE", 10, 11, 12);
  list.AddTable(2, "Entreprise", 20, 21, 22);
  EXPECT_TRUE(list.TableExists("mati\xE8re"));
  EXPECT_EQ(errorOf([&] { list.AddTable(3, "mati\xE8re", 1, 1, 1); }),
            FormattedTextOf("Cannot create table. Table 'mati\xE8re' already exists", 30395));
  int32_t id, metadata, mostUpdated, locks;
  list.OpenTable("ENTREPRISE", id, metadata, mostUpdated, locks);
  EXPECT_EQ(std::vector<int32_t>({id, metadata, mostUpdated, locks}),
            std::vector<int32_t>({2, 20, 21, 22}));
  EXPECT_EQ(saveAndList(list), std::vector<AnsiString>({"MATI\xC8RE", "Entreprise"}));
}

TEST_F(TableListFileTest, RenameRemoveAndLongNames) {
  TABSTableListFile list(*FManager);
  list.OpenFile(FFirstPage);
  list.AddTable(1, "A", 1, 1, 1);
  list.AddTable(2, "B", 2, 2, 2);
  list.AddTable(3, std::string(300, 'c'), 3, 3, 3);
  list.RenameTable("b", "A");  // accepted: the first match wins afterwards
  int32_t id, metadata, mostUpdated, locks;
  list.OpenTable("A", id, metadata, mostUpdated, locks);
  EXPECT_EQ(id, 1);
  list.RemoveTable("a");
  EXPECT_EQ(saveAndList(list), std::vector<AnsiString>({"A", std::string(255, 'c')}));
  struct TCase {
    std::function<void()> Call;
    int Code;
  } cases[] = {
      {[&] { list.OpenTable("Z", id, metadata, mostUpdated, locks); }, 30396},
      {[&] { list.RenameTable("Z", "Y"); }, 30397},
      {[&] { list.RemoveTable("Z"); }, 30405},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(errorOf(c.Call), FormattedTextOf("Table 'Z' not exists.", c.Code));
  EXPECT_EQ(errorOf([&] { list.OpenFile(FFirstPage); }),
            enginetest::TextOf("Table list file already opened.", 30393));
}

TEST_F(TableListFileTest, RemovingAMiddleEntryClosesTheGap) {
  TABSTableListFile list(*FManager);
  list.OpenFile(FFirstPage);
  list.AddTable(1, "Un", 11, 12, 13);
  list.AddTable(2, "Deux", 21, 22, 23);
  list.AddTable(3, "Trois", 31, 32, 33);
  list.RemoveTable("DEUX");
  ASSERT_EQ(list.Items().size(), 2u);
  EXPECT_EQ(list.Items()[1].TableName, "Trois");
  EXPECT_EQ(list.Items()[1].LocksFilePageNo, 33);
  EXPECT_EQ(saveAndList(list), std::vector<AnsiString>({"Un", "Trois"}));
  // The saved catalogue holds exactly two 272-byte entries.
  zev::TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableList);
  file.OpenFile(FFirstPage);
  EXPECT_EQ(file.GetSize(zev::kSystemSessionID), 2 * 272);
}

}  // namespace
