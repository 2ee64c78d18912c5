// TUnite: one unit of measure (a row of UNITE): identifier (-1 when not found) and name. Units
// are read-only reference data. A plain value.
// Errors: a missing unit shows "Impossible de trouver l'unité demandée !", a name not found
// "Impossible de trouver l'unité <name>" (caption "ERREUR", error icon); engine and
// data-access errors pass to the caller.
#pragma once

#include <cstdint>

#include "engine/storage/ZEVCodePage.h"

class TABSTable;

class TUnite {
 public:
  TUnite() = default;
  explicit TUnite(int32_t Id);
  // The first unit (in Id order) whose name equals Nom with only ASCII letters folded.
  explicit TUnite(const AnsiString& Nom);
  explicit TUnite(TABSTable* Table);

  void Charger(TABSTable* Table);

  int32_t GetId() const { return FId; }
  AnsiString GetNom() const { return FNom; }

 private:
  int32_t FId = -1;
  AnsiString FNom;
};
