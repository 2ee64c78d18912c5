// TFicheAddEntreprise: the modal dialog of the configuration window that prepares a new
// company. "Valider" checks name, street 1, postal code, town and type in this order (the first
// empty one shows its message and the dialog stays open; street 2 may be empty; blanks count as
// filled) and prepares a company with identifier -1 and the texts as typed; "Annuler" and the
// close box close without a company. The database is not touched; the postal code may hold any
// characters (the configuration window checks it when it stores the company).
//
// Ownership: the dialog owns EntrepriseCreee until the caller takes it over after the dialog
// has closed. Errors: none raised.
#pragma once

#include <memory>

#include "reference/Tentreprise.h"
#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/Form.h"

class TFicheAddEntreprise : public TForm {
 public:
  explicit TFicheAddEntreprise(TComponent* Owner);

  void btnValiderClick();
  void btnAnnulerClick();

  std::unique_ptr<TEntreprise> EntrepriseCreee;

  TEdit* EditNom;
  TEdit* EditRue1;
  TEdit* EditRue2;
  TEdit* EditCodePostal;
  TEdit* EditVille;
  TEdit* EditType;
  TBitBtn* btnValider;
  TBitBtn* btnAnnuler;
};
