// The pick-list behaviour every picker shares: search as you type, Enter, Escape, sorting by a
// column and the refresh, seen through the company picker (which keeps the base's selection).
#include "quote/Tficherecupmere.h"

#include <QHeaderView>
#include <QTreeWidget>

#include "quote/Tficheselectentreprise.h"
#include "tests/reference/WindowTestSupport.h"

namespace {

using namespace windowtest;

class FicheRecupMereTest : public TReferenceWindowTest {
 protected:
  void SetUp() override {
    createDatabase({}, {},
                   {{"Suez", "Lyon"}, {"Caravane Services", "Annecy"},
                    {"Carri\xE8res du L\xE9man", "Thonon"}, {"cartonnages Savoie", "Albertville"},
                    {"Bois d'Or", "Chamb\xE9ry"}, {"Paprec", "Grenoble"}, {"Veolia", "Cluses"},
                    {"Ortec", "Bonneville"}, {"Serfim", "Sallanches"}, {"Onyx", "Rumilly"},
                    {"Derichebourg", "Vienne"}});
    FPicker = std::make_unique<TFicheSelectEntreprise>(nullptr, nullptr);
    FPicker->Show();
    ASSERT_TRUE(WaitForActiveWindow(FPicker->Widget()));
  }
  void TearDown() override {
    FPicker.reset();
    TReferenceWindowTest::TearDown();
  }
  std::string selectedName() {
    TListItem* item = FPicker->ListView->Selected();
    return item ? item->SubItems()->Strings(0) : std::string("(none)");
  }
  void search(const char* Text) { TypeText(FPicker->EditRechercheBis->Widget(), Text); }
  void clickHeader(int Column) {
    auto* tree = static_cast<QTreeWidget*>(FPicker->ListView->Widget());
    QHeaderView* header = tree->header();
    QPoint at(header->sectionViewportPosition(Column) + header->sectionSize(Column) / 2,
              header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }

  std::unique_ptr<TFicheSelectEntreprise> FPicker;
};

TEST_F(FicheRecupMereTest, TheWindowHasItsSearchFieldListAndButtons) {
  EXPECT_EQ(FPicker->StaticTextRecherche->GetCaption(), "Recherche");
  EXPECT_EQ(FPicker->EditRechercheBis->GetLeft(), 69);
  EXPECT_EQ(FPicker->EditRechercheBis->GetWidth(), 316);
  EXPECT_EQ(FPicker->ButtonSelectionner->GetCaption(), "S\xE9lectionner");
  EXPECT_EQ(FPicker->ButtonFermer->GetCaption(), "Fermer");
  EXPECT_TRUE(FPicker->GetBorderIcons().Empty());
  EXPECT_TRUE(FPicker->EditRechercheBis->Focused()) << "the search field comes first";
}

TEST_F(FicheRecupMereTest, TypingSelectsTheFirstNameWithThatPrefixAndKeepsItOtherwise) {
  search("c");
  EXPECT_EQ(selectedName(), "Caravane Services");
  search("AR");
  EXPECT_EQ(selectedName(), "Caravane Services");
  search("t");
  EXPECT_EQ(selectedName(), "cartonnages Savoie") << "letter case does not count";
  ASSERT_TRUE(FPicker->EntrepriseChoisie);
  EXPECT_EQ(FPicker->EntrepriseChoisie->GetVille(), "Albertville");
  search("z");
  EXPECT_EQ(selectedName(), "cartonnages Savoie") << "no match keeps the selection";
  FPicker->EditRechercheBis->Clear();
  EXPECT_EQ(selectedName(), "cartonnages Savoie") << "an empty search keeps the selection";
  FPicker->EditRechercheBis->SetText("cartonnages Savoie et environs");
  EXPECT_EQ(selectedName(), "cartonnages Savoie");
  FPicker->EditRechercheBis->SetText("ries");
  EXPECT_EQ(selectedName(), "cartonnages Savoie") << "only the start of a name counts";
  EXPECT_EQ(FPicker->ListView->Selected()->GetFocused(), true);
}

TEST_F(FicheRecupMereTest, EnterInTheSearchFieldSelectsTheFirstRowAndASecondEnterChooses) {
  ASSERT_EQ(FPicker->ListView->Selected(), nullptr);
  QTest::keyClick(FPicker->EditRechercheBis->Widget(), Qt::Key_Return);
  EXPECT_EQ(selectedName(), "Bois d'Or");
  EXPECT_TRUE(FPicker->ListView->Focused());
  EXPECT_TRUE(FPicker->GetVisible());
  QTest::keyClick(FPicker->ListView->Widget(), Qt::Key_Return);
  EXPECT_FALSE(FPicker->GetVisible());
  EXPECT_EQ(FPicker->GetModalResult(), mrOk);
  ASSERT_TRUE(FPicker->EntrepriseChoisie);
  EXPECT_EQ(FPicker->EntrepriseChoisie->GetNom(), "Bois d'Or");
}

TEST_F(FicheRecupMereTest, SelectionnerWithoutARowDoesNothing) {
  QTest::mouseClick(FPicker->ButtonSelectionner->Widget(), Qt::LeftButton);
  EXPECT_TRUE(FPicker->GetVisible());
  EXPECT_TRUE(FUnanswered.Calls().empty());
}

TEST_F(FicheRecupMereTest, EscapeFermerAndTheWindowManagerLeaveWithoutAResult) {
  for (const char* way : {"Escape", "Fermer", "close"}) {
    SCOPED_TRACE(way);
    FPicker->ListView->SetSelected(nullptr);  // a picker is made for one use: start afresh
    FPicker->Show();
    search("serf");
    ASSERT_TRUE(FPicker->EntrepriseChoisie);
    const std::string w = way;
    if (w == "Escape")
      QTest::keyClick(FPicker->ListView->Widget(), Qt::Key_Escape);
    else if (w == "Fermer")
      QTest::mouseClick(FPicker->ButtonFermer->Widget(), Qt::LeftButton);
    else
      FPicker->Widget()->close();
    EXPECT_FALSE(FPicker->GetVisible());
    EXPECT_FALSE(FPicker->EntrepriseChoisie);
    FPicker->EditRechercheBis->Clear();
  }
}

TEST_F(FicheRecupMereTest, AHeaderClickSortsByThatColumnAndTheSortedOneGoesBackToTheIdentifier) {
  EXPECT_EQ(columnTexts(FPicker->ListView, 1).front(), "Bois d'Or");
  clickHeader(1);
  EXPECT_EQ(FPicker->ColonneTri, 0);
  EXPECT_EQ(columnTexts(FPicker->ListView, 0),
            (std::vector<std::string>{"1", "10", "11", "2", "3", "4", "5", "6", "7", "8", "9"}))
      << "identifiers compare as text";
  clickHeader(1);
  EXPECT_EQ(columnTexts(FPicker->ListView, 1).front(), "Bois d'Or");
  clickHeader(5);
  const std::vector<std::string> towns = columnTexts(FPicker->ListView, 5);
  EXPECT_EQ(towns.front(), "Albertville");
  EXPECT_EQ(towns.back(), "Vienne");
  search("ser");
  EXPECT_EQ(selectedName(), "Serfim") << "the search still looks at the name";
}

TEST_F(FicheRecupMereTest, F5ReadsTheRowsAgainAndKeepsTheSelectedOne) {
  search("pap");
  TEntreprise added;
  added.SetNom("Aaa Nouvelle");
  added.Sauvegarder();
  search("t");  // a typed "t" only searches
  EXPECT_EQ(FPicker->ListView->Items()->GetCount(), 11);
  FPicker->EditRechercheBis->Clear();
  search("pap");
  QTest::keyClick(FPicker->ListView->Widget(), Qt::Key_F5);
  EXPECT_EQ(FPicker->ListView->Items()->GetCount(), 12);
  EXPECT_EQ(columnTexts(FPicker->ListView, 1).front(), "Aaa Nouvelle") << "sorted again";
  EXPECT_EQ(selectedName(), "Paprec");
  ASSERT_TRUE(FPicker->EntrepriseChoisie);
  EXPECT_EQ(FPicker->EntrepriseChoisie->GetNom(), "Paprec");
  deleteRow("ENTREPRISE", 6);
  QTest::keyClick(FPicker->EditRechercheBis->Widget(), Qt::Key_F5);
  EXPECT_EQ(FPicker->ListView->Selected(), nullptr) << "a vanished row cannot be selected again";
  EXPECT_FALSE(FPicker->EntrepriseChoisie);
}

}  // namespace
