#include <gtest/gtest.h>

#include "reference/Tentreprise.h"
#include "reference/Tmatiere.h"
#include "reference/Tunite.h"
#include "tests/reference/ReferenceTestDatabase.h"

namespace {

using namespace referencetest;

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createReferenceDatabase(FPath);
    dmKestrevaud = &FModule;
    FModule.OuvrirBase(FPath);
    addNames(FModule, "MATIERE", {"Carton", "Verre"});
    addNames(FModule, "UNITE", {"TONNE", "m\xB3", "M\xC8TRE", "Benne ", "tonne"});
  }
  void TearDown() override {
    FModule.FermerBase();
    dmKestrevaud = nullptr;
  }
  void expectOneError(const TMessageBoxRecorder& Boxes, const std::string& Text) {
    ASSERT_EQ(Boxes.Calls.size(), 1u);
    EXPECT_EQ(Boxes.Calls[0].Kind, TMessageBoxKind::MessageBoxA);
    EXPECT_EQ(Boxes.Calls[0].Text, Text);
    EXPECT_EQ(Boxes.Calls[0].Caption, "ERREUR");
    EXPECT_EQ(Boxes.Calls[0].Flags, MB_ICONERROR);
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("kestrevaud.zev");
  TdmKestrevaud FModule{nullptr};
};

TEST_F(RecordsTest, DefaultsAndLookUps) {
  TMessageBoxRecorder boxes;
  const TEntreprise none;
  EXPECT_EQ(none.GetId(), -1);
  EXPECT_EQ(none.GetCP(), "0");
  const TEntreprise unknown(42);
  EXPECT_EQ(unknown.GetId(), -1);
  EXPECT_EQ(unknown.GetCP(), "0");
  EXPECT_TRUE(boxes.Calls.empty()) << "an unknown company shows nothing";
  const TMatiere verre(2);
  EXPECT_EQ(verre.GetId(), 2);
  EXPECT_EQ(verre.GetNom(), "Verre");
  EXPECT_EQ(TUnite(2).GetNom(), "m\xB3");
}

TEST_F(RecordsTest, MissingMaterialsAndUnitsShowTheirMessage) {
  for (int32_t id : {0, -1, 77}) {
    SCOPED_TRACE(id);
    TMessageBoxRecorder boxes;
    const TMatiere material(id);
    EXPECT_EQ(material.GetId(), -1);
    EXPECT_EQ(material.GetNom(), "");
    expectOneError(boxes, "Impossible de trouver la mati\xE8re demand\xE9" "e !");
  }
  TMessageBoxRecorder boxes;
  EXPECT_EQ(TUnite(99).GetId(), -1);
  expectOneError(boxes, "Impossible de trouver l'unit\xE9 demand\xE9" "e !");
}

TEST_F(RecordsTest, UnitsAreFoundByNameWithOnlyAsciiLettersFolded) {
  struct {
    const char* Wanted;
    int32_t Id;  // -1: not found, with the message
  } cases[] = {
      {"tonne", 1},   // TONNE comes before tonne
      {"Tonne", 1},   {"M\xB3", 2}, {"m\xC8tre", 3}, {"m\xE8tre", -1}, {"M\xE8TRE", -1},
      {"Benne", -1},  // the stored name ends with a blank
      {"Benne ", 4},  {"litre", -1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Wanted);
    TMessageBoxRecorder boxes;
    const TUnite unit{AnsiString(test.Wanted)};
    EXPECT_EQ(unit.GetId(), test.Id);
    if (test.Id > 0) {
      EXPECT_TRUE(boxes.Calls.empty());
      continue;
    }
    EXPECT_EQ(unit.GetNom(), test.Wanted);
    expectOneError(boxes, std::string("Impossible de trouver l'unit\xE9 ") + test.Wanted);
  }
}

TEST_F(RecordsTest, StoringAddsOnceThenUpdates) {
  TEntreprise company;
  company.SetNom("Veolia");
  company.SetVille("Lyon");
  company.Sauvegarder();
  ASSERT_EQ(company.GetId(), 1);
  company.SetVille("Annecy");
  company.Sauvegarder();
  EXPECT_EQ(rowCount(FModule, "ENTREPRISE"), 1);
  const TEntreprise stored(1);
  EXPECT_EQ(stored.GetVille(), "Annecy");
  EXPECT_EQ(stored.GetCP(), "0");

  TMatiere material("Bois");
  material.Sauvegarder();
  EXPECT_EQ(material.GetId(), 3);
  material.Sauvegarder();
  EXPECT_EQ(rowCount(FModule, "MATIERE"), 3);
}

TEST_F(RecordsTest, StoringARecordWhoseRowVanishedAddsARowAndKeepsTheId) {
  TEntreprise company;
  company.SetNom("Suez");
  company.Sauvegarder();
  TMatiere material(2);  // Verre
  // Another user deletes both rows.
  for (const char* name : {"ENTREPRISE", "MATIERE"}) {
    TABSTable* table = FModule.OuvrirTable(name);
    ASSERT_TRUE(FModule.ChercherCle(table, 1, {std::string(name) == "MATIERE" ? 2 : 1}));
    table->Delete();
    FModule.LibererTable(table);
  }
  company.Sauvegarder();
  material.Sauvegarder();
  EXPECT_EQ(company.GetId(), 1) << "a positive Id is not taken back";
  EXPECT_EQ(material.GetId(), 2);
  EXPECT_EQ(rowCount(FModule, "ENTREPRISE"), 1);
  EXPECT_EQ(rowCount(FModule, "MATIERE"), 2);
  TMessageBoxRecorder boxes;
  EXPECT_EQ(TEntreprise(2).GetNom(), "Suez") << "stored as a new row";
  EXPECT_EQ(TMatiere(3).GetNom(), "Verre");
}

}  // namespace
