#include "config/Tficheaddentreprise.h"

#include "config/DialogSupport.h"
#include "shell/ControlFactory.h"

TFicheAddEntreprise::TFicheAddEntreprise(TComponent* Owner) : TForm(Owner) {
  SetUpAddDialog(*this, "Nouvelle entreprise", 397, 265);
  // The maximum lengths are those of the table's columns.
  MakeLabel(this, "Nom :", 16, 20);
  EditNom = MakeEdit(this, 90, 16, 292, 30);
  MakeLabel(this, "Rue 1 :", 16, 47);
  EditRue1 = MakeEdit(this, 90, 43, 292, 40);
  MakeLabel(this, "Rue 2 :", 16, 74);
  EditRue2 = MakeEdit(this, 90, 70, 292, 40);
  MakeLabel(this, "Code Postal :", 16, 106);
  EditCodePostal = MakeEdit(this, 90, 102, 76, 5);
  MakeLabel(this, "Ville :", 16, 133);
  EditVille = MakeEdit(this, 90, 129, 292, 40);
  MakeLabel(this, "Type :", 16, 160);
  EditType = MakeEdit(this, 90, 156, 292, 30);
  btnValider = MakeBitBtn(this, "Valider", bgValidate, 76, 199);
  btnAnnuler = MakeBitBtn(this, "Annuler", bgCancel, 232, 199);
  btnValider->OnClick = [this] { btnValiderClick(); };
  btnAnnuler->OnClick = [this] { btnAnnulerClick(); };
}

void TFicheAddEntreprise::btnValiderClick() {
  const bool complete = CheckFilled(EditNom, "Vous devez renseigner un nom.") &&
                        CheckFilled(EditRue1, "Vous devez renseigner une Rue 1.") &&
                        CheckFilled(EditCodePostal, "Vous devez renseigner un code postal.") &&
                        CheckFilled(EditVille, "Vous devez renseigner une ville.") &&
                        CheckFilled(EditType, "Vous devez renseigner un type.");
  if (!complete) return;
  EntrepriseCreee = std::make_unique<TEntreprise>();
  EntrepriseCreee->SetNom(EditNom->GetText());
  EntrepriseCreee->SetRue1(EditRue1->GetText());
  EntrepriseCreee->SetRue2(EditRue2->GetText());
  EntrepriseCreee->SetCP(EditCodePostal->GetText());
  EntrepriseCreee->SetVille(EditVille->GetText());
  EntrepriseCreee->SetType(EditType->GetText());
  Close();
}

void TFicheAddEntreprise::btnAnnulerClick() {
  EntrepriseCreee.reset();
  Close();
}
