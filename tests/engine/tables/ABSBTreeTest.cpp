#include "engine/tables/ABSBTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/BTreeTestSupport.h"

namespace {

using namespace btreetest;
using zev::kSystemSessionID;
using zev::TABSBTree;
using zev::TABSBTreePage;
using zev::TABSKeyPath;

constexpr int32_t kSession = kSystemSessionID;

const std::vector<TFieldSpec> kCompanyFields = {
    {"Id", zev::aftAutoInc, 0},      {"Nom", zev::aftString, 30},  {"Rue1", zev::aftString, 40},
    {"Rue2", zev::aftString, 40},    {"CP", zev::aftString, 5},    {"Ville", zev::aftString, 40},
    {"Type", zev::aftString, 30}};

class BTreeTest : public ::testing::Test {
 protected:
  void open(const std::vector<TFieldSpec>& Fields, const std::vector<TColumnSpec>& Columns,
            uint16_t PageSize = 512) {
    FDatabase = std::make_unique<enginetest::TTestDatabase>(PageSize);
    FManager = FDatabase->Open(false);
    FFields = makeFields(Fields);
    FRows = std::make_unique<TRowStore>(*FFields);
    FIndex = makeIndex("idxTest", Columns);
    FKeyRef = std::make_unique<zev::TABSRecordKeyRef>(FRows.get());
    FKeyRef->Assign(*FIndex, FFields.get());
    FTree = std::make_unique<TABSBTree>(*FManager, *FKeyRef);
    FRootPageNo = FTree->CreateRoot(kSession);
  }

  Bytes keyOf(const Bytes& Row) {
    Bytes key(static_cast<size_t>(FKeyRef->ShortKeySize()), 0);
    FKeyRef->MakeShortKeyFromRecordBuffer(Row.data(), key.data());
    return key;
  }
  Bytes intRow(int32_t Value) {
    Bytes row = FRows->NewRow();
    FRows->SetInteger(row, 0, Value);
    return row;
  }
  Bytes stringRow(int FieldNo, const std::string& Value) {
    Bytes row = FRows->NewRow();
    FRows->SetString(row, FieldNo, Value);
    return row;
  }
  void insert(const Bytes& Row, const zev::TABSPageItemID& Id) {
    FRows->Put(Id, Row);
    FTree->InsertLeafEntry(kSession, keyOf(Row).data(), referenceOf(Id).data());
  }
  bool remove(const Bytes& Row, const zev::TABSPageItemID& Id) {
    return FTree->DeleteLeafEntry(kSession, keyOf(Row).data(), referenceOf(Id).data());
  }
  // The row identifiers in index order, walking forwards from the first entry.
  std::vector<int32_t> pagesInOrder() {
    std::vector<int32_t> pages;
    TABSKeyPath path;
    if (!FTree->GetFirstPosition(kSession, path)) return pages;
    do {
      Bytes reference(6);
      FTree->ReadEntry(kSession, path, nullptr, reference.data());
      pages.push_back(zev::GetInt32LE(reference.data()));
    } while (FTree->GotoNext(kSession, path));
    return pages;
  }
  TABSBTreePage root() { return FTree->GetIndexPage(kSession, FRootPageNo); }

  std::unique_ptr<enginetest::TTestDatabase> FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  std::unique_ptr<zev::TABSFieldDefs> FFields;
  std::unique_ptr<TRowStore> FRows;
  std::unique_ptr<zev::TABSIndexDef> FIndex;
  std::unique_ptr<zev::TABSRecordKeyRef> FKeyRef;
  std::unique_ptr<TABSBTree> FTree;
  int32_t FRootPageNo = -1;
};

TEST_F(BTreeTest, PrimaryKeyOverAutoincHasFiveByteKeysAndElevenByteLeafEntries) {
  open(kCompanyFields, {{"Id"}}, 4096);
  EXPECT_EQ(FKeyRef->ShortKeySize(), 5);
  EXPECT_EQ(FKeyRef->ReferenceSize(), 6);
  const Bytes key = keyOf(intRow(0x01020304));
  EXPECT_EQ(key, (Bytes{0, 4, 3, 2, 1}));
  TABSBTreePage page = root();
  const uint8_t* header = page.Page()->PageData();
  // IsRoot, IsLeaf, Left -1, Right -1, HasKeys, HasSuffixes, KeyPrefixSize 5, no entries.
  EXPECT_EQ(Bytes(header, header + 18),
            (Bytes{1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 5, 0, 0, 0, 0, 0}));
}

TEST_F(BTreeTest, FullLeafOf367EntriesSplitsUnderARootThatKeepsItsPageNumber) {
  open(kCompanyFields, {{"Id"}}, 4096);
  for (int32_t id = 1; id <= 367; ++id) insert(intRow(id), idOf(1000 + id));
  EXPECT_TRUE(root().IsLeaf());
  EXPECT_EQ(root().EntryCount(), 367);

  insert(intRow(368), idOf(1368));
  TABSBTreePage top = root();
  ASSERT_FALSE(top.IsLeaf());
  EXPECT_TRUE(top.IsRoot());
  ASSERT_EQ(top.EntryCount(), 2);
  EXPECT_EQ(Bytes(top.GetPKey(0), top.GetPKey(0) + 5), Bytes(5, 0)) << "placeholder key";
  EXPECT_EQ(Bytes(top.GetPKey(1), top.GetPKey(1) + 5), keyOf(intRow(185)));
  TABSBTreePage left = FTree->GetIndexPage(kSession, top.ChildPageNo(0));
  TABSBTreePage right = FTree->GetIndexPage(kSession, top.ChildPageNo(1));
  EXPECT_EQ(left.EntryCount(), 184);
  EXPECT_EQ(right.EntryCount(), 184);
  EXPECT_FALSE(left.IsRoot());
  EXPECT_TRUE(left.IsLeaf() && right.IsLeaf());
  EXPECT_EQ(left.LeftPageNo(), -1);
  EXPECT_EQ(left.RightPageNo(), right.PageNo());
  EXPECT_EQ(right.LeftPageNo(), left.PageNo());
  EXPECT_EQ(right.RightPageNo(), -1);
  EXPECT_EQ(FTree->RootPageNo(), FRootPageNo);
  FTree->CheckIntegrity(kSession);
}

TEST_F(BTreeTest, UnderFilledLeafMergesLeftThenRightAndTheRootCollapsesInPlace) {
  for (const bool fromRight : {true, false}) {
    SCOPED_TRACE(fromRight ? "right leaf loses an entry" : "left leaf loses an entry");
    open(kCompanyFields, {{"Id"}}, 4096);
    for (int32_t id = 1; id <= 368; ++id) insert(intRow(id), idOf(id));
    const int32_t victim = fromRight ? 300 : 3;
    ASSERT_TRUE(remove(intRow(victim), idOf(victim)));
    // 184 + 183 entries fit one page again: merged, and the root took the survivor's content.
    TABSBTreePage top = root();
    EXPECT_TRUE(top.IsLeaf());
    EXPECT_TRUE(top.IsRoot());
    EXPECT_EQ(top.EntryCount(), 367);
    EXPECT_EQ(top.LeftPageNo(), -1);
    EXPECT_EQ(top.RightPageNo(), -1);
    top.Release();
    EXPECT_EQ(FTree->RootPageNo(), FRootPageNo);
    FTree->CheckIntegrity(kSession);
    std::vector<int32_t> expected;
    for (int32_t id = 1; id <= 368; ++id)
      if (id != victim) expected.push_back(id);
    EXPECT_EQ(pagesInOrder(), expected);
  }
}

TEST_F(BTreeTest, DeletingEverythingLeavesAnEmptyRootLeafWithTheSamePageNumber) {
  open(kCompanyFields, {{"Id"}});  // 41 entries a leaf: several levels
  std::vector<int32_t> ids(3000);
  for (int32_t i = 0; i < 3000; ++i) ids[static_cast<size_t>(i)] = i + 1;
  std::mt19937 random(7);
  std::shuffle(ids.begin(), ids.end(), random);
  for (int32_t id : ids) insert(intRow(id), idOf(id));
  FTree->CheckIntegrity(kSession);
  EXPECT_FALSE(root().IsLeaf());
  std::shuffle(ids.begin(), ids.end(), random);
  for (size_t i = 0; i < ids.size(); ++i) {
    ASSERT_TRUE(remove(intRow(ids[i]), idOf(ids[i]))) << ids[i];
    if (i % 97 == 0) FTree->CheckIntegrity(kSession);
  }
  EXPECT_TRUE(root().IsLeaf());
  EXPECT_EQ(root().EntryCount(), 0);
  EXPECT_EQ(FTree->RootPageNo(), FRootPageNo);
  TABSKeyPath path;
  EXPECT_FALSE(FTree->GetFirstPosition(kSession, path));
  EXPECT_FALSE(FTree->GetLastPosition(kSession, path));
  EXPECT_FALSE(remove(intRow(5), idOf(5)));
}

TEST_F(BTreeTest, EqualKeysLieInRowIdentifierOrderAndDeleteOnlyTheirOwnEntry) {
  open(kCompanyFields, {{"Id"}});
  const std::vector<zev::TABSPageItemID> ids = {idOf(9, 2), idOf(3, 7), idOf(9, 1), idOf(-5, 0),
                                                idOf(3, 65535)};
  for (int round = 0; round < 30; ++round)  // enough for splits among the equal keys
    for (const auto& id : ids) insert(intRow(42), idOf(id.PageNo + round * 100, id.PageItemNo));
  FTree->CheckIntegrity(kSession);
  TABSKeyPath path;
  ASSERT_TRUE(FTree->GetFirstPosition(kSession, path));
  Bytes reference(6);
  FTree->ReadEntry(kSession, path, nullptr, reference.data());
  EXPECT_EQ(reference, referenceOf(idOf(-5, 0)));
  ASSERT_TRUE(FTree->GotoNext(kSession, path));
  FTree->ReadEntry(kSession, path, nullptr, reference.data());
  EXPECT_EQ(reference, referenceOf(idOf(3, 7)));

  ASSERT_TRUE(remove(intRow(42), idOf(1509, 1)));
  EXPECT_FALSE(remove(intRow(42), idOf(1509, 1)));
  EXPECT_FALSE(remove(intRow(41), idOf(1509, 2)));
  EXPECT_EQ(FTree->EntryCount(kSession), 149);
  EXPECT_FALSE(FTree->FindEntry(kSession, keyOf(intRow(42)).data(),
                                referenceOf(idOf(1509, 1)).data(), path));
  EXPECT_TRUE(FTree->FindEntry(kSession, keyOf(intRow(42)).data(),
                               referenceOf(idOf(1509, 2)).data(), path));
  FTree->CheckIntegrity(kSession);
}

TEST_F(BTreeTest, NullSortsFirstAscendingAndLastDescending) {
  for (const bool descending : {false, true}) {
    SCOPED_TRACE(descending ? "descending" : "ascending");
    open({{"N", zev::aftInteger, 0}}, {{"N", descending}});
    insert(intRow(5), idOf(5));
    insert(FRows->NewRow(), idOf(100));  // NULL
    insert(intRow(-7), idOf(-7));
    insert(intRow(0), idOf(0));
    const std::vector<int32_t> ascending = {100, -7, 0, 5};
    const std::vector<int32_t> reversed = {5, 0, -7, 100};
    EXPECT_EQ(pagesInOrder(), descending ? reversed : ascending);
  }
}

TEST_F(BTreeTest, TiedPrefixesOfTruncatedColumnsAreOrderedByReadingTheRows) {
  open({{"Id", zev::aftInteger, 0}, {"Nom", zev::aftString, 20}},
       {{"Nom", false, false, 5}});
  EXPECT_EQ(FKeyRef->Parts[0].ShortSize, 8);  // marker, 5 bytes, 2 added
  EXPECT_EQ(FKeyRef->ShortKeySize(), 8);
  insert(stringRow(1, "abcdeZZ"), idOf(1));
  insert(stringRow(1, "abcdeAA"), idOf(2));
  insert(stringRow(1, "abc"), idOf(3));
  insert(stringRow(1, "abcdeMM"), idOf(4));
  EXPECT_EQ(keyOf(stringRow(1, "abcdeZZ")), keyOf(stringRow(1, "abcdeAA")));
  EXPECT_GT(FRows->Reads, 0);
  EXPECT_EQ(pagesInOrder(), (std::vector<int32_t>{3, 2, 4, 1}));
  FTree->CheckIntegrity(kSession);
  EXPECT_TRUE(remove(stringRow(1, "abcdeMM"), idOf(4)));
  EXPECT_EQ(pagesInOrder(), (std::vector<int32_t>{3, 2, 1}));

  // Without the row the tie cannot be decided.
  FRows->Remove(idOf(1));
  int code = 0;
  EXPECT_EQ(errorOf([&] { insert(stringRow(1, "abcdeQQ"), idOf(9)); }, &code),
            enginetest::TextOf("Cannot retrieve record for index", 20170));
  EXPECT_EQ(code, 20170);
}

TEST_F(BTreeTest, CaseInsensitiveColumnFindsAValueInAnotherCase) {
  open({{"Nom", zev::aftString, 10}}, {{"Nom", false, true}});
  insert(stringRow(0, "Dupont"), idOf(1));
  insert(stringRow(0, "martin"), idOf(2));
  insert(stringRow(0, "BERNARD"), idOf(3));
  TABSKeyPath path;
  const Bytes key = keyOf(stringRow(0, "MARTIN"));
  ASSERT_TRUE(FTree->FindByCondition(kSession, true, key.data(), zev::scEqual, path));
  Bytes reference(6);
  FTree->ReadEntry(kSession, path, nullptr, reference.data());
  EXPECT_EQ(reference, referenceOf(idOf(2)));
  EXPECT_EQ(pagesInOrder(), (std::vector<int32_t>{3, 1, 2}));
}

struct TConditionCase {
  zev::TABSSearchCondition Condition;
  bool First;
  int32_t Key;
  int32_t Expected;  // the row found, -1 for none
};

TEST_F(BTreeTest, SearchByConditionFindsTheFirstOrLastSatisfyingEntry) {
  open(kCompanyFields, {{"Id"}});
  // Keys 10, 20 (rows 21, 22), 30, repeated over many pages so that the answers cross leaves.
  int32_t row = 0;
  for (int32_t key = 10; key <= 30; key += 10)
    for (int copy = 0; copy < 60; ++copy) insert(intRow(key), idOf(key * 1000 + copy));
  (void)row;
  const TConditionCase cases[] = {
      {zev::scEqual, true, 20, 20000},         {zev::scEqual, false, 20, 20059},
      {zev::scEqual, true, 15, -1},            {zev::scLower, true, 20, 10000},
      {zev::scLower, false, 20, 10059},        {zev::scLower, true, 10, -1},
      {zev::scLowerEqual, false, 20, 20059},   {zev::scLowerEqual, true, 10, 10000},
      {zev::scLowerEqual, false, 5, -1},       {zev::scGreater, true, 20, 30000},
      {zev::scGreater, false, 20, 30059},      {zev::scGreater, true, 30, -1},
      {zev::scGreaterEqual, true, 20, 20000},  {zev::scGreaterEqual, true, 25, 30000},
      {zev::scGreaterEqual, false, 31, -1},    {zev::scGreaterEqual, true, 31, -1},
      {zev::scNone, false, 0, 30059},          {zev::scNone, true, 0, 10000},
  };
  for (const TConditionCase& test : cases) {
    SCOPED_TRACE(testing::Message() << "condition " << int(test.Condition) << " first "
                                    << test.First << " key " << test.Key);
    TABSKeyPath path;
    const Bytes key = keyOf(intRow(test.Key));
    const bool found = FTree->FindByCondition(kSession, test.First, key.data(), test.Condition, path);
    ASSERT_EQ(found, test.Expected >= 0);
    if (!found) continue;
    Bytes reference(6);
    FTree->ReadEntry(kSession, path, nullptr, reference.data());
    EXPECT_EQ(zev::GetInt32LE(reference.data()), test.Expected);
  }
}

TEST_F(BTreeTest, PositionsMoveAcrossLeavesAndCountInIndexOrder) {
  open(kCompanyFields, {{"Id"}});
  for (int32_t id = 500; id >= 1; --id) insert(intRow(id), idOf(id));
  std::vector<int32_t> expected(500);
  for (int32_t i = 0; i < 500; ++i) expected[static_cast<size_t>(i)] = i + 1;
  EXPECT_EQ(pagesInOrder(), expected);

  TABSKeyPath path;
  ASSERT_TRUE(FTree->GetLastPosition(kSession, path));
  std::vector<int32_t> backwards;
  do {
    Bytes reference(6);
    FTree->ReadEntry(kSession, path, nullptr, reference.data());
    backwards.push_back(zev::GetInt32LE(reference.data()));
    EXPECT_EQ(FTree->GetRecNo(kSession, path), backwards.back());
  } while (FTree->GotoPrior(kSession, path));
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(backwards, expected);

  Bytes reference(6);
  FTree->GetReferenceByRecNo(kSession, 321, reference.data());
  EXPECT_EQ(zev::GetInt32LE(reference.data()), 321);
  int code = 0;
  EXPECT_EQ(errorOf([&] { FTree->GetReferenceByRecNo(kSession, 501, reference.data()); }, &code),
            enginetest::TextOf("Cannot set RecNo greater than RecordCount", 20075));

  // Two positions over the same tree compare by entry; another depth is refused.
  TABSKeyPath first, last;
  FTree->GetFirstPosition(kSession, first);
  FTree->GetLastPosition(kSession, last);
  EXPECT_EQ(first.Compare(last), -1);
  EXPECT_EQ(last.Compare(last), 0);
  TABSKeyPath shallow;
  shallow.Add(FRootPageNo, 0, 1);
  EXPECT_EQ(errorOf([&] { first.Compare(shallow); }, &code),
            enginetest::TextOf("Invalid index key path", 20051));
}

TEST_F(BTreeTest, EmptyTreeHasNoPositionsAndNoRecordNumbers) {
  open(kCompanyFields, {{"Id"}});
  TABSKeyPath path;
  EXPECT_FALSE(FTree->GetFirstPosition(kSession, path));
  EXPECT_FALSE(FTree->GotoNext(kSession, path));
  Bytes reference(6);
  int code = 0;
  EXPECT_EQ(errorOf([&] { FTree->GetReferenceByRecNo(kSession, 1, reference.data()); }, &code),
            enginetest::TextOf("Cannot retrieve record from empty index", 20074));
  TABSKeyPath none;
  EXPECT_EQ(errorOf([&] { FTree->GotoNext(kSession, none); }, &code),
            enginetest::TextOf("Index error: invalid position", 20068));
}

TEST_F(BTreeTest, EmptyingKeepsTheRootAndFreesTheOtherPages) {
  open(kCompanyFields, {{"Id"}});
  for (int32_t id = 1; id <= 400; ++id) insert(intRow(id), idOf(id));
  FManager->ApplyChanges(kSession);
  const int32_t pagesWithTree = FManager->PageCount();
  FTree->FreeAllPages(kSession, true);
  FManager->ApplyChanges(kSession);
  EXPECT_TRUE(root().IsLeaf());
  EXPECT_EQ(root().EntryCount(), 0);
  // The freed pages come back for the next tree of the same size.
  for (int32_t id = 1; id <= 400; ++id) insert(intRow(id), idOf(id));
  FManager->ApplyChanges(kSession);
  EXPECT_EQ(FManager->PageCount(), pagesWithTree);
  FTree->CheckIntegrity(kSession);
}

TEST_F(BTreeTest, IntegrityCheckNamesThePageAndEntryOutOfOrder) {
  open(kCompanyFields, {{"Id"}});
  for (int32_t id = 1; id <= 10; ++id) insert(intRow(id), idOf(id));
  {
    TABSBTreePage page = root();
    const Bytes key = keyOf(intRow(99));
    page.UpdateKey(4, key.data());
  }
  int code = 0;
  EXPECT_EQ(errorOf([&] { FTree->CheckIntegrity(kSession); }, &code),
            enginetest::FormattedTextOf(
                "Index integrity error. PageNo=" + std::to_string(FRootPageNo) + " EntryNo=5",
                20028));
  EXPECT_EQ(code, 20028);
}

// 100 000 random inserts and deletes of duplicate-heavy keys against a multimap, the tree
// checked every 1 000 operations and the changes applied to the file as they go.
TEST_F(BTreeTest, RandomInsertsAndDeletesMatchAMultimap) {
  open(kCompanyFields, {{"Id"}});
  std::mt19937 random(20261211);
  std::multimap<int32_t, int32_t> model;  // key -> row page number
  std::vector<std::pair<int32_t, int32_t>> live;
  int32_t nextRow = 1;
  for (int op = 1; op <= 100000; ++op) {
    const bool insertion = live.empty() || random() % 100 < 55;
    if (insertion) {
      const int32_t key = static_cast<int32_t>(random() % 3000) - 1500;
      const int32_t rowNo = nextRow++;
      insert(intRow(key), idOf(rowNo));
      model.emplace(key, rowNo);
      live.emplace_back(key, rowNo);
    } else {
      const size_t at = random() % live.size();
      const auto [key, rowNo] = live[at];
      ASSERT_TRUE(remove(intRow(key), idOf(rowNo))) << "op " << op;
      live[at] = live.back();
      live.pop_back();
      auto range = model.equal_range(key);
      for (auto it = range.first; it != range.second; ++it)
        if (it->second == rowNo) {
          model.erase(it);
          break;
        }
    }
    if (op % 1000 != 0) continue;
    ASSERT_NO_THROW(FTree->CheckIntegrity(kSession)) << "op " << op;
    FManager->ApplyChanges(kSession);
    ASSERT_EQ(FTree->EntryCount(kSession), static_cast<int32_t>(model.size()));
    // A lower bound agrees with the model.
    const int32_t probe = static_cast<int32_t>(random() % 3000) - 1500;
    TABSKeyPath path;
    const Bytes key = keyOf(intRow(probe));
    auto expected = model.lower_bound(probe);
    const bool found = FTree->FindByCondition(kSession, true, key.data(), zev::scGreaterEqual, path);
    ASSERT_EQ(found, expected != model.end());
    if (found) {
      Bytes entryKey(5);
      FTree->ReadEntry(kSession, path, entryKey.data(), nullptr);
      EXPECT_EQ(entryKey, keyOf(intRow(expected->first)));
    }
  }
  // Everything in (key, row) order.
  std::vector<int32_t> expected;
  std::vector<std::pair<int32_t, int32_t>> sorted(model.begin(), model.end());
  std::sort(sorted.begin(), sorted.end());
  for (const auto& entry : sorted) expected.push_back(entry.second);
  EXPECT_EQ(pagesInOrder(), expected);
}

}  // namespace
