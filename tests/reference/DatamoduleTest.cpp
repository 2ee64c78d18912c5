#include "reference/Datamodule.h"

#include <gtest/gtest.h>

#include "engine/tables/DBError.h"
#include "reference/Tmatiere.h"
#include "tests/engine/tables/ComponentErrorOf.h"
#include "tests/reference/ReferenceTestDatabase.h"

namespace {

using namespace referencetest;

class DatamoduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createReferenceDatabase(FPath);
    dmKestrevaud = &FModule;
  }
  void TearDown() override {
    FModule.FermerBase();
    dmKestrevaud = nullptr;
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("kestrevaud.zev");
  TdmKestrevaud FModule{nullptr};
};

TEST_F(DatamoduleTest, DesignTimeComponentsHaveTheirValues) {
  EXPECT_EQ(FModule.dbKestrevaud->DatabaseName(), "Kestrevaud");
  EXPECT_EQ(FModule.dbKestrevaud->Password(), "#Tprazmolyk47");
  EXPECT_TRUE(FModule.dbKestrevaud->MultiUser());
  EXPECT_EQ(FModule.dbKestrevaud->MaxConnections(), 1000);
  EXPECT_EQ(FModule.dbKestrevaud->SessionName(), "Default");
  const std::pair<TABSTable*, const char*> tables[] = {
      {FModule.tblEntreprise, "ENTREPRISE"}, {FModule.tblMatiere, "MATIERE"}, {FModule.tblUnite, "UNITE"}};
  for (const auto& [table, name] : tables) {
    EXPECT_EQ(table->TableName(), name);
    EXPECT_EQ(table->IndexName(), "idxPrimaryKey");
    EXPECT_EQ(table->DatabaseName(), "Kestrevaud");
  }
  EXPECT_EQ(FModule.tblEntreprise->FieldCount(), 7);
  EXPECT_EQ(FModule.tblMatiereNom->Size(), 30);
}

TEST_F(DatamoduleTest, OpeningTwiceWithTheSamePathChangesNothing) {
  int opened = 0;
  FModule.tblMatiere->AfterOpen = [&](zev::TDataSet&) { ++opened; };
  FModule.OuvrirBase(FPath);
  zev::TABSLocalSession* connection = FModule.dbKestrevaud->Handle();
  FModule.OuvrirBase(FPath);
  EXPECT_EQ(FModule.dbKestrevaud->Handle(), connection);
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(FModule.tblEntreprise->Active() && FModule.tblMatiere->Active() &&
              FModule.tblUnite->Active());
}

TEST_F(DatamoduleTest, AMissingFileRaisesTheComponentErrorAndOpensNoTable) {
  const std::string missing = FDir.File("absent.zev");
  EXPECT_EQ(componentErrorOf([&] { FModule.OuvrirBase(missing); }),
            "dbKestrevaud: Database file '" + missing + "' does not exist");
  EXPECT_FALSE(FModule.dbKestrevaud->Connected());
  EXPECT_FALSE(FModule.tblEntreprise->Active() || FModule.tblMatiere->Active() ||
               FModule.tblUnite->Active());
}

TEST_F(DatamoduleTest, ATableOfAnotherSchemaStopsTheOpeningFromItOn) {
  const std::string damaged = FDir.File("autre.zev");
  createReferenceDatabase(damaged, zev::ftInteger);
  EXPECT_EQ(componentErrorOf([&] { FModule.OuvrirBase(damaged); }),
            "tblMatiere: Type mismatch for field 'Nom'");
  EXPECT_TRUE(FModule.tblEntreprise->Active());
  EXPECT_FALSE(FModule.tblMatiere->Active());
  EXPECT_FALSE(FModule.tblUnite->Active());
}

TEST_F(DatamoduleTest, PrivateTablesAreHandedOutByExactNameAndGivenBack) {
  FModule.OuvrirBase(FPath);
  addNames(FModule, "MATIERE", {"Carton", "Verre", "Bois"});
  EXPECT_EQ(FModule.OuvrirTable("Matiere"), nullptr);
  TABSTable* table = FModule.OuvrirTable("MATIERE");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->GetOwner(), &FModule);
  EXPECT_EQ(table->FieldByName("Nom").AsString(), "Carton") << "on its first row";
  for (int32_t id : {0, -1, 99}) EXPECT_FALSE(FModule.ChercherCle(table, 1, {id})) << id;
  EXPECT_EQ(table->FieldByName("Nom").AsString(), "Carton") << "a miss keeps the row";
  ASSERT_TRUE(FModule.ChercherCle(table, 1, {3}));
  EXPECT_EQ(table->FieldByName("Nom").AsString(), "Bois");
  FModule.LibererTable(table);
  EXPECT_FALSE(table->Active());
  table->Open();  // the caller may open it again
  EXPECT_EQ(table->RecordCount(), 3);
  FModule.LibererTable(table);
  FModule.LibererTable(nullptr);
}

TEST_F(DatamoduleTest, ClosingBeforeAnyOpeningDoesNothing) {
  EXPECT_NO_THROW(FModule.FermerBase());
  FModule.OuvrirBase(FPath);
  FModule.FermerBase();
  EXPECT_FALSE(FModule.dbKestrevaud->Connected());
  EXPECT_FALSE(FModule.tblUnite->Active());
}

// Another process with the database open: Args[0] the path. Answers "lookup <Id>" with the
// material's name (or "missing").
TEST_HELPER(material_reader) {
  TdmKestrevaud module(nullptr);
  dmKestrevaud = &module;
  module.OuvrirBase(Args[0]);
  SetMessageBoxHandler([](const TMessageBoxCall&) { return IDOK; });
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.rfind("lookup ", 0) != 0) break;
    const TMatiere material(static_cast<int32_t>(std::stoi(command.substr(7))));
    testsupport::Signal(material.GetId() > 0 ? material.GetNom() : "missing");
  }
  module.FermerBase();
  return 0;
}

TEST_F(DatamoduleTest, AMaterialStoredHereIsFoundByAnotherProcess) {
  FModule.OuvrirBase(FPath);
  addNames(FModule, "MATIERE", {"Carton"});
  testsupport::THelperProcess other("material_reader", {FPath});
  ASSERT_EQ(other.ReadLine(), "ready");
  other.Send("lookup 2");
  EXPECT_EQ(other.ReadLine(), "missing");
  TMatiere material("Ferraille");
  material.Sauvegarder();
  ASSERT_EQ(material.GetId(), 2);
  other.Send("lookup 2");
  EXPECT_EQ(other.ReadLine(), "Ferraille");
  other.Send("quit");
  EXPECT_EQ(other.Wait(), 0);
}

}  // namespace
