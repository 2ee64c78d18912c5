// BLOB storage on real database files: the stored forms at the page limits, the page list,
// the small-page item IDs, the cursor streams with posting and cancelling, direct copies,
// round trips of every compression algorithm on an encrypted file (read again by a second
// process), partial reads, and a long run of random row changes after which every BLOB page
// of the file is reached by a value and every value reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/ZEVChecksum.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFreeSpaceManager.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVSmallBlobPage.h"
#include "tests/engine/tables/BlobTestSupport.h"
#include "tests/engine/tables/CursorTestSupport.h"
#include "tests/support/TestSupport.h"

#ifndef ZEV_BLOB_RANDOM_OPERATIONS
#define ZEV_BLOB_RANDOM_OPERATIONS 10000
#endif

namespace {

using namespace zev;
using namespace blobtest;

TABSPageItemID blobID(TABSLocalSession& Session, TABSLocalCursor& Cursor) {
  return docsTable(Session).BlobManager().GetBlobID(Cursor.CurrentRecordBuffer(), kDoc);
}

std::vector<int32_t> valuePages(TABSLocalSession& Session, const TABSPageItemID& ID) {
  std::vector<int32_t> pages;
  docsTable(Session).BlobManager().CollectValuePages(Session.SessionID(), ID, pages);
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

bool pageInUse(TABSLocalSession& Session, int32_t PageNo) {
  auto* map = dynamic_cast<TABSDatabaseFreeSpaceManager*>(
      Session.DatabaseData().DiskPageManager()->DatabaseFreeSpaceManager());
  return map->GetPageUsageFromPFS(PageNo);
}

// The pages of the file in use whose header says BLOB page.
std::vector<int32_t> blobPagesInFile(TABSLocalSession& Session) {
  TABSDiskPageManager& pages = *Session.DatabaseData().DiskPageManager();
  auto* map = dynamic_cast<TABSDatabaseFreeSpaceManager*>(pages.DatabaseFreeSpaceManager());
  std::vector<int32_t> found;
  const int32_t total = pages.DBHeader().TotalPageCount;
  for (int32_t n = 0; n < total; ++n) {
    if (map->IsMapPage(n) || !map->GetPageUsageFromPFS(n)) continue;
    uint8_t header[TABSDiskPageHeader::Size];
    pages.ReadPageRegion(header, n, 0, TABSDiskPageHeader::Size);
    if (GetUInt16LE(header + TABSDiskPageHeader::PageTypeOffset) == ptTableBlob) found.push_back(n);
  }
  return found;
}

// The native code of the EABSException F raises, 0 when it raises none.
template <class F>
int nativeErrorOf(F&& Call) {
  try {
    Call();
  } catch (const EABSException& error) {
    return error.NativeError();
  }
  return 0;
}

int32_t pageDataSize(TABSLocalSession& Session) {
  return Session.DatabaseData().DiskPageManager()->PageDataSize();
}

class BlobStorageTest : public ::testing::Test {
 protected:
  void open(int32_t PageSize = 4096) {
    File.Path = Dir.File("docs.abs");
    File.PageSize = PageSize;
    createDocs(File);
    Session = connect(File);
    Cursor = openDocs(*Session);
    D = pageDataSize(*Session);
  }
  void TearDown() override {
    Cursor.reset();
    Session.reset();
  }

  testsupport::TTempDir Dir;
  TDocsFile File;
  std::unique_ptr<TABSLocalSession> Session;
  std::unique_ptr<TABSLocalCursor> Cursor;
  int32_t D = 0;
};

// --- Stored forms ---------------------------------------------------------------------------------

TEST_F(BlobStorageTest, TheLargestSmallValueFillsAFreshPageAndOneByteMoreGoesLargeOnTwoPages) {
  open();
  const Bytes small = patterned(static_cast<size_t>(D - 25), 1);
  const Bytes large = patterned(static_cast<size_t>(D - 24), 2);
  insertDoc(*Cursor, 1, small);
  insertDoc(*Cursor, 2, large);

  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const TABSPageItemID smallID = blobID(*Session, *Cursor);
  EXPECT_NE(smallID.PageItemNo, kLargeBlobItemNo);
  {
    TABSPinnedPage page(Session->DatabaseData().DiskPageManager()->GetPage(
        Session->SessionID(), smallID.PageNo, ptTableBlob));
    EXPECT_EQ(TABSSmallBlobPage(page.Get()).EndOffset(), D - 1);
  }
  ASSERT_TRUE(gotoDoc(*Cursor, 2));
  const TABSPageItemID largeID = blobID(*Session, *Cursor);
  EXPECT_EQ(largeID.PageItemNo, kLargeBlobItemNo);
  EXPECT_EQ(valuePages(*Session, largeID).size(), 2u);
  EXPECT_EQ(readDoc(*Cursor, 1), small);
  EXPECT_EQ(readDoc(*Cursor, 2), large);
}

// Data ending exactly at a page end puts the list on a page of its own; a list that does not
// fit where it starts goes on over linked pages. Freeing removes every page of the value.
struct TLargeCase {
  const char* Name;
  int32_t PageSize;
  int64_t DataPagesAfterFirst;  // full data pages after the first
  int64_t Extra;                // bytes on one more page (0: data ends at a page end)
  size_t ListPages;             // pages the list occupies
  size_t TotalPages;
};

class LargeValueTest : public BlobStorageTest, public ::testing::WithParamInterface<TLargeCase> {};

TEST_P(LargeValueTest, StoresReadsAndFreesEveryPage) {
  const TLargeCase& c = GetParam();
  open(c.PageSize);
  const int64_t size = (D - kLargeBlobFirstDataOffset) + c.DataPagesAfterFirst * D + c.Extra;
  const Bytes value = patterned(static_cast<size_t>(size), 3);
  insertDoc(*Cursor, 1, value);
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const TABSPageItemID id = blobID(*Session, *Cursor);
  ASSERT_EQ(id.PageItemNo, kLargeBlobItemNo);

  TABSBlobItemHeader header;
  std::vector<int32_t> pages = valuePages(*Session, id);
  EXPECT_EQ(pages.size(), c.TotalPages);
  {
    TABSPinnedPage first(Session->DatabaseData().DiskPageManager()->GetPage(
        Session->SessionID(), id.PageNo, ptTableBlob));
    TABSBlobPageListLocator locator;
    locator.Load(first->PageData() + TABSBlobPageListLocator::OffsetInFirstPage);
    EXPECT_EQ(locator.PageCount, LargeBlobPageCount(size, D));
    EXPECT_EQ(static_cast<size_t>(locator.PageCount) + c.ListPages - (c.Extra > 0 ? 1 : 0),
              c.TotalPages);
    if (c.Extra == 0) {
      EXPECT_EQ(locator.Offset, 0);
    }
  }
  EXPECT_EQ(readDoc(*Cursor, 1), value);

  deleteDoc(*Cursor, 1);
  for (const int32_t page : pages) EXPECT_FALSE(pageInUse(*Session, page)) << page;
  EXPECT_TRUE(blobPagesInFile(*Session).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LargeValueTest,
    ::testing::Values(
        TLargeCase{"ListOnAPageOfItsOwn", 4096, 1, 0, 1, 3},
        TLargeCase{"ListAfterTheData", 4096, 1, 100, 1, 3},
        // 1024-byte pages hold 246 entries: 300 data pages need a second list page.
        TLargeCase{"ListOverLinkedPages", 1024, 298, 900, 3, 302},
        TLargeCase{"ListOwnPageThenLinked", 1024, 299, 0, 2, 302}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// --- Small pages ------------------------------------------------------------------------------------

TEST_F(BlobStorageTest, ANewItemTakesTheFirstFreeIdFromTheCountOn) {
  open();
  for (int32_t id = 1; id <= 3; ++id) insertDoc(*Cursor, id, patterned(100, id));
  ASSERT_TRUE(gotoDoc(*Cursor, 2));
  EXPECT_EQ(blobID(*Session, *Cursor).PageItemNo, 1);
  deleteDoc(*Cursor, 2);  // items 0 and 2 remain
  insertDoc(*Cursor, 4, patterned(100, 4));
  ASSERT_TRUE(gotoDoc(*Cursor, 4));
  EXPECT_EQ(blobID(*Session, *Cursor).PageItemNo, 3);
  for (int32_t id : {1, 3, 4}) EXPECT_EQ(readDoc(*Cursor, id), patterned(100, id));
}

TEST_F(BlobStorageTest, ItemIdsPass255BecauseReadersCouldTakeItForALargeValue) {
  open(16384);
  for (int32_t id = 0; id < 260; ++id) insertDoc(*Cursor, id, patterned(4, id));
  std::set<uint16_t> items;
  Cursor->InternalFirst();
  while (Cursor->GetRecordBuffer(grmNext) == grrOK) items.insert(blobID(*Session, *Cursor).PageItemNo);
  EXPECT_EQ(items.count(kAmbiguousBlobItemNo), 0u);
  EXPECT_EQ(items.count(256), 1u);
  EXPECT_EQ(readDoc(*Cursor, 255), patterned(4, 255));
}

TEST_F(BlobStorageTest, RemovingTheOnlyItemRemovesThePageAndItsIndexEntry) {
  open();
  insertDoc(*Cursor, 1, patterned(50, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const int32_t page = blobID(*Session, *Cursor).PageNo;
  TABSBTreeBlobPageIndex& index = docsTable(*Session).BlobManager().BlobPageIndex();
  EXPECT_EQ(index.GetBlobPageAllocatedSpace(Session->SessionID(), page), 22 + 50);
  deleteDoc(*Cursor, 1);
  EXPECT_EQ(index.GetBlobPageAllocatedSpace(Session->SessionID(), page), -1);
  EXPECT_FALSE(pageInUse(*Session, page));
}

// --- Streams, posting, cancelling ---------------------------------------------------------------

TEST_F(BlobStorageTest, AnEmptyValueWrittenAndPostedIsNullAndFreesTheOldValue) {
  open();
  insertDoc(*Cursor, 1, patterned(5000, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const std::vector<int32_t> old = valuePages(*Session, blobID(*Session, *Cursor));
  updateDoc(*Cursor, 1, {});
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  EXPECT_TRUE(IsFieldNull(Cursor->CurrentRecordBuffer(), kDoc));
  const TABSPageItemID id = blobID(*Session, *Cursor);
  EXPECT_EQ(id.PageNo, -1);
  EXPECT_EQ(id.PageItemNo, 0xFFFF);
  for (const int32_t page : old) EXPECT_FALSE(pageInUse(*Session, page));
  EXPECT_TRUE(readCurrent(*Cursor).empty());
}

TEST_F(BlobStorageTest, AReadStreamRefusesWritesAndOnlyOneWriteStreamPerField) {
  open();
  insertDoc(*Cursor, 1, patterned(10, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  Cursor->InternalEdit();
  TABSLocalBLOBStream* reader = Cursor->InternalCreateBlobStream(false, true, kDoc, bomRead, false);
  TABSLocalBLOBStream* second = Cursor->InternalCreateBlobStream(false, true, kDoc, bomRead, false);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(second, nullptr);
  const uint8_t byte = 7;
  EXPECT_EQ(nativeErrorOf([&] { reader->Write(&byte, 1); }), 10115);
  EXPECT_EQ(nativeErrorOf([&] { reader->SetSize(0); }), 10116);
  Cursor->InternalCreateBlobStream(false, true, kDoc, bomWrite, false);
  EXPECT_EQ(nativeErrorOf(
                [&] { Cursor->InternalCreateBlobStream(false, true, kDoc, bomReadWrite, false); }),
            10115);
  Cursor->InternalCancel(false);
  Cursor->InternalCloseBLOB(kDoc);
  EXPECT_EQ(Cursor->BLOBStreamCount(), 0u);
}

TEST_F(BlobStorageTest, CancellingAfterAWriteKeepsTheStoredValueAndIdentifier) {
  open();
  const Bytes value = patterned(3000, 1);
  insertDoc(*Cursor, 1, value);
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const TABSPageItemID before = blobID(*Session, *Cursor);
  Cursor->InternalEdit();
  TABSLocalBLOBStream* stream = Cursor->InternalCreateBlobStream(false, true, kDoc, bomWrite, false);
  const Bytes other = patterned(70000, 2);
  stream->WriteBuffer(other.data(), static_cast<int64_t>(other.size()));
  Cursor->InternalCancel(false);
  EXPECT_EQ(Cursor->BLOBStreamCount(), 0u);
  EXPECT_EQ(docsTable(*Session).BlobManager().CacheCount(), 0u);
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  EXPECT_EQ(blobID(*Session, *Cursor).PageNo, before.PageNo);
  EXPECT_EQ(blobID(*Session, *Cursor).PageItemNo, before.PageItemNo);
  EXPECT_EQ(readCurrent(*Cursor), value);
}

TEST_F(BlobStorageTest, ANullFieldReadsEmptyAndItsDeleteLeavesTheNamedValue) {
  open();
  insertDoc(*Cursor, 1, patterned(200, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const TABSPageItemID id = blobID(*Session, *Cursor);
  SetFieldNull(Cursor->CurrentRecordBuffer(), kDoc, true);
  EXPECT_TRUE(readCurrent(*Cursor).empty());
  TABSDiskBlobManager& manager = docsTable(*Session).BlobManager();
  manager.DeleteBlob(Session->SessionID(), Cursor->CurrentRecordBuffer(), kDoc);
  EXPECT_TRUE(pageInUse(*Session, id.PageNo));
  EXPECT_EQ(readDoc(*Cursor, 1), patterned(200, 1));
}

TEST_F(BlobStorageTest, MakingTheFieldNullAndPostingFreesTheValue) {
  open();
  insertDoc(*Cursor, 1, patterned(200, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  const int32_t page = blobID(*Session, *Cursor).PageNo;
  Cursor->InternalEdit();
  SetFieldNull(Cursor->CurrentRecordBuffer(), kDoc, true);
  Cursor->InternalPost(false);
  ASSERT_EQ(Cursor->ErrorCode(), 0);
  EXPECT_FALSE(pageInUse(*Session, page));
  EXPECT_TRUE(blobPagesInFile(*Session).empty());
}

TEST_F(BlobStorageTest, DestroyingTheManagerWithACacheLeftRaises20150) {
  open();
  insertDoc(*Cursor, 1, patterned(200, 1));
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  TABSDiskBlobManager& manager = docsTable(*Session).BlobManager();
  EXPECT_NO_THROW(manager.Destroy());
  manager.ReadBlob(Session->SessionID(), Cursor->CurrentRecordBuffer(), kDoc);
  EXPECT_EQ(nativeErrorOf([&] { manager.Destroy(); }), 20150);
  manager.ClearBlobInRecordBuffer(Cursor->CurrentRecordBuffer(), kDoc, false);
  EXPECT_NO_THROW(manager.Destroy());
}

TEST_F(BlobStorageTest, ADirectCopyMovesTheStoredBytesToAnotherRow) {
  File.Algorithm = acaZLIB;
  File.Mode = 6;
  open();
  const Bytes value = patterned(300000, 9);
  insertDoc(*Cursor, 1, value);
  auto target = openDocs(*Session);
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  target->InternalInitRecord(target->CurrentRecordBuffer(), true);
  TABSVariant id;
  id.SetAsInteger(2);
  target->FieldAccess().SetFieldValue(id, kId, target->CurrentRecordBuffer());
  target->CopyBlobFieldValue(*Cursor, kDoc, kDoc);
  target->InternalPost(true);
  ASSERT_EQ(target->ErrorCode(), 0);
  EXPECT_EQ(docsTable(*Session).BlobManager().CacheCount(), 0u);
  EXPECT_EQ(readDoc(*Cursor, 2), value);
  deleteDoc(*Cursor, 1);
  EXPECT_EQ(readDoc(*Cursor, 2), value);
}

// --- Round trips ----------------------------------------------------------------------------------

struct TRoundTrip {
  TABSCompressionAlgorithm Algorithm;
  uint8_t Mode;
};

class RoundTripTest : public BlobStorageTest, public ::testing::WithParamInterface<TRoundTrip> {};

const std::vector<size_t>& roundTripSizes() {
  static const std::vector<size_t> sizes = {0, 1, 4096, 102400, 1048576, 20 * 1048576};
  return sizes;
}

uint32_t crcOf(const Bytes& Value) { return CalcCRC32(0, Value.data(), Value.size()); }

TEST_HELPER(read_docs) {
  TDocsFile file;
  file.Path = Args.at(0);
  file.Encrypted = true;
  auto session = connect(file);
  auto cursor = openDocs(*session);
  cursor->InternalFirst();
  while (cursor->GetRecordBuffer(grmNext) == grrOK) {
    const Bytes value = readCurrent(*cursor);
    testsupport::Signal(std::to_string(idOf(*cursor)) + " " + std::to_string(value.size()) + " " +
                        std::to_string(crcOf(value)));
  }
  testsupport::Signal("end");
  return 0;
}

TEST_P(RoundTripTest, EveryValueReadsBackByteForByteHereAndInAnotherProcess) {
  File.Algorithm = GetParam().Algorithm;
  File.Mode = GetParam().Mode;
  File.Encrypted = true;
  open();
  const std::vector<size_t>& sizes = roundTripSizes();
  for (size_t i = 0; i < sizes.size(); ++i)
    insertDoc(*Cursor, static_cast<int32_t>(i), patterned(sizes[i], static_cast<uint32_t>(i)));
  std::vector<std::string> expected;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const Bytes value = patterned(sizes[i], static_cast<uint32_t>(i));
    EXPECT_EQ(readDoc(*Cursor, static_cast<int32_t>(i)) == value, true) << sizes[i];
    expected.push_back(std::to_string(i) + " " + std::to_string(value.size()) + " " +
                       std::to_string(crcOf(value)));
  }
  Cursor.reset();
  Session.reset();
  testsupport::THelperProcess reader("read_docs", {File.Path});
  std::vector<std::string> lines;
  for (std::string line = reader.ReadLine(); !line.empty() && line != "end"; line = reader.ReadLine())
    lines.push_back(line);
  EXPECT_EQ(reader.Wait(), 0);
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, RoundTripTest,
                         ::testing::Values(TRoundTrip{acaNone, 0}, TRoundTrip{acaZLIB, 1},
                                           TRoundTrip{acaBZIP, 1}),
                         [](const auto& Info) {
                           return std::string(Info.param.Algorithm == acaNone   ? "None"
                                              : Info.param.Algorithm == acaZLIB ? "ZLIB"
                                                                                : "BZIP");
                         });

TEST_F(BlobStorageTest, AReadAtAPositionDecompressesOnlyTheBlocksItTouches) {
  File.Algorithm = acaZLIB;
  File.Mode = 1;
  open();
  const Bytes value = patterned(20 * 1048576, 5);
  insertDoc(*Cursor, 1, value);
  ASSERT_TRUE(gotoDoc(*Cursor, 1));
  TABSLocalBLOBStream* stream = Cursor->InternalCreateBlobStream(false, false, kDoc, bomRead, true);
  const int64_t position = 15 * 1048576 + 17;
  stream->SetPosition(position);
  uint8_t bytes[100];
  stream->ReadBuffer(bytes, sizeof bytes);
  EXPECT_TRUE(std::equal(bytes, bytes + sizeof bytes, value.begin() + position));
  EXPECT_EQ(stream->CompressedStream().DecompressedBlockCount(), 1);
  Cursor->InternalCloseBLOB(kDoc);
}

// --- Many changes ---------------------------------------------------------------------------------

TEST_F(BlobStorageTest, AfterManyRandomChangesEveryBlobPageIsReachedAndEveryValueReadsBack) {
  File.Algorithm = acaZLIB;
  File.Mode = 1;
  open();
  const TRandomRows rows = RunRandomBlobChanges(*Cursor, D, ZEV_BLOB_RANDOM_OPERATIONS);
  if (HasFailure()) return;
  EXPECT_EQ(docsTable(*Session).BlobManager().CollectTablePages(Session->SessionID()),
            blobPagesInFile(*Session));
  Cursor->InternalFirst();
  size_t seen = 0;
  while (Cursor->GetRecordBuffer(grmNext) == grrOK) {
    const int32_t id = idOf(*Cursor);
    ASSERT_EQ(rows.Seeds.count(id), 1u);
    EXPECT_EQ(readCurrent(*Cursor) == patterned(rows.Sizes.at(id), rows.Seeds.at(id)), true) << id;
    ++seen;
  }
  EXPECT_EQ(seen, rows.Seeds.size());
  Cursor->EmptyTable();
  EXPECT_TRUE(blobPagesInFile(*Session).empty());
}

}  // namespace
