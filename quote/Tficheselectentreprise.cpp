#include "quote/Tficheselectentreprise.h"

#include <string>

#include "reference/Datamodule.h"
#include "reference/Outils.h"

TFicheSelectEntreprise::TFicheSelectEntreprise(TComponent* Owner, const TEntreprise* Preselect)
    : TFicheRecupMere(Owner) {
  SetCaption("Liste des entreprises disponibles");
  ColonneTri = 1;
  ColonneRecherche = 1;
  ColonneCle = 0;
  SetPosition(poOwnerFormCenter);
  SetClientSize(830, 560);
  ListView->SetBounds(8, 35, 810, 450);
  ButtonSelectionner->SetBounds(505, 500, 150, 50);
  ButtonFermer->SetBounds(665, 500, 150, 50);
  AjouterColonne("Id", 1, true);
  AjouterColonne("Nom", 150, true);
  AjouterColonne("Rue 1", 150, false);
  AjouterColonne("Rue 2", 150, false);
  AjouterColonne("Code postal", 70, false);
  AjouterColonne("Ville", 150, false);
  AjouterColonne("Type", 100, false);
  RemplirListe(Preselect ? AnsiString(std::to_string(Preselect->GetId())) : AnsiString());
}

int TFicheSelectEntreprise::ComparerItems(TListItem* Item1, TListItem* Item2) {
  return TFicheRecupMere::ComparerItems(Item1, Item2);
}

void TFicheSelectEntreprise::RemplirListe(const AnsiString& Cle) {
  EntrepriseChoisie.reset();
  TTablePrivee table("ENTREPRISE");
  for (; !table->Eof(); table->Next()) {
    const TEntreprise entreprise(table.Get());
    const AnsiString id = std::to_string(entreprise.GetId());
    TListItem* item = ListView->Items()->Add();
    item->SetCaption(id);
    TStrings* cells = item->SubItems();
    for (const AnsiString& text : entreprise.Textes()) cells->Add(text);
    if (id == Cle) item->SetSelected(true);
  }
  table.Liberer();
  FinRemplissage();
}

void TFicheSelectEntreprise::ItemSelectionne(TListItem* Item, bool Selected) {
  EntrepriseChoisie.reset();
  if (Selected) EntrepriseChoisie = std::make_unique<TEntreprise>(StrToInt(Item->GetCaption()));
}
