// TFicheSelectEntreprise: the company picker of the quote window. The list shows every company
// of the reference table with its address and type; "Sélectionner", a double click or Enter in
// the list closes the window when a row is selected, and EntrepriseChoisie is then the company
// of that row.
//
// Ownership: the picker owns EntrepriseChoisie until the caller takes it over after the window
// has closed. Errors: database errors reach the caller; a company that has vanished gives a
// record with identifier -1 and the default texts, without a message.
#pragma once

#include <memory>

#include "quote/Tficherecupmere.h"
#include "reference/Tentreprise.h"

class TFicheSelectEntreprise : public TFicheRecupMere {
 public:
  // Preselect: the company whose row starts selected, or nullptr.
  TFicheSelectEntreprise(TComponent* Owner, const TEntreprise* Preselect);

  int ComparerItems(TListItem* Item1, TListItem* Item2) override;
  void RemplirListe(const AnsiString& Cle) override;
  void ItemSelectionne(TListItem* Item, bool Selected) override;

  std::unique_ptr<TEntreprise> EntrepriseChoisie;
};
