#include "engine/tables/ZEVLocalSession.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVOSServices.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ZEVEngineErrors.h"

namespace zev {

namespace {

// The database objects open in the process.
struct TDatabaseDataList {
  std::mutex Lock;
  std::vector<std::unique_ptr<TABSDiskDatabaseData>> Items;

  TABSDiskDatabaseData* Find(const AnsiString& FileName, const AnsiString& SessionName) {
    const AnsiString name = AnsiUpperCase(FileName);
    for (const auto& item : Items)
      if (AnsiUpperCase(item->DatabaseName()) == name && item->SessionName() == SessionName)
        return item.get();
    return nullptr;
  }
  void Remove(TABSDiskDatabaseData* DatabaseData) {
    std::erase_if(Items, [&](const auto& item) { return item.get() == DatabaseData; });
  }
};

TDatabaseDataList& databaseDataList() {
  static TDatabaseDataList list;
  return list;
}

}  // namespace

TABSLocalSession::~TABSLocalSession() {
  try {
    SetConnected(false);
  } catch (...) {
    // A failing disconnection must not escape a destructor; the file's locks go with the
    // process anyway.
  }
}

void TABSLocalSession::SetConnected(bool Connected) {
  if (Connected == this->Connected()) return;
  TDatabaseDataList& list = databaseDataList();
  std::lock_guard<std::mutex> guard(list.Lock);
  if (Connected) {
    TABSDiskDatabaseData* data = list.Find(FDatabaseFileName, SessionName());
    const bool created = data == nullptr;
    if (created) {
      auto item = std::make_unique<TABSDiskDatabaseData>(FDatabaseFileName, FSettings);
      item->SetSessionName(SessionName());
      data = item.get();
      list.Items.push_back(std::move(item));
    } else if (data->IsOpened() && data->Password().Password != FSettings.Password.Password &&
               !data->Password().Password.empty()) {
      errors::Raise(errors::kInvalidDatabasePassword);
    }
    try {
      data->ConnectSession(*this);
    } catch (...) {
      if (created || data->FreeIfNoSessionsConnected()) list.Remove(data);
      throw;
    }
    LDatabaseData = data;
    FSettings.Password = data->Password();
    return;
  }
  TABSDiskDatabaseData* data = LDatabaseData;
  LDatabaseData = nullptr;
  FSequenceValues.Clear();
  data->DisconnectSession(*this);
  if (data->FreeIfNoSessionsConnected()) list.Remove(data);
}

void TABSLocalSession::CreateDatabase() {
  TDatabaseDataList& list = databaseDataList();
  std::lock_guard<std::mutex> guard(list.Lock);
  if (list.Find(FDatabaseFileName, SessionName())) errors::Raise(errors::kDatabaseAlreadyOpen);
  TABSDiskDatabaseData creator(FDatabaseFileName, FSettings);
  creator.CreateDatabase();
}

TABSDiskDatabaseData& TABSLocalSession::DatabaseData() const { return *LDatabaseData; }

void TABSLocalSession::StartTransaction() { SetInTransaction(true); }

void TABSLocalSession::Commit(bool DoFlushBuffers) {
  if (!InTransaction()) errors::Raise(errors::kNotInTransaction);
  LDatabaseData->Commit(SessionID(), DoFlushBuffers);
  SetInTransaction(false);
}

void TABSLocalSession::Rollback() {
  if (!InTransaction()) errors::Raise(errors::kNotInTransaction);
  SetInTransaction(false);
  LDatabaseData->Rollback(SessionID());
}

void TABSLocalSession::Sleep(uint32_t Ms) const {
  const TABSSleepFunction& sleep = FSettings.PageManagerSettings.SleepFunction;
  if (sleep)
    sleep(Ms);
  else
    zev::Sleep(Ms);
}

}  // namespace zev
