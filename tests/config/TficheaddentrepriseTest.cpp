// The new-company dialog: its fields and limits, the checks in order, the texts as typed.
#include "config/Tficheaddentreprise.h"

#include "tests/reference/WindowTestSupport.h"

namespace {

using windowtest::TBoxes;

struct TFields {
  const char* Nom = "Suez";
  const char* Rue1 = "1 rue du Lac";
  const char* Rue2 = "";
  const char* CP = "74000";
  const char* Ville = "Annecy";
  const char* Type = "Collecteur";
};

void fill(TFicheAddEntreprise& Dialog, const TFields& F) {
  Dialog.EditNom->SetText(F.Nom);
  Dialog.EditRue1->SetText(F.Rue1);
  Dialog.EditRue2->SetText(F.Rue2);
  Dialog.EditCodePostal->SetText(F.CP);
  Dialog.EditVille->SetText(F.Ville);
  Dialog.EditType->SetText(F.Type);
}

TEST(FicheAddEntrepriseTest, TheDialogHasItsFieldsWithTheColumnLengths) {
  TFicheAddEntreprise dialog(nullptr);
  EXPECT_EQ(dialog.GetCaption(), "Nouvelle entreprise");
  EXPECT_EQ(dialog.GetClientWidth(), 397);
  EXPECT_EQ(dialog.GetClientHeight(), 265);
  const struct {
    TEdit* Field;
    int Top;
    int MaxLength;
  } fields[] = {{dialog.EditNom, 16, 30},        {dialog.EditRue1, 43, 40},
                {dialog.EditRue2, 70, 40},       {dialog.EditCodePostal, 102, 5},
                {dialog.EditVille, 129, 40},     {dialog.EditType, 156, 30}};
  int order = -1;
  for (const auto& f : fields) {
    EXPECT_EQ(f.Field->GetTop(), f.Top);
    EXPECT_EQ(f.Field->GetMaxLength(), f.MaxLength);
    EXPECT_GT(f.Field->GetTabOrder(), order) << "fields in tab order from the name down";
    order = f.Field->GetTabOrder();
  }
  EXPECT_EQ(dialog.btnValider->GetTop(), 199);
  EXPECT_EQ(dialog.btnAnnuler->GetLeft(), 232);
}

TEST(FicheAddEntrepriseTest, TheFirstEmptyRequiredFieldIsTheOnlyOneReported) {
  const struct {
    TFields Fields;
    const char* Message;
  } cases[] = {
      {{"", "", "", "", "", ""}, "Vous devez renseigner un nom."},
      {{.Rue1 = ""}, "Vous devez renseigner une Rue 1."},
      {{.CP = "", .Ville = ""}, "Vous devez renseigner un code postal."},
      {{.Ville = ""}, "Vous devez renseigner une ville."},
      {{.Type = ""}, "Vous devez renseigner un type."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    TFicheAddEntreprise dialog(nullptr);
    dialog.Show();
    fill(dialog, c.Fields);
    TBoxes boxes;
    QTest::mouseClick(dialog.btnValider->Widget(), Qt::LeftButton);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, c.Message);
    EXPECT_EQ(boxes.Calls()[0].Caption, "Attention");
    EXPECT_EQ(boxes.Calls()[0].Flags, MB_ICONWARNING);
    EXPECT_TRUE(dialog.GetVisible());
    dialog.btnAnnulerClick();
    EXPECT_FALSE(dialog.EntrepriseCreee) << "Annuler after a refused Valider";
  }
}

TEST(FicheAddEntrepriseTest, ValiderTakesTheTextsAsTypedWithAnEmptyStreetTwo) {
  TFicheAddEntreprise dialog(nullptr);
  dialog.Show();
  fill(dialog, {.Nom = " Paprec ", .CP = "abcde"});
  TBoxes boxes;
  dialog.btnValiderClick();
  EXPECT_TRUE(boxes.Calls().empty());
  EXPECT_FALSE(dialog.GetVisible());
  ASSERT_TRUE(dialog.EntrepriseCreee);
  const TEntreprise& e = *dialog.EntrepriseCreee;
  EXPECT_EQ(e.GetId(), -1);
  EXPECT_EQ(e.GetNom(), " Paprec ");
  EXPECT_EQ(e.GetRue1(), "1 rue du Lac");
  EXPECT_EQ(e.GetRue2(), "");
  EXPECT_EQ(e.GetCP(), "abcde") << "letters are for the saving to refuse";
  EXPECT_EQ(e.GetVille(), "Annecy");
  EXPECT_EQ(e.GetType(), "Collecteur");
}

TEST(FicheAddEntrepriseTest, TheCloseBoxGivesNoCompany) {
  TFicheAddEntreprise dialog(nullptr);
  dialog.Show();
  fill(dialog, {});
  dialog.Widget()->close();
  EXPECT_FALSE(dialog.GetVisible());
  EXPECT_FALSE(dialog.EntrepriseCreee);
}

}  // namespace
