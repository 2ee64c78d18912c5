#include "reference/Tunite.h"

#include "reference/Datamodule.h"
#include "shell/MessageBoxes.h"

namespace {

// Lower case of the ASCII letters only: accented capitals stay as they are.
AnsiString asciiLower(AnsiString Text) {
  for (char& c : Text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return Text;
}

}  // namespace

TUnite::TUnite(int32_t Id) {
  TABSTable* table = dmKestrevaud->OuvrirTable("UNITE");
  if (dmKestrevaud->ChercherCle(table, 1, {Id}))
    Charger(table);
  else
    MessageBoxA(nullptr, "Impossible de trouver l'unit\xE9 demand\xE9" "e !", "ERREUR", MB_ICONERROR);
  dmKestrevaud->LibererTable(table);
}

TUnite::TUnite(const AnsiString& Nom) {
  TABSTable* table = dmKestrevaud->OuvrirTable("UNITE");
  const AnsiString wanted = asciiLower(Nom);
  bool found = false;
  while (!table->Eof() && !found) {
    if (asciiLower(table->FieldByName("Nom").AsString()) == wanted) {
      Charger(table);
      found = true;
    } else {
      table->Next();
    }
  }
  dmKestrevaud->LibererTable(table);
  if (found) return;
  MessageBoxA(nullptr, ("Impossible de trouver l'unit\xE9 " + Nom).c_str(), "ERREUR", MB_ICONERROR);
  FId = -1;
  FNom = Nom;
}

TUnite::TUnite(TABSTable* Table) { Charger(Table); }

void TUnite::Charger(TABSTable* Table) {
  FId = Table->FieldByName("Id").AsInteger();
  FNom = Table->FieldByName("Nom").AsString();
}
