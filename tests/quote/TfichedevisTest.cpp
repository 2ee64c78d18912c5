#include "quote/Tfichedevis.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "quote/Tficheselectentreprise.h"
#include "quote/Tficheselectmatiere.h"
#include "tests/reference/WindowTestSupport.h"

namespace {

using namespace windowtest;

const char* const kLines =
    "<Ligne IdMatiere=\"2\" Quantite=\"2,5\" IdUnite=\"1\" Cout=\"4,2\"/>"
    "<Ligne IdMatiere=\"1\" Quantite=\"1\" IdUnite=\"2\" Cout=\"4,25\"/>";

class FicheDevisTest : public TReferenceWindowTest {
 protected:
  void SetUp() override {
    createDatabase({"Verre", "Carton"}, {"Tonne", "Benne"}, {{"Suez", ""}, {"Paprec", ""}});
    FModule.FermerBase();  // the window opens it on activation
  }
  void TearDown() override {
    FWindow.reset();
    TReferenceWindowTest::TearDown();
  }
  // Writes the input file and activates a new window on it.
  void open(const std::string& Body, const char* Encoding = "ISO-8859-1") {
    testsupport::WriteFile(FInput, std::string("<?xml version=\"1.0\" encoding=\"") + Encoding +
                                       "\"?>" + Body);
    FWindow = std::make_unique<TFicheDevis>(nullptr);
    FWindow->SetCheminBase(FPath);
    FWindow->SetCheminEntree(FInput);
    FWindow->SetCheminSortie(FOutput);
    FWindow->FormActivate();
  }
  std::string output() { return testsupport::ReadFile(FOutput); }
  std::vector<std::string> names(TListView* List) { return columnTexts(List, 1); }

  std::string FInput = FDir.File("entree.xml");
  std::string FOutput = FDir.File("sortie.xml");
  std::unique_ptr<TFicheDevis> FWindow;
};

TEST_F(FicheDevisTest, TheWindowHasItsCaptionControlsAndColumns) {
  TFicheDevis window(nullptr);
  EXPECT_EQ(window.GetCaption(), "Gestion des d\xE9" "chets - Version 1.0 du 24/11/2021 ");
  EXPECT_EQ(window.GetClientWidth(), 845);
  EXPECT_EQ(window.GetClientHeight(), 562);
  EXPECT_EQ(window.ListViewMatiereSelected->Columns()->GetCount(), 7);
  EXPECT_EQ(window.ListViewMatiereSelected->Columns()->GetItem(6)->GetCaption(), "Prix Total \x80");
  EXPECT_EQ(window.ListViewMatiereSelected->Columns()->GetItem(0)->GetWidth(), 1);
  EXPECT_EQ(window.ListViewEntrepriseSelected->Columns()->GetItem(4)->GetCaption(), "Code postal");
  EXPECT_EQ(window.ButtonValider->GetLeft(), 527);
  EXPECT_FALSE(window.JvValidateEditMainOeuvre->GetTabStop());
}

TEST_F(FicheDevisTest, LoadingFillsTheSortedListsAndTheFrenchTotal) {
  open(std::string("<Wej><Lignes>") + kLines +
       "<Ligne IdMatiere=\"2\" Quantite=\"10\" IdUnite=\"1\" Cout=\"2\"/></Lignes>"
       "<Entreprises><Entreprise IdEntreprise=\"1\"/><Entreprise IdEntreprise=\"2\"/>"
       "</Entreprises><MainOeuvre Montant=\"-3\"/></Wej>");
  EXPECT_EQ(names(FWindow->ListViewMatiereSelected),
            (std::vector<std::string>{"Carton", "Carton", "Verre"}));
  EXPECT_EQ(names(FWindow->ListViewEntrepriseSelected), (std::vector<std::string>{"Paprec", "Suez"}));
  TListItem* verre = FWindow->ListViewMatiereSelected->Items()->GetItem(2);
  EXPECT_EQ(verre->GetCaption(), "1");
  EXPECT_EQ(verre->SubItems()->Strings(1), "1");
  EXPECT_EQ(verre->SubItems()->Strings(3), "Benne");
  EXPECT_EQ(verre->SubItems()->Strings(4), "4,25");
  EXPECT_EQ(verre->SubItems()->Strings(5), "4,25");
  EXPECT_EQ(FWindow->JvValidateEditMainOeuvre->GetValue(), 0) << "a negative labour becomes 0";
  // 10,5 + 4,25 + 20 + labour 0
  EXPECT_EQ(FWindow->JvValidateEditTotal->GetDisplayText(), "34,75");
  FWindow->JvValidateEditMainOeuvre->SetValue(20);
  EXPECT_EQ(FWindow->JvValidateEditTotal->GetDisplayText(), "54,75");
}

TEST_F(FicheDevisTest, ABadInputKeepsWhatWasReadAndSaysSo) {
  const struct {
    const char* Body;
    size_t Lines;
    size_t Companies;
  } cases[] = {
      {"<Wej><Lignes><Ligne IdMatiere=\"1\" Quantite=\"1\" IdUnite=\"1\" Cout=\"1\"/><!-- x -->"
       "</Lignes><Entreprises><Entreprise IdEntreprise=\"1\"/></Entreprises>"
       "<MainOeuvre Montant=\"1\"/></Wej>",
       1, 0},
      {"<Wej><Lignes><Ligne IdMatiere=\"1\" Quantite=\"1\" IdUnite=\"1\" Cout=\"1\"/>"
       "<Ligne IdMatiere=\"2\" Quantite=\"deux\" IdUnite=\"1\" Cout=\"1\"/></Lignes>"
       "<Entreprises><Entreprise IdEntreprise=\"1\"/></Entreprises></Wej>",
       1, 0},
      {"<Wej><Lignes/><Entreprises><Entreprise IdEntreprise=\"2\"/></Entreprises></Wej>", 0, 1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Body);
    TBoxes boxes;
    open(test.Body);
    EXPECT_EQ(FWindow->ListViewMatiereSelected->Items()->GetCount(), static_cast<int>(test.Lines));
    EXPECT_EQ(FWindow->ListViewEntrepriseSelected->Items()->GetCount(),
              static_cast<int>(test.Companies));
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text,
              "Le XML pass\xE9 en argument n'est pas correcte. R\xE9initialisation du contenu.");
    EXPECT_EQ(boxes.Calls()[0].Caption, "Erreur");
    EXPECT_EQ(boxes.Calls()[0].Flags, MB_ICONERROR);
    FWindow.reset();
  }
}

TEST_F(FicheDevisTest, ValiderWritesTheListsSortedByNameInLatinOne) {
  open(std::string("<Wej><Lignes>") + kLines + "</Lignes><Entreprises>"
       "<Entreprise IdEntreprise=\"1\"/><Entreprise IdEntreprise=\"2\"/></Entreprises>"
       "<MainOeuvre Montant=\"12,5\"/></Wej>");
  FWindow->ButtonValiderClick();
  const std::string bytes = output();
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u) << bytes;
  EXPECT_NE(bytes.find("<Wej><Lignes><Ligne IdMatiere=\"2\" NomMatiere=\"Carton\" Quantite=\"2,5\" "
                       "IdUnite=\"1\" NomUnite=\"Tonne\" Cout=\"4,2\"/><Ligne IdMatiere=\"1\" "
                       "NomMatiere=\"Verre\""),
            std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("<Entreprise IdEntreprise=\"2\" Nom=\"Paprec\" Rue1=\"\" Rue2=\"\" "
                       "CodePostal=\"74000\""),
            std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("<MainOeuvre Montant=\"12,5\"/>"), std::string::npos);
  EXPECT_EQ(testsupport::RunProgram("/usr/bin/xmllint", {"--noout", FOutput}, {}), 0);

  // Read back as input, the output gives the same quote.
  FWindow.reset();
  const std::string first = bytes;
  std::filesystem::copy_file(FOutput, FInput, std::filesystem::copy_options::overwrite_existing);
  FWindow = std::make_unique<TFicheDevis>(nullptr);
  FWindow->SetCheminBase(FPath);
  FWindow->SetCheminEntree(FInput);
  FWindow->SetCheminSortie(FOutput);
  FWindow->FormActivate();
  FWindow->ButtonValiderClick();
  EXPECT_EQ(output(), first);
}

TEST_F(FicheDevisTest, ValiderNeedsALineAndACompany) {
  open(std::string("<Wej><Lignes>") + kLines + "</Lignes><MainOeuvre Montant=\"1\"/></Wej>");
  TBoxes boxes;
  FWindow->ButtonValiderClick();
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].Text,
            "Veuillez renseigner au moins une mati\xE8re et une entreprise de collecte pour "
            "pouvoir sauvegarder.");
  EXPECT_EQ(boxes.Calls()[0].Caption, "El\xE9ments manquants");
  EXPECT_EQ(boxes.Calls()[0].Flags, MB_OK);
  EXPECT_FALSE(std::filesystem::exists(FOutput));
}

TEST_F(FicheDevisTest, AnnulerRestatesTheInputAndCopiesTheLabourAsItWas) {
  open(std::string("<Wej><Lignes>") + kLines +
       "</Lignes><Entreprises><Entreprise IdEntreprise=\"2\"/><Entreprise IdEntreprise=\"1\"/>"
       "</Entreprises><MainOeuvre Montant=\"12.50\"/></Wej>");
  // The point is no decimal separator in French: the read stops at "Montant", after the lists.
  ASSERT_EQ(FUnanswered.Calls().size(), 1u);
  EXPECT_EQ(FWindow->ListViewEntrepriseSelected->Items()->GetCount(), 2);
  {
    TBoxes no({IDNO});
    FWindow->ButtonAnnulerClick();
    EXPECT_FALSE(std::filesystem::exists(FOutput)) << "No keeps the window";
  }
  TBoxes yes({IDYES});
  FWindow->ButtonAnnulerClick();
  const std::string bytes = output();
  EXPECT_EQ(bytes.find("encoding"), std::string::npos);
  EXPECT_NE(bytes.find("<Lignes><Ligne IdMatiere=\"2\" NomMatiere=\"Carton\" Quantite=\"2,5\""),
            std::string::npos)
      << "input order";
  EXPECT_LT(bytes.find("Nom=\"Paprec\""), bytes.find("Nom=\"Suez\""));
  EXPECT_NE(bytes.find("<MainOeuvre Montant=\"12.50\"/>"), std::string::npos) << bytes;
}

TEST_F(FicheDevisTest, AnEmptyInputPathFailsTheLoadAndAnnulerFindsNoDocument) {
  FWindow = std::make_unique<TFicheDevis>(nullptr);
  FWindow->SetCheminBase(FPath);
  FWindow->SetCheminSortie(FOutput);
  try {
    FWindow->FormActivate();
    FAIL() << "an empty path was loaded";
  } catch (const EXMLDocError& error) {
    EXPECT_EQ(error.Message(), "Le nom de fichier ne peut pas \xEAtre vide");
  }
  EXPECT_EQ(FWindow->ListViewMatiereSelected->Items()->GetCount(), 0);
  TBoxes yes({IDYES});
  try {
    FWindow->ButtonAnnulerClick();
    FAIL() << "Annuler wrote without an input document";
  } catch (const EXMLDocError& error) {
    EXPECT_EQ(error.Message(), "Pas de document actif");
  }
  EXPECT_FALSE(std::filesystem::exists(FOutput));
}

TEST_F(FicheDevisTest, ACompanyDeletedBeforeValiderIsWrittenAsMissing) {
  open(std::string("<Wej><Lignes>") + kLines +
       "</Lignes><Entreprises><Entreprise IdEntreprise=\"1\"/></Entreprises>"
       "<MainOeuvre Montant=\"0\"/></Wej>");
  deleteRow("ENTREPRISE", 1);
  FWindow->ButtonValiderClick();
  EXPECT_NE(output().find("<Entreprise IdEntreprise=\"-1\" Nom=\"\" Rue1=\"\" Rue2=\"\" "
                          "CodePostal=\"0\" Ville=\"\" Type=\"\"/>"),
            std::string::npos)
      << output();
}

// --- The pickers, shown modally and driven as the user would -------------------------------------

// Chooses Material in the picker, sets the quantity and types the unit price or, when TotalPrice
// is given, the total price; then "Sélectionner".
void choose(TFicheSelectMatiere& Picker, const char* Material, const char* Quantity, int Unit,
            const char* UnitPrice, const char* TotalPrice = nullptr) {
  Picker.EditRechercheBis->SetText(Material);
  if (Quantity) Picker.JvValidateEditQuantite->SetText(Quantity);
  if (Unit >= 0) Picker.ComboBoxUnite->SetItemIndex(Unit);
  if (UnitPrice) Picker.JvValidateEditPrixUnitaire->SetText(UnitPrice);
  if (TotalPrice) typeInto(Picker.JvValidateEditPrixTotal, TotalPrice);
  QTest::mouseClick(Picker.ButtonSelectionner->Widget(), Qt::LeftButton);
}

std::vector<std::string> lineCells(TListItem* Item) {
  std::vector<std::string> cells{Item->GetCaption()};
  for (int i = 0; i < Item->SubItems()->GetCount(); ++i) cells.push_back(Item->SubItems()->Strings(i));
  return cells;
}

TEST_F(FicheDevisTest, AjouterPutsThePickersLineInItsSortedPlaceAndTotalsIt) {
  open(std::string("<Wej><Lignes>") + kLines + "</Lignes><Entreprises/>"
       "<MainOeuvre Montant=\"0\"/></Wej>");
  WhenShownModal<TFicheSelectMatiere>(FWindow.get(), [](TFicheSelectMatiere& picker) {
    choose(picker, "Carton", "3", 1, nullptr, "10");
  });
  QTest::mouseClick(FWindow->ButtonAjouterMatiere->Widget(), Qt::LeftButton);
  EXPECT_TRUE(FUnanswered.Calls().empty());
  TListItems* items = FWindow->ListViewMatiereSelected->Items();
  ASSERT_EQ(items->GetCount(), 3);
  EXPECT_EQ(lineCells(items->GetItem(1)),
            (std::vector<std::string>{"2", "Carton", "3", "2", "Benne", "3,33", "9,99"}));
  EXPECT_EQ(FWindow->ListViewMatiereSelected->Selected(), nullptr);
  // 10,5 + 4,25 + 9,99
  EXPECT_EQ(FWindow->JvValidateEditTotal->GetDisplayText(), "24,74");
  EXPECT_EQ((shownPicker<TFicheSelectMatiere>(FWindow.get())), nullptr);

  WhenShownModal<TFicheSelectMatiere>(FWindow.get(), [](TFicheSelectMatiere& picker) {
    choose(picker, "Verre", "0", 0, nullptr, "12");
  });
  FWindow->ButtonAjouterMatiereClick();
  ASSERT_EQ(items->GetCount(), 4);
  EXPECT_EQ(lineCells(items->GetItem(3)),
            (std::vector<std::string>{"1", "Verre", "1", "1", "Tonne", "12", "12"}));
}

TEST_F(FicheDevisTest, ModifierReplacesTheLineWithTheRoundedEntriesOrKeepsItOnFermer) {
  open("<Wej><Lignes><Ligne IdMatiere=\"1\" Quantite=\"1,125\" IdUnite=\"2\" Cout=\"4\"/>"
       "</Lignes><Entreprises/><MainOeuvre Montant=\"0\"/></Wej>");
  TListItems* items = FWindow->ListViewMatiereSelected->Items();
  FWindow->ButtonModifierMatiereClick();  // nothing selected: nothing opens
  FWindow->ListViewMatiereSelected->SetSelected(items->GetItem(0));
  std::string shownQuantity;
  WhenShownModal<TFicheSelectMatiere>(FWindow.get(), [&](TFicheSelectMatiere& picker) {
    shownQuantity = picker.JvValidateEditQuantite->GetDisplayText();
    QTest::mouseClick(picker.ButtonFermer->Widget(), Qt::LeftButton);
  });
  FWindow->ButtonModifierMatiereClick();
  EXPECT_EQ(shownQuantity, "1,13");
  ASSERT_EQ(items->GetCount(), 1);
  EXPECT_EQ(lineCells(items->GetItem(0)),
            (std::vector<std::string>{"1", "Verre", "1,125", "2", "Benne", "4", "4,5"}));

  FWindow->ListViewMatiereSelected->SetSelected(items->GetItem(0));
  WhenShownModal<TFicheSelectMatiere>(FWindow.get(), [](TFicheSelectMatiere& picker) {
    QTest::keyClick(picker.ListView->Widget(), Qt::Key_Return);
  });
  FWindow->ButtonModifierMatiereClick();
  ASSERT_EQ(items->GetCount(), 1);
  EXPECT_EQ(lineCells(items->GetItem(0)),
            (std::vector<std::string>{"1", "Verre", "1,13", "2", "Benne", "4", "4,52"}));
  EXPECT_EQ(FWindow->JvValidateEditTotal->GetDisplayText(), "4,52");
}

TEST_F(FicheDevisTest, ModifierOfALineWhoseUnitIsGoneAsksForAUnit) {
  open("<Wej><Lignes><Ligne IdMatiere=\"1\" Quantite=\"2\" IdUnite=\"2\" Cout=\"4\"/>"
       "</Lignes><Entreprises/><MainOeuvre Montant=\"0\"/></Wej>");
  deleteRow("UNITE", 2);
  FWindow->ListViewMatiereSelected->SetSelected(FWindow->ListViewMatiereSelected->Items()->GetItem(0));
  TBoxes boxes;
  int chosenUnit = 0;
  WhenShownModal<TFicheSelectMatiere>(FWindow.get(), [&](TFicheSelectMatiere& picker) {
    chosenUnit = picker.ComboBoxUnite->GetItemIndex();
    QTest::mouseClick(picker.ButtonSelectionner->Widget(), Qt::LeftButton);
    QTest::keyClick(picker.EditRechercheBis->Widget(), Qt::Key_Escape);
  });
  FWindow->ButtonModifierMatiereClick();
  EXPECT_EQ(chosenUnit, -1);
  ASSERT_EQ(boxes.Calls().size(), 2u);
  EXPECT_EQ(boxes.Calls()[0].Text, "Impossible de trouver l'unit\xE9 demand\xE9" "e !");
  EXPECT_EQ(boxes.Calls()[1].Text, "Vous devez s\xE9lectionner une unit\xE9.");
  EXPECT_EQ(lineCells(FWindow->ListViewMatiereSelected->Items()->GetItem(0))[1], "Verre");
}

TEST_F(FicheDevisTest, AjouterOfACompanyAddsThePickedOneEvenTwice) {
  open(std::string("<Wej><Lignes>") + kLines + "</Lignes><Entreprises/>"
       "<MainOeuvre Montant=\"0\"/></Wej>");
  for (int time = 0; time < 2; ++time) {
    WhenShownModal<TFicheSelectEntreprise>(FWindow.get(), [](TFicheSelectEntreprise& picker) {
      TypeText(picker.EditRechercheBis->Widget(), "SU");
      QTest::mouseClick(picker.ButtonSelectionner->Widget(), Qt::LeftButton);
    });
    QTest::mouseClick(FWindow->ButtonAjouterEntreprise->Widget(), Qt::LeftButton);
  }
  WhenShownModal<TFicheSelectEntreprise>(FWindow.get(), [](TFicheSelectEntreprise& picker) {
    TypeText(picker.EditRechercheBis->Widget(), "pap");
    QTest::keyClick(picker.ListView->Widget(), Qt::Key_Escape);
  });
  FWindow->ButtonAjouterEntrepriseClick();
  EXPECT_EQ(names(FWindow->ListViewEntrepriseSelected),
            (std::vector<std::string>{"Suez", "Suez"}));
  EXPECT_EQ(lineCells(FWindow->ListViewEntrepriseSelected->Items()->GetItem(0)),
            (std::vector<std::string>{"1", "Suez", "", "", "74000", "", ""}));
  FWindow->ButtonValiderClick();
  EXPECT_NE(output().find("<Entreprises><Entreprise IdEntreprise=\"1\" Nom=\"Suez\""),
            std::string::npos);
}

}  // namespace
