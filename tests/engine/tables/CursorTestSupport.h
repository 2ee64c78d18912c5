// Cursor tests: a database file with the module's company table (Id autoincrement, Nom, Rue1,
// Rue2, CP, Ville, Type; idxPrimaryKey over Id with its primary key constraint, idxVille over
// Ville), sessions on it, and small helpers that write and read rows through a cursor.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVLocalSession.h"
#include "tests/engine/storage/EngineTestDatabase.h"
#include "tests/support/TestSupport.h"

namespace cursortest {

enum TCompanyField { fId, fNom, fRue1, fRue2, fCP, fVille, fType };

// Instant waits for single-process tests; short real waits, many tries, between processes.
inline zev::TABSDiskDatabaseSettings databaseSettings(bool RealWaits, int32_t PageSize = 4096) {
  zev::TABSDiskDatabaseSettings settings;
  settings.PageSize = PageSize;
  settings.MaxSessionCount = 16;
  settings.PageManagerSettings = enginetest::InstantSettings();
  if (RealWaits) {
    settings.PageManagerSettings.SleepFunction = [](uint32_t Ms) { zev::Sleep(Ms ? 1 : 0); };
    settings.PageManagerSettings.DBHeaderLockAttempts = 100000;
    settings.PageManagerSettings.ObjectIDLockAttempts = 100000;
    settings.PageManagerSettings.InternalFileLockAttempts = 100000;
  }
  return settings;
}

inline zev::TABSCursorLockBudgets lockBudgets(bool RealWaits) {
  zev::TABSCursorLockBudgets budgets;
  if (!RealWaits) return budgets;
  budgets.OpenTries = budgets.ReadTries = budgets.EditTries = budgets.PostTries =
      budgets.DeleteTries = 100000;
  budgets.RecordTries = 3;
  budgets.OpenDelayMs = budgets.ReadDelayMs = budgets.EditDelayMs = budgets.PostDelayMs =
      budgets.DeleteDelayMs = budgets.RecordDelayMs = 1;
  return budgets;
}

inline std::unique_ptr<zev::TABSLocalSession> openSession(const std::string& Path, bool MultiUser,
                                                          bool RealWaits = false) {
  auto session = std::make_unique<zev::TABSLocalSession>();
  session->SetDatabaseFileName(Path);
  session->SetDatabaseSettings(databaseSettings(RealWaits));
  session->SetLockBudgets(lockBudgets(RealWaits));
  session->SetMultiUser(MultiUser);
  session->SetConnected(true);
  return session;
}

inline void addField(zev::TABSFieldDefs& Fields, const char* Name,
                     zev::TABSAdvancedFieldType Type, int32_t Size) {
  zev::TABSFieldDef* field = Fields.AddCreated();
  field->FName = Name;
  field->SetFieldDefDataType(Type, Size);
}

// Creates the file and the company table in it.
inline void createCompanyDatabase(const std::string& Path, int32_t PageSize = 4096) {
  zev::TABSLocalSession creator;
  creator.SetDatabaseFileName(Path);
  creator.SetDatabaseSettings(databaseSettings(false, PageSize));
  creator.CreateDatabase();
  creator.SetConnected(true);
  zev::TABSFieldDefs fields;
  addField(fields, "Id", zev::aftAutoInc, 0);
  addField(fields, "Nom", zev::aftString, 30);
  addField(fields, "Rue1", zev::aftString, 40);
  addField(fields, "Rue2", zev::aftString, 40);
  addField(fields, "CP", zev::aftString, 5);
  addField(fields, "Ville", zev::aftString, 40);
  addField(fields, "Type", zev::aftString, 30);
  zev::TABSIndexDefs indexes;
  zev::TABSIndexDef* primary = indexes.AddCreated();
  primary->FName = "idxPrimaryKey";
  primary->FPrimary = primary->FUnique = true;
  primary->FIndexColumns.push_back({"Id"});
  zev::TABSIndexDef* byTown = indexes.AddCreated();
  byTown->FName = "idxVille";
  byTown->FIndexColumns.push_back({"Ville"});
  zev::TABSConstraintDefs constraints;
  zev::TABSConstraintDefPrimary* key = constraints.AddPK();
  key->FName = "PK_Companies";
  key->FIndexName = "idxPrimaryKey";
  key->Columns.push_back({"Id", -1});
  zev::TABSLocalCursor cursor(creator);
  cursor.SetTableName("Companies");
  cursor.CreateTable(fields, indexes, constraints);
}

inline void setString(zev::TABSLocalCursor& Cursor, int FieldNo, const std::string& Value) {
  zev::TABSVariant value;
  value.SetAsAnsiString(Value);
  Cursor.FieldAccess().SetFieldValue(value, FieldNo, Cursor.CurrentRecordBuffer());
}

inline std::string getString(zev::TABSLocalCursor& Cursor, int FieldNo) {
  zev::TABSVariant value;
  Cursor.FieldAccess().GetFieldValue(value, FieldNo, Cursor.CurrentRecordBuffer());
  return value.IsNull() ? "<null>" : value.AsAnsiString();
}

inline int32_t getId(zev::TABSLocalCursor& Cursor) {
  zev::TABSVariant value;
  Cursor.FieldAccess().GetFieldValue(value, fId, Cursor.CurrentRecordBuffer());
  return value.IsNull() ? -1 : value.AsInteger();
}

// Posts a new company (Id from the sequence unless given); answers the cursor's error code.
inline int32_t insertCompany(zev::TABSLocalCursor& Cursor, const std::string& Nom,
                             const std::string& Ville = "Lyon", int32_t Id = -1) {
  Cursor.InternalInitRecord(Cursor.CurrentRecordBuffer(), true);
  if (Id >= 0) {
    zev::TABSVariant id;
    id.SetAsInteger(Id);
    Cursor.FieldAccess().SetFieldValue(id, fId, Cursor.CurrentRecordBuffer());
  }
  setString(Cursor, fNom, Nom);
  setString(Cursor, fVille, Ville);
  Cursor.InternalInsert();
  Cursor.InternalPost(true);
  return Cursor.ErrorCode();
}

// Positions the cursor (on idxPrimaryKey) on the company with that Id.
inline bool findCompany(zev::TABSLocalCursor& Cursor, int32_t Id) {
  Cursor.InternalInitKeyBuffer();
  zev::TABSVariant id;
  id.SetAsInteger(Id);
  Cursor.FieldAccess().SetFieldValue(id, fId, Cursor.KeyBuffer());
  Cursor.SetKeyFieldCount(1);
  return Cursor.FindKey(zev::scEqual);
}

// The Ids met walking the cursor's order from the first row.
inline std::vector<int32_t> walkIds(zev::TABSLocalCursor& Cursor) {
  std::vector<int32_t> ids;
  Cursor.InternalFirst();
  while (Cursor.GetRecordBuffer(zev::grmNext) == zev::grrOK) ids.push_back(getId(Cursor));
  return ids;
}

inline std::unique_ptr<zev::TABSLocalCursor> openCompanies(zev::TABSLocalSession& Session,
                                                           const char* IndexName = "idxPrimaryKey") {
  auto cursor = std::make_unique<zev::TABSLocalCursor>(Session);
  cursor->SetTableName("Companies");
  cursor->OpenTable();
  cursor->SetIndexName(IndexName);
  return cursor;
}

}  // namespace cursortest
