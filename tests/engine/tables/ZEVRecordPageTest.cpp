#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/tables/ZEVRecordErrors.h"
#include "engine/tables/ZEVRecordPage.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"

namespace {

using enginetest::FormattedTextOf;
using enginetest::TextOf;
using zev::TABSPageItemID;
using zev::TABSSmallRecordPage;

constexpr int32_t kSession = zev::kSystemSessionID;

struct TCapacityCase {
  int32_t PageDataSize;
  int32_t RowSize;
  int32_t Expected;
};

class RecordPageCapacity : public ::testing::TestWithParam<TCapacityCase> {};

TEST_P(RecordPageCapacity, IsWholePartOfDataLessOneOverRowPlusOneBit) {
  const TCapacityCase& c = GetParam();
  EXPECT_EQ(TABSSmallRecordPage::MaxRecordsOnPage(c.PageDataSize, c.RowSize), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordPageCapacity,
                         ::testing::Values(TCapacityCase{4056, 196, 20},  // the company row
                                           TCapacityCase{472, 196, 2}, TCapacityCase{4056, 1, 3604},
                                           TCapacityCase{4056, 7, 569},
                                           TCapacityCase{4056, 4054, 1},
                                           TCapacityCase{4056, 4055, 0},
                                           TCapacityCase{4056, 5000, 0}));

// One record page of a 4096-byte database, with the company row size (196 bytes, M = 20).
class RecordPageTest : public ::testing::Test {
 protected:
  static constexpr int32_t R = 196;
  static constexpr int32_t M = 20;

  RecordPageTest() {
    FManager = FDatabase.Open(false);
    FPage = zev::TABSPinnedPage(FManager->AddPage(kSession, zev::ptTableRecord));
    FPage->SetIsDirty(false);
  }
  ~RecordPageTest() override {
    FPage->SetIsDirty(true);  // a page added in the session stays in its change set
    FPage.Release();
    FManager->CancelChanges(kSession);
  }

  std::vector<uint8_t> row(uint8_t Fill) const { return std::vector<uint8_t>(R, Fill); }
  TABSPageItemID add(TABSSmallRecordPage& View, uint8_t Fill) {
    TABSPageItemID id;
    View.AddRecord(row(Fill).data(), id);
    return id;
  }
  TABSPageItemID slot(uint16_t Slot) const {
    TABSPageItemID id;
    id.PageNo = FPage->PageNo();
    id.PageItemNo = Slot;
    return id;
  }

  enginetest::TTestDatabase FDatabase{4096};
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  zev::TABSPinnedPage FPage;
};

TEST_F(RecordPageTest, LayoutIsBitmapThenSlots) {
  ASSERT_EQ(FManager->PageDataSize(), 4056);
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  EXPECT_EQ(view.RecordDataOffset(), 3);
  for (int i = 0; i < 10; ++i) add(view, static_cast<uint8_t>(i + 1));
  view.DeleteRecord(slot(2));
  EXPECT_TRUE(FPage->IsDirty());

  const uint8_t* data = FPage->PageData();
  EXPECT_EQ(data[0], 0xFB);  // slots 0-7 but 2
  EXPECT_EQ(data[1], 0x03);  // slots 8, 9
  EXPECT_EQ(data[2], 0x00);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(data[3 + i * R], i + 1) << i;
    EXPECT_EQ(data[3 + i * R + R - 1], i + 1) << i;
  }
  EXPECT_EQ(data[3 + 10 * R], 0);
}

TEST_F(RecordPageTest, AddTakesLowestFreeSlotAndReusesDeletedOne) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(add(view, 1).PageItemNo, i);
  EXPECT_EQ(add(view, 1).PageNo, FPage->PageNo());
  EXPECT_TRUE(view.DeleteRecord(slot(3)));
  EXPECT_TRUE(view.DeleteRecord(slot(1)));
  EXPECT_FALSE(view.DeleteRecord(slot(1)));
  EXPECT_EQ(view.RecordCount(), 4);
  EXPECT_EQ(add(view, 7).PageItemNo, 1);
  EXPECT_EQ(add(view, 8).PageItemNo, 3);
  EXPECT_EQ(add(view, 9).PageItemNo, 6);

  std::vector<uint8_t> out(R);
  ASSERT_TRUE(view.GetRecordBuffer(slot(3), out.data()));
  EXPECT_EQ(out, row(8));
}

TEST_F(RecordPageTest, FullPageRefusesAddWith20141) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  for (int i = 0; i < M; ++i) add(view, 1);
  EXPECT_EQ(view.RecordCount(), M);
  EXPECT_EQ(errorOf([&] { add(view, 1); }),
            TextOf("Cannot add record to page. Page is full", 20141));
}

TEST_F(RecordPageTest, FreeSlotRefusesUpdateDeleteAndRead) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  add(view, 1);
  std::vector<uint8_t> out(R, 0xEE);
  for (uint16_t s : {uint16_t{1}, uint16_t{19}, uint16_t{20}, uint16_t{500}}) {
    EXPECT_FALSE(view.UpdateRecord(row(5).data(), slot(s))) << s;
    EXPECT_FALSE(view.DeleteRecord(slot(s))) << s;
    EXPECT_FALSE(view.GetRecordBuffer(slot(s), out.data())) << s;
  }
  EXPECT_EQ(out, std::vector<uint8_t>(R, 0xEE));
  EXPECT_TRUE(view.UpdateRecord(row(5).data(), slot(0)));
  ASSERT_TRUE(view.GetRecordBuffer(slot(0), out.data()));
  EXPECT_EQ(out, row(5));
}

TEST_F(RecordPageTest, DeleteKeepsSlotBytes) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  add(view, 0x42);
  view.DeleteRecord(slot(0));
  EXPECT_EQ(FPage->PageData()[3], 0x42);
  EXPECT_EQ(FPage->PageData()[0], 0);
}

TEST_F(RecordPageTest, WalksOccupiedSlotsInBothDirections) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  for (int i = 0; i < M; ++i) add(view, 1);
  const std::vector<uint16_t> kept{2, 7, 8, 15, 19};
  for (uint16_t s = 0; s < M; ++s)
    if (std::find(kept.begin(), kept.end(), s) == kept.end()) view.DeleteRecord(slot(s));

  EXPECT_EQ(view.GetFirstRecordID().PageItemNo, 2);
  EXPECT_EQ(view.GetLastRecordID().PageItemNo, 19);
  std::vector<uint16_t> forward{view.GetFirstRecordID().PageItemNo};
  for (TABSPageItemID id = view.GetFirstRecordID(), next; view.GetNextRecordID(id, next); id = next)
    forward.push_back(next.PageItemNo);
  EXPECT_EQ(forward, kept);
  std::vector<uint16_t> backward{view.GetLastRecordID().PageItemNo};
  for (TABSPageItemID id = view.GetLastRecordID(), prior; view.GetPriorRecordID(id, prior);
       id = prior)
    backward.insert(backward.begin(), prior.PageItemNo);
  EXPECT_EQ(backward, kept);

  // From a free slot the walk goes to the neighbouring occupied ones.
  TABSPageItemID next, prior;
  ASSERT_TRUE(view.GetNextRecordID(slot(10), next));
  EXPECT_EQ(next.PageItemNo, 15);
  ASSERT_TRUE(view.GetPriorRecordID(slot(10), prior));
  EXPECT_EQ(prior.PageItemNo, 8);
  EXPECT_FALSE(view.GetPriorRecordID(slot(2), prior));

  for (int32_t rank = 0; rank < static_cast<int32_t>(kept.size()); ++rank) {
    EXPECT_EQ(view.GetRecordID(rank).PageItemNo, kept[static_cast<size_t>(rank)]);
    EXPECT_EQ(view.GetRecNoOnPage(slot(kept[static_cast<size_t>(rank)])), rank);
  }
  EXPECT_EQ(view.GetRecNoOnPage(slot(10)), 3);
  EXPECT_EQ(view.GetRecordID(0).PageNo, FPage->PageNo());
  for (int32_t rank : {5, 6, -1})
    EXPECT_EQ(errorOf([&] { view.GetRecordID(rank); }), TextOf("Record not found", 20146)) << rank;
}

TEST_F(RecordPageTest, EmptyPageHasNoFirstOrLastRow) {
  TABSSmallRecordPage view(*FPage.Get(), R, M);
  int code = 0;
  EXPECT_EQ(errorOf([&] { view.GetFirstRecordID(); }, &code),
            FormattedTextOf("Record not found. PageNo=" + std::to_string(FPage->PageNo()) +
                                ", PageRecordCount=0",
                            20143));
  EXPECT_EQ(code, 20143);
  EXPECT_EQ(errorOf([&] { view.GetLastRecordID(); }), TextOf("Record not found", 20144));
  TABSPageItemID other;
  EXPECT_FALSE(view.GetNextRecordID(slot(0), other));
}

TEST_F(RecordPageTest, ViewLargerThanDataAreaIsRefused) {
  EXPECT_EQ(errorOf([&] { TABSSmallRecordPage(*FPage.Get(), R, M + 1); }),
            TextOf("Invalid number of records on page", 20140));
  EXPECT_EQ(errorOf([&] { TABSSmallRecordPage(*FPage.Get(), 4056, 1); }),
            TextOf("Invalid number of records on page", 20140));
  EXPECT_EQ(errorOf([&] { TABSSmallRecordPage(*FPage.Get(), 1, 3604); }), "");
}

}  // namespace
