#include "engine/tables/ABSBTreeIndex.h"

#include <gtest/gtest.h>

#include "engine/tables/ABSBaseIndexManager.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/BTreeTestSupport.h"

namespace {

using namespace btreetest;
using enginetest::TextOf;
using zev::kSystemSessionID;
using zev::TABSBaseIndexManager;
using zev::TABSBTreePageIndex;
using zev::TABSBTreeRecordIndex;
using zev::TABSIndexRowOperation;

constexpr int32_t kSession = kSystemSessionID;

// A table of companies (Id, Nom, Ville) with rows kept in memory.
class RecordIndexTest : public ::testing::Test {
 protected:
  RecordIndexTest() {
    FManager = FDatabase.Open(false);
    FFields = makeFields({{"Id", zev::aftAutoInc, 0},
                          {"Nom", zev::aftString, 30},
                          {"Ville", zev::aftString, 40}});
    FRows = std::make_unique<TRowStore>(*FFields);
  }

  Bytes company(int32_t Id, const std::string& Nom, const std::string& Ville = "Lyon") {
    Bytes row = FRows->NewRow();
    FRows->SetInteger(row, 0, Id);
    FRows->SetString(row, 1, Nom);
    FRows->SetString(row, 2, Ville);
    return row;
  }
  TABSIndexRowOperation operation(const Bytes& Row, int32_t PageNo,
                                  const Bytes* EditRow = nullptr) {
    TABSIndexRowOperation operation;
    operation.SessionID = kSession;
    operation.CurrentRecordBuffer = Row.data();
    operation.EditRecordBuffer = EditRow ? EditRow->data() : nullptr;
    operation.CurrentRecordID = idOf(PageNo);
    return operation;
  }
  std::unique_ptr<TABSBTreeRecordIndex> createIndex(zev::TABSIndexDef& Def) {
    auto index = std::make_unique<TABSBTreeRecordIndex>(Def, *FManager, *FFields, FRows.get());
    index->CreateIndex(kSession);
    return index;
  }
  // Stores the row and indexes it.
  void add(TABSBTreeRecordIndex& Index, const Bytes& Row, int32_t PageNo) {
    FRows->Put(idOf(PageNo), Row);
    Index.InsertRecord(operation(Row, PageNo));
  }

  enginetest::TTestDatabase FDatabase;
  std::unique_ptr<zev::TABSDiskPageManager> FManager;
  std::unique_ptr<zev::TABSFieldDefs> FFields;
  std::unique_ptr<TRowStore> FRows;
};

TEST_F(RecordIndexTest, UniqueIndexRefusesAnEqualKeyButAcceptsAnUpdateThatKeepsIt) {
  auto def = makeIndex("idxNom", {{"Nom", false, true}});
  def->FUnique = true;
  auto index = createIndex(*def);
  add(*index, company(1, "Dupont"), 1);
  add(*index, company(2, "Martin"), 2);

  EXPECT_FALSE(index->CanInsertRecord(kSession, company(3, "DUPONT").data()));
  EXPECT_TRUE(index->CanInsertRecord(kSession, company(3, "Durand").data()));
  EXPECT_TRUE(index->CanUpdateRecord(kSession, company(1, "Dupont").data(),
                                     company(1, "Dupont", "Paris").data()));
  EXPECT_TRUE(index->CanUpdateRecord(kSession, company(1, "Dupont").data(),
                                     company(1, "dupont").data()))
      << "a change of case keeps the key of a case-insensitive column";
  EXPECT_FALSE(index->CanUpdateRecord(kSession, company(1, "Dupont").data(),
                                      company(1, "Martin").data()));

  auto plain = makeIndex("idxVille", {{"Ville"}});
  auto any = createIndex(*plain);
  EXPECT_TRUE(any->CanInsertRecord(kSession, company(4, "X").data()));
}

TEST_F(RecordIndexTest, UpdateMovesTheEntryAndMissingEntriesAreErrors) {
  auto def = makeIndex("idxNom", {{"Nom"}});
  auto index = createIndex(*def);
  const Bytes before = company(1, "Bernard"), after = company(1, "Zola");
  add(*index, before, 1);
  add(*index, company(2, "Martin"), 2);
  EXPECT_EQ(index->GetRecNoByRecordID(kSession, idOf(1), before.data()), 1);

  index->UpdateRecord(operation(after, 1, &before), true);
  FRows->Put(idOf(1), after);
  index->UpdateRecord(operation(after, 1, &before), false);
  EXPECT_EQ(index->GetRecNoByRecordID(kSession, idOf(1), after.data()), 2);
  EXPECT_EQ(index->GetRecNoByRecordID(kSession, idOf(1), before.data()), -1);
  EXPECT_EQ(index->GetRecordIDByRecNo(kSession, 1).PageNo, 2);

  int code = 0;
  EXPECT_EQ(errorOf([&] { index->UpdateRecord(operation(after, 1, &before), true); }, &code),
            TextOf("Index error: cannot delete entry. Entry not found", 20250));
  EXPECT_EQ(errorOf([&] { index->DeleteRecord(operation(before, 1)); }, &code),
            TextOf("Index error: cannot delete entry. Entry not found", 20027));
  EXPECT_EQ(code, 20027);
  index->DeleteRecord(operation(after, 1));
  EXPECT_EQ(index->GetRecordIDByRecNo(kSession, 1).PageNo, 2);
  index->CheckIntegrity(kSession);
}

TEST_F(RecordIndexTest, SearchUsesLeadingColumnsAndPrefixes) {
  auto def = makeIndex("idxVilleNom", {{"Ville"}, {"Nom"}});
  auto index = createIndex(*def);
  add(*index, company(1, "Durand", "Paris"), 1);
  add(*index, company(2, "Dupont", "Paris"), 2);
  add(*index, company(3, "Dubois", "Lyon"), 3);
  add(*index, company(4, "Martin", "Paris"), 4);

  zev::TABSPageItemID found;
  const Bytes paris = company(0, "", "Paris");
  ASSERT_TRUE(index->FindRecordID(kSession, true, zev::scEqual, paris.data(), 1, false, found));
  EXPECT_EQ(found.PageNo, 2) << "first Paris row in (Ville, Nom) order";
  ASSERT_TRUE(index->FindRecordID(kSession, false, zev::scEqual, paris.data(), 1, false, found));
  EXPECT_EQ(found.PageNo, 4);

  const Bytes prefix = company(0, "Dur", "Paris");
  ASSERT_TRUE(index->FindRecordID(kSession, true, zev::scEqual, prefix.data(), 2, true, found));
  EXPECT_EQ(found.PageNo, 1);
  EXPECT_FALSE(index->FindRecordID(kSession, true, zev::scEqual, prefix.data(), 2, false, found))
      << "without partial compare the whole value must match";
  EXPECT_EQ(index->KeyRef().CompareFieldCount(), 2) << "the search restores the key description";
  EXPECT_EQ(index->GetMaxEntriesPerPage(), 472 / (index->KeyRef().ShortKeySize() + 4));
}

TEST_F(RecordIndexTest, IndexColumnsMustNameIndexableFields) {
  FFields = makeFields({{"Id", zev::aftAutoInc, 0}, {"Notes", zev::aftMemo, 0}});
  auto missing = makeIndex("idxX", {{"Nowhere"}});
  int code = 0;
  EXPECT_EQ(errorOf([&] { createIndex(*missing); }, &code),
            enginetest::FormattedTextOf("Cannot find index field 'Nowhere'", 20043));
  auto blob = makeIndex("idxNotes", {{"Notes"}});
  EXPECT_EQ(errorOf([&] { createIndex(*blob); }, &code), 
            enginetest::FormattedTextOf(
                "Cannot index BLOB field 'Notes'. Direct indexing of BLOB fields is not supported "
                "yet, please use CAST(blob_field, string) function to convert BLOB field to a "
                "string expression before indexing.",
                20295));
}

TEST_F(RecordIndexTest, PageIndexKeepsOneCountPerPageInPageOrder) {
  TABSBTreePageIndex pages(*FManager);
  pages.CreateIndex(kSession);
  for (int32_t pageNo = 900; pageNo >= 100; pageNo -= 4)
    pages.SetPage(kSession, pageNo, static_cast<uint16_t>(pageNo % 7));
  pages.SetPage(kSession, 500, 42);  // replaces the count
  uint16_t count = 0;
  ASSERT_TRUE(pages.FindPage(kSession, 500, count));
  EXPECT_EQ(count, 42);
  EXPECT_FALSE(pages.FindPage(kSession, 501, count));
  int32_t found = 0;
  ASSERT_TRUE(pages.FindPageAtOrAfter(kSession, 501, found, count));
  EXPECT_EQ(found, 504);
  EXPECT_FALSE(pages.FindPageAtOrAfter(kSession, 901, found, count));
  EXPECT_TRUE(pages.DeletePage(kSession, 504));
  EXPECT_FALSE(pages.DeletePage(kSession, 504));
  EXPECT_EQ(pages.PageCount(kSession), 200);
  pages.CheckIntegrity(kSession);
}

TEST_F(RecordIndexTest, IndexManagerKeepsEveryIndexInStepAndSurvivesReopening) {
  TABSBaseIndexManager manager(*FManager, *FFields, FRows.get());
  auto primary = makeIndex("idxPrimaryKey", {{"Id"}});
  primary->FPrimary = true;
  primary->FObjectID = 11;
  auto byName = makeIndex("idxNom", {{"Nom", true}});
  byName->FObjectID = 12;
  // Rows stored before the second index exists are indexed when it is created.
  manager.CreateIndex(kSession, *primary);
  for (int32_t id = 1; id <= 100; ++id) {
    const Bytes row = company(id, "Nom" + std::to_string(1000 + id));
    FRows->Put(idOf(id), row);
    manager.InsertRecord(operation(row, id));
  }
  manager.CreateIndex(kSession, *byName, [&](const auto& Visit) {
    for (int32_t id = 1; id <= 100; ++id)
      Visit(idOf(id), company(id, "Nom" + std::to_string(1000 + id)).data());
  });
  EXPECT_EQ(manager.IndexDefs().Items(0)->FTableState, 100);

  EXPECT_FALSE(manager.CanInsertRecord(kSession, company(50, "Other").data()));
  EXPECT_TRUE(manager.CanInsertRecord(kSession, company(101, "Other").data()));
  const Bytes row7 = company(7, "Nom1007");
  manager.DeleteRecord(operation(row7, 7));
  FRows->Remove(idOf(7));
  manager.DeleteRecord(operation(row7, 7));  // gone already: nothing happens
  EXPECT_EQ(manager.OpenIndex(12).GetRecordIDByRecNo(kSession, 1).PageNo, 100) << "descending";
  EXPECT_EQ(manager.OpenIndex(11).Tree().EntryCount(kSession), 99);
  EXPECT_EQ(manager.OpenIndex(12).Tree().EntryCount(kSession), 99);

  int code = 0;
  EXPECT_EQ(errorOf([&] { manager.OpenIndex(99); }, &code), TextOf("Index not found", 20018));
  auto broken = makeIndex("idxBroken", {{"Missing"}});
  broken->FObjectID = 13;
  EXPECT_NE(errorOf([&] { manager.CreateIndex(kSession, *broken); }), "");
  EXPECT_EQ(manager.IndexDefs().Count(), 2) << "a failed creation leaves no definition";

  zev::TABSMemoryStream metadata;
  manager.SaveMetadata(metadata);
  FManager->ApplyChanges(kSession);
  FManager.reset();

  FManager = FDatabase.Open(false);
  TABSBaseIndexManager reopened(*FManager, *FFields, FRows.get());
  metadata.SetPosition(0);
  reopened.LoadMetadata(metadata);
  const Bytes row8 = company(8, "Nom1008");
  EXPECT_EQ(reopened.OpenIndex(11).GetRecNoByRecordID(kSession, idOf(8), row8.data()), 7);
  reopened.OpenIndex(11).CheckIntegrity(kSession);
  reopened.DropIndex(kSession, 12);
  EXPECT_EQ(reopened.IndexDefs().Count(), 1);
  reopened.EmptyAllIndexes(kSession);
  EXPECT_EQ(reopened.OpenIndex(11).Tree().EntryCount(kSession), 0);
}

}  // namespace
