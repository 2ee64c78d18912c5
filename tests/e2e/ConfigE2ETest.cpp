// The real program in configuration mode: a material and a company added through their dialogs
// with real input events, "Sauvegarder", and the database tool then finding the new rows with
// their new identifiers.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/e2e/ReferenceFiles.h"
#include "tests/e2e/X11Session.h"
#include "tests/support/TestSupport.h"
#include "tools/ZevToolCommands.h"

namespace {

using e2e::TProgram;

// The captions, in UTF-8.
const std::string kWindow = "Configuration de la gestion des d\xC3\xA9" "chets";
const std::string kMaterialDialog = "Nouvelle mati\xC3\xA8re";
const std::string kCompanyDialog = "Nouvelle entreprise";

// Centres of the buttons clicked, in client coordinates (group-box children from the group's
// top-left corner).
using e2e::TPoint;
constexpr TPoint kNewMaterial{16 + 51 + 75, 8 + 13 + 25};
constexpr TPoint kNewCompany{239 + 571 + 75, 8 + 13 + 25};
constexpr TPoint kSave{671 + 75, 447 + 25};
constexpr TPoint kMaterialValider{56 + 75, 51 + 25};
constexpr TPoint kCompanyValider{76 + 75, 199 + 25};

std::string dump(const std::string& Database, const char* Table) {
  std::ostringstream out;
  zevtool::TToolOptions options;
  options.Password = zevtool::kDataModulePassword;
  EXPECT_EQ(zevtool::DumpCommand(Database, Table, options, out), 0) << out.str();
  return out.str();
}

TEST(ConfigE2E, AMaterialAndACompanyAddedThroughTheDialogsAreStoredBySauvegarder) {
  testsupport::TTempDir dir;
  const std::string database = dir.File("kestrevaud.zev");
  ASSERT_NO_FATAL_FAILURE(e2e::MakeReferenceDatabase(
      dir, database,
      {{"MATIERE", "Nom\nVerre\nCarton\n"},
       {"ENTREPRISE", "Nom,Rue1,Rue2,CP,Ville,Type\nSuez,4 avenue des Fr\xC3\xAAnes,,38100,"
                      "Grenoble,Collecteur\n"}}));
  testsupport::WriteFile(dir.File("config.ini"), "[Database]\nPath=" + database + "\n");
  TProgram program(GD_PROGRAM_PATH, {"CONFIG", dir.File("config.ini")}, {"LANG=fr_FR.UTF-8"});
  const unsigned long window = e2e::WaitForWindow(kWindow);
  ASSERT_NE(window, 0u) << "the configuration window did not appear";
  e2e::Activate(window);
  EXPECT_TRUE(e2e::SaveScreenshot(window, e2e::Artefact("config-window.png")));

  e2e::ClickAt(window, kNewMaterial);
  const unsigned long material = e2e::WaitForWindow(kMaterialDialog);
  ASSERT_NE(material, 0u) << "no material dialog:\n" << e2e::WindowList();
  e2e::TypeText("Aluminium");  // the name field has the focus
  EXPECT_TRUE(e2e::SaveScreenshot(material, e2e::Artefact("material-dialog.png")));
  e2e::ClickAt(material, kMaterialValider);
  ASSERT_TRUE(e2e::WaitForNoWindow(kMaterialDialog)) << e2e::WindowList();

  e2e::ClickAt(window, kNewCompany);
  const unsigned long company = e2e::WaitForWindow(kCompanyDialog);
  ASSERT_NE(company, 0u) << "no company dialog:\n" << e2e::WindowList();
  // Name, street 1, street 2 (left empty), postal code, town, type: Tab goes from one to the next.
  e2e::TypeText("Ain Collecte");
  e2e::PressKeys("Tab");
  e2e::TypeText("1 rue du Lac");
  e2e::PressKeys("Tab Tab");
  e2e::TypeText("01000");
  e2e::PressKeys("Tab");
  e2e::TypeText("Bourg-en-Bresse");
  e2e::PressKeys("Tab");
  e2e::TypeText("Collecteur");
  EXPECT_TRUE(e2e::SaveScreenshot(company, e2e::Artefact("company-dialog.png")));
  e2e::ClickAt(company, kCompanyValider);
  ASSERT_TRUE(e2e::WaitForNoWindow(kCompanyDialog)) << e2e::WindowList();
  EXPECT_TRUE(e2e::SaveScreenshot(window, e2e::Artefact("config-window-new-rows.png")));

  e2e::ClickAt(window, kSave);
  ASSERT_EQ(program.WaitExit(), 0);
  EXPECT_EQ(dump(database, "MATIERE"), "Id,Nom\n1,Verre\n2,Carton\n3,Aluminium\n");
  EXPECT_EQ(dump(database, "ENTREPRISE"),
            "Id,Nom,Rue1,Rue2,CP,Ville,Type\n"
            "1,Suez,4 avenue des Fr\xC3\xAAnes,,38100,Grenoble,Collecteur\n"
            "2,Ain Collecte,1 rue du Lac,,01000,Bourg-en-Bresse,Collecteur\n")
      << "the postal code is kept as typed";
}

}  // namespace
