// The company picker: its window, its rows, a double click that chooses, a company gone from
// the database.
#include "quote/Tficheselectentreprise.h"

#include <QTreeWidget>

#include "tests/reference/WindowTestSupport.h"

namespace {

using namespace windowtest;

class FicheSelectEntrepriseTest : public TReferenceWindowTest {
 protected:
  void SetUp() override {
    createDatabase({}, {}, {{"Suez", "Lyon"}, {"Paprec", "Grenoble"}, {"Ortec", "Cluses"}});
  }
};

TEST_F(FicheSelectEntrepriseTest, TheWindowHasItsCaptionSizeAndSevenColumns) {
  TFicheSelectEntreprise picker(nullptr, nullptr);
  EXPECT_EQ(picker.GetCaption(), "Liste des entreprises disponibles");
  EXPECT_EQ(picker.GetClientWidth(), 830);
  EXPECT_EQ(picker.GetClientHeight(), 560);
  EXPECT_EQ(picker.ListView->GetWidth(), 810);
  EXPECT_EQ(picker.ListView->GetHeight(), 450);
  EXPECT_EQ(picker.ButtonSelectionner->GetLeft(), 505);
  EXPECT_EQ(picker.ButtonFermer->GetLeft(), 665);
  EXPECT_EQ(picker.ButtonFermer->GetTop(), 500);
  const struct {
    const char* Caption;
    int Width;
    bool Fixed;
  } columns[] = {{"Id", 1, true},        {"Nom", 150, true},         {"Rue 1", 150, false},
                 {"Rue 2", 150, false},  {"Code postal", 70, false}, {"Ville", 150, false},
                 {"Type", 100, false}};
  ASSERT_EQ(picker.ListView->Columns()->GetCount(), 7);
  for (int i = 0; i < 7; ++i) {
    TListColumn* column = picker.ListView->Columns()->GetItem(i);
    EXPECT_EQ(column->GetCaption(), columns[i].Caption);
    EXPECT_EQ(column->GetWidth(), columns[i].Width) << columns[i].Caption;
    EXPECT_EQ(column->GetMaxWidth() == columns[i].Width, columns[i].Fixed) << columns[i].Caption;
  }
  EXPECT_EQ(columnTexts(picker.ListView, 1), (std::vector<std::string>{"Ortec", "Paprec", "Suez"}));
  EXPECT_EQ(columnTexts(picker.ListView, 4), (std::vector<std::string>{"74000", "74000", "74000"}));
  EXPECT_EQ(picker.ListView->Selected(), nullptr);
  EXPECT_FALSE(picker.EntrepriseChoisie);
}

TEST_F(FicheSelectEntrepriseTest, APreselectedCompanyStartsSelected) {
  const TEntreprise paprec(2);
  TFicheSelectEntreprise picker(nullptr, &paprec);
  ASSERT_NE(picker.ListView->Selected(), nullptr);
  EXPECT_EQ(picker.ListView->Selected()->GetCaption(), "2");
  ASSERT_TRUE(picker.EntrepriseChoisie);
  EXPECT_EQ(picker.EntrepriseChoisie->GetVille(), "Grenoble");
}

TEST_F(FicheSelectEntrepriseTest, ADoubleClickOnARowChoosesIt) {
  TFicheSelectEntreprise picker(nullptr, nullptr);
  picker.Show();
  ASSERT_TRUE(WaitForActiveWindow(picker.Widget()));
  auto* tree = static_cast<QTreeWidget*>(picker.ListView->Widget());
  const QRect row = tree->visualItemRect(tree->topLevelItem(1));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_FALSE(picker.GetVisible());
  ASSERT_TRUE(picker.EntrepriseChoisie);
  EXPECT_EQ(picker.EntrepriseChoisie->GetNom(), "Paprec");
}

TEST_F(FicheSelectEntrepriseTest, ACompanyGoneFromTheDatabaseGivesTheDefaultsWithoutAMessage) {
  TFicheSelectEntreprise picker(nullptr, nullptr);
  deleteRow("ENTREPRISE", 3);
  picker.ListView->SetSelected(picker.ListView->Items()->GetItem(0));  // Ortec
  ASSERT_TRUE(picker.EntrepriseChoisie);
  EXPECT_EQ(picker.EntrepriseChoisie->GetId(), -1);
  EXPECT_EQ(picker.EntrepriseChoisie->GetNom(), "");
  EXPECT_EQ(picker.EntrepriseChoisie->GetCP(), "0");
  EXPECT_TRUE(FUnanswered.Calls().empty());
}

}  // namespace
