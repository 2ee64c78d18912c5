#include "engine/storage/ZEVActiveSessionsFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"
#include "tests/support/TestSupport.h"

namespace {

using enginetest::TextOf;
using zev::TABSActiveSessionsFile;

const std::string kNoSlotText =
    "Cannot connect session. Maximum connections quantity exceeded or database is open in "
    "single-user mode";

std::unique_ptr<zev::TABSDiskPageManager> openMultiUser(const std::string& Path) {
  auto manager = std::make_unique<zev::TABSDiskPageManager>(enginetest::InstantSettings());
  bool readOnly = false, repair = false, multiUser = true;
  manager->OpenDatabase(Path, zev::TABSPassword{}, readOnly, repair, false, multiUser);
  return manager;
}

// Connects in another process. Args: path, first page, "multi" or "single". Signals the session
// number (or the error text), or "true"/"false" for a single-user connection; ends when told.
TEST_HELPER(sessions_connect) {
  auto manager = openMultiUser(Args[0]);
  TABSActiveSessionsFile sessions(*manager);
  sessions.OpenFile(std::stoi(Args[1]));
  if (Args[2] == "single") {
    testsupport::Signal(sessions.SingleUserConnect() ? "true" : "false");
  } else {
    std::string answer;
    const std::string error = errorOf([&] { answer = std::to_string(sessions.MultiUserConnect()); });
    testsupport::Signal(error.empty() ? answer : error);
  }
  testsupport::WaitCommand();
  return 0;
}

class ActiveSessionsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FManager = FDatabase.Open();
    TABSActiveSessionsFile creator(*FManager);
    FFirstPage = creator.CreateFile(kSlots);
    FManager->ApplyChanges(zev::kSystemSessionID);
    FSessions = std::make_unique<TABSActiveSessionsFile>(*FManager);
    FSessions->OpenFile(FFirstPage);
  }

  std::unique_ptr<testsupport::THelperProcess> connectElsewhere(const std::string& Mode) {
    return std::make_unique<testsupport::THelperProcess>(
        "sessions_connect",
        std::vector<std::string>{FDatabase.Path(), std::to_string(FFirstPage), Mode});
  }

  static constexpr int32_t kSlots = 4;
  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  int32_t FFirstPage = -1;
  std::unique_ptr<TABSActiveSessionsFile> FSessions;
};

TEST_F(ActiveSessionsFileTest, SlotCountIsReadBackFromTheFile) {
  EXPECT_EQ(FSessions->MaxSessionCount(), kSlots);
}

TEST_F(ActiveSessionsFileTest, SessionNumbersAreTheLowestFreeSlotsAcrossProcesses) {
  EXPECT_EQ(FSessions->MultiUserConnect(), 0);
  EXPECT_EQ(FSessions->MultiUserConnect(), 1);
  auto other = connectElsewhere("multi");
  EXPECT_EQ(other->ReadLine(), "2");
  EXPECT_EQ(FSessions->GetDBFileConnectionsCount(), 3);
  FSessions->MultiUserDisconnect(0);
  EXPECT_EQ(FSessions->MultiUserConnect(), 0);
  // A process that dies frees its slot with its handle.
  other->Kill();
  other->Wait();
  EXPECT_EQ(FSessions->GetDBFileConnectionsCount(), 2);
  EXPECT_EQ(FSessions->MultiUserConnect(), 2);
}

TEST_F(ActiveSessionsFileTest, ConnectionBeyondTheLastSlotIsRefused) {
  for (int32_t slot = 0; slot < kSlots; ++slot) EXPECT_EQ(FSessions->MultiUserConnect(), slot);
  int code = 0;
  EXPECT_EQ(errorOf([&] { FSessions->MultiUserConnect(); }, &code), TextOf(kNoSlotText, 20094));
  EXPECT_EQ(code, 20094);
  EXPECT_FALSE(FSessions->SingleUserConnect());
}

TEST_F(ActiveSessionsFileTest, SingleUserProcessHoldsEverySlot) {
  auto single = connectElsewhere("single");
  ASSERT_EQ(single->ReadLine(), "true");
  EXPECT_EQ(FSessions->GetDBFileConnectionsCount(), kSlots);
  EXPECT_EQ(errorOf([&] { FSessions->MultiUserConnect(); }), TextOf(kNoSlotText, 20094));
  auto secondSingle = connectElsewhere("single");
  EXPECT_EQ(secondSingle->ReadLine(), "false");
  EXPECT_FALSE(FSessions->SingleUserConnect());
  single->Send("");
  EXPECT_EQ(single->Wait(), 0);

  EXPECT_TRUE(FSessions->SingleUserConnect());
  auto multi = connectElsewhere("multi");
  EXPECT_EQ(multi->ReadLine(), TextOf(kNoSlotText, 20094));
  FSessions->SingleUserDisconnect();
  EXPECT_EQ(FSessions->GetDBFileConnectionsCount(), 0);
}

TEST_F(ActiveSessionsFileTest, DisconnectingAFreeSlotFails) {
  EXPECT_EQ(errorOf([&] { FSessions->MultiUserDisconnect(1); }),
            TextOf("Cannot disconnect session", 20095));
}

}  // namespace
