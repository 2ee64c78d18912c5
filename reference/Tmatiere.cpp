#include "reference/Tmatiere.h"

#include "reference/Datamodule.h"
#include "shell/MessageBoxes.h"

TMatiere::TMatiere(int32_t Id) {
  TABSTable* table = dmKestrevaud->OuvrirTable("MATIERE");
  if (dmKestrevaud->ChercherCle(table, 1, {Id}))
    Charger(table);
  else
    MessageBoxA(nullptr, "Impossible de trouver la mati\xE8re demand\xE9" "e !", "ERREUR", MB_ICONERROR);
  dmKestrevaud->LibererTable(table);
}

TMatiere::TMatiere(const AnsiString& Nom) : FNom(Nom) {}

TMatiere::TMatiere(TABSTable* Table) { Charger(Table); }

void TMatiere::Charger(TABSTable* Table) {
  FId = Table->FieldByName("Id").AsInteger();
  FNom = Table->FieldByName("Nom").AsString();
}

void TMatiere::Sauvegarder() {
  TABSTable* table = dmKestrevaud->OuvrirTable("MATIERE");
  if (FId > 0 && dmKestrevaud->ChercherCle(table, 1, {FId}))
    table->Edit();
  else
    table->Insert();
  table->FieldByName("Nom").SetAsString(FNom);
  table->Post();
  if (FId <= 0) FId = table->FieldByName("Id").AsInteger();
  dmKestrevaud->LibererTable(table);
}
