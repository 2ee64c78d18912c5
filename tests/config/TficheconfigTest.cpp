// The configuration window: its lists, the new rows, Sauvegarder (the postal code kept as
// typed, all-or-nothing on a bad one), Annuler, the close box; and, with two processes, a
// material added here reaching a quote window already open elsewhere.
#include "config/Tficheconfig.h"

#include <QTreeWidget>
#include <filesystem>

#include "config/Tficheaddentreprise.h"
#include "config/Tficheaddmatiere.h"
#include "quote/Tfichedevis.h"
#include "quote/Tficheselectmatiere.h"
#include "shell/Application.h"
#include "tests/reference/WindowTestSupport.h"

namespace {

using namespace windowtest;

struct TNewCompany {
  const char* Nom;
  const char* CP;
};

class FicheConfigTest : public TReferenceWindowTest {
 protected:
  void SetUp() override {
    createDatabase({"verre", "Carton", "Bois"}, {"Tonne"}, {{"Suez", "Lyon"}, {"paprec", "Annecy"}});
    FModule.FermerBase();  // the window opens it on activation
    FWindow = std::make_unique<TFicheConfig>(nullptr);
    FWindow->SetCheminBase(FPath);
    FWindow->Show();
    ASSERT_TRUE(WaitForActiveWindow(FWindow->Widget()));
  }
  void TearDown() override {
    FWindow.reset();
    TReferenceWindowTest::TearDown();
  }
  void addMaterial(const char* Name) {
    WhenShownModal<TFicheAddMatiere>(FWindow.get(), [Name](TFicheAddMatiere& dialog) {
      dialog.EditNom->SetText(Name);
      QTest::mouseClick(dialog.btnValider->Widget(), Qt::LeftButton);
    });
    QTest::mouseClick(FWindow->ButtonAjouterMatiere->Widget(), Qt::LeftButton);
  }
  void addCompany(const TNewCompany& Company) {
    WhenShownModal<TFicheAddEntreprise>(FWindow.get(), [Company](TFicheAddEntreprise& dialog) {
      dialog.EditNom->SetText(Company.Nom);
      dialog.EditRue1->SetText("1 rue du Port");
      dialog.EditCodePostal->SetText(Company.CP);
      dialog.EditVille->SetText("Bourg");
      dialog.EditType->SetText("Collecteur");
      QTest::mouseClick(dialog.btnValider->Widget(), Qt::LeftButton);
    });
    QTest::mouseClick(FWindow->ButtonAjouterEntreprise->Widget(), Qt::LeftButton);
  }
  // The rows of a stored table as "Id Nom [CP]", reopened after the window closed it.
  std::vector<std::string> stored(const char* Table) {
    FModule.OuvrirBase(FPath);
    std::vector<std::string> rows;
    TABSTable* table = FModule.OuvrirTable(Table);
    for (; !table->Eof(); table->Next()) {
      std::string row = table->FieldByName("Id").AsString() + " " +
                        table->FieldByName("Nom").AsString();
      if (std::string(Table) == "ENTREPRISE") row += " " + table->FieldByName("CP").AsString();
      rows.push_back(row);
    }
    FModule.LibererTable(table);
    FModule.FermerBase();
    return rows;
  }
  void click(TButton* Button) { QTest::mouseClick(Button->Widget(), Qt::LeftButton); }

  std::unique_ptr<TFicheConfig> FWindow;
};

TEST_F(FicheConfigTest, TheWindowListsEveryRowSortedByNameOnce) {
  EXPECT_EQ(FWindow->GetCaption(), "Configuration de la gestion des d\xE9" "chets");
  EXPECT_EQ(FWindow->GetClientWidth(), 994);
  EXPECT_EQ(FWindow->GroupBoxMatiere->GetCaption(), "Matiere(s)");
  EXPECT_EQ(FWindow->GroupBoxEntreprise->GetCaption(), "Entreprise(s)");
  EXPECT_EQ(FWindow->ButtonAjouterMatiere->GetCaption(), "Nouvelle mati\xE8re");
  EXPECT_EQ(FWindow->ButtonFermer->GetCaption(), "Annuler");
  EXPECT_EQ(FWindow->ButtonSauvegarder->GetLeft(), 671);
  TListColumns* companyColumns = FWindow->ListViewEntreprise->Columns();
  ASSERT_EQ(companyColumns->GetCount(), 7);
  EXPECT_EQ(companyColumns->GetItem(0)->GetCaption(), "Id_Entreprise");
  EXPECT_EQ(companyColumns->GetItem(0)->GetMaxWidth(), 1);
  EXPECT_EQ(companyColumns->GetItem(5)->GetWidth(), 130);
  TListColumn* materialId = FWindow->ListViewMatiere->Columns()->GetItem(0);
  EXPECT_EQ(materialId->GetWidth(), 1);
  EXPECT_EQ(materialId->GetMaxWidth(), 0) << "the material key column may be widened";

  EXPECT_EQ(columnTexts(FWindow->ListViewMatiere, 1),
            (std::vector<std::string>{"Bois", "Carton", "verre"}));
  EXPECT_EQ(columnTexts(FWindow->ListViewMatiere, 0), (std::vector<std::string>{"3", "2", "1"}));
  EXPECT_EQ(columnTexts(FWindow->ListViewEntreprise, 1),
            (std::vector<std::string>{"paprec", "Suez"}));
  FWindow->FormActivate();  // activated again: nothing added
  EXPECT_EQ(FWindow->ListViewMatiere->Items()->GetCount(), 3);
}

TEST_F(FicheConfigTest, NewRowsShowMinusOneInTheirPlaceAndAreStoredOnceEachInDisplayOrder) {
  addMaterial("Acier");
  addMaterial("Papier");
  addMaterial("Papier");
  EXPECT_EQ(columnTexts(FWindow->ListViewMatiere, 1),
            (std::vector<std::string>{"Acier", "Bois", "Carton", "Papier", "Papier", "verre"}));
  EXPECT_EQ(columnTexts(FWindow->ListViewMatiere, 0).front(), "-1");
  addCompany({"Ortec", "01000"});
  addCompany({"Aaa", "+1000"});
  EXPECT_EQ(columnTexts(FWindow->ListViewEntreprise, 0),
            (std::vector<std::string>{"-1", "-1", "2", "1"}));
  EXPECT_EQ(columnTexts(FWindow->ListViewEntreprise, 4),
            (std::vector<std::string>{"+1000", "01000", "74000", "74000"}))
      << "shown as typed";
  click(FWindow->ButtonSauvegarder);
  EXPECT_FALSE(FWindow->GetVisible());
  EXPECT_TRUE(FUnanswered.Calls().empty());
  EXPECT_EQ(stored("MATIERE"), (std::vector<std::string>{"1 verre", "2 Carton", "3 Bois", "4 Acier",
                                                         "5 Papier", "6 Papier"}));
  EXPECT_EQ(stored("ENTREPRISE"), (std::vector<std::string>{"1 Suez 74000", "2 paprec 74000",
                                                            "3 Aaa 1000", "4 Ortec 01000"}))
      << "digits are kept as typed; another integer form is stored in decimal";
}

TEST_F(FicheConfigTest, ABadPostalCodeStoresNothingAndTheRowCanBeTakenOut) {
  addMaterial("Acier");
  addCompany({"Bad", "abcde"});
  addCompany({"Good", "73000"});
  TBoxes boxes;
  click(FWindow->ButtonSauvegarder);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].Kind, TMessageBoxKind::ShowException);
  EXPECT_EQ(boxes.Calls()[0].Text, "'abcde' is not a valid integer value");
  EXPECT_TRUE(FWindow->GetVisible()) << "the window stays open";
  TListItem* selected = FWindow->ListViewEntreprise->Selected();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->SubItems()->Strings(0), "Bad") << "the faulty row is shown";
  EXPECT_EQ(columnTexts(FWindow->ListViewMatiere, 0).front(), "-1") << "nothing stored";

  // Delete takes out a new row only.
  FWindow->ListViewEntreprise->SetFocus();
  QTest::keyClick(FWindow->ListViewEntreprise->Widget(), Qt::Key_Delete);
  EXPECT_EQ(FWindow->ListViewEntreprise->Items()->GetCount(), 3);
  FWindow->ListViewMatiere->SetSelected(FWindow->ListViewMatiere->Items()->GetItem(1));  // Bois
  QTest::keyClick(FWindow->ListViewMatiere->Widget(), Qt::Key_Delete);
  EXPECT_EQ(FWindow->ListViewMatiere->Items()->GetCount(), 4);

  click(FWindow->ButtonSauvegarder);
  EXPECT_FALSE(FWindow->GetVisible());
  EXPECT_EQ(stored("MATIERE").back(), "4 Acier");
  EXPECT_EQ(stored("ENTREPRISE"), (std::vector<std::string>{"1 Suez 74000", "2 paprec 74000",
                                                            "3 Good 73000"}));
}

TEST_F(FicheConfigTest, SauvegarderWithNothingNewLeavesTheFileAsItWas) {
  FWindow.reset();  // closes the database
  const std::string before = testsupport::ReadFile(FPath);
  FWindow = std::make_unique<TFicheConfig>(nullptr);
  FWindow->SetCheminBase(FPath);
  FWindow->FormActivate();
  FWindow->ButtonSauvegarderClick();
  EXPECT_FALSE(FWindow->GetVisible());
  FWindow.reset();
  EXPECT_TRUE(testsupport::ReadFile(FPath) == before) << "the file changed";
}

TEST_F(FicheConfigTest, AnnulerAsksAndOnlyYesLeavesAndTheCloseBoxStoresNothing) {
  addMaterial("Acier");
  {
    TBoxes no({IDNO});
    click(FWindow->ButtonFermer);
    ASSERT_EQ(no.Calls().size(), 1u);
    EXPECT_EQ(no.Calls()[0].Text,
              "Tout le travail effectu\xE9 ne sera pas sauvegard\xE9.\n\n Voulez-vous quitter ?");
    EXPECT_EQ(no.Calls()[0].Caption, "Attention");
    EXPECT_EQ(no.Calls()[0].Flags, MB_ICONWARNING | MB_YESNO);
    EXPECT_TRUE(FWindow->GetVisible());
    EXPECT_EQ(FWindow->ListViewMatiere->Items()->GetCount(), 4);
  }
  {
    TBoxes yes({IDYES});
    click(FWindow->ButtonFermer);
    EXPECT_FALSE(FWindow->GetVisible());
  }
  EXPECT_EQ(stored("MATIERE").size(), 3u);

  FWindow = std::make_unique<TFicheConfig>(nullptr);
  FWindow->SetCheminBase(FPath);
  FWindow->Show();
  ASSERT_TRUE(WaitForActiveWindow(FWindow->Widget()));
  addMaterial("Zinc");
  FWindow->Widget()->close();
  EXPECT_FALSE(FWindow->GetVisible());
  EXPECT_EQ(stored("MATIERE").size(), 3u);
  EXPECT_TRUE(FUnanswered.Calls().empty()) << "the close box asks nothing";
}

// --- Two processes -------------------------------------------------------------------------------

// Another instance of the module in configuration mode: adds the material Args[1] to the
// database Args[0] through the window and its dialog, saves, and says "saved".
TEST_HELPER(configurationAddsMaterial) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static char name[] = "configuration";
  static char* argv[] = {name, nullptr};
  TApplication application;
  application.Initialize(1, argv);
  TdmKestrevaud module(nullptr);
  dmKestrevaud = &module;
  {
    TFicheConfig window(nullptr);
    window.SetCheminBase(Args.at(0));
    window.FormActivate();
    const std::string material = Args.at(1);
    WhenShownModal<TFicheAddMatiere>(&window, [material](TFicheAddMatiere& dialog) {
      dialog.EditNom->SetText(material);
      dialog.btnValiderClick();
    });
    window.ButtonAjouterMatiereClick();
    window.ButtonSauvegarderClick();
  }
  dmKestrevaud = nullptr;
  ::testsupport::Signal("saved");
  return 0;
}

TEST_F(FicheConfigTest, AMaterialAddedByAnotherInstanceReachesAnOpenQuoteWindowsPicker) {
  FWindow.reset();
  const std::string input = FDir.File("entree.xml");
  testsupport::WriteFile(input, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Wej><Lignes/>"
                                "<Entreprises/><MainOeuvre Montant=\"0\"/></Wej>");
  TFicheDevis quote(nullptr);
  quote.SetCheminBase(FPath);
  quote.SetCheminEntree(input);
  quote.SetCheminSortie(FDir.File("sortie.xml"));
  quote.FormActivate();  // the database stays open in this process

  testsupport::THelperProcess configuration("configurationAddsMaterial",
                                            {FPath, "Aluminium"});
  EXPECT_EQ(configuration.ReadLine(), "saved");
  EXPECT_EQ(configuration.Wait(), 0);

  std::vector<std::string> listed;
  WhenShownModal<TFicheSelectMatiere>(&quote, [&](TFicheSelectMatiere& picker) {
    listed = columnTexts(picker.ListView, 1);
    picker.ButtonFermerClick();
  });
  quote.ButtonAjouterMatiereClick();
  EXPECT_EQ(listed, (std::vector<std::string>{"Aluminium", "Bois", "Carton", "verre"}));
}

}  // namespace
