#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "engine/tables/ZEVRecordPageIndex.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace {

using enginetest::FormattedTextOf;
using enginetest::TextOf;
using zev::TABSBTreeRecordPageIndex;

constexpr int32_t kSession = zev::kSystemSessionID;
constexpr int32_t M = 20;

// A record page index on a database of small pages (so the tree soon has several leaves); the
// page numbers entered are plain numbers, no record pages behind them.
class RecordPageIndexTest : public ::testing::Test {
 protected:
  RecordPageIndexTest() {
    FManager = FDatabase.Open(false);
    FIndex = std::make_unique<TABSBTreeRecordPageIndex>(*FManager, M);
    FIndex->CreateIndex(kSession);
  }

  std::map<int32_t, uint16_t> entries() {
    std::map<int32_t, uint16_t> found;
    int32_t pageNo = -1;
    uint16_t count = 0;
    for (int32_t from = 0; FIndex->FindPageAtOrAfter(kSession, from, pageNo, count);
         from = pageNo + 1)
      found[pageNo] = count;
    return found;
  }
  // Page 1000 + i for i < Count, every one full.
  void fillFull(int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) FIndex->SetPage(kSession, 1000 + i, M);
  }

  enginetest::TTestDatabase FDatabase{512};
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  std::unique_ptr<TABSBTreeRecordPageIndex> FIndex;
};

TEST_F(RecordPageIndexTest, AddRecordInsertsThenCountsUpToM) {
  EXPECT_EQ(FIndex->MaxRecordsOnPage(), M);
  FIndex->AddRecord(kSession, 7, 1);
  EXPECT_EQ(entries(), (std::map<int32_t, uint16_t>{{7, 1}}));
  for (int i = 1; i < M; ++i) FIndex->AddRecord(kSession, 7, 1);
  FIndex->AddRecord(kSession, 3, 1);
  EXPECT_EQ(entries(), (std::map<int32_t, uint16_t>{{3, 1}, {7, M}}));
  int code = 0;
  EXPECT_EQ(errorOf([&] { FIndex->AddRecord(kSession, 7, 1); }, &code),
            TextOf("Cannot add data item to page. Page is full", 20106));
  EXPECT_EQ(entries()[7], M);
}

TEST_F(RecordPageIndexTest, DeleteRecordStoresNewCountAndDropsEmptyEntries) {
  FIndex->SetPage(kSession, 4, 5);
  FIndex->SetPage(kSession, 9, 1);
  FIndex->DeleteRecord(kSession, 4, -1);
  FIndex->DeleteRecord(kSession, 9, -1);
  EXPECT_EQ(entries(), (std::map<int32_t, uint16_t>{{4, 4}}));
  FIndex->DeleteRecord(kSession, 4, 2);
  EXPECT_EQ(entries(), (std::map<int32_t, uint16_t>{{4, 2}}));
  FIndex->DeleteRecord(kSession, 4, 0);
  EXPECT_TRUE(entries().empty());

  EXPECT_EQ(errorOf([&] { FIndex->DeleteRecord(kSession, 4, -1); }),
            TextOf("Invalid page number", 20111));
  FIndex->SetPage(kSession, 5, 0);
  EXPECT_EQ(errorOf([&] { FIndex->DeleteRecord(kSession, 5, -1); }),
            TextOf("Index error: page is empty", 20112));
}

TEST_F(RecordPageIndexTest, WalksPagesInNumberOrder) {
  int32_t pageNo = -1;
  EXPECT_FALSE(FIndex->GetFirstRecordPage(kSession, pageNo));
  EXPECT_FALSE(FIndex->GetLastRecordPage(kSession, pageNo));
  for (int32_t page : {9, 5, 7}) FIndex->AddRecord(kSession, page, 1);

  ASSERT_TRUE(FIndex->GetFirstRecordPage(kSession, pageNo));
  EXPECT_EQ(pageNo, 5);
  ASSERT_TRUE(FIndex->GetLastRecordPage(kSession, pageNo));
  EXPECT_EQ(pageNo, 9);
  struct TStep {
    int32_t From;
    bool HasNext;
    int32_t Next;
    bool HasPrior;
    int32_t Prior;
  };
  const TStep steps[] = {{5, true, 7, false, 0}, {7, true, 9, true, 5},
                         {9, false, 0, true, 7}, {6, true, 7, true, 5},  // a page not in the index
                         {1, true, 5, false, 0}, {12, false, 0, true, 9}};
  for (const TStep& s : steps) {
    int32_t next = -1, prior = -1;
    EXPECT_EQ(FIndex->GetNextRecordPage(kSession, s.From, next), s.HasNext) << s.From;
    if (s.HasNext) {
      EXPECT_EQ(next, s.Next) << s.From;
    }
    EXPECT_EQ(FIndex->GetPriorRecordPage(kSession, s.From, prior), s.HasPrior) << s.From;
    if (s.HasPrior) {
      EXPECT_EQ(prior, s.Prior) << s.From;
    }
  }
}

TEST_F(RecordPageIndexTest, RecordNumbersCountPagesInOrder) {
  FIndex->SetPage(kSession, 11, 1);
  FIndex->SetPage(kSession, 3, 5);
  FIndex->SetPage(kSession, 8, 20);
  struct TCase {
    int64_t RecNo;
    int32_t PageNo;
    int32_t RecNoOnPage;
  };
  const TCase cases[] = {{1, 3, 0}, {5, 3, 4}, {6, 8, 0}, {25, 8, 19}, {26, 11, 0}};
  for (const TCase& c : cases) {
    int32_t pageNo = -1, onPage = -1;
    FIndex->GetRecordByRecNo(kSession, c.RecNo, pageNo, onPage);
    EXPECT_EQ(pageNo, c.PageNo) << c.RecNo;
    EXPECT_EQ(onPage, c.RecNoOnPage) << c.RecNo;
    EXPECT_EQ(FIndex->GetRecNoByRecord(kSession, c.PageNo, c.RecNoOnPage), c.RecNo);
  }
  for (int64_t beyond : {int64_t{27}, int64_t{0}, int64_t{1000}}) {
    int32_t pageNo = -1, onPage = -1;
    EXPECT_EQ(errorOf([&] { FIndex->GetRecordByRecNo(kSession, beyond, pageNo, onPage); }),
              TextOf("Cannot set RecNo greater than RecordCount", 20113))
        << beyond;
  }
  EXPECT_EQ(errorOf([&] { FIndex->GetRecNoByRecord(kSession, 4, 0); }),
            TextOf("Invalid page number", 20114));
}

TEST_F(RecordPageIndexTest, ValidateComparesSumWithStoredCount) {
  FIndex->SetPage(kSession, 3, 5);
  FIndex->SetPage(kSession, 8, 20);
  EXPECT_EQ(errorOf([&] { FIndex->Validate(kSession, 25); }), "");
  int code = 0;
  EXPECT_EQ(errorOf([&] { FIndex->Validate(kSession, 30); }, &code),
            FormattedTextOf("Invalid table RecordPageIndex or MostUpdated. "
                            "RecordPageIndex.RecordCount=25, MostUpdated.RecordCount=30",
                            20292));
  EXPECT_EQ(code, 20292);
}

TEST_F(RecordPageIndexTest, FindPageForNewRecordLooksOnlyAtTheTwoEndLeaves) {
  int32_t pageNo = -1;
  EXPECT_FALSE(FIndex->FindPageForNewRecord(kSession, pageNo));
  constexpr int32_t kPages = 400;
  fillFull(kPages);
  zev::TABSKeyPath first, last;
  ASSERT_TRUE(FIndex->Tree().GetFirstPosition(kSession, first));
  ASSERT_TRUE(FIndex->Tree().GetLastPosition(kSession, last));
  const int32_t firstLeaf = first.Leaf().EntryCount, lastLeaf = last.Leaf().EntryCount;
  ASSERT_LT(firstLeaf + lastLeaf + 2, kPages) << "the tree needs a middle leaf";
  EXPECT_FALSE(FIndex->FindPageForNewRecord(kSession, pageNo));

  // A free slot in the middle stays unused.
  const int32_t middle = 1000 + firstLeaf + 1;
  FIndex->DeleteRecord(kSession, middle, -1);
  EXPECT_FALSE(FIndex->FindPageForNewRecord(kSession, pageNo));

  struct TCase {
    int32_t PageNo;
    uint16_t Count;
    int32_t Expected;
  };
  // Applied in order (counts rewritten in place, so the leaves keep their entries): the first
  // leaf is found, then the last leaf is preferred over it.
  const TCase cases[] = {
      {1000 + firstLeaf - 1, 5, 1000 + firstLeaf - 1},  // last entry of the first leaf
      {1000, 3, 1000},                                  // lowest entry of the first leaf
      {1000 + kPages - lastLeaf, M - 1, 1000 + kPages - lastLeaf},  // first of the last leaf
      {1000 + kPages - 1, 1, 1000 + kPages - 1},                    // the last entry wins
  };
  for (const TCase& c : cases) {
    FIndex->DeleteRecord(kSession, c.PageNo, c.Count);
    ASSERT_TRUE(FIndex->FindPageForNewRecord(kSession, pageNo)) << c.PageNo;
    EXPECT_EQ(pageNo, c.Expected);
  }
}

}  // namespace
