#include "config/Tficheaddmatiere.h"

#include "config/DialogSupport.h"
#include "shell/ControlFactory.h"

TFicheAddMatiere::TFicheAddMatiere(TComponent* Owner) : TForm(Owner) {
  SetUpAddDialog(*this, "Nouvelle mati\xE8re", 377, 116);
  StaticText1 = MakeLabel(this, "Nom de la mati\xE8re :", 16, 20);
  EditNom = MakeEdit(this, 119, 16, 243, 30);
  btnValider = MakeBitBtn(this, "Valider", bgValidate, 56, 51);
  btnAnnuler = MakeBitBtn(this, "Annuler", bgCancel, 212, 51);
  btnValider->OnClick = [this] { btnValiderClick(); };
  btnAnnuler->OnClick = [this] { btnAnnulerClick(); };
}

void TFicheAddMatiere::btnValiderClick() {
  if (!CheckFilled(EditNom, "Vous devez renseigner un nom.")) return;
  MatiereCreee = std::make_unique<TMatiere>(EditNom->GetText());
  Close();
}

void TFicheAddMatiere::btnAnnulerClick() {
  MatiereCreee.reset();
  Close();
}
