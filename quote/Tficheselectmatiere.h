// TFicheSelectMatiere: the material picker of the quote window. The user picks a material,
// enters a quantity, chooses a unit and enters the unit price or the total price; "Sélectionner"
// checks the entries (a message for the first that fails, the window then stays open) and
// closes. After it has closed, LigneChoisie builds the quote line from the entries.
//
// The three price fields keep each other consistent: a change of the quantity or of the unit
// price sets the total to their product; a typed total sets the unit price to total / quantity
// (quantity 0 becomes 1). A reaction does not set off the reactions of the fields it sets.
//
// Ownership: the picker owns MatiereChoisie (the material of the selected row, absent when no
// row is selected); LigneChoisie gives the caller a line of its own. Errors: a material or unit
// that has vanished shows its record's message; database errors reach the caller.
#pragma once

#include <memory>

#include "quote/Tficherecupmere.h"
#include "reference/Tligne.h"
#include "reference/Tmatiere.h"
#include "shell/ComboBox.h"
#include "shell/JvValidateEdit.h"

class TFicheSelectMatiere : public TFicheRecupMere {
 public:
  // With a line (a change), starts with its material selected and its quantity, unit and unit
  // price filled in; with nullptr, everything starts empty.
  TFicheSelectMatiere(TComponent* Owner, const TLigne* Ligne);

  int ComparerItems(TListItem* Item1, TListItem* Item2) override;
  void ValiderSelection() override;
  void RemplirListe(const AnsiString& Cle) override;
  void ItemSelectionne(TListItem* Item, bool Selected) override;

  // The line built from the entries, or nullptr when a material, a quantity, a unit or a unit
  // price is missing (the picker was left without a choice).
  std::unique_ptr<TLigne> LigneChoisie();

  void JvValidateEditQuantiteChange();
  void JvValidateEditPrixUnitaireChange();
  void JvValidateEditPrixTotalChange();

  std::unique_ptr<TMatiere> MatiereChoisie;

  TLabel* LabelQuantite;
  TJvValidateEdit* JvValidateEditQuantite;
  TLabel* LabelUnite;
  TComboBox* ComboBoxUnite;
  TLabel* LabelPrixUnitaire;
  TJvValidateEdit* JvValidateEditPrixUnitaire;
  TLabel* LabelPrixTotal;
  TJvValidateEdit* JvValidateEditPrixTotal;

 private:
  void remplirUnites();
  void calculerTotal();

  int FReactionsCoupees = 0;  // > 0 while a reaction sets the other fields
};
