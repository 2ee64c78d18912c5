#include "engine/tables/ZEVSessionComponents.h"

#include <algorithm>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/DBError.h"
#include "engine/tables/ZEVDatabaseComponent.h"

using zev::DatabaseError;

namespace {

constexpr zev::errors::TNativeMessage kInvalidSessionName{20002, "Invalid session name '%s'"};

// The list while it exists; sessions register with it as they are made.
TABSSessionList* gSessionList = nullptr;

}  // namespace

// --- TABSSession --------------------------------------------------------------------------------

TABSSession::TABSSession(TComponent* Owner) : TComponent(Owner) {
  if (gSessionList) gSessionList->Add(*this);
}

TABSSession::~TABSSession() {
  try {
    SetActive(false);
  } catch (...) {
    // Closing databases at destruction must not escape.
  }
  DestroyComponents();
  if (gSessionList) gSessionList->Remove(*this);
}

void TABSSession::SetActive(bool Active) {
  std::lock_guard<std::recursive_mutex> guard(Sessions().Lock());
  if (Active == FActive) return;
  if (Active) {
    if (OnStartup) OnStartup(*this);
    if (FSessionName.empty()) DatabaseError("Session name missing", this);
    if (!FDefault) Sessions().DefaultSession().SetActive(true);
    FActive = true;
    return;
  }
  // Temporary databases go, the others close.
  for (TABSDatabase* database : std::vector<TABSDatabase*>(FDatabases)) {
    if (database->Temporary())
      destroyTemporary(*database);
    else
      database->Close();
  }
  FActive = false;
}

void TABSSession::SetSessionName(const AnsiString& Name) {
  if (Name == FSessionName) return;
  if (FActive) DatabaseError("Cannot perform this operation on an active session", this);
  if (gSessionList) {
    TABSSession* other = gSessionList->FindSession(Name);
    if (!Name.empty() && other && other != this)
      DatabaseError(zev::Format("Duplicate session name '%s'", {Name}), this);
  }
  FSessionName = Name;
}

void TABSSession::LockSession() {
  Sessions().Lock().lock();
  try {
    if (!FActive) SetActive(true);
  } catch (...) {
    Sessions().Lock().unlock();
    throw;
  }
}

void TABSSession::UnlockSession() { Sessions().Lock().unlock(); }

TABSDatabase* TABSSession::FindDatabase(const AnsiString& DatabaseName) const {
  for (TABSDatabase* database : FDatabases)
    if (zev::AnsiSameText(database->DatabaseName(), DatabaseName)) return database;
  return nullptr;
}

void TABSSession::AddDatabase(TABSDatabase& Database) {
  FDatabases.push_back(&Database);
  Notify(dbAdd, Database);
}

void TABSSession::RemoveDatabase(TABSDatabase& Database) {
  auto found = std::find(FDatabases.begin(), FDatabases.end(), &Database);
  if (found == FDatabases.end()) return;
  FDatabases.erase(found);
  Notify(dbRemove, Database);
}

void TABSSession::Notify(TABSDatabaseEvent Event, TABSDatabase& Database) {
  if (OnDBNotify) OnDBNotify(Event, Database);
}

void TABSSession::destroyTemporary(TABSDatabase& Database) {
  FreeComponent(&Database);  // temporary databases are the session's own components
}

TABSDatabase& TABSSession::OpenDatabase(const AnsiString& DatabaseName, const TComponent* Owner) {
  LockSession();
  struct TUnlock {
    TABSSession& Session;
    ~TUnlock() { Session.UnlockSession(); }
  } unlock{*this};
  TABSDatabase* database = nullptr;
  for (TABSDatabase* candidate : FDatabases)
    if (zev::AnsiSameText(candidate->DatabaseName(), DatabaseName) && candidate->HandleShared() &&
        Owner && candidate->GetOwner() == Owner)
      database = candidate;
  if (!database) database = FindDatabase(DatabaseName);
  bool created = false;
  if (!database) {
    database = MakeOwnedComponent<TABSDatabase>(this, this);
    database->SetTemporary(true);
    database->SetDatabaseName(DatabaseName);
    database->SetDatabaseFileName(DatabaseName);
    database->SetKeepConnection(FKeepConnections);
    database->SetSilentMode(true);
    created = true;
  }
  try {
    database->Open();
  } catch (...) {
    if (created) destroyTemporary(*database);
    throw;
  }
  database->AddRef();
  return *database;
}

void TABSSession::CloseDatabase(TABSDatabase& Database) {
  LockSession();
  struct TUnlock {
    TABSSession& Session;
    ~TUnlock() { Session.UnlockSession(); }
  } unlock{*this};
  if (Database.Release() > 0 || Database.KeepConnection()) return;
  if (Database.Temporary())
    destroyTemporary(Database);
  else
    Database.Close();
}

void TABSSession::GetDatabaseNames(std::vector<AnsiString>& List) const {
  List.clear();
  for (const TABSDatabase* database : FDatabases) List.push_back(database->DatabaseName());
  std::sort(List.begin(), List.end());
}

void TABSSession::GetTableNames(const AnsiString& DatabaseName, std::vector<AnsiString>& List) {
  TABSDatabase& database = OpenDatabase(DatabaseName);
  try {
    database.GetTablesList(List);
  } catch (...) {
    CloseDatabase(database);
    throw;
  }
  CloseDatabase(database);
}

void TABSSession::DropConnections() {
  for (TABSDatabase* database : std::vector<TABSDatabase*>(FDatabases))
    if (database->Temporary() && database->RefCount() == 0) destroyTemporary(*database);
}

// --- TABSSessionList ----------------------------------------------------------------------------

TABSSessionList::TABSSessionList() {
  gSessionList = this;
  FOwnedSessions.push_back(std::make_unique<TABSSession>(nullptr));
  FOwnedSessions.back()->SetSessionName("Default");
}

TABSSessionList& TABSSessionList::Instance() {
  static TABSSessionList list;
  return list;
}

void TABSSessionList::Add(TABSSession& Session) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FSessions.push_back(&Session);
  if (!FDefaultSession) {
    FDefaultSession = &Session;
    FCurrentSession = &Session;
    Session.FDefault = true;
  }
}

void TABSSessionList::Remove(TABSSession& Session) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  std::erase(FSessions, &Session);
  if (FCurrentSession == &Session) FCurrentSession = FDefaultSession;
  if (FDefaultSession == &Session) FDefaultSession = FCurrentSession = nullptr;
}

TABSSession* TABSSessionList::FindSession(const AnsiString& SessionName) const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (SessionName.empty()) return FDefaultSession;
  for (TABSSession* session : FSessions)
    if (zev::AnsiSameText(session->SessionName(), SessionName)) return session;
  return nullptr;
}

TABSSession& TABSSessionList::GetSessionByName(const AnsiString& SessionName) const {
  TABSSession* session = FindSession(SessionName);
  if (!session) zev::errors::Raise(kInvalidSessionName, {SessionName});
  return *session;
}

TABSSession& TABSSessionList::OpenSession(const AnsiString& SessionName) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  TABSSession* session = FindSession(SessionName);
  if (!session) {
    FOwnedSessions.push_back(std::make_unique<TABSSession>(nullptr));
    session = FOwnedSessions.back().get();
    session->SetSessionName(SessionName);
  }
  session->SetActive(true);
  return *session;
}

void TABSSessionList::GetSessionNames(std::vector<AnsiString>& List) const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  List.clear();
  for (const TABSSession* session : FSessions) List.push_back(session->SessionName());
}

TABSSessionList& Sessions() { return TABSSessionList::Instance(); }
TABSSession& Session() { return Sessions().DefaultSession(); }
