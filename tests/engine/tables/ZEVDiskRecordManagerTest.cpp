#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "engine/storage/ZEVStream.h"
#include "engine/tables/ZEVDiskRecordManager.h"
#include "engine/tables/ZEVRecordPage.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace zev {
namespace {

using enginetest::TextOf;
using TBytes = std::vector<uint8_t>;

constexpr int32_t kSession = kSystemSessionID;
constexpr int32_t kTableID = 77;
constexpr int32_t M = 20;

struct TFieldDecl {
  const char* Name;
  TABSAdvancedFieldType Type;
  int32_t Size;
};

const TFieldDecl kCompanyFields[] = {{"Id", aftAutoInc, 0},   {"Nom", aftString, 30},
                                     {"Rue1", aftString, 40}, {"Rue2", aftString, 40},
                                     {"CP", aftString, 5},    {"Ville", aftString, 40},
                                     {"Type", aftString, 30}};

void addCompanyFields(TABSBaseFieldManager& Manager) {
  TABSFieldDefs& defs = Manager.FieldDefs();
  for (const TFieldDecl& field : kCompanyFields) {
    TABSFieldDef* def = defs.AddCreated();
    def->FName = field.Name;
    def->FObjectID = 100 + defs.Count() - 1;
    def->SetFieldDefDataType(field.Type, field.Size);
  }
  defs.RecalcFieldOffsets();
  Manager.InitLastAutoIncValues();
}

// The company table's record manager on a 4096-byte database (data area 4056, M = 20).
class DiskRecordManagerTest : public ::testing::Test {
 protected:
  DiskRecordManagerTest() {
    FPages = FDatabase.Open(false);
    addCompanyFields(FFields);
    FRecords = newManager(kTableID);
  }

  std::unique_ptr<TABSDiskRecordManager> newManager(int32_t TableID) {
    auto manager = std::make_unique<TABSDiskRecordManager>(*FPages, FFields, TableID);
    const TABSFieldDefs& defs = FFields.FieldDefs();
    manager->Init(defs.GetMemoryRecordBufferSize(), defs.GetDiskRecordBufferSize(), defs.Count());
    manager->CreateRecordPageIndex(kSession);
    return manager;
  }

  // A memory-form row: Id and Nom set, the other fields NULL.
  TBytes company(int32_t Id) const {
    const TABSFieldDefs& defs = FFields.FieldDefs();
    TBytes row(static_cast<size_t>(defs.GetMemoryRecordBufferSize()), 0);
    row[0] = 0x7C;  // fields 2..6 NULL
    PutInt32LE(row.data() + defs.Items(0)->FMemoryOffset, Id);
    const std::string nom = "Societe " + std::to_string(Id);
    std::memcpy(row.data() + defs.Items(1)->FMemoryOffset, nom.data(), nom.size());
    return row;
  }
  int32_t idOf(const TBytes& Row) const {
    return GetInt32LE(Row.data() + FFields.FieldDefs().Items(0)->FMemoryOffset);
  }
  TABSPageItemID add(int32_t Id, TABSDiskRecordManager* Manager = nullptr) {
    TABSPageItemID id;
    EXPECT_TRUE((Manager ? *Manager : *FRecords).AddRecord(kSession, company(Id).data(), id));
    return id;
  }
  std::vector<TABSPageItemID> addMany(int32_t From, int32_t Count) {
    std::vector<TABSPageItemID> ids;
    for (int32_t i = 0; i < Count; ++i) ids.push_back(add(From + i));
    return ids;
  }
  std::map<int32_t, uint16_t> pageIndex() {
    std::map<int32_t, uint16_t> entries;
    int32_t pageNo = -1;
    uint16_t count = 0;
    for (int32_t from = 0;
         FRecords->RecordPageIndex().FindPageAtOrAfter(kSession, from, pageNo, count);
         from = pageNo + 1)
      entries[pageNo] = count;
    return entries;
  }
  TABSNavigationInfo step(TABSGetRecordMode Mode, const TABSPageItemID& From, TBytes* Row,
                          bool First = false, bool Last = false) {
    TABSNavigationInfo info;
    info.GetRecordMode = Mode;
    info.RecordID = From;
    info.RecordBuffer = Row ? Row->data() : nullptr;
    info.FirstPosition = First;
    info.LastPosition = Last;
    FRecords->GetRecordBuffer(kSession, info);
    return info;
  }
  // Ids of the rows in physical order, walked forwards from before the first row.
  std::vector<int32_t> walkForward() {
    std::vector<int32_t> ids;
    TBytes row(company(0).size());
    TABSNavigationInfo info = step(grmNext, {}, &row, true);
    while (info.GetRecordResult == grrOK) {
      ids.push_back(idOf(row));
      info = step(grmNext, info.RecordID, &row);
    }
    EXPECT_EQ(info.GetRecordResult, grrEOF);
    return ids;
  }
  std::vector<int32_t> walkBackward() {
    std::vector<int32_t> ids;
    TBytes row(company(0).size());
    TABSNavigationInfo info = step(grmPrior, {}, &row, false, true);
    while (info.GetRecordResult == grrOK) {
      ids.insert(ids.begin(), idOf(row));
      info = step(grmPrior, info.RecordID, &row);
    }
    EXPECT_EQ(info.GetRecordResult, grrBOF);
    return ids;
  }
  bool pageInUse(int32_t PageNo) {
    auto* map = dynamic_cast<TABSDatabaseFreeSpaceManager*>(FPages->DatabaseFreeSpaceManager());
    return map->GetPageUsageFromPFS(PageNo);
  }

  enginetest::TTestDatabase FDatabase{4096};
  std::unique_ptr<TABSDiskPageManager> FPages;
  TABSBaseFieldManager FFields;
  std::unique_ptr<TABSDiskRecordManager> FRecords;
};

TEST_F(DiskRecordManagerTest, CompanyRowGivesTwentyRowsPerPage) {
  EXPECT_EQ(FPages->PageDataSize(), 4056);
  EXPECT_EQ(FFields.FieldDefs().GetDiskRecordBufferSize(), 196);
  EXPECT_EQ(FRecords->MaxRecordsOnPage(), M);
  EXPECT_EQ(FRecords->RecordPageIndex().MaxRecordsOnPage(), M);
}

TEST_F(DiskRecordManagerTest, RowLargerThanDataAreaIsRefusedByInit) {
  TABSDiskRecordManager manager(*FPages, FFields, kTableID);
  for (int32_t diskSize : {4055, 5000}) {
    EXPECT_EQ(errorOf([&] { manager.Init(diskSize + 10, diskSize, 7); }),
              TextOf("Cannot create table. Record is too large to fit in current database page. "
                     "Please increase page size of database file or decrease record size",
                     20174))
        << diskSize;
  }
  EXPECT_EQ(errorOf([&] { manager.Init(4064, 4054, 7); }), "");
  EXPECT_EQ(manager.MaxRecordsOnPage(), 1);
}

TEST_F(DiskRecordManagerTest, OnePageMoreThanMRowsTakesTwoPages) {
  const std::vector<TABSPageItemID> ids = addMany(1, M + 1);
  EXPECT_EQ(FRecords->RecordCount(), M + 1);
  EXPECT_EQ(FRecords->TableState(), M + 1);
  const int32_t first = ids[0].PageNo, second = ids[M].PageNo;
  for (int32_t i = 0; i < M; ++i) {
    EXPECT_EQ(ids[static_cast<size_t>(i)].PageNo, first);
    EXPECT_EQ(ids[static_cast<size_t>(i)].PageItemNo, i);
  }
  EXPECT_NE(second, first);
  EXPECT_EQ(ids[M].PageItemNo, 0);
  EXPECT_EQ(pageIndex(), (std::map<int32_t, uint16_t>{{first, M}, {second, 1}}));

  for (int32_t pageNo : {first, second}) {
    TABSPinnedPage page(FPages->GetPage(kSession, pageNo));
    EXPECT_EQ(page->GetPageType(), ptTableRecord);
    EXPECT_EQ(page->GetObjectID(), kTableID);
  }
  FPages->ApplyChanges(kSession);
  EXPECT_EQ(walkForward().size(), static_cast<size_t>(M + 1));
}

TEST_F(DiskRecordManagerTest, DeletingOnlyRowOfPageFreesPageAndEntry) {
  const std::vector<TABSPageItemID> ids = addMany(1, M + 1);
  FPages->ApplyChanges(kSession);
  const int32_t lonely = ids[M].PageNo;
  ASSERT_TRUE(pageInUse(lonely));

  ASSERT_TRUE(FRecords->DeleteRecord(kSession, ids[M]));
  EXPECT_EQ(pageIndex(), (std::map<int32_t, uint16_t>{{ids[0].PageNo, M}}));
  EXPECT_EQ(FRecords->RecordCount(), M);
  FPages->ApplyChanges(kSession);
  EXPECT_FALSE(pageInUse(lonely));

  // The remaining page is full: the next row goes to a new page, the freed number again.
  EXPECT_EQ(add(100).PageNo, lonely);
  EXPECT_EQ(pageIndex(), (std::map<int32_t, uint16_t>{{ids[0].PageNo, M}, {lonely, 1}}));
  FPages->ApplyChanges(kSession);
  EXPECT_TRUE(pageInUse(lonely));
}

TEST_F(DiskRecordManagerTest, DeletedSlotIsReusedAndOnlyOnce) {
  const std::vector<TABSPageItemID> ids = addMany(1, 10);
  ASSERT_TRUE(FRecords->DeleteRecord(kSession, ids[3]));
  EXPECT_FALSE(FRecords->DeleteRecord(kSession, ids[3]));
  EXPECT_EQ(FRecords->RecordCount(), 9);
  EXPECT_EQ(FRecords->TableState(), 11);
  const TABSPageItemID reused = add(50);
  EXPECT_EQ(TABSDiskRecordManager::CompareRecordID(reused, ids[3]), 0);
  EXPECT_EQ(add(51).PageItemNo, 10);
  EXPECT_EQ(pageIndex().at(ids[0].PageNo), 11);
}

TEST_F(DiskRecordManagerTest, UpdateRewritesInPlace) {
  const std::vector<TABSPageItemID> ids = addMany(1, 3);
  ASSERT_TRUE(FRecords->UpdateRecord(kSession, company(99).data(), ids[1]));
  EXPECT_EQ(FRecords->TableState(), 4);
  EXPECT_EQ(FRecords->RecordCount(), 3);
  TBytes row(company(0).size());
  EXPECT_EQ(step(grmCurrent, ids[1], &row).GetRecordResult, grrOK);
  EXPECT_EQ(row, company(99));

  FRecords->DeleteRecord(kSession, ids[2]);
  EXPECT_FALSE(FRecords->UpdateRecord(kSession, company(98).data(), ids[2]));
  EXPECT_EQ(FRecords->TableState(), 5);
  EXPECT_EQ(pageIndex().at(ids[0].PageNo), 2);
}

TEST_F(DiskRecordManagerTest, AddFailureAnswersFalse) {
  TABSDiskRecordManager manager(*FPages, FFields, kTableID);
  manager.Init(FFields.FieldDefs().GetMemoryRecordBufferSize(),
               FFields.FieldDefs().GetDiskRecordBufferSize(), 7);
  TABSPageItemID id;
  EXPECT_FALSE(manager.AddRecord(kSession, company(1).data(), id));  // no page index
  EXPECT_EQ(manager.RecordCount(), 0);
  EXPECT_EQ(manager.TableState(), 0);
  FPages->CancelChanges(kSession);
}

TEST_F(DiskRecordManagerTest, PhysicalOrderFollowsPageNumbers) {
  addMany(1, M);  // page A
  // Two pages of something else, then a second record page B above them.
  TABSPinnedPage other1(FPages->AddPage(kSession, ptTableBlob));
  TABSPinnedPage other2(FPages->AddPage(kSession, ptTableBlob));
  const int32_t gap = other1->PageNo();
  other1.Release();
  other2.Release();
  FPages->ApplyChanges(kSession);
  const std::vector<TABSPageItemID> b = addMany(M + 1, M);
  FPages->RemovePage(kSession, gap);
  FPages->ApplyChanges(kSession);
  const std::vector<TABSPageItemID> c = addMany(2 * M + 1, 3);  // page C in the gap
  ASSERT_EQ(c[0].PageNo, gap);
  ASSERT_GT(b[0].PageNo, gap);

  std::vector<int32_t> expected;
  for (int32_t i = 1; i <= M; ++i) expected.push_back(i);
  for (int32_t i = 2 * M + 1; i <= 2 * M + 3; ++i) expected.push_back(i);
  for (int32_t i = M + 1; i <= 2 * M; ++i) expected.push_back(i);
  EXPECT_EQ(walkForward(), expected);
  EXPECT_EQ(walkBackward(), expected);
}

TEST_F(DiskRecordManagerTest, EmptyTableAnswersEOFInEveryMode) {
  struct TCase {
    TABSGetRecordMode Mode;
    bool First, Last;
  };
  const TCase cases[] = {{grmCurrent, false, false}, {grmNext, false, false},
                         {grmPrior, false, false},   {grmNext, true, false},
                         {grmPrior, true, false},    {grmNext, false, true},
                         {grmPrior, false, true},    {grmCurrent, true, false}};
  for (const TCase& c : cases)
    EXPECT_EQ(step(c.Mode, {}, nullptr, c.First, c.Last).GetRecordResult, grrEOF)
        << int(c.Mode) << c.First << c.Last;
}

TEST_F(DiskRecordManagerTest, NavigationAnswersAtTheEdges) {
  const std::vector<TABSPageItemID> ids = addMany(1, M + 5);
  FRecords->DeleteRecord(kSession, ids[7]);
  const TABSPageItemID firstRow = ids.front(), lastRow = ids.back();
  struct TCase {
    const char* Name;
    TABSGetRecordMode Mode;
    TABSPageItemID From;
    bool First, Last;
    TABSGetRecordResult Result;
    int32_t RowId;  // the row answered on grrOK
  };
  const TCase cases[] = {
      {"next from before first", grmNext, lastRow, true, false, grrOK, 1},
      {"prior from before first", grmPrior, lastRow, true, false, grrBOF, 0},
      {"current before first", grmCurrent, lastRow, true, false, grrError, 0},
      {"next from after last", grmNext, firstRow, false, true, grrEOF, 0},
      {"prior from after last", grmPrior, firstRow, false, true, grrOK, M + 5},
      {"current after last", grmCurrent, firstRow, false, true, grrError, 0},
      {"prior from first row", grmPrior, firstRow, false, false, grrBOF, 0},
      {"next from last row", grmNext, lastRow, false, false, grrEOF, 0},
      {"next across a free slot", grmNext, ids[6], false, false, grrOK, 9},
      {"prior across a free slot", grmPrior, ids[8], false, false, grrOK, 7},
      {"next onto the next page", grmNext, ids[M - 1], false, false, grrOK, M + 1},
      {"prior onto the prior page", grmPrior, ids[M], false, false, grrOK, M},
      {"current row", grmCurrent, ids[3], false, false, grrOK, 4},
      {"current on a deleted row", grmCurrent, ids[7], false, false, grrError, 0},
  };
  for (const TCase& c : cases) {
    TBytes row(company(0).size());
    const TABSNavigationInfo info = step(c.Mode, c.From, &row, c.First, c.Last);
    EXPECT_EQ(info.GetRecordResult, c.Result) << c.Name;
    if (c.Result != grrOK) continue;
    EXPECT_EQ(row, company(c.RowId)) << c.Name;
    EXPECT_EQ(TABSDiskRecordManager::CompareRecordID(info.RecordID,
                                                     ids[static_cast<size_t>(c.RowId - 1)]),
              0)
        << c.Name;
    EXPECT_FALSE(info.FirstPosition) << c.Name;
    EXPECT_FALSE(info.LastPosition) << c.Name;
  }
  // Without a buffer the step moves only.
  EXPECT_EQ(step(grmNext, ids[0], nullptr).RecordID.PageItemNo, 1);
}

TEST_F(DiskRecordManagerTest, NavigationSkipsPagesOfOtherTables) {
  auto other = newManager(kTableID + 1);
  const TABSPageItemID foreign = add(500, other.get());
  const TABSPageItemID own = add(1);
  ASSERT_NE(foreign.PageNo, own.PageNo);
  EXPECT_EQ(step(grmCurrent, foreign, nullptr).GetRecordResult, grrError);
  EXPECT_EQ(step(grmNext, foreign, nullptr).GetRecordResult, grrEOF);
  const TABSNavigationInfo prior = step(grmPrior, foreign, nullptr);  // as from after the last
  EXPECT_EQ(prior.GetRecordResult, grrOK);
  EXPECT_EQ(TABSDiskRecordManager::CompareRecordID(prior.RecordID, own), 0);

  // The check is waived while header errors are suppressed, or when switched off.
  auto* map = dynamic_cast<TABSDatabaseFreeSpaceManager*>(FPages->DatabaseFreeSpaceManager());
  map->SetSuppressDBHeaderErrors(true);
  EXPECT_EQ(step(grmCurrent, foreign, nullptr).GetRecordResult, grrOK);
  map->SetSuppressDBHeaderErrors(false);
  EXPECT_EQ(step(grmCurrent, foreign, nullptr).GetRecordResult, grrError);
  FRecords->SetCheckRecordPages(false);
  TBytes row(company(0).size());
  EXPECT_EQ(step(grmCurrent, foreign, &row).GetRecordResult, grrOK);
  EXPECT_EQ(row, company(500));
}

TEST_F(DiskRecordManagerTest, RecordNumbersAgreeForEveryRow) {
  TABSPageItemID id;
  EXPECT_EQ(errorOf([&] { FRecords->SetRecNo(kSession, 1, id); }),
            TextOf("Cannot set RecNo greater than RecordCount", 20113));

  const std::vector<TABSPageItemID> ids = addMany(1, 2 * M + 7);
  for (size_t gone : {size_t{0}, size_t{5}, size_t{M + 3}, size_t{2 * M + 6}})
    FRecords->DeleteRecord(kSession, ids[gone]);
  const std::vector<int32_t> order = walkForward();
  ASSERT_EQ(order.size(), static_cast<size_t>(FRecords->RecordCount()));
  for (int64_t recNo = 1; recNo <= FRecords->RecordCount(); ++recNo) {
    FRecords->SetRecNo(kSession, recNo, id);
    const TABSPageItemID& expected = ids[static_cast<size_t>(order[recNo - 1] - 1)];
    EXPECT_EQ(TABSDiskRecordManager::CompareRecordID(id, expected), 0) << recNo;
    EXPECT_EQ(FRecords->GetRecNo(kSession, id), recNo);
  }
  EXPECT_EQ(errorOf([&] { FRecords->SetRecNo(kSession, FRecords->RecordCount() + 1, id); }),
            TextOf("Cannot set RecNo greater than RecordCount", 20113));
  EXPECT_EQ(FRecords->GetApproximateRecNo(kSession, id), FRecords->RecordCount() / 2);
}

TEST_F(DiskRecordManagerTest, CompareRecordIDOrdersByPageThenSlot) {
  auto make = [](int32_t PageNo, uint16_t Slot) {
    TABSPageItemID id;
    id.PageNo = PageNo;
    id.PageItemNo = Slot;
    return id;
  };
  struct TCase {
    TABSPageItemID A, B;
    int Expected;
  };
  const TCase cases[] = {{make(3, 9), make(4, 0), -1},
                         {make(4, 0), make(3, 9), 1},
                         {make(4, 2), make(4, 2), 0},
                         {make(4, 1), make(4, 2), -1},
                         {make(4, 3), make(4, 2), 1}};
  for (const TCase& c : cases)
    EXPECT_EQ(TABSDiskRecordManager::CompareRecordID(c.A, c.B), c.Expected);
}

TEST_F(DiskRecordManagerTest, EmptyRemovesPagesAndResetsCounters) {
  const std::vector<TABSPageItemID> ids = addMany(1, 2 * M + 1);
  FPages->ApplyChanges(kSession);
  const int32_t root = FRecords->RecordPageIndex().RootPageNo();
  FRecords->Empty(kSession);
  FPages->ApplyChanges(kSession);
  EXPECT_EQ(FRecords->RecordCount(), 0);
  EXPECT_EQ(FRecords->TableState(), 0);
  EXPECT_TRUE(pageIndex().empty());
  EXPECT_EQ(FRecords->RecordPageIndex().RootPageNo(), root);
  EXPECT_TRUE(pageInUse(root));
  for (const TABSPageItemID& id : ids) EXPECT_FALSE(pageInUse(id.PageNo)) << id.PageNo;
  EXPECT_EQ(step(grmNext, {}, nullptr, true).GetRecordResult, grrEOF);
  add(1);
  EXPECT_EQ(FRecords->RecordCount(), 1);
}

TEST_F(DiskRecordManagerTest, DeleteFreesRecordPagesAndIndex) {
  const std::vector<TABSPageItemID> ids = addMany(1, M + 1);
  FPages->ApplyChanges(kSession);
  const int32_t root = FRecords->RecordPageIndex().RootPageNo();
  FRecords->Delete(kSession);
  FPages->ApplyChanges(kSession);
  EXPECT_FALSE(pageInUse(root));
  EXPECT_FALSE(pageInUse(ids[0].PageNo));
  EXPECT_FALSE(pageInUse(ids[M].PageNo));
}

TEST_F(DiskRecordManagerTest, MostUpdatedPartRoundTrip) {
  FRecords->SetTableState(0x01020304);
  FRecords->SetRecordCount(0x100000005LL);
  std::vector<uint8_t> buf(12, 0xAA);
  int32_t offset = 2;
  FRecords->SaveMostUpdated(buf.data(), offset);
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(buf, (std::vector<uint8_t>{0xAA, 0xAA, 0x04, 0x03, 0x02, 0x01, 0x05, 0x00, 0x00, 0x00,
                                       0xAA, 0xAA}));
  TABSDiskRecordManager loaded(*FPages, FFields, kTableID);
  offset = 2;
  loaded.LoadMostUpdated(buf.data(), offset);
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(loaded.TableState(), 0x01020304);
  EXPECT_EQ(loaded.RecordCount(), 5);  // the upper half is not kept

  // After the field manager's part: 4 + 7 * 8 + 8 = 68 bytes for the company table.
  std::vector<uint8_t> block(
      static_cast<size_t>(FFields.MostUpdatedSize() + TABSDiskRecordManager::MostUpdatedSize));
  offset = 0;
  FFields.SaveMostUpdated(block.data(), offset);
  FRecords->SaveMostUpdated(block.data(), offset);
  EXPECT_EQ(offset, 68);
  EXPECT_EQ(GetInt32LE(block.data() + 60), 0x01020304);
  EXPECT_EQ(GetInt32LE(block.data() + 64), 5);
}

TEST_F(DiskRecordManagerTest, MetadataIsTheIndexRoot) {
  add(1);
  TABSMemoryStream stream;
  FRecords->SaveMetadata(stream);
  ASSERT_EQ(stream.GetSize(), 4);
  stream.SetPosition(0);
  uint8_t bytes[4];
  stream.ReadBuffer(bytes, 4);
  EXPECT_EQ(GetInt32LE(bytes), FRecords->RecordPageIndex().RootPageNo());

  TABSDiskRecordManager reopened(*FPages, FFields, kTableID);
  reopened.Init(FFields.FieldDefs().GetMemoryRecordBufferSize(),
                FFields.FieldDefs().GetDiskRecordBufferSize(), 7);
  stream.SetPosition(0);
  reopened.LoadMetadata(stream);
  reopened.SetRecordCount(1);
  EXPECT_EQ(reopened.RecordPageIndex().RootPageNo(), FRecords->RecordPageIndex().RootPageNo());
  TABSNavigationInfo info;
  info.GetRecordMode = grmNext;
  info.FirstPosition = true;
  reopened.GetRecordBuffer(kSession, info);
  EXPECT_EQ(info.GetRecordResult, grrOK);
}

TEST_F(DiskRecordManagerTest, RebuildRestoresCountsFromRecordPages) {
  auto other = newManager(kTableID + 1);
  add(900, other.get());
  const std::vector<TABSPageItemID> ids = addMany(1, 2 * M + 4);
  FRecords->DeleteRecord(kSession, ids[2]);
  FRecords->DeleteRecord(kSession, ids[M + 1]);
  FPages->ApplyChanges(kSession);
  const std::map<int32_t, uint16_t> before = pageIndex();
  ASSERT_EQ(before.size(), 3u);

  FRecords->RecordPageIndex().EmptyIndex(kSession);
  FRecords->SetRecordCount(0);
  EXPECT_EQ(errorOf([&] { FRecords->ValidateRecordPageIndex(kSession); }), "");
  FRecords->SetRecordCount(2 * M + 2);
  EXPECT_NE(errorOf([&] { FRecords->ValidateRecordPageIndex(kSession); }), "");

  FRecords->RebuildRecordPageIndex(kSession);
  EXPECT_EQ(pageIndex(), before);
  EXPECT_EQ(FRecords->RecordCount(), 2 * M + 2);
  EXPECT_EQ(errorOf([&] { FRecords->ValidateRecordPageIndex(kSession); }), "");
  EXPECT_EQ(walkForward().size(), static_cast<size_t>(2 * M + 2));
}

TEST_F(DiskRecordManagerTest, RepairValidationComparesTheIndexWithTheRecordPagesInTheFile) {
  auto other = newManager(kTableID + 1);
  add(900, other.get());
  addMany(1, 2 * M + 4);
  FPages->ApplyChanges(kSession);
  EXPECT_EQ(errorOf([&] { FRecords->ValidateRecordPages(kSession); }), "");
  // An index whose sum agrees with the counter but that misses every page.
  FRecords->RecordPageIndex().EmptyIndex(kSession);
  FRecords->SetRecordCount(0);
  EXPECT_EQ(errorOf([&] { FRecords->ValidateRecordPageIndex(kSession); }), "");
  EXPECT_NE(errorOf([&] { FRecords->ValidateRecordPages(kSession); }).find("20292"),
            std::string::npos);
  FRecords->RebuildRecordPageIndex(kSession);
  EXPECT_EQ(errorOf([&] { FRecords->ValidateRecordPages(kSession); }), "");
}

TEST_F(DiskRecordManagerTest, RecordBitmapNumbering) {
  EXPECT_EQ(FRecords->GetRecordBitmapSize(kSession), 1);
  struct TCase {
    int32_t PageNo;
    uint16_t Slot;
    int64_t BitmapNo;
  };
  const TCase cases[] = {{0, 0, 0}, {3, 7, 67}, {3, 19, 79}, {4, 0, 80}, {100000, 5, 2000005}};
  for (const TCase& c : cases) {
    TABSPageItemID id;
    id.PageNo = c.PageNo;
    id.PageItemNo = c.Slot;
    EXPECT_EQ(FRecords->GetRecordBitmapNo(id), c.BitmapNo);
    const TABSPageItemID back = FRecords->GetRecordIDByBitmapNo(c.BitmapNo);
    EXPECT_EQ(back.PageNo, c.PageNo);
    EXPECT_EQ(back.PageItemNo, c.Slot);
  }
  const std::vector<TABSPageItemID> ids = addMany(1, M + 1);
  EXPECT_EQ(FRecords->GetRecordBitmapSize(kSession), (int64_t{ids[M].PageNo} + 1) * M);
}

}  // namespace
}  // namespace zev
