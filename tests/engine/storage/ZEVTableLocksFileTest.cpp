#include "engine/storage/ZEVTableLocksFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"
#include "tests/support/TestSupport.h"

namespace {

using enginetest::TextOf;
using zev::TABSLockType;
using zev::TABSPageItemID;
using zev::TABSTableLocksFile;
using zev::ltIS;
using zev::ltRW;
using zev::ltS;
using zev::ltSIRW;
using zev::ltU;
using zev::ltX;
using zev::ltXIRW;

// --- The matrix -------------------------------------------------------------------------------

TEST(LockTypesTest, CompatibilityFollowsTheMatrix) {
  // Rows held, columns requested, in the order ltIS .. ltX.
  const char* kRows[zev::kLockTypeCount] = {"1111110", "1111010", "1110110", "1100010",
                                            "1010010", "1111110", "0000000"};
  for (int held = 0; held < zev::kLockTypeCount; ++held)
    for (int requested = 0; requested < zev::kLockTypeCount; ++requested)
      EXPECT_EQ(zev::LockTypesCompatible(static_cast<TABSLockType>(held),
                                         static_cast<TABSLockType>(requested)),
                kRows[held][requested] == '1')
          << "held " << held << ", requested " << requested;
}

TEST(LockTypesTest, CoversMeansAtLeastAsStrict) {
  struct TCase {
    TABSLockType A, B;
    bool Covers;
  };
  const TCase kCases[] = {
      {ltX, ltIS, true},     {ltX, ltRW, true},     {ltX, ltU, true},
      {ltRW, ltIS, true},    {ltRW, ltS, true},     {ltRW, ltSIRW, true},
      {ltRW, ltU, true},     {ltRW, ltXIRW, false}, {ltRW, ltX, false},
      {ltXIRW, ltIS, true},  {ltXIRW, ltS, true},   {ltXIRW, ltSIRW, true},
      {ltXIRW, ltU, true},   {ltXIRW, ltRW, false}, {ltS, ltIS, true},
      {ltS, ltSIRW, false},  {ltIS, ltS, false},    {ltU, ltIS, true},
      {ltIS, ltU, true},     {ltSIRW, ltS, false},  {ltIS, ltX, false},
  };
  for (const TCase& c : kCases)
    EXPECT_EQ(zev::LockTypeCovers(c.A, c.B), c.Covers) << int(c.A) << " covers " << int(c.B);
  for (int t = 0; t < zev::kLockTypeCount; ++t)
    EXPECT_TRUE(zev::LockTypeCovers(static_cast<TABSLockType>(t), static_cast<TABSLockType>(t)));
}

// --- The file -----------------------------------------------------------------------------------

constexpr int32_t kSessions = 3;

class TableLocksFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FManager = FDatabase.Open();
    FFile = std::make_unique<TABSTableLocksFile>(*FManager);
    FFirstPage = FFile->CreateFile(kSessions);
    FManager->ApplyChanges(zev::kSystemSessionID);
    FOther = FDatabase.Open();
    FOtherView = std::make_unique<zev::TABSInternalDBDirectAccessFile>(*FOther, zev::ptTableLocks);
    FOtherView->OpenFile(FFirstPage);
  }

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  std::unique_ptr<TABSTableLocksFile> FFile;
  int32_t FFirstPage = -1;
  // The file as another handle sees it.
  std::unique_ptr<zev::TABSDiskPageManager> FOther;
  std::unique_ptr<zev::TABSInternalDBDirectAccessFile> FOtherView;
};

TEST_F(TableLocksFileTest, ReopenedFileKnowsItsSessionsAndFirstPage) {
  TABSTableLocksFile reopened(*FOther);
  reopened.OpenFile(FFirstPage);
  EXPECT_EQ(reopened.MaxSessionCount(), kSessions);
  EXPECT_EQ(reopened.FirstPageNo(), FFirstPage);
  EXPECT_EQ(FOtherView->GetSize(), 12 * kSessions);
}

TEST_F(TableLocksFileTest, LocksUseTheirBytesAndRecordsTheirSlots) {
  ASSERT_TRUE(FFile->LockTable(2, ltXIRW));
  EXPECT_TRUE(FOtherView->IsByteLocked(ltXIRW * kSessions + 2));
  EXPECT_FALSE(FFile->LockTable(2, ltXIRW)) << "a held byte is not taken again";
  EXPECT_FALSE(FFile->LockTable(0, ltX)) << "ltX has no byte";
  EXPECT_FALSE(FFile->UnlockTable(0, ltX));
  EXPECT_TRUE(FFile->UnlockTable(2, ltXIRW));
  EXPECT_FALSE(FOtherView->IsRegionLocked(0, 12 * kSessions));

  ASSERT_TRUE(FFile->LockRecord(1, TABSPageItemID{17, 3}));
  EXPECT_TRUE(FOtherView->IsByteLocked(5 * kSessions + 1));
  uint8_t slot[6];
  FOtherView->ReadBuffer(slot, 6, 6 * kSessions + 6 * 1);
  TABSPageItemID seen;
  seen.Load(slot);
  EXPECT_EQ(seen.PageNo, 17);
  EXPECT_EQ(seen.PageItemNo, 3);
  EXPECT_TRUE(FFile->UnlockRecord(1, TABSPageItemID{}));
  EXPECT_FALSE(FOtherView->IsByteLocked(5 * kSessions + 1));
}

TEST_F(TableLocksFileTest, OtherSessionsAreSeenOnBothSidesOfTheSession) {
  ASSERT_TRUE(FFile->LockTable(0, ltS));
  EXPECT_TRUE(FFile->IsTableLockedByAnyOtherSession(1, ltS));
  EXPECT_TRUE(FFile->IsTableLockedByAnyOtherSession(2, ltS));
  EXPECT_FALSE(FFile->IsTableLockedByAnyOtherSession(0, ltS));
  EXPECT_FALSE(FFile->IsTableLockedByAnyOtherSession(1, ltIS));
  ASSERT_TRUE(FFile->LockTable(2, ltS));
  EXPECT_TRUE(FFile->IsTableLockedByAnyOtherSession(0, ltS));
}

TEST_F(TableLocksFileTest, AllowedRequestsFollowWhatOtherSessionsHold) {
  ASSERT_TRUE(FFile->LockTable(0, ltS));
  EXPECT_FALSE(FFile->IsTableLockAllowed(1, ltRW, true));
  EXPECT_TRUE(FFile->IsTableLockAllowed(1, ltSIRW, true));
  EXPECT_TRUE(FFile->IsTableLockAllowed(0, ltRW, true)) << "own locks do not count";
  ASSERT_TRUE(FFile->LockTable(0, ltSIRW));
  EXPECT_FALSE(FFile->IsTableLockAllowed(1, ltXIRW, false));
  EXPECT_TRUE(FFile->IsTableLockAllowed(1, ltXIRW, true)) << "ltXIRW beside ltSIRW";
  EXPECT_FALSE(FFile->IsTableLockAllowed(1, ltX, true));
}

TEST_F(TableLocksFileTest, RecordIsLockedOnlyByItsIdentifier) {
  ASSERT_TRUE(FFile->LockRecord(0, TABSPageItemID{17, 3}));
  EXPECT_TRUE(FFile->IsRecordLockedByAnyOtherSession(1, TABSPageItemID{17, 3}));
  EXPECT_FALSE(FFile->IsRecordLockedByAnyOtherSession(1, TABSPageItemID{17, 4}));
  EXPECT_FALSE(FFile->IsRecordLockedByAnyOtherSession(1, TABSPageItemID{18, 3}));
  EXPECT_FALSE(FFile->IsRecordLockedByAnyOtherSession(0, TABSPageItemID{17, 3}));
  ASSERT_TRUE(FFile->UnlockRecord(0, TABSPageItemID{17, 3}));
  EXPECT_FALSE(FFile->IsRecordLockedByAnyOtherSession(1, TABSPageItemID{17, 3}))
      << "a slot without its byte is stale";
}

TEST_F(TableLocksFileTest, SessionBeyondTheFileCannotLock) {
  const std::string expected =
      TextOf("Cannot set table lock. Try to repair database or to increase number of allowed "
             "connections",
             20200);
  EXPECT_EQ(errorOf([&] { FFile->LockTable(kSessions, ltIS); }), expected);
  EXPECT_EQ(errorOf([&] { FFile->LockRecord(kSessions, TABSPageItemID{1, 1}); }), expected);
}

TEST_F(TableLocksFileTest, FileLockIsByteZeroOfTheFirstPage) {
  ASSERT_TRUE(FFile->LockFile());
  EXPECT_FALSE(FOtherView->LockFile());
  EXPECT_TRUE(FFile->UnlockFile());
  EXPECT_TRUE(FOtherView->LockFile());
  EXPECT_TRUE(FOtherView->UnlockFile());
}

TEST(ClosedTableLocksFileTest, EveryOperationNamesItsNilPointerCode) {
  enginetest::TTestDatabase database;
  auto manager = database.Open();
  TABSTableLocksFile file(*manager);
  const TABSPageItemID record{17, 3};
  const struct {
    const char* Operation;
    int Code;
    std::function<void()> Call;
  } kCases[] = {
      {"FirstPageNo", 10483, [&] { file.FirstPageNo(); }},
      {"DeleteFile", 10483, [&] { file.DeleteFile(); }},
      {"LockFile", 10489, [&] { file.LockFile(); }},
      {"LockTable", 10489, [&] { file.LockTable(0, ltS); }},
      {"UnlockFile", 10494, [&] { file.UnlockFile(); }},
      {"UnlockTable", 10494, [&] { file.UnlockTable(0, ltS); }},
      {"IsTableLockedByAnyOtherSession", 10490,
       [&] { file.IsTableLockedByAnyOtherSession(0, ltS); }},
      {"IsTableLockAllowed", 10490, [&] { file.IsTableLockAllowed(0, ltS, true); }},
      {"LockRecord", 10491, [&] { file.LockRecord(0, record); }},
      {"UnlockRecord", 10492, [&] { file.UnlockRecord(0, record); }},
      {"IsRecordLockedByAnyOtherSession", 10493,
       [&] { file.IsRecordLockedByAnyOtherSession(0, record); }},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(errorOf(c.Call), TextOf("Nil pointer occured", c.Code)) << c.Operation;
}

}  // namespace
