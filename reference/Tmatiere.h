// TMatiere: one waste material (a row of MATIERE): its identifier (-1 when not stored or not
// found) and its name. A plain value; it reaches the database only through the data module
// (a private table for each look-up or store).
// Errors: a missing material shows "Impossible de trouver la matière demandée !" (caption
// "ERREUR", error icon); engine and data-access errors pass to the caller.
#pragma once

#include <cstdint>

#include "engine/storage/ZEVCodePage.h"

class TABSTable;

class TMatiere {
 public:
  TMatiere() = default;
  // Looks the material up; when missing shows the message and stays at the defaults.
  explicit TMatiere(int32_t Id);
  // A new material of that name (Id -1), not looked up.
  explicit TMatiere(const AnsiString& Nom);
  // From the table's current row.
  explicit TMatiere(TABSTable* Table);

  void Charger(TABSTable* Table);
  // Inserts (Id <= 0, taking back the assigned Id) or updates the row of a positive Id (a
  // vanished one is inserted as a new row, the record keeping its Id).
  void Sauvegarder();

  int32_t GetId() const { return FId; }
  AnsiString GetNom() const { return FNom; }

 private:
  int32_t FId = -1;
  AnsiString FNom;
};
