// TEntreprise: one collection company (a row of ENTREPRISE). Identifier -1 when not stored or
// not found; the postal code defaults to "0". A plain value.
// Errors: none shown (a missing company keeps the defaults); engine and data-access errors pass
// to the caller.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

class TABSTable;

class TEntreprise {
 public:
  TEntreprise() = default;
  explicit TEntreprise(int32_t Id);
  explicit TEntreprise(TABSTable* Table);

  void Charger(TABSTable* Table);
  // Edits the row of the Id when it exists, else inserts one; a record whose Id was 0 or
  // negative takes back the assigned Id.
  void Sauvegarder();

  int32_t GetId() const { return FId; }
  // The texts in the order of the windows' list cells: name, street 1, street 2, postal code,
  // town, type.
  std::vector<AnsiString> Textes() const { return {FNom, FRue1, FRue2, FCP, FVille, FType}; }
  AnsiString GetNom() const { return FNom; }
  AnsiString GetRue1() const { return FRue1; }
  AnsiString GetRue2() const { return FRue2; }
  AnsiString GetCP() const { return FCP; }
  AnsiString GetVille() const { return FVille; }
  AnsiString GetType() const { return FType; }
  void SetNom(const AnsiString& Value) { FNom = Value; }
  void SetRue1(const AnsiString& Value) { FRue1 = Value; }
  void SetRue2(const AnsiString& Value) { FRue2 = Value; }
  void SetCP(const AnsiString& Value) { FCP = Value; }
  void SetVille(const AnsiString& Value) { FVille = Value; }
  void SetType(const AnsiString& Value) { FType = Value; }

 private:
  int32_t FId = -1;
  AnsiString FNom;
  AnsiString FRue1;
  AnsiString FRue2;
  AnsiString FCP = "0";
  AnsiString FVille;
  AnsiString FType;
};
