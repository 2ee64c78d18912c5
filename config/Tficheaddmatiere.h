// TFicheAddMatiere: the modal dialog of the configuration window that prepares a new material.
// "Valider" needs a name (else "Vous devez renseigner un nom.", the dialog staying open) and
// prepares a material with identifier -1 and the name as typed; "Annuler" and the close box
// close without a material. The database is not touched.
//
// Ownership: the dialog owns MatiereCreee until the caller takes it over after the dialog has
// closed. Errors: none raised.
#pragma once

#include <memory>

#include "reference/Tmatiere.h"
#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/Form.h"
#include "shell/Label.h"

class TFicheAddMatiere : public TForm {
 public:
  explicit TFicheAddMatiere(TComponent* Owner);

  void btnValiderClick();
  void btnAnnulerClick();

  std::unique_ptr<TMatiere> MatiereCreee;

  TStaticText* StaticText1;
  TEdit* EditNom;
  TBitBtn* btnValider;
  TBitBtn* btnAnnuler;
};
