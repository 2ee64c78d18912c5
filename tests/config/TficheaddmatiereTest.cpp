// The new-material dialog: its window, the required name, Annuler and the close box.
#include "config/Tficheaddmatiere.h"

#include "tests/reference/WindowTestSupport.h"

namespace {

using windowtest::TBoxes;

TEST(FicheAddMatiereTest, TheDialogHasItsCaptionSizeAndField) {
  TFicheAddMatiere dialog(nullptr);
  EXPECT_EQ(dialog.GetCaption(), "Nouvelle mati\xE8re");
  EXPECT_EQ(dialog.GetClientWidth(), 377);
  EXPECT_EQ(dialog.GetClientHeight(), 116);
  EXPECT_EQ(dialog.StaticText1->GetCaption(), "Nom de la mati\xE8re :");
  EXPECT_EQ(dialog.EditNom->GetMaxLength(), 30);
  EXPECT_EQ(dialog.btnValider->GetLeft(), 56);
  EXPECT_EQ(dialog.btnAnnuler->GetCaption(), "Annuler");
  EXPECT_FALSE(dialog.MatiereCreee);
}

TEST(FicheAddMatiereTest, ValiderNeedsANameAndTakesItAsTyped) {
  TFicheAddMatiere dialog(nullptr);
  dialog.Show();
  {
    TBoxes boxes;
    QTest::mouseClick(dialog.btnValider->Widget(), Qt::LeftButton);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, "Vous devez renseigner un nom.");
    EXPECT_EQ(boxes.Calls()[0].Caption, "Attention");
    EXPECT_EQ(boxes.Calls()[0].Flags, MB_ICONWARNING);
    EXPECT_TRUE(dialog.GetVisible());
    EXPECT_FALSE(dialog.MatiereCreee);
  }
  dialog.EditNom->SetText(" ");
  dialog.btnValiderClick();
  EXPECT_FALSE(dialog.GetVisible());
  ASSERT_TRUE(dialog.MatiereCreee);
  EXPECT_EQ(dialog.MatiereCreee->GetNom(), " ") << "a blank is a name";
  EXPECT_EQ(dialog.MatiereCreee->GetId(), -1);
}

TEST(FicheAddMatiereTest, AnnulerAndTheCloseBoxGiveNoMaterial) {
  for (bool closeBox : {false, true}) {
    TFicheAddMatiere dialog(nullptr);
    dialog.Show();
    {
      TBoxes boxes;
      dialog.btnValiderClick();  // refused
    }
    dialog.EditNom->SetText("Verre");
    if (closeBox)
      dialog.Widget()->close();
    else
      dialog.btnAnnulerClick();
    EXPECT_FALSE(dialog.GetVisible());
    EXPECT_FALSE(dialog.MatiereCreee);
  }
}

}  // namespace
