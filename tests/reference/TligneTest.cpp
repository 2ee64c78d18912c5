#include <gtest/gtest.h>

#include <limits>

#include "reference/Tligne.h"
#include "tests/reference/ReferenceTestDatabase.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(TligneTest, ADefaultLineHasNothingSet) {
  TLigne ligne;
  EXPECT_EQ(ligne.GetQuantite(), -1.0);
  EXPECT_EQ(ligne.GetCout(), -1.0);
  EXPECT_EQ(ligne.GetMatiere().GetId(), -1);
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "");
  EXPECT_EQ(ligne.GetUnite().GetId(), -1);
  EXPECT_EQ(ligne.GetUnite().GetNom(), "");
}

TEST(TligneTest, TheFullConstructorStoresItsValuesUnchecked) {
  TLigne ligne(TMatiere(AnsiString("Bois")), -3.5, TUnite(), -0.25);
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "Bois");  // kept although its Id is -1
  EXPECT_EQ(ligne.GetMatiere().GetId(), -1);
  EXPECT_EQ(ligne.GetQuantite(), -3.5);
  EXPECT_EQ(ligne.GetCout(), -0.25);
  // The setters still refuse negatives afterwards.
  ligne.SetQuantite(-1);
  EXPECT_EQ(ligne.GetQuantite(), -3.5);
}

struct TValueCase {
  double Given;
  double Expected;  // what the line holds after the call, starting from 2.5
};

TEST(TligneTest, QuantityAndCostTakeOnlyNumbersFromZeroUp) {
  const TValueCase cases[] = {
      {0, 0},
      {7.25, 7.25},
      {-0.5, 2.5},
      {-1, 2.5},
      {kNaN, 2.5},
      {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::denorm_min()},
  };
  for (const TValueCase& c : cases) {
    TLigne ligne;
    ligne.SetQuantite(2.5);
    ligne.SetCout(2.5);
    ligne.SetQuantite(c.Given);
    ligne.SetCout(c.Given);
    EXPECT_EQ(ligne.GetQuantite(), c.Expected) << c.Given;
    EXPECT_EQ(ligne.GetCout(), c.Expected) << c.Given;
  }
}

TEST(TligneTest, ARecordWithoutAStoredIdIsRefused) {
  TLigne ligne;
  ligne.SetMatiere(TMatiere(AnsiString("Bois")));
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "");
  EXPECT_EQ(ligne.GetMatiere().GetId(), -1);
  ligne.SetUnite(TUnite());
  EXPECT_EQ(ligne.GetUnite().GetId(), -1);
}

// A reference database with two materials (Ids 1 and 2) and two units (Ids 1 and 2), opened by
// the data module.
class TligneDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    referencetest::createReferenceDatabase(FPath);
    dmKestrevaud = &FModule;
    FModule.OuvrirBase(FPath);
    referencetest::addNames(FModule, "MATIERE", {"Bois", "Verre"});
    referencetest::addNames(FModule, "UNITE", {"kg", "m3"});
  }
  void TearDown() override {
    FModule.FermerBase();
    dmKestrevaud = nullptr;
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("kestrevaud.zev");
  TdmKestrevaud FModule{nullptr};
};

TEST_F(TligneDatabaseTest, IdentifierSettersLookTheRecordsUp) {
  referencetest::TMessageBoxRecorder boxes;
  TLigne ligne;
  ligne.SetMatiere(2);
  ligne.SetUnite(1);
  EXPECT_EQ(ligne.GetMatiere().GetId(), 2);
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "Verre");
  EXPECT_EQ(ligne.GetUnite().GetId(), 1);
  EXPECT_EQ(ligne.GetUnite().GetNom(), "kg");
  // A material without a stored Id leaves the looked-up one in place.
  ligne.SetMatiere(TMatiere(AnsiString("Carton")));
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "Verre");
  // A copy is independent of the line.
  TLigne copie = ligne;
  copie.SetMatiere(1);
  EXPECT_EQ(copie.GetMatiere().GetNom(), "Bois");
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "Verre");
  EXPECT_TRUE(boxes.Calls.empty());
}

TEST_F(TligneDatabaseTest, AMissingIdentifierShowsItsMessageOnceAndKeepsTheRecord) {
  TLigne ligne;
  ligne.SetMatiere(1);
  ligne.SetUnite(2);
  struct TMissingCase {
    std::function<void()> Set;
    const char* Text;
  };
  const TMissingCase cases[] = {
      {[&] { ligne.SetMatiere(99); },
       "Impossible de trouver la mati\xE8re demand\xE9"
       "e !"},
      {[&] { ligne.SetUnite(99); },
       "Impossible de trouver l'unit\xE9 demand\xE9"
       "e !"},
  };
  for (const TMissingCase& c : cases) {
    referencetest::TMessageBoxRecorder boxes;
    c.Set();
    ASSERT_EQ(boxes.Calls.size(), 1u) << c.Text;
    EXPECT_EQ(boxes.Calls[0].Text, c.Text);
    EXPECT_EQ(boxes.Calls[0].Caption, "ERREUR");
    EXPECT_EQ(boxes.Calls[0].Flags, MB_ICONERROR);
  }
  EXPECT_EQ(ligne.GetMatiere().GetId(), 1);
  EXPECT_EQ(ligne.GetMatiere().GetNom(), "Bois");
  EXPECT_EQ(ligne.GetUnite().GetId(), 2);
  EXPECT_EQ(ligne.GetUnite().GetNom(), "m3");
}

}  // namespace
