// The real program in quote mode, as the host runs it: a real configuration file, reference
// database and input quote; the quote window and its pickers driven with real input events
// under a window manager; the output file compared with the expected one.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/ReferenceFiles.h"
#include "tests/e2e/X11Session.h"
#include "tests/support/TestSupport.h"

namespace {

using e2e::TProgram;

const std::string kProgram = GD_PROGRAM_PATH;

// The window captions, in UTF-8.
const std::string kQuoteCaption = "Gestion des d\xC3\xA9" "chets - Version 1.0 du 24/11/2021 ";
const std::string kMaterialPicker = "Liste des mati\xC3\xA8res disponibles";
const std::string kCompanyPicker = "Liste des entreprises disponibles";

// Client positions of the controls clicked (their centres).
using e2e::TPoint;
// Quote window; group-box children are placed from the group's top-left corner.
constexpr TPoint kAddMaterial{8 + 15 + 75, 8 + 3 + 25};
constexpr TPoint kAddCompany{8 + 14 + 75, 259 + 3 + 25};
constexpr TPoint kValidate{527 + 75, 505 + 25};
constexpr TPoint kCancel{684 + 75, 505 + 25};
// Material picker.
constexpr TPoint kSearchField{69 + 158, 8 + 10};
constexpr TPoint kQuantityField{67 + 28, 445 + 10};
constexpr TPoint kUnitDropDown{67 + 48, 472 + 10};
constexpr TPoint kUnitPriceField{309 + 34, 445 + 10};
constexpr TPoint kSelect{79 + 75, 500 + 25};

// Reference rows; the identifiers follow the order of the rows (1, 2, ...).
const char* const kMaterials =
    "Nom\n"
    "Papier de bureau\n"            // 1
    "Carton\n"                      // 2
    "Bois brut\n"                   // 3
    "Carton ondul\xC3\xA9\n"        // 4
    "D\xC3\xA9" "chets verts\n";    // 5
const char* const kUnits =
    "Nom\n"
    "Tonne\n"         // 1
    "kg\n"            // 2
    "m\xC2\xB3\n"     // 3
    "Litre\n";        // 4
const char* const kCompanies =
    "Nom,Rue1,Rue2,CP,Ville,Type\n"
    "Paprec Savoie,Zone artisanale des Marais,B\xC3\xA2timent B,73000,Chamb\xC3\xA9ry,Recycleur\n"
    "Sud Tri,2 rue du Port,,13002,Marseille,Collecteur\n"
    "Dupont & Fils,12 rue de l'Industrie,,69120,Vaulx-en-Velin,Collecteur\n"
    "Suez Recyclage Alpes,4 avenue des Fr\xC3\xAAnes,Lot 7,38100,Grenoble,Collecteur\n";

// The host's quote (ISO-8859-1): lines out of name order, numbers as the host writes them.
const std::string kInput =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<Wej><Lignes>"
    "<Ligne IdMatiere=\"1\" Quantite=\"2,50\" IdUnite=\"1\" Cout=\"85\"/>"
    "<Ligne IdMatiere=\"3\" Quantite=\"12\" IdUnite=\"4\" Cout=\"0,45\"/>"
    "</Lignes><Entreprises>"
    "<Entreprise IdEntreprise=\"3\"/><Entreprise IdEntreprise=\"1\"/>"
    "</Entreprises><MainOeuvre Montant=\"95,50\"/></Wej>";

// Output pieces in ISO-8859-1, as the window writes them: names from the database, numbers in
// their general form.
const std::string kPaperLine =
    "<Ligne IdMatiere=\"1\" NomMatiere=\"Papier de bureau\" Quantite=\"2,5\" IdUnite=\"1\" "
    "NomUnite=\"Tonne\" Cout=\"85\"/>";
const std::string kWoodLine =
    "<Ligne IdMatiere=\"3\" NomMatiere=\"Bois brut\" Quantite=\"12\" IdUnite=\"4\" "
    "NomUnite=\"Litre\" Cout=\"0,45\"/>";
const std::string kDupont =
    "<Entreprise IdEntreprise=\"3\" Nom=\"Dupont &amp; Fils\" Rue1=\"12 rue de l'Industrie\" "
    "Rue2=\"\" CodePostal=\"69120\" Ville=\"Vaulx-en-Velin\" Type=\"Collecteur\"/>";
const std::string kPaprecLatin1 =
    "<Entreprise IdEntreprise=\"1\" Nom=\"Paprec Savoie\" Rue1=\"Zone artisanale des Marais\" "
    "Rue2=\"B\xE2timent B\" CodePostal=\"73000\" Ville=\"Chamb\xE9ry\" Type=\"Recycleur\"/>";

const std::string kLatin1Declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

std::string validatedOutput(const std::string& Lines, const std::string& Companies) {
  return kLatin1Declaration + "<Wej><Lignes>" + Lines + "</Lignes><Entreprises>" + Companies +
         "</Entreprises><MainOeuvre Montant=\"95,5\"/></Wej>\n";
}

// A new quote line as the user enters it in the material picker.
struct TNewLine {
  std::string SearchPrefix;
  std::string Quantity;
  std::string UnitKey;  // the key that picks the unit in the open drop-down list
  std::string UnitPrice;
};

// "Carton ondul\xE9", 3,5 m\xB3 at 12,75: "carton" alone would pick "Carton".
const TNewLine kCorrugated{"carton o", "3,5", "m", "12,75"};
const std::string kCorrugatedLine =
    "<Ligne IdMatiere=\"4\" NomMatiere=\"Carton ondul\xE9\" Quantite=\"3,5\" IdUnite=\"3\" "
    "NomUnite=\"m\xB3\" Cout=\"12,75\"/>";

class QuoteE2E : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(e2e::MakeReferenceDatabase(
        FDir, FDir.File("kestrevaud.zev"),
        {{"MATIERE", kMaterials}, {"UNITE", kUnits}, {"ENTREPRISE", kCompanies}}));
    testsupport::WriteFile(FDir.File("entree.xml"), kInput);
    testsupport::WriteFile(FDir.File("devis.ini"), "[Database]\nPath=" +
                                                       FDir.File("kestrevaud.zev") +
                                                       "\n[Xml]\nInPath=" +
                                                       FDir.File("entree.xml") +
                                                       "\nOutPath=" + Output() + "\n");
  }

  // Starts the program and waits for its quote window, activated (which loads the quote).
  void Start(const std::vector<std::string>& ExtraEnv = {}) {
    std::vector<std::string> env = {"LANG=fr_FR.UTF-8"};
    env.insert(env.end(), ExtraEnv.begin(), ExtraEnv.end());
    FProgram = std::make_unique<TProgram>(kProgram,
                                          std::vector<std::string>{"DEVIS", FDir.File("devis.ini")},
                                          env);
    FWindow = e2e::WaitForWindow(kQuoteCaption);
    ASSERT_NE(FWindow, 0u) << "the quote window did not appear";
    e2e::Activate(FWindow);
  }

  // Adds a line through the material picker and its "S\xE9lectionner".
  void AddLine(const TNewLine& Line, const std::string& Screenshot = "") {
    e2e::ClickAt(FWindow, kAddMaterial);
    const unsigned long picker = e2e::WaitForWindow(kMaterialPicker);
    ASSERT_NE(picker, 0u) << "no material picker:\n" << e2e::WindowList();
    // The search field has the focus when the picker opens: the prefix goes straight to it.
    // (Typed into the list instead, it would select nothing: the list searches the hidden
    // identifier column.)
    e2e::TypeText(Line.SearchPrefix);
    e2e::ClickAt(picker, kQuantityField);
    e2e::TypeText(Line.Quantity);
    e2e::ClickAt(picker, kUnitDropDown);
    e2e::TypeText(Line.UnitKey);
    e2e::PressKeys("Return");
    // The unit price starts at 0,00; clicking into it selects that text, which typing replaces.
    e2e::ClickAt(picker, kUnitPriceField);
    e2e::TypeText(Line.UnitPrice);
    if (!Screenshot.empty()) {
      EXPECT_TRUE(e2e::SaveScreenshot(picker, e2e::Artefact(Screenshot)));
    }
    e2e::ClickAt(picker, kSelect);
    ASSERT_TRUE(e2e::WaitForNoWindow(kMaterialPicker))
        << "the picker refused the entries:\n" << e2e::WindowList();
  }

  // Adds a company through the company picker: the prefix in the search field, then Enter
  // (into the list, on the row found) and Enter again (the choice).
  void AddCompany(const std::string& SearchPrefix, const std::string& Screenshot = "") {
    e2e::ClickAt(FWindow, kAddCompany);
    const unsigned long picker = e2e::WaitForWindow(kCompanyPicker);
    ASSERT_NE(picker, 0u) << "no company picker:\n" << e2e::WindowList();
    e2e::TypeText(SearchPrefix);
    if (!Screenshot.empty()) {
      EXPECT_TRUE(e2e::SaveScreenshot(picker, e2e::Artefact(Screenshot)));
    }
    e2e::PressKeys("Return");
    e2e::PressKeys("Return");
    ASSERT_TRUE(e2e::WaitForNoWindow(kCompanyPicker))
        << "the company picker stayed open:\n" << e2e::WindowList();
  }

  std::string Output() const { return FDir.File("sortie.xml"); }
  bool OutputWritten() const { return std::filesystem::exists(Output()); }

  testsupport::TTempDir FDir;
  std::unique_ptr<TProgram> FProgram;
  unsigned long FWindow = 0;
};

TEST_F(QuoteE2E, LineAddedThroughThePickerIsWrittenByValider) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_TRUE(e2e::SaveScreenshot(FWindow, e2e::Artefact("quote-window.png")));
  ASSERT_NO_FATAL_FAILURE(AddLine(kCorrugated, "material-picker.png"));
  e2e::ClickAt(FWindow, kValidate);
  ASSERT_EQ(FProgram->WaitExit(), 0);
  EXPECT_EQ(testsupport::ReadFile(Output()),
            validatedOutput(kWoodLine + kCorrugatedLine + kPaperLine, kDupont + kPaprecLatin1));
}

TEST_F(QuoteE2E, CompanyAddedThroughThePickerIsWrittenByValider) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // "su" alone would find "Sud Tri", which sorts first.
  ASSERT_NO_FATAL_FAILURE(AddCompany("sue", "company-picker.png"));
  e2e::ClickAt(FWindow, kValidate);
  ASSERT_EQ(FProgram->WaitExit(), 0);
  const std::string suez =
      "<Entreprise IdEntreprise=\"4\" Nom=\"Suez Recyclage Alpes\" Rue1=\"4 avenue des Fr\xEAnes\" "
      "Rue2=\"Lot 7\" CodePostal=\"38100\" Ville=\"Grenoble\" Type=\"Collecteur\"/>";
  EXPECT_EQ(testsupport::ReadFile(Output()),
            validatedOutput(kWoodLine + kPaperLine, kDupont + kPaprecLatin1 + suez));
}

// "Annuler" writes the input back as it came, whatever was changed in the window: the input's
// order, the labour amount's own text, names from the database; UTF-8 without a declared
// encoding.
const std::string kRestatedInput =
    "<?xml version=\"1.0\"?>\n"
    "<Wej><Lignes>" + kPaperLine + kWoodLine + "</Lignes><Entreprises>" + kDupont +
    "<Entreprise IdEntreprise=\"1\" Nom=\"Paprec Savoie\" Rue1=\"Zone artisanale des Marais\" "
    "Rue2=\"B\xC3\xA2timent B\" CodePostal=\"73000\" Ville=\"Chamb\xC3\xA9ry\" Type=\"Recycleur\"/>"
    "</Entreprises><MainOeuvre Montant=\"95,50\"/></Wej>\n";

TEST_F(QuoteE2E, AnnulerAnsweredYesWritesTheInputBack) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(AddLine(kCorrugated));
  e2e::ClickAt(FWindow, kCancel);
  const unsigned long box = e2e::WaitForWindow("Attention");
  ASSERT_NE(box, 0u) << "no question box:\n" << e2e::WindowList();
  EXPECT_TRUE(e2e::SaveScreenshot(box, e2e::Artefact("cancel-question.png")));
  // "Oui", the first button, is the default one.
  e2e::FocusAndType(box, "Return");
  ASSERT_EQ(FProgram->WaitExit(), 0);
  EXPECT_EQ(testsupport::ReadFile(Output()), kRestatedInput);
}

TEST_F(QuoteE2E, AnnulerAnsweredNoKeepsTheWindowAndItsQuestionIsLogged) {
  const std::string log = FDir.File("boxes.log");
  ASSERT_NO_FATAL_FAILURE(
      Start({"GD_MESSAGEBOX_LOG=" + log, "GD_MESSAGEBOX_ANSWERS=IDNO,IDYES"}));
  e2e::ClickAt(FWindow, kCancel);
  EXPECT_EQ(FProgram->WaitExit(300), -1) << "the program ended on No";
  EXPECT_FALSE(OutputWritten());
  e2e::ClickAt(FWindow, kCancel);
  ASSERT_EQ(FProgram->WaitExit(), 0);
  const std::string question =
      "MessageBoxA|36|Attention|Voulez-vous quittez sans sauvegarder ?\\n\\nTous le travail sera "
      "perdu !\n";
  EXPECT_EQ(testsupport::ReadFile(log), question + question);
  EXPECT_EQ(testsupport::ReadFile(Output()), kRestatedInput);
}

TEST_F(QuoteE2E, CloseBoxEndsWithZeroAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(AddCompany("sue"));
  e2e::CloseThroughWindowManager(FWindow);
  ASSERT_EQ(FProgram->WaitExit(), 0);
  EXPECT_FALSE(OutputWritten());
}

}  // namespace
