#include "engine/tables/ZEVDiskTableData.h"

#include <gtest/gtest.h>

#include "engine/storage/ZEVEndian.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace {

using namespace cursortest;

// The table's files as the table object keeps them: the state block of 4 + 8n + 8 bytes, the
// metadata compressed, and the counters after inserts and after emptying.
TEST(DiskTableDataTest, MostUpdatedStateAndMetadataFiles) {
  testsupport::TTempDir dir;
  const std::string path = dir.File("t.abs");
  createCompanyDatabase(path);
  auto session = openSession(path, false);
  auto cursor = openCompanies(*session);
  for (int i = 0; i < 21; ++i) ASSERT_EQ(insertCompany(*cursor, "N" + std::to_string(i)), 0);

  zev::TABSDiskDatabaseData& database = session->DatabaseData();
  std::lock_guard<std::recursive_mutex> guard(database.CSect());
  zev::TABSDiskTableData& table = zev::TABSDiskTableData::FindOrCreate(database, "Companies");
  int32_t tableID = -1, metadataPageNo = -1, mostUpdatedPageNo = -1, locksPageNo = -1;
  database.OpenTable("Companies", tableID, metadataPageNo, mostUpdatedPageNo, locksPageNo);
  EXPECT_EQ(tableID, table.TableID());

  zev::TABSInternalDBTransactedAccessFile mostUpdated(*database.DiskPageManager(),
                                                      zev::ptTableMostUpdated);
  mostUpdated.OpenFile(mostUpdatedPageNo);
  ASSERT_EQ(mostUpdated.GetSize(session->SessionID()), 68);
  std::vector<uint8_t> block(68);
  mostUpdated.ReadFile(session->SessionID(), block.data(), 68);
  EXPECT_EQ(zev::GetInt32LE(block.data()), 7);
  EXPECT_EQ(zev::GetInt64LE(block.data() + 4), 21) << "Id's last value";
  EXPECT_EQ(zev::GetInt32LE(block.data() + 60), 21) << "table state";
  EXPECT_EQ(zev::GetInt32LE(block.data() + 64), 21) << "record count";

  zev::TABSInternalDBTransactedAccessFile metadata(*database.DiskPageManager(),
                                                   zev::ptTableMetaData);
  metadata.OpenFile(metadataPageNo);
  int32_t stored = 0, content = 0;
  zev::TABSCompressionAlgorithm algorithm = zev::acaNone;
  bool reloaded = false;
  metadata.GetFileSize(session->SessionID(), true, stored, content, algorithm, reloaded);
  EXPECT_EQ(algorithm, zev::acaZLIB);
  EXPECT_LT(stored, content);

  // 21 rows of 196 bytes: one full page of 20 and a page of 1.
  int32_t first = -1, second = -1, none = -1;
  zev::TABSBTreeRecordPageIndex& pages = table.RecordManager().RecordPageIndex();
  ASSERT_TRUE(pages.GetFirstRecordPage(session->SessionID(), first));
  ASSERT_TRUE(pages.GetNextRecordPage(session->SessionID(), first, second));
  EXPECT_FALSE(pages.GetNextRecordPage(session->SessionID(), second, none));
  uint16_t count = 0;
  ASSERT_TRUE(pages.FindPage(session->SessionID(), first, count));
  EXPECT_EQ(count, 20);
  ASSERT_TRUE(pages.FindPage(session->SessionID(), second, count));
  EXPECT_EQ(count, 1);

  cursor->EmptyTable();
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_EQ(table.TableState(), 0);
  mostUpdated.ReadFile(session->SessionID(), block.data(), 68);
  EXPECT_EQ(zev::GetInt64LE(block.data() + 4), 0);
  EXPECT_EQ(zev::GetInt32LE(block.data() + 64), 0);
}

}  // namespace
