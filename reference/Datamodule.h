// TdmKestrevaud: the data module of the module. It owns the connection to the reference
// database (dbKestrevaud) and the three design-time tables with their persistent fields, and
// offers the few operations through which the records and windows reach the data: open and
// close the database, hand out a private table on one of the three tables, seek a row by key,
// and give a private table back.
//
// Ownership: the data module owns its components and every private table it hands out (until
// it goes itself). Created by start-up before the main window, owned by the application
// object, and reached through the global pointer dmKestrevaud for the life of the process.
// Errors: an EABSEngineError of opening or closing the database is shown with ShowMessage;
// every other error passes to the caller.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "engine/tables/Component.h"
#include "engine/tables/Field.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVTableComponent.h"

// A key value of ChercherCle: an integer or a single-byte text.
using TCleValeur = std::variant<int32_t, AnsiString>;

class TdmKestrevaud : public TDataModule {
 public:
  explicit TdmKestrevaud(TComponent* Owner);
  ~TdmKestrevaud() override;

  // Opens the database at Path and the three design-time tables (those not active yet).
  void OuvrirBase(const AnsiString& Path);
  // Closes the design-time tables, then the database.
  void FermerBase();
  // A new private table on "ENTREPRISE", "MATIERE" or "UNITE" (exact case), open and on its
  // first row in idxPrimaryKey order; nullptr for any other name.
  TABSTable* OuvrirTable(const AnsiString& TableName);
  // Seeks the row of that key (values in the order of the index fields); true when found, the
  // table then standing on it.
  bool ChercherCle(TABSTable* Table, int Count, const std::vector<TCleValeur>& Valeurs);
  // Cancels the table's range and closes it (nothing for nullptr).
  void LibererTable(TABSTable* Table);

  TABSDatabase* dbKestrevaud;
  TABSTable* tblEntreprise;
  TABSTable* tblMatiere;
  TABSTable* tblUnite;
  // The persistent fields of the design-time tables.
  zev::TAutoIncField* tblEntrepriseId;
  zev::TStringField* tblEntrepriseNom;
  zev::TStringField* tblEntrepriseRue1;
  zev::TStringField* tblEntrepriseRue2;
  zev::TStringField* tblEntrepriseCP;
  zev::TStringField* tblEntrepriseVille;
  zev::TStringField* tblEntrepriseType;
  zev::TAutoIncField* tblMatiereId;
  zev::TStringField* tblMatiereNom;
  zev::TAutoIncField* tblUniteId;
  zev::TStringField* tblUniteNom;
};

// Set by start-up when the application creates the data module; a link, never owned here.
extern TdmKestrevaud* dmKestrevaud;

// A private table of the data module, given back when the guard goes: Liberer() gives it back
// and lets its errors through; the destructor gives back a table not yet released, silently
// (an error is already on its way).
class TTablePrivee {
 public:
  explicit TTablePrivee(const AnsiString& TableName)
      : FTable(dmKestrevaud->OuvrirTable(TableName)) {}
  ~TTablePrivee() {
    try {
      Liberer();
    } catch (...) {
    }
  }
  TTablePrivee(const TTablePrivee&) = delete;
  TTablePrivee& operator=(const TTablePrivee&) = delete;

  TABSTable* operator->() const { return FTable; }
  TABSTable* Get() const { return FTable; }
  void Liberer() {
    TABSTable* table = FTable;
    FTable = nullptr;
    if (table) dmKestrevaud->LibererTable(table);
  }

 private:
  TABSTable* FTable;
};
