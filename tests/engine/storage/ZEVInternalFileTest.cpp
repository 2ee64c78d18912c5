#include "engine/storage/ZEVInternalFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/storage/EngineTestDatabase.h"
#include "tests/support/TestSupport.h"

namespace {

using enginetest::FormattedTextOf;
using zev::TABSInternalDBDirectAccessFile;
using zev::TABSInternalDBTransactedAccessFile;
using zev::kSystemSessionID;

constexpr int32_t kSession = 0;
constexpr int32_t kDataSize = 512 - 40;

std::vector<uint8_t> pattern(size_t Size, uint8_t Seed = 1) {
  std::vector<uint8_t> bytes(Size);
  for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<uint8_t>(Seed + i * 7);
  return bytes;
}

class InternalFileTest : public ::testing::Test {
 protected:
  // A transacted file of the metadata page type, created and applied; answers its first page.
  int32_t createTransacted() {
    TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
    file.CreateFile(kSystemSessionID);
    FManager->ApplyChanges(kSystemSessionID);
    return file.StartPageNo();
  }
  void write(int32_t StartPageNo, const std::vector<uint8_t>& Content,
             zev::TABSCompressionAlgorithm Algorithm = zev::acaNone) {
    TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
    file.OpenFile(StartPageNo);
    file.WriteFile(kSession, Content.data(), static_cast<int32_t>(Content.size()), Algorithm);
    FManager->ApplyChanges(kSession);
  }
  std::vector<uint8_t> read(zev::TABSDiskPageManager& Manager, int32_t StartPageNo) {
    TABSInternalDBTransactedAccessFile file(Manager, zev::ptTableMetaData);
    file.OpenFile(StartPageNo);
    std::vector<uint8_t> content(static_cast<size_t>(file.GetSize(kSession)));
    file.ReadFile(kSession, content.data(), static_cast<int32_t>(content.size()));
    return content;
  }
  std::vector<int32_t> chainOf(int32_t StartPageNo) {
    std::vector<int32_t> chain;
    for (int32_t pageNo = StartPageNo; pageNo >= 0 && chain.size() < 100;) {
      chain.push_back(pageNo);
      zev::TABSPinnedPage page(FManager->GetPage(kSession, pageNo));
      pageNo = page->GetNextPageNo();
    }
    return chain;
  }
  // Points the chain's page PageNo back at Target, straight in the file.
  void linkInFile(int32_t PageNo, int32_t Target) {
    FManager->FreeAllPages();
    uint8_t next[4];
    zev::PutInt32LE(next, Target);
    FManager->WritePageRegion(next, PageNo, zev::TABSDiskPageHeader::NextPageNoOffset, 4);
  }

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager = FDatabase.Open(false);
};

// --- Transacted files -----------------------------------------------------------------------

TEST_F(InternalFileTest, EmptyFileIsOnePageStartingWithItsHeader) {
  const int32_t start = createTransacted();
  const std::string page = FDatabase.Bytes().substr(FDatabase.PagePosition(start), 512);
  zev::TABSDiskPageHeader header;
  header.Load(reinterpret_cast<const uint8_t*>(page.data()));
  EXPECT_EQ(header.PageType, zev::ptTableMetaData);
  EXPECT_EQ(header.NextPageNo, -1);
  EXPECT_EQ(page.substr(40, 10), std::string("\x0A\0\0\0\0\0\0\0\0\0", 10));
}

struct TSizeCase {
  int32_t Size;
  size_t Pages;
};

class TransactedSizeTest : public InternalFileTest,
                           public ::testing::WithParamInterface<TSizeCase> {};

TEST_P(TransactedSizeTest, NeedsAPageForEveryStartedDataArea) {
  const int32_t start = createTransacted();
  const std::vector<uint8_t> content = pattern(static_cast<size_t>(GetParam().Size));
  write(start, content);
  EXPECT_EQ(chainOf(start).size(), GetParam().Pages);
  EXPECT_EQ(zev::InternalFilePageCount(GetParam().Size, kDataSize),
            static_cast<int32_t>(GetParam().Pages));
  EXPECT_EQ(read(*FDatabase.Open(false), start), content) << "read through another handle";
}

INSTANTIATE_TEST_SUITE_P(Cases, TransactedSizeTest,
                         ::testing::Values(TSizeCase{0, 1}, TSizeCase{kDataSize - 10, 1},
                                           TSizeCase{kDataSize - 9, 2},
                                           TSizeCase{3 * kDataSize, 4}));

TEST_F(InternalFileTest, ShorterRewriteReadsBackExactlyAndFreesTheCutPages) {
  const int32_t start = createTransacted();
  write(start, pattern(3 * kDataSize, 3));
  const std::vector<int32_t> longChain = chainOf(start);
  ASSERT_EQ(longChain.size(), 4u);
  const std::vector<uint8_t> shorter = pattern(kDataSize, 9);
  write(start, shorter);
  EXPECT_EQ(read(*FManager, start), shorter);
  EXPECT_EQ(chainOf(start), std::vector<int32_t>(longChain.begin(), longChain.begin() + 2));

  // The pages cut off went back to the map: the next pages handed out are those.
  zev::TABSPinnedPage page(FManager->AddPage(kSession, zev::ptTableRecord));
  EXPECT_TRUE(page->PageNo() == longChain[2] || page->PageNo() == longChain[3]);
  page.Release();
  FManager->CancelChanges(kSession);

  // Growing again links new pages after the new end.
  const std::vector<uint8_t> longer = pattern(2 * kDataSize, 5);
  write(start, longer);
  EXPECT_EQ(read(*FManager, start), longer);
  EXPECT_EQ(chainOf(start).size(), 3u);
}

TEST_F(InternalFileTest, ChangesStayInTheSessionUntilApplied) {
  const int32_t start = createTransacted();
  write(start, pattern(100, 1));
  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  file.OpenFile(start);
  const std::vector<uint8_t> changed = pattern(600, 2);
  file.WriteFile(kSession, changed.data(), static_cast<int32_t>(changed.size()));
  auto other = FDatabase.Open(false);
  EXPECT_EQ(read(*other, start), pattern(100, 1));
  FManager->ApplyChanges(kSession);
  other = FDatabase.Open(false);
  EXPECT_EQ(read(*other, start), changed);
}

TEST_F(InternalFileTest, CompressedContentKeepsBothSizesAndTheAlgorithm) {
  const int32_t start = createTransacted();
  const std::vector<uint8_t> content(5000, 'x');
  write(start, content, zev::acaZLIB);
  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  file.OpenFile(start);
  int32_t stored = 0, size = 0;
  zev::TABSCompressionAlgorithm algorithm = zev::acaNone;
  bool reloaded = false;
  file.GetFileSize(kSession, true, stored, size, algorithm, reloaded);
  EXPECT_EQ(size, 5000);
  EXPECT_LT(stored, 100);
  EXPECT_EQ(algorithm, zev::acaZLIB);
  EXPECT_EQ(chainOf(start).size(), 1u);
  EXPECT_EQ(read(*FManager, start), content);
}

TEST_F(InternalFileTest, ReadingMoreThanTheContentIsRefused) {
  const int32_t start = createTransacted();
  write(start, pattern(20));
  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  file.OpenFile(start);
  std::vector<uint8_t> buffer(21);
  EXPECT_EQ(errorOf([&] { file.ReadFile(kSession, buffer.data(), 21); }),
            FormattedTextOf("Cannot Read internal file. FileSize=20. ReadSize=21", 30387));
}

TEST_F(InternalFileTest, DamagedChainsGiveEngineErrors) {
  const int32_t start = createTransacted();
  write(start, pattern(3 * kDataSize));
  const std::vector<int32_t> chain = chainOf(start);
  linkInFile(chain[1], chain[0]);  // the second page points back at the first

  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  file.OpenFile(start);
  std::vector<uint8_t> buffer(3 * kDataSize);
  int code = 0;
  EXPECT_NE(errorOf([&] { file.ReadFile(kSession, buffer.data(), 3 * kDataSize); }, &code), "");
  EXPECT_EQ(code, 30388);
  EXPECT_NE(errorOf([&] { file.SetFileSize(kSession, 6 * kDataSize, 6 * kDataSize,
                                           zev::acaNone); }, &code), "");
  EXPECT_EQ(code, 20300);
  FManager->CancelChanges(kSession);
  EXPECT_NO_THROW(file.DeleteFile(kSession)) << "deleting stops at the loop";
  FManager->CancelChanges(kSession);

  linkInFile(chain[1], -1);  // cut after the second page
  file.OpenFile(start);
  EXPECT_NE(errorOf([&] { file.ReadFile(kSession, buffer.data(), 3 * kDataSize); }, &code), "");
  EXPECT_EQ(code, 30388);

  linkInFile(chain[0], 1);  // into the free-space map
  EXPECT_NE(errorOf([&] { file.ReadFile(kSession, buffer.data(), 3 * kDataSize); }), "");

  linkInFile(chain[0], 100000);  // beyond the end of the file
  EXPECT_NE(errorOf([&] { file.ReadFile(kSession, buffer.data(), 3 * kDataSize); }), "");
  EXPECT_NE(errorOf([&] { file.SetFileSize(kSession, 6 * kDataSize, 6 * kDataSize,
                                           zev::acaNone); }), "");
  FManager->CancelChanges(kSession);
}

TEST_F(InternalFileTest, ClosedTransactedFileNamesTheOperation) {
  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  uint8_t byte = 0;
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"SetSize", [&] { file.SetFileSize(kSession, 1, 1, zev::acaNone); }},
      {"GetSize", [&] { file.GetSize(kSession); }},
      {"ReadFile", [&] { file.ReadFile(kSession, &byte, 1); }},
      {"WriteFile", [&] { file.WriteFile(kSession, &byte, 1); }},
      {"LockFile", [&] { file.LockFile(); }},
      {"UnlockFile", [&] { file.UnlockFile(); }},
  };
  for (const auto& [operation, call] : cases)
    EXPECT_EQ(errorOf(call),
              FormattedTextOf(std::string("Cannot perform this operation (") + operation +
                                  ") on closed internal file",
                              30389));
  EXPECT_EQ(errorOf([&] { file.InitFileHeader(kSession); }),
            enginetest::TextOf("Invalid page number", 20301));
  file.CreateFile(kSession);
  EXPECT_EQ(errorOf([&] { file.CreateFile(kSession); }),
            FormattedTextOf("Cannot create Internal file. File already exists. StartPageNo=" +
                                std::to_string(file.StartPageNo()),
                            30383));
}

TEST_F(InternalFileTest, InitFileHeaderRepairsADamagedFirstPage) {
  const int32_t start = createTransacted();
  write(start, pattern(50));
  FManager->FreeAllPages();
  const uint8_t junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  FManager->WritePageRegion(junk, start, 0, sizeof junk);
  TABSInternalDBTransactedAccessFile file(*FManager, zev::ptTableMetaData);
  file.OpenFile(start);
  file.InitFileHeader(kSession);
  FManager->ApplyChanges(kSession);
  EXPECT_EQ(read(*FDatabase.Open(false), start), std::vector<uint8_t>{});
}

// --- Direct files ---------------------------------------------------------------------------

class DirectFileTest : public InternalFileTest {
 protected:
  int32_t createDirect(int32_t Size) {
    TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
    file.CreateFile(Size);
    FManager->ApplyChanges(kSystemSessionID);
    return file.StartPageNo();
  }
};

TEST_F(DirectFileTest, ContentBytesFollowTheChainAndAreSeenAtOnce) {
  const int32_t start = createDirect(2 * kDataSize);
  TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
  file.OpenFile(start);
  ASSERT_EQ(file.FilePages().size(), 3u);
  EXPECT_EQ(file.GetSize(), 2 * kDataSize);
  const uint8_t marker[2] = {0xAB, 0xCD};
  file.WriteBuffer(marker, 2, kDataSize - 11);  // the last byte of page 1, the first of page 2

  const std::string bytes = FDatabase.Bytes();
  EXPECT_EQ(static_cast<uint8_t>(bytes[FDatabase.PagePosition(file.FilePages()[0]) + 511]), 0xAB);
  EXPECT_EQ(static_cast<uint8_t>(bytes[FDatabase.PagePosition(file.FilePages()[1]) + 40]), 0xCD)
      << "content byte D - 10 is at data offset 0 of the second page";

  auto other = FDatabase.Open(true);
  TABSInternalDBDirectAccessFile seen(*other, zev::ptTableLocks);
  seen.OpenFile(start);
  uint8_t read[2] = {};
  seen.ReadBuffer(read, 2, kDataSize - 11);
  EXPECT_EQ(read[0], 0xAB);
  EXPECT_EQ(read[1], 0xCD);
}

TEST_F(DirectFileTest, PositionsBeyondTheFileAreRefused) {
  const int32_t start = createDirect(100);
  TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
  file.OpenFile(start);
  EXPECT_EQ(file.FileSize(), kDataSize - 10) << "one page: its whole capacity";
  uint8_t buffer[8] = {};
  EXPECT_EQ(errorOf([&] { file.WriteBuffer(buffer, 8, 96); }),
            FormattedTextOf(
                "Cannot write after end of file. FileSize=" + std::to_string(kDataSize - 10) +
                    ". Position=96, Count=8",
                20158));
  EXPECT_EQ(errorOf([&] { file.ReadBuffer(buffer, 1, kDataSize); }),
            FormattedTextOf("Seek position bigger then file size. FileSize=" +
                                std::to_string(kDataSize - 10) + ". Position=" +
                                std::to_string(kDataSize),
                            20159));
}

TEST_F(DirectFileTest, OpeningChecksThePageTypeAndStopsAtALoop) {
  const int32_t start = createDirect(3 * kDataSize);
  TABSInternalDBDirectAccessFile wrongType(*FManager, zev::ptActiveSessionList);
  EXPECT_EQ(errorOf([&] { wrongType.OpenFile(start); }),
            FormattedTextOf("Invalid PageType found: 7 but expecting: 5", 20155));

  TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
  file.OpenFile(start);
  const std::vector<int32_t> pages = file.FilePages();
  linkInFile(pages[2], pages[1]);
  linkInFile(pages[1], pages[0]);
  int code = 0;
  EXPECT_NE(errorOf([&] { file.OpenFile(start); }, &code), "");
  EXPECT_EQ(code, 20300) << "a loop is a broken chain";
  EXPECT_NO_THROW(file.DeleteFile(start)) << "deleting stops at the loop";
  FManager->CancelChanges(kSystemSessionID);

  // A page number beyond the file, or a page of another type, is an engine error too.
  linkInFile(pages[1], 100000);
  EXPECT_NE(errorOf([&] { file.OpenFile(start); }), "");
  linkInFile(pages[1], 1);  // the free-space map page
  EXPECT_NE(errorOf([&] { file.OpenFile(start); }, &code), "");
  EXPECT_EQ(code, 20155);
}

TEST_F(DirectFileTest, ClosedDirectFileNamesTheOperation) {
  TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
  uint8_t byte = 0;
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"GetSize", [&] { file.GetSize(); }},
      {"DirectReadBuffer", [&] { file.ReadBuffer(&byte, 1, 0); }},
      {"DirectWriteBuffer", [&] { file.WriteBuffer(&byte, 1, 0); }},
      {"LockFile", [&] { file.LockFile(); }},
      {"UnlockFile", [&] { file.UnlockFile(); }},
      {"LockByte", [&] { file.LockByte(0); }},
      {"UnlockByte", [&] { file.UnlockByte(0); }},
      {"IsByteLocked", [&] { file.IsByteLocked(0); }},
      {"IsRegionLocked", [&] { file.IsRegionLocked(0, 1); }},
  };
  for (const auto& [operation, call] : cases)
    EXPECT_EQ(errorOf(call),
              FormattedTextOf(std::string("Cannot perform this operation (") + operation +
                                  ") on closed internal file",
                              20156));
}

// Holds a content byte of a direct file locked in another process. Args: path, first page,
// byte number. Signals "locked", ends when told.
TEST_HELPER(direct_file_byte) {
  zev::TABSDiskPageManager manager(enginetest::InstantSettings());
  bool readOnly = false, repair = false, multiUser = true;
  manager.OpenDatabase(Args[0], zev::TABSPassword{}, readOnly, repair, false, multiUser);
  TABSInternalDBDirectAccessFile file(manager, zev::ptTableLocks);
  file.OpenFile(std::stoi(Args[1]));
  testsupport::Signal(file.LockByte(std::stoi(Args[2])) ? "locked" : "refused");
  testsupport::WaitCommand();
  return 0;
}

TEST_F(DirectFileTest, RegionTestsCrossPagesAndSeeOtherProcesses) {
  const int32_t start = createDirect(2 * kDataSize);
  TABSInternalDBDirectAccessFile file(*FManager, zev::ptTableLocks);
  file.OpenFile(start);
  const int32_t byteNo = kDataSize - 10 + 3;  // on the second page
  testsupport::THelperProcess other("direct_file_byte",
                                    {FDatabase.Path(), std::to_string(start),
                                     std::to_string(byteNo)});
  ASSERT_EQ(other.ReadLine(), "locked");
  EXPECT_TRUE(file.IsRegionLocked(kDataSize - 20, 30)) << "the range crosses into page 2";
  EXPECT_FALSE(file.IsRegionLocked(kDataSize - 20, 13));
  EXPECT_FALSE(file.IsRegionLocked(byteNo, 0));
  EXPECT_TRUE(file.IsByteLocked(byteNo));
  EXPECT_FALSE(file.LockByte(byteNo));
  EXPECT_TRUE(file.LockByte(byteNo + 1));
  EXPECT_TRUE(file.UnlockByte(byteNo + 1));
  other.Send("");
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_TRUE(file.LockByte(byteNo));
  EXPECT_TRUE(file.UnlockByte(byteNo));
}

}  // namespace
