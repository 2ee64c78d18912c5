#include "quote/Tfichedevis.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "reference/Tentreprise.h"
#include "shell/FormatSettings.h"
#include "tests/reference/ReferenceTestDatabase.h"

namespace {

using namespace referencetest;

// Answers every box with Answer and keeps them.
class TBoxes {
 public:
  explicit TBoxes(int Answer = IDOK) {
    FPrevious = SetMessageBoxHandler([this, Answer](const TMessageBoxCall& Call) {
      Calls.push_back(Call);
      return Answer;
    });
  }
  ~TBoxes() { SetMessageBoxHandler(FPrevious); }
  std::vector<TMessageBoxCall> Calls;

 private:
  TMessageBoxHandler FPrevious;
};

const char* const kLines =
    "<Ligne IdMatiere=\"2\" Quantite=\"2,5\" IdUnite=\"1\" Cout=\"4,2\"/>"
    "<Ligne IdMatiere=\"1\" Quantite=\"1\" IdUnite=\"2\" Cout=\"4,25\"/>";

class FicheDevisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FormatSettings.DecimalSeparator = ',';
    createReferenceDatabase(FPath);
    dmKestrevaud = &FModule;
    FModule.OuvrirBase(FPath);
    addNames(FModule, "MATIERE", {"Verre", "Carton"});
    addNames(FModule, "UNITE", {"Tonne", "Benne"});
    for (const char* name : {"Suez", "Paprec"}) {
      TEntreprise company;
      company.SetNom(name);
      company.SetCP("74000");
      company.Sauvegarder();
    }
    FModule.FermerBase();
  }
  void TearDown() override {
    FWindow.reset();
    FModule.FermerBase();
    dmKestrevaud = nullptr;
    FormatSettings.DecimalSeparator = '.';
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
  std::vector<std::string> names(TListView* List) {
    std::vector<std::string> result;
    for (int i = 0; i < List->Items()->GetCount(); ++i)
      result.push_back(List->Items()->GetItem(i)->SubItems()->Strings(0));
    return result;
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("kestrevaud.zev");
  std::string FInput = FDir.File("entree.xml");
  std::string FOutput = FDir.File("sortie.xml");
  TdmKestrevaud FModule{nullptr};
  std::unique_ptr<TFicheDevis> FWindow;
  // No real box ever opens: every box the test does not answer itself gets its default.
  TBoxes FUnanswered;
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
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text,
              "Le XML pass\xE9 en argument n'est pas correcte. R\xE9initialisation du contenu.");
    EXPECT_EQ(boxes.Calls[0].Caption, "Erreur");
    EXPECT_EQ(boxes.Calls[0].Flags, MB_ICONERROR);
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
  ASSERT_EQ(boxes.Calls.size(), 1u);
  EXPECT_EQ(boxes.Calls[0].Text,
            "Veuillez renseigner au moins une mati\xE8re et une entreprise de collecte pour "
            "pouvoir sauvegarder.");
  EXPECT_EQ(boxes.Calls[0].Caption, "El\xE9ments manquants");
  EXPECT_EQ(boxes.Calls[0].Flags, MB_OK);
  EXPECT_FALSE(std::filesystem::exists(FOutput));
}

TEST_F(FicheDevisTest, AnnulerRestatesTheInputAndCopiesTheLabourAsItWas) {
  open(std::string("<Wej><Lignes>") + kLines +
       "</Lignes><Entreprises><Entreprise IdEntreprise=\"2\"/><Entreprise IdEntreprise=\"1\"/>"
       "</Entreprises><MainOeuvre Montant=\"12.50\"/></Wej>");
  // The point is no decimal separator in French: the read stops at "Montant", after the lists.
  ASSERT_EQ(FUnanswered.Calls.size(), 1u);
  EXPECT_EQ(FWindow->ListViewEntrepriseSelected->Items()->GetCount(), 2);
  {
    TBoxes no(IDNO);
    FWindow->ButtonAnnulerClick();
    EXPECT_FALSE(std::filesystem::exists(FOutput)) << "No keeps the window";
  }
  TBoxes yes(IDYES);
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
  TBoxes yes(IDYES);
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
  TABSTable* table = FModule.OuvrirTable("ENTREPRISE");
  ASSERT_TRUE(FModule.ChercherCle(table, 1, {1}));
  table->Delete();
  FModule.LibererTable(table);
  FWindow->ButtonValiderClick();
  EXPECT_NE(output().find("<Entreprise IdEntreprise=\"-1\" Nom=\"\" Rue1=\"\" Rue2=\"\" "
                          "CodePostal=\"0\" Ville=\"\" Type=\"\"/>"),
            std::string::npos)
      << output();
}

}  // namespace
