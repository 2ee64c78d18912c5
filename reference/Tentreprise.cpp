#include "reference/Tentreprise.h"

#include "reference/Datamodule.h"

TEntreprise::TEntreprise(int32_t Id) {
  TABSTable* table = dmKestrevaud->OuvrirTable("ENTREPRISE");
  if (dmKestrevaud->ChercherCle(table, 1, {Id})) Charger(table);
  dmKestrevaud->LibererTable(table);
}

TEntreprise::TEntreprise(TABSTable* Table) { Charger(Table); }

void TEntreprise::Charger(TABSTable* Table) {
  FId = Table->FieldByName("Id").AsInteger();
  FNom = Table->FieldByName("Nom").AsString();
  FRue1 = Table->FieldByName("Rue1").AsString();
  FRue2 = Table->FieldByName("Rue2").AsString();
  FCP = Table->FieldByName("CP").AsString();
  FVille = Table->FieldByName("Ville").AsString();
  FType = Table->FieldByName("Type").AsString();
}

void TEntreprise::Sauvegarder() {
  TABSTable* table = dmKestrevaud->OuvrirTable("ENTREPRISE");
  if (dmKestrevaud->ChercherCle(table, 1, {FId}))
    table->Edit();
  else
    table->Insert();
  table->FieldByName("Nom").SetAsString(FNom);
  table->FieldByName("Rue1").SetAsString(FRue1);
  table->FieldByName("Rue2").SetAsString(FRue2);
  table->FieldByName("CP").SetAsString(FCP);
  table->FieldByName("Ville").SetAsString(FVille);
  table->FieldByName("Type").SetAsString(FType);
  table->Post();
  if (FId <= 0) FId = table->FieldByName("Id").AsInteger();
  dmKestrevaud->LibererTable(table);
}
