#include "engine/tables/ZEVDatabaseComponent.h"

#include <algorithm>
#include <filesystem>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFormat.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVEngineErrors.h"
#include "engine/tables/DBError.h"
#include "engine/tables/DataSet.h"

using zev::DatabaseError;

namespace {

constexpr int kIncorrectPassword = 30445;

class TSilentDialogs : public TABSDatabaseDialogs {
 public:
  bool AskPassword(AnsiString&) override { return false; }
  bool AskYesNo(const AnsiString&) override { return false; }
  void ShowInformation(const AnsiString&) override {}
  void ShowWarning(const AnsiString&) override {}
};

TSilentDialogs gSilentDialogs;
TABSDatabaseDialogs* gDialogs = &gSilentDialogs;

bool fileExists(const AnsiString& FileName) {
  std::error_code error;
  return std::filesystem::is_regular_file(zev::Utf8FromAnsi(FileName), error);
}

}  // namespace

void SetDatabaseDialogs(TABSDatabaseDialogs* Dialogs) {
  gDialogs = Dialogs ? Dialogs : &gSilentDialogs;
}

TABSDatabaseDialogs& DatabaseDialogs() { return *gDialogs; }

TABSDatabase::TABSDatabase(TComponent* Owner, TABSSession* Session)
    : TComponent(Owner), LSession(Session ? Session : &::Session()) {
  LSession->AddDatabase(*this);
}

TABSDatabase::~TABSDatabase() {
  try {
    Close();
  } catch (...) {
    // The file's locks go with the connection object, which goes in any case.
  }
  LSession->RemoveDatabase(*this);
}

AnsiString TABSDatabase::SessionName() const { return LSession->SessionName(); }

void TABSDatabase::SetSessionName(const AnsiString& SessionName) {
  TABSSession& session = Sessions().GetSessionByName(SessionName);
  if (&session == LSession) return;
  if (Connected()) DatabaseError("Cannot perform this operation on an open database", this);
  checkUniqueName(FDatabaseName, session);
  LSession->RemoveDatabase(*this);
  LSession = &session;
  LSession->AddDatabase(*this);
}

void TABSDatabase::checkUniqueName(const AnsiString& Name, TABSSession& Session) {
  if (Name.empty()) return;
  for (TABSDatabase* other : std::vector<TABSDatabase*>(Session.Databases())) {
    if (other == this || !zev::AnsiSameText(other->DatabaseName(), Name)) continue;
    if (other->Temporary() && other->RefCount() == 0) {
      Session.FreeComponent(other);
      continue;
    }
    DatabaseError(zev::Format("Duplicate database name '%s'", {Name}), this);
  }
}

void TABSDatabase::SetDatabaseName(const AnsiString& Name) {
  if (Name == FDatabaseName) return;
  if (Connected()) DatabaseError("Cannot perform this operation on an open database", this);
  checkUniqueName(Name, *LSession);
  FDatabaseName = Name;
}

void TABSDatabase::SetDatabaseFileName(const AnsiString& FileName) {
  if (FileName == FDatabaseFileName) return;
  Close();
  FDatabaseFileName = FileName;
}

void TABSDatabase::SetConnected(bool Connected) {
  if (Connected == this->Connected()) return;
  if (Connected)
    Open();
  else
    Close();
}

void TABSDatabase::SetKeepConnection(bool Keep) {
  FKeepConnection = Keep;
  if (!Keep && FRefCount == 0 && FDataSets.empty()) Close();
}

void TABSDatabase::AddDataSet(zev::TDataSet& DataSet) {
  if (std::find(FDataSets.begin(), FDataSets.end(), &DataSet) == FDataSets.end())
    FDataSets.push_back(&DataSet);
}

void TABSDatabase::RemoveDataSet(zev::TDataSet& DataSet) { std::erase(FDataSets, &DataSet); }

zev::TABSDiskDatabaseSettings TABSDatabase::connectionSettings() const {
  zev::TABSDiskDatabaseSettings settings;
  settings.Password.Password = FPassword;
  settings.Password.CryptoAlgorithm = FCryptoAlgorithm;
  settings.PageSize = FPageSize;
  settings.PageCountInExtent = FPageCountInExtent;
  settings.MaxSessionCount = FMaxConnections;
  settings.ReadOnly = FReadOnly;
  settings.PageManagerSettings = PageManagerSettings;
  return settings;
}

std::unique_ptr<zev::TABSLocalSession> TABSDatabase::newConnection() const {
  auto connection = std::make_unique<zev::TABSLocalSession>();
  connection->SetDatabaseFileName(FDatabaseFileName);
  connection->SetDatabaseSettings(connectionSettings());
  connection->SetLockBudgets(LockBudgets);
  connection->SetReadOnly(FReadOnly);
  connection->SetExclusive(FExclusive);
  connection->SetMultiUser(FMultiUser);
  if (FMultiUser) connection->SetSessionName(LSession->SessionName());
  return connection;
}

bool TABSDatabase::askForPassword() {
  if (OnPassword) {
    bool proceed = false;
    OnPassword(*this, proceed);
    return proceed;
  }
  if (FSilentMode) return false;
  AnsiString typed;
  if (!DatabaseDialogs().AskPassword(typed)) return false;
  FPassword = typed;
  return true;
}

bool TABSDatabase::repairRequested() {
  if (FNoRequestAutoRepair) return false;
  const double version = FHandle->DatabaseData().DiskPageManager()->DBHeader().Version;
  if (version >= zev::kMinVersionWithoutRepair) {
    if (OnNeedRepair) {
      bool answer = false;
      OnNeedRepair(*this, answer);
      return answer;
    }
    return DatabaseDialogs().AskYesNo(
        "Database file was not correctly closed last time. Do you want to repair it?");
  }
  DatabaseDialogs().ShowInformation(
      "Database file you are opening is of old format. It will be converted to the current "
      "Varkelt Database format now. It is recommended to make a backup of the database before "
      "continuing.");
  return true;
}

void TABSDatabase::Open() {
  if (LHandle) return;
  if (FDatabaseName.empty() && !FTemporary) DatabaseError("Database name missing", this);
  LSession->LockSession();
  struct TUnlock {
    TABSSession& Session;
    ~TUnlock() { Session.UnlockSession(); }
  } unlock{*LSession};

  if (FHandleShared) {
    for (TABSDatabase* other : LSession->Databases()) {
      if (other == this || !other->HandleShared() || !other->Connected() ||
          !zev::AnsiSameText(other->DatabaseName(), FDatabaseName))
        continue;
      LHandle = other->Handle();
      LSession->Notify(dbOpen, *this);
      return;
    }
  }
  if (!FTemporary && !fileExists(FDatabaseFileName))
    DatabaseError(zev::Format("Database file '%s' does not exist", {FDatabaseFileName}), this);
  for (;;) {
    std::unique_ptr<zev::TABSLocalSession> connection = newConnection();
    if (!connection) DatabaseError("Database open error", this);
    try {
      connection->SetConnected(true);
    } catch (const EABSException& error) {
      if (error.NativeError() == kIncorrectPassword && askForPassword()) continue;
      throw;
    }
    FHandle = std::move(connection);
    break;
  }
  if (FHandle->RepairNeeded() && !FSilentMode && repairRequested()) {
    FHandle->SetConnected(false);
    FHandle.reset();
    AnsiString log;
    bool repaired = false;
    {
      FNoRequestAutoRepair = true;
      struct TRestore {
        bool& Flag;
        ~TRestore() { Flag = false; }
      } restore{FNoRequestAutoRepair};
      repaired = repairInPlace(log);
    }
    if (!repaired) zev::errors::Raise(zev::errors::kCannotConvertDatabase);
    if (!log.empty()) DatabaseDialogs().ShowWarning(log);
    std::unique_ptr<zev::TABSLocalSession> connection = newConnection();
    connection->SetConnected(true);
    FHandle = std::move(connection);
  }
  LHandle = FHandle.get();
  FReadOnly = LHandle->ReadOnly();
  const zev::TABSDiskDatabaseData& data = LHandle->DatabaseData();
  FPageSize = data.PageSize();
  FPageCountInExtent = data.PageCountInExtent();
  FMaxConnections = data.MaxSessionCount();
  FCryptoAlgorithm = data.Password().CryptoAlgorithm;
  LSession->Notify(dbOpen, *this);
}

void TABSDatabase::Close() {
  if (!LHandle) return;
  LSession->Notify(dbClose, *this);
  CloseDataSets();
  LHandle = nullptr;
  if (FHandle) {
    FHandle->SetConnected(false);
    FHandle.reset();
  }
  FRefCount = 0;
}

void TABSDatabase::CloseDataSets() {
  // The last registered first.
  while (!FDataSets.empty()) {
    zev::TDataSet* last = FDataSets.back();
    last->Close();
    RemoveDataSet(*last);
  }
}

bool TABSDatabase::TableExists(const AnsiString& TableName) {
  Open();
  return LHandle->DatabaseData().TableExists(TableName);
}

void TABSDatabase::GetTablesList(std::vector<AnsiString>& List) {
  List.clear();
  const bool wasConnected = Connected();
  try {
    Open();
    LHandle->DatabaseData().GetTablesList(List);
    if (!wasConnected) Close();
  } catch (...) {
    List.clear();
    try {
      if (!wasConnected) Close();
    } catch (...) {
    }
  }
}

void TABSDatabase::CreateDatabase() {
  std::unique_ptr<zev::TABSLocalSession> connection = newConnection();
  connection->CreateDatabase();
}
