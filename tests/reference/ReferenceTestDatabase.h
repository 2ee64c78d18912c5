// Reference-data tests: a reference database file made by the database tool (the three
// tables of the module, encrypted with the data module's password), the data module
// opened on it, and the message boxes recorded through the toolkit's seam.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVTableComponent.h"
#include "reference/Datamodule.h"
#include "shell/MessageBoxes.h"
#include "tests/support/TestSupport.h"
#include "tools/ZevToolCommands.h"

namespace referencetest {

inline void createTable(TABSDatabase& Database, const char* Name,
                        const std::vector<std::pair<const char*, int>>& TextColumns,
                        zev::TFieldType NomType = zev::ftString) {
  TABSTable table(nullptr);
  table.SetDatabaseName(Database.DatabaseName());
  table.SetTableName(Name);
  table.FieldDefs().Add("Id", zev::ftAutoInc);
  for (const auto& [column, size] : TextColumns)
    table.FieldDefs().Add(column, std::string(column) == "Nom" ? NomType : zev::ftString,
                          NomType == zev::ftString || std::string(column) != "Nom" ? size : 0);
  table.IndexDefs().Add("idxPrimaryKey", "Id", {zev::ixPrimary});
  table.CreateTable();
}

// Creates the file with ENTREPRISE, MATIERE and UNITE as the database tool makes it; with
// MATIERE's Nom of another type when asked (a damaged schema), through the components.
inline void createReferenceDatabase(const std::string& Path,
                                    zev::TFieldType MatiereNomType = zev::ftString) {
  if (MatiereNomType == zev::ftString) {
    std::ostringstream out;
    if (zevtool::CreateReferenceCommand(Path, out) != 0) throw std::runtime_error(out.str());
    return;
  }
  TABSDatabase creator(nullptr);
  creator.SetDatabaseName("ReferenceCreator");
  creator.SetDatabaseFileName(Path);
  creator.SetPassword("#Tprazmolyk47");
  creator.SetMaxConnections(1000);
  creator.CreateDatabase();
  createTable(creator, "ENTREPRISE",
              {{"Nom", 30}, {"Rue1", 40}, {"Rue2", 40}, {"CP", 5}, {"Ville", 40}, {"Type", 30}});
  createTable(creator, "MATIERE", {{"Nom", 30}}, MatiereNomType);
  createTable(creator, "UNITE", {{"Nom", 30}});
}

// Appends rows with these names to a table of the open data module.
inline void addNames(TdmKestrevaud& Module, const char* TableName,
                     const std::vector<std::string>& Names) {
  TABSTable* table = Module.OuvrirTable(TableName);
  for (const std::string& name : Names) {
    table->Append();
    table->FieldByName("Nom").SetAsString(name);
    table->Post();
  }
  Module.LibererTable(table);
}

inline int64_t rowCount(TdmKestrevaud& Module, const char* TableName) {
  TABSTable* table = Module.OuvrirTable(TableName);
  const int64_t count = table->RecordCount();
  Module.LibererTable(table);
  return count;
}

// Records every message box and answers it with its default.
class TMessageBoxRecorder {
 public:
  TMessageBoxRecorder() {
    FPrevious = SetMessageBoxHandler([this](const TMessageBoxCall& Call) {
      Calls.push_back(Call);
      return IDOK;
    });
  }
  ~TMessageBoxRecorder() { SetMessageBoxHandler(FPrevious); }
  TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
  TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

  std::vector<TMessageBoxCall> Calls;

 private:
  TMessageBoxHandler FPrevious;
};

}  // namespace referencetest
