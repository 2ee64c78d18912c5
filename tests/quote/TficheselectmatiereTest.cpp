// The material picker: its window, the three price fields kept consistent, the checks of
// "Sélectionner", the line it builds, and a line to change.
#include "quote/Tficheselectmatiere.h"

#include <QTreeWidget>

#include "tests/reference/WindowTestSupport.h"

namespace {

using namespace windowtest;

class FicheSelectMatiereTest : public TReferenceWindowTest {
 protected:
  void SetUp() override {
    createDatabase({"Verre", "Carton", "Bois"}, {"Tonne", "Benne", "kg"}, {});
  }
  // A picker on no line, shown and active.
  std::unique_ptr<TFicheSelectMatiere> shown(const TLigne* Ligne = nullptr) {
    auto picker = std::make_unique<TFicheSelectMatiere>(nullptr, Ligne);
    picker->Show();
    EXPECT_TRUE(WaitForActiveWindow(picker->Widget()));
    return picker;
  }
  static void select(TFicheSelectMatiere& Picker, const char* Name) {
    Picker.EditRechercheBis->SetText(Name);
  }
};

TEST_F(FicheSelectMatiereTest, TheWindowHasItsFieldsAndStartsEmpty) {
  TFicheSelectMatiere picker(nullptr, nullptr);
  EXPECT_EQ(picker.GetCaption(), "Liste des mati\xE8res disponibles");
  EXPECT_EQ(picker.GetClientWidth(), 396);
  EXPECT_EQ(picker.GetClientHeight(), 555);
  EXPECT_EQ(picker.ButtonSelectionner->GetTop(), 500);
  EXPECT_EQ(picker.ButtonFermer->GetLeft(), 235);
  EXPECT_EQ(picker.ListView->Columns()->GetItem(0)->GetMaxWidth(), 1);
  EXPECT_EQ(picker.ListView->Columns()->GetItem(1)->GetWidth(), 260);
  EXPECT_EQ(picker.ListView->Columns()->GetItem(1)->GetCaption(), "Nom");
  EXPECT_EQ(picker.LabelQuantite->GetCaption(), "Quantit\xE9 :");
  EXPECT_EQ(picker.LabelPrixTotal->GetCaption(), "Prix total :");
  EXPECT_TRUE(picker.JvValidateEditPrixTotal->GetFontBold());
  EXPECT_EQ(columnTexts(picker.ListView, 1), (std::vector<std::string>{"Bois", "Carton", "Verre"}));
  EXPECT_EQ(picker.ListView->Selected(), nullptr);
  EXPECT_FALSE(picker.MatiereChoisie);
  ASSERT_EQ(picker.ComboBoxUnite->Items()->GetCount(), 3);
  EXPECT_EQ(picker.ComboBoxUnite->Items()->Strings(0), "Tonne");
  EXPECT_EQ(picker.ComboBoxUnite->GetItemIndex(), -1);
  EXPECT_EQ(picker.JvValidateEditQuantite->GetDisplayText(), "");
  EXPECT_EQ(picker.JvValidateEditPrixUnitaire->GetDisplayText(), "0,00");
  EXPECT_EQ(picker.JvValidateEditPrixTotal->GetDisplayText(), "");
  for (TWinControl* skipped : {static_cast<TWinControl*>(picker.JvValidateEditQuantite),
                               static_cast<TWinControl*>(picker.ComboBoxUnite),
                               static_cast<TWinControl*>(picker.JvValidateEditPrixUnitaire),
                               static_cast<TWinControl*>(picker.JvValidateEditPrixTotal)})
    EXPECT_FALSE(skipped->GetTabStop());
  EXPECT_LT(picker.ButtonFermer->GetTabOrder(), picker.ButtonSelectionner->GetTabOrder());
}

TEST_F(FicheSelectMatiereTest, ThePriceFieldsKeepEachOtherConsistent) {
  auto picker = shown();
  typeInto(picker->JvValidateEditQuantite, "3");
  typeInto(picker->JvValidateEditPrixUnitaire, "2,5");
  EXPECT_EQ(picker->JvValidateEditPrixTotal->GetDisplayText(), "7,50");

  typeInto(picker->JvValidateEditPrixTotal, "10");
  EXPECT_EQ(picker->JvValidateEditPrixUnitaire->GetValue(), 3.33);
  EXPECT_EQ(picker->JvValidateEditPrixTotal->GetValue(), 10) << "the typed total stays as typed";
  EXPECT_EQ(picker->JvValidateEditQuantite->GetValue(), 3);

  typeInto(picker->JvValidateEditQuantite, "0");
  EXPECT_EQ(picker->JvValidateEditPrixTotal->GetValue(), 0);
  typeInto(picker->JvValidateEditPrixTotal, "12");
  EXPECT_EQ(picker->JvValidateEditQuantite->GetValue(), 1);
  EXPECT_EQ(picker->JvValidateEditPrixUnitaire->GetValue(), 12);
  picker->ListView->SetFocus();
  EXPECT_EQ(picker->JvValidateEditQuantite->GetDisplayText(), "1,00");
  EXPECT_EQ(picker->JvValidateEditPrixUnitaire->GetDisplayText(), "12,00");

  typeInto(picker->JvValidateEditPrixUnitaire, "1250");
  picker->ListView->SetFocus();
  EXPECT_EQ(picker->JvValidateEditPrixTotal->GetDisplayText(), "1\xA0" "250,00")
      << "thousands grouped in the locale's form";
}

TEST_F(FicheSelectMatiereTest, SelectionnerChecksTheEntriesInOrder) {
  const struct {
    const char* Material;
    const char* Quantity;
    int Unit;
    const char* Price;
    const char* Message;
  } cases[] = {
      {"", "2", 0, "5", "Vous devez s\xE9lectionner une mati\xE8re."},
      {"Verre", "0", 0, "5", "Vous devez renseigner une quantit\xE9 sup\xE9rieure \xE0 0."},
      {"Verre", "-2", 0, "5", "Vous devez renseigner une quantit\xE9 sup\xE9rieure \xE0 0."},
      {"Verre", "2", -1, "5", "Vous devez s\xE9lectionner une unit\xE9."},
      {"Verre", "2", 1, "0", "Vous devez renseigner un prix unitaire sup\xE9rieur \xE0 0."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    auto picker = shown();
    select(*picker, c.Material);
    picker->JvValidateEditQuantite->SetText(c.Quantity);
    picker->ComboBoxUnite->SetItemIndex(c.Unit);
    picker->JvValidateEditPrixUnitaire->SetText(c.Price);
    TBoxes boxes;
    QTest::mouseClick(picker->ButtonSelectionner->Widget(), Qt::LeftButton);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, c.Message);
    EXPECT_EQ(boxes.Calls()[0].Caption, "Attention");
    EXPECT_EQ(boxes.Calls()[0].Flags, MB_ICONWARNING);
    EXPECT_TRUE(picker->GetVisible());
  }
}

TEST_F(FicheSelectMatiereTest, AcceptedEntriesCloseThePickerAndMakeTheLine) {
  auto picker = shown();
  select(*picker, "car");
  picker->JvValidateEditQuantite->SetValue(3);
  picker->ComboBoxUnite->SetItemIndex(1);
  typeInto(picker->JvValidateEditPrixTotal, "10");
  QTest::keyClick(picker->ListView->Widget(), Qt::Key_Return);
  EXPECT_FALSE(picker->GetVisible());
  std::unique_ptr<TLigne> line = picker->LigneChoisie();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->GetMatiere().GetId(), 2);
  EXPECT_EQ(line->GetMatiere().GetNom(), "Carton");
  EXPECT_EQ(line->GetQuantite(), 3);
  EXPECT_EQ(line->GetUnite().GetId(), 2);
  EXPECT_EQ(line->GetUnite().GetNom(), "Benne");
  EXPECT_EQ(line->GetCout(), 3.33);
  EXPECT_TRUE(FUnanswered.Calls().empty());
}

TEST_F(FicheSelectMatiereTest, FermerAndEscapeGiveNoLine) {
  for (Qt::Key key : {Qt::Key_unknown, Qt::Key_Escape}) {
    auto picker = shown();
    select(*picker, "bois");
    picker->JvValidateEditQuantite->SetValue(1);
    picker->ComboBoxUnite->SetItemIndex(0);
    picker->JvValidateEditPrixUnitaire->SetValue(2);
    if (key == Qt::Key_Escape)
      QTest::keyClick(picker->EditRechercheBis->Widget(), key);
    else
      QTest::mouseClick(picker->ButtonFermer->Widget(), Qt::LeftButton);
    EXPECT_FALSE(picker->GetVisible());
    EXPECT_FALSE(picker->LigneChoisie());
  }
}

TEST_F(FicheSelectMatiereTest, ADoubleClickOnlySelects) {
  auto picker = shown();
  auto* tree = static_cast<QTreeWidget*>(picker->ListView->Widget());
  const QPoint row = tree->visualItemRect(tree->topLevelItem(2)).center();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row);
  EXPECT_TRUE(picker->GetVisible());
  ASSERT_TRUE(picker->MatiereChoisie);
  EXPECT_EQ(picker->MatiereChoisie->GetNom(), "Verre");
  EXPECT_TRUE(FUnanswered.Calls().empty());
}

TEST_F(FicheSelectMatiereTest, ALineToChangeFillsThePicker) {
  const TLigne line(TMatiere(1), 1.125, TUnite(1), 4.2);
  TFicheSelectMatiere picker(nullptr, &line);
  ASSERT_NE(picker.ListView->Selected(), nullptr);
  EXPECT_EQ(picker.ListView->Selected()->SubItems()->Strings(0), "Verre");
  ASSERT_TRUE(picker.MatiereChoisie);
  EXPECT_EQ(picker.JvValidateEditQuantite->GetDisplayText(), "1,13");
  EXPECT_EQ(picker.JvValidateEditPrixUnitaire->GetDisplayText(), "4,20");
  EXPECT_EQ(picker.JvValidateEditPrixTotal->GetDisplayText(), "4,75");  // 1,13 x 4,20
  EXPECT_EQ(picker.ComboBoxUnite->GetText(), "Tonne");

  // A unit name is found ignoring case; a line without a unit chooses none.
  const TLigne sansUnite(TMatiere(2), 1, TUnite(), 1);
  TFicheSelectMatiere none(nullptr, &sansUnite);
  EXPECT_EQ(none.ComboBoxUnite->GetItemIndex(), -1);
  const TUnite kgUnit(3);  // "kg", renamed "KG" in the table below
  TABSTable* units = FModule.OuvrirTable("UNITE");
  ASSERT_TRUE(FModule.ChercherCle(units, 1, {3}));
  units->Edit();
  units->FieldByName("Nom").SetAsString("KG");
  units->Post();
  FModule.LibererTable(units);
  const TLigne kg(TMatiere(2), 1, kgUnit, 1);
  TFicheSelectMatiere upper(nullptr, &kg);
  EXPECT_EQ(upper.ComboBoxUnite->GetText(), "KG");
}

TEST_F(FicheSelectMatiereTest, AVanishedMaterialOrUnitGivesTheirMessagesAndMinusOne) {
  TFicheSelectMatiere picker(nullptr, nullptr);
  deleteRow("MATIERE", 3);
  deleteRow("UNITE", 2);
  TBoxes boxes;
  picker.ListView->SetSelected(picker.ListView->Items()->GetItem(0));  // Bois
  picker.JvValidateEditQuantite->SetValue(2);
  picker.ComboBoxUnite->SetItemIndex(1);  // Benne
  picker.JvValidateEditPrixUnitaire->SetValue(5);
  std::unique_ptr<TLigne> line = picker.LigneChoisie();
  ASSERT_EQ(boxes.Calls().size(), 2u);
  EXPECT_EQ(boxes.Calls()[0].Text, "Impossible de trouver la mati\xE8re demand\xE9" "e !");
  EXPECT_EQ(boxes.Calls()[1].Text, "Impossible de trouver l'unit\xE9 Benne");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->GetMatiere().GetId(), -1);
  EXPECT_EQ(line->GetUnite().GetId(), -1);
  EXPECT_EQ(line->GetUnite().GetNom(), "Benne");
}

TEST_F(FicheSelectMatiereTest, F5ReadsTheUnitsAgainWithoutDuplicatesAndKeepsTheChosenOne) {
  auto picker = shown();
  select(*picker, "verre");
  picker->ComboBoxUnite->SetItemIndex(2);
  referencetest::addNames(FModule, "UNITE", {"Litre"});
  referencetest::addNames(FModule, "MATIERE", {"Acier"});
  QTest::keyClick(picker->ListView->Widget(), Qt::Key_F5);
  EXPECT_EQ(columnTexts(picker->ListView, 1),
            (std::vector<std::string>{"Acier", "Bois", "Carton", "Verre"}));
  ASSERT_TRUE(picker->MatiereChoisie);
  EXPECT_EQ(picker->MatiereChoisie->GetNom(), "Verre");
  EXPECT_EQ(picker->ComboBoxUnite->Items()->GetCount(), 4);
  EXPECT_EQ(picker->ComboBoxUnite->GetText(), "kg");
}

}  // namespace
