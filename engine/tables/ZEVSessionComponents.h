// The session components: TABSSessionList, the process's one list of sessions, which starts
// with the default session "Default", and TABSSession, which groups database components by
// name and opens them for the datasets that name them (creating a temporary database component
// when none has the name).
//
// Ownership: the list owns the default session and links to the others (their owners register
// and unregister them); a session owns the temporary database components it creates and links
// to the others. Locking: one process-wide re-entrant lock (LockSession / UnlockSession) guards
// session activation, the database lists and database opening.
// Errors: EABSException 20002; EDatabaseError "Session name missing", "Duplicate session name
// '%s'", "Cannot perform this operation on an active session".
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/tables/Component.h"

class TABSDatabase;

enum TABSDatabaseEvent { dbOpen, dbClose, dbAdd, dbRemove };

class TABSSession : public TComponent {
 public:
  explicit TABSSession(TComponent* Owner = nullptr);
  ~TABSSession() override;

  bool Active() const { return FActive; }
  void SetActive(bool Active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  const AnsiString& SessionName() const { return FSessionName; }
  void SetSessionName(const AnsiString& Name);
  bool KeepConnections() const { return FKeepConnections; }
  void SetKeepConnections(bool Keep) { FKeepConnections = Keep; }
  bool IsDefault() const { return FDefault; }

  // The database components of the session, by name ignoring case (nullptr when none).
  TABSDatabase* FindDatabase(const AnsiString& DatabaseName) const;
  // For a dataset: the component of that name (one of Owner's with HandleShared first), or a
  // temporary one made for it, opened, its reference count raised.
  TABSDatabase& OpenDatabase(const AnsiString& DatabaseName, const TComponent* Owner = nullptr);
  // Lowers the reference count; at 0 without KeepConnection a temporary database goes, another
  // closes.
  void CloseDatabase(TABSDatabase& Database);
  void GetDatabaseNames(std::vector<AnsiString>& List) const;  // sorted
  void GetTableNames(const AnsiString& DatabaseName, std::vector<AnsiString>& List);
  // Destroys the temporary databases no dataset holds.
  void DropConnections();
  void LockSession();
  void UnlockSession();

  std::function<void(TABSSession&)> OnStartup;
  std::function<void(TABSDatabaseEvent, TABSDatabase&)> OnDBNotify;

  // Called by the database components.
  void AddDatabase(TABSDatabase& Database);
  void RemoveDatabase(TABSDatabase& Database);
  void Notify(TABSDatabaseEvent Event, TABSDatabase& Database);
  const std::vector<TABSDatabase*>& Databases() const { return FDatabases; }

 private:
  friend class TABSSessionList;
  void destroyTemporary(TABSDatabase& Database);

  std::vector<TABSDatabase*> FDatabases;
  bool FActive = false;
  bool FKeepConnections = true;
  bool FDefault = false;
  AnsiString FSessionName;
};

class TABSSessionList {
 public:
  // The process's list, made with its default session on first use.
  static TABSSessionList& Instance();

  // Ignoring case; "" is the default session; nullptr when no session has the name.
  TABSSession* FindSession(const AnsiString& SessionName) const;
  // As FindSession; 20002 "Invalid session name '%s'" when none.
  TABSSession& GetSessionByName(const AnsiString& SessionName) const;
  // Finds or creates the session, then activates it.
  TABSSession& OpenSession(const AnsiString& SessionName);
  void GetSessionNames(std::vector<AnsiString>& List) const;
  int Count() const { return static_cast<int>(FSessions.size()); }
  TABSSession& DefaultSession() const { return *FDefaultSession; }
  TABSSession& CurrentSession() const { return *FCurrentSession; }
  std::recursive_mutex& Lock() { return FLock; }

  void Add(TABSSession& Session);
  void Remove(TABSSession& Session);

 private:
  TABSSessionList();

  std::vector<TABSSession*> FSessions;
  std::vector<std::unique_ptr<TABSSession>> FOwnedSessions;
  TABSSession* FDefaultSession = nullptr;
  TABSSession* FCurrentSession = nullptr;
  mutable std::recursive_mutex FLock;
};

// The process's session list and its default session.
TABSSessionList& Sessions();
TABSSession& Session();
