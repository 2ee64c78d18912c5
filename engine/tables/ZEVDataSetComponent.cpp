#include "engine/tables/ZEVDataSetComponent.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/DBError.h"
#include "engine/tables/ZEVBlobErrors.h"
#include "engine/tables/ZEVEngineError.h"
#include "engine/tables/ZEVEngineErrors.h"

using zev::DatabaseError;

namespace {

constexpr uint8_t kCurrentRowFlag = 0;
constexpr uint8_t kNewRowFlag = 3;

bool isMemoryName(const AnsiString& Name) { return zev::AnsiUpperCase(Name) == "MEMORY"; }

bool isDateTimeField(const zev::TField& Field) {
  return Field.DataType() == zev::ftDateTime || Field.DataType() == zev::ftTimeStamp;
}

}  // namespace

TABSDataSet::TABSDataSet(TComponent* Owner) : zev::TDataSet(Owner) {}

TABSDataSet::~TABSDataSet() {
  try {
    Close();
  } catch (...) {
    // A failing close at destruction must not escape; the cursor goes with the object.
  }
}

void TABSDataSet::SetDatabaseName(const AnsiString& Name) {
  if (Name == FDatabaseName) return;
  if (LDatabase) DatabaseError("Cannot perform this operation on an open database", this);
  FDatabaseName = Name;
  FInMemory = isMemoryName(Name);
}

void TABSDataSet::SetInMemory(bool InMemory) {
  FInMemory = InMemory;
  if (InMemory) SetDatabaseName("MEMORY");
}

zev::TABSLocalCursor& TABSDataSet::handle() const {
  if (!FHandle) zev::errors::Raise(zev::errors::kErrorCreatingTableHandle);
  return *FHandle;
}

// --- Opening and closing ------------------------------------------------------------------------

void TABSDataSet::InternalOpen() {
  if (FDatabaseName.empty()) DatabaseError("DatabaseName property is blank", this);
  if (!LDatabase) {
    TABSSession& session = Sessions().GetSessionByName(FSessionName);
    LDatabase = &session.OpenDatabase(FDatabaseName, GetOwner());
    LDatabase->AddDataSet(*this);
  }
  try {
    FHandle = CreateHandle();
    if (!FHandle) zev::errors::Raise(zev::errors::kErrorCreatingTableHandle);
    InternalInitFieldDefs();
    const int32_t keySize = FHandle->Layout().KeyBufferSize;
    for (auto& buffer : FKeyBuffers) buffer.assign(static_cast<size_t>(keySize), 0);
    for (int i = 0; i < kKeyBufferCount; ++i) ClearKeyBuffer(i);
    HandleOpened();
  } catch (...) {
    FHandle.reset();
    releaseDatabase();
    throw;
  }
}

void TABSDataSet::InternalClose() {
  FHandle.reset();
  for (auto& buffer : FKeyBuffers) buffer.clear();
  FIndexFieldMap.clear();
  FEditedKey = -1;
  releaseDatabase();
}

void TABSDataSet::releaseDatabase() {
  if (!LDatabase) return;
  TABSDatabase* database = LDatabase;
  LDatabase = nullptr;
  TABSSession& session = database->DBSession();
  session.LockSession();
  database->RemoveDataSet(*this);
  session.UnlockSession();
  session.CloseDatabase(*database);
}

bool TABSDataSet::IsCursorOpen() const { return FHandle && FHandle->IsOpen(); }

void TABSDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  const zev::TABSFieldDefs& fields = handle().FieldDefs();
  for (int i = 0; i < fields.Count(); ++i) {
    const zev::TABSFieldDef& field = *fields.Items(i);
    const zev::TFieldType type = zev::AdvancedFieldTypeToFieldType(field.FAdvancedFieldType);
    int32_t size = zev::IsStringFieldType(field.FBaseFieldType) ||
                           field.FBaseFieldType == zev::bftBytes ||
                           field.FBaseFieldType == zev::bftVarBytes
                       ? field.FFieldSize
                       : 0;
    if (type == zev::ftGuid) size = 38;
    FieldDefs().Add(field.FName, type, size, false);
  }
}

int32_t TABSDataSet::RecordBufferSize() const { return handle().Layout().RecordBufferSize; }

// --- Rows ---------------------------------------------------------------------------------------

zev::TGetResult TABSDataSet::GetRecord(uint8_t* Buffer, zev::TGetMode Mode, bool DoCheck) {
  zev::TABSLocalCursor& cursor = handle();
  const zev::TABSGetRecordMode mode = Mode == zev::gmNext    ? zev::grmNext
                                      : Mode == zev::gmPrior ? zev::grmPrior
                                                             : zev::grmCurrent;
  switch (cursor.GetRecordBuffer(mode)) {
    case zev::grrOK:
      std::memcpy(Buffer, cursor.CurrentRecordBuffer(),
                  static_cast<size_t>(cursor.Layout().RecordBufferSize));
      cursor.CurrentRecordID.Store(Buffer + cursor.Layout().BookmarkOffset);
      Buffer[cursor.Layout().BookmarkOffset + zev::TABSPageItemID::Size] = kCurrentRowFlag;
      return zev::grOK;
    case zev::grrBOF:
      return zev::grBOF;
    case zev::grrEOF:
      return zev::grEOF;
    case zev::grrError:
      break;
  }
  if (DoCheck) zev::errors::Raise(zev::errors::kCannotRetrieveRecord);
  return zev::grError;
}

void TABSDataSet::InternalFirst() { handle().InternalFirst(); }
void TABSDataSet::InternalLast() { handle().InternalLast(); }

void TABSDataSet::InternalInitRecord(uint8_t* Buffer) {
  zev::TABSLocalCursor& cursor = handle();
  cursor.InternalInitRecord(Buffer, true);
  uint8_t* bookmark = Buffer + cursor.Layout().BookmarkOffset;
  zev::PutInt32LE(bookmark, -1);
  zev::PutUInt16LE(bookmark + 4, 0xFFFF);
  bookmark[zev::TABSPageItemID::Size] = kNewRowFlag;
}

void TABSDataSet::InternalSetToRecord(const uint8_t* Buffer) {
  zev::TABSLocalCursor& cursor = handle();
  const size_t size = static_cast<size_t>(cursor.Layout().RecordBufferSize);
  std::memcpy(cursor.CurrentRecordBuffer(), Buffer, size);
  cursor.CurrentRecordID.Load(Buffer + cursor.Layout().BookmarkOffset);
  cursor.FirstPosition = cursor.LastPosition = false;
}

zev::TBookmark TABSDataSet::GetBookmarkData(const uint8_t* Buffer) {
  const uint8_t* bookmark = Buffer + handle().Layout().BookmarkOffset;
  return zev::TBookmark(bookmark, bookmark + zev::TABSPageItemID::Size);
}

void TABSDataSet::InternalGotoBookmark(const zev::TBookmark& Bookmark) {
  zev::TABSLocalCursor& cursor = handle();
  cursor.CurrentRecordID.Load(Bookmark.data());
  cursor.FirstPosition = cursor.LastPosition = false;
}

int64_t TABSDataSet::GetRecordCount() { return FHandle ? FHandle->GetRecordCount() : 0; }
int64_t TABSDataSet::GetRecNo() { return FHandle ? FHandle->GetRecNo() : -1; }

void TABSDataSet::SetRecNo(int64_t Value) {
  CheckActive();
  CheckBrowseMode();
  handle().SetRecNo(Value);
  const zev::TBookmark bookmark(handle().CurrentRecordBuffer() + handle().Layout().BookmarkOffset,
                                handle().CurrentRecordBuffer() + handle().Layout().BookmarkOffset +
                                    zev::TABSPageItemID::Size);
  GotoBookmark(bookmark);
}

// --- Row operations ---------------------------------------------------------------------------

void TABSDataSet::checkResult() {
  const zev::TABSLocalCursor& cursor = handle();
  if (cursor.ErrorCode() != 0) throw EABSEngineError(cursor.ErrorCode(), cursor.ErrorMessage());
}

void TABSDataSet::InternalInsert() {
  if (!FReadOnly) handle().InternalInsert();
}

void TABSDataSet::InternalEdit() {
  zev::TABSLocalCursor& cursor = handle();
  std::memcpy(cursor.CurrentRecordBuffer(), RecordBuffer(),
              static_cast<size_t>(cursor.Layout().RecordBufferSize));
  cursor.CurrentRecordID.Load(RecordBuffer() + cursor.Layout().BookmarkOffset);
  cursor.InternalEdit();
  checkResult();
}

void TABSDataSet::InternalPost() {
  zev::TABSLocalCursor& cursor = handle();
  const size_t size = static_cast<size_t>(cursor.Layout().RecordBufferSize);
  const bool inserting = State() == zev::dsInsert;
  std::memcpy(cursor.CurrentRecordBuffer(), RecordBuffer(), size);
  if (!inserting) cursor.CurrentRecordID.Load(RecordBuffer() + cursor.Layout().BookmarkOffset);
  cursor.InternalPost(inserting);
  checkResult();
  std::memcpy(RecordBuffer(), cursor.CurrentRecordBuffer(), size);
}

void TABSDataSet::InternalCancel() {
  if (!FHandle) return;
  // The written values hang off the active buffer: the cursor drops them from there.
  if (RecordBuffer() && FHandle->IsOpen()) {
    withActiveBufferInCursor(
        [&] { FHandle->InternalCancel(State() == zev::dsInsert); });
    return;
  }
  FHandle->InternalCancel(State() == zev::dsInsert);
}

// --- BLOB fields ----------------------------------------------------------------------------------

template <class F>
void TABSDataSet::withActiveBufferInCursor(F&& Call) {
  zev::TABSLocalCursor& cursor = handle();
  const size_t size = static_cast<size_t>(cursor.Layout().RecordBufferSize);
  uint8_t* active = RecordBuffer();
  const std::vector<uint8_t> own(cursor.CurrentRecordBuffer(), cursor.CurrentRecordBuffer() + size);
  if (active) std::memcpy(cursor.CurrentRecordBuffer(), active, size);
  try {
    Call();
  } catch (...) {
    if (active) std::memcpy(active, cursor.CurrentRecordBuffer(), size);
    std::memcpy(cursor.CurrentRecordBuffer(), own.data(), size);
    throw;
  }
  if (active) std::memcpy(active, cursor.CurrentRecordBuffer(), size);
  std::memcpy(cursor.CurrentRecordBuffer(), own.data(), size);
}

zev::TABSLocalBLOBStream* TABSDataSet::OpenCursorBlobStream(zev::TField& Field,
                                                            zev::TBlobStreamMode Mode) {
  if (!FHandle) zev::errors::Raise(zev::errors::kBlobStreamWithoutCursor);
  const bool inserting = State() == zev::dsInsert;
  const bool editing = State() == zev::dsEdit;
  if (Mode != zev::bmRead && !inserting && !editing)
    zev::errors::Raise(zev::errors::kBlobStreamNotEditing);
  const zev::TABSBLOBOpenMode openMode = Mode == zev::bmRead    ? zev::bomRead
                                         : Mode == zev::bmWrite ? zev::bomWrite
                                                                : zev::bomReadWrite;
  zev::TABSLocalCursor& cursor = handle();
  const bool browsing = State() == zev::dsBrowse;
  const bool hasRow = RecordBuffer() && (RecordAvailable() || inserting);
  zev::TABSLocalBLOBStream* stream = nullptr;
  withActiveBufferInCursor([&] {
    if (hasRow) {
      const zev::TABSCursorPosition saved = cursor.SavePosition();
      if (!inserting) cursor.CurrentRecordID.Load(RecordBuffer() + cursor.Layout().BookmarkOffset);
      try {
        stream = cursor.InternalCreateBlobStream(inserting, editing, Field.FieldNo() - 1, openMode,
                                                 browsing);
      } catch (...) {
        cursor.RestorePosition(saved);
        throw;
      }
      cursor.RestorePosition(saved);
    } else {
      cursor.SetHasCurrentRecordBuffer(false);
      try {
        stream = cursor.InternalCreateBlobStream(true, false, Field.FieldNo() - 1, openMode, false);
      } catch (...) {
        cursor.SetHasCurrentRecordBuffer(true);
        throw;
      }
      cursor.SetHasCurrentRecordBuffer(true);
    }
  });
  return stream;
}

std::unique_ptr<TABSBLOBStream> TABSDataSet::CreateBlobStream(zev::TField& Field,
                                                              zev::TBlobStreamMode Mode) {
  if (Mode != zev::bmRead && FReadOnly)
    zev::errors::Raise(zev::errors::kCreateBlobStreamOnReadOnlyDataSet);
  auto stream = std::make_unique<TABSBLOBStream>(Field, Mode);
  if (!stream->BLOBStream() && !FRefreshingForBlob && State() == zev::dsBrowse) {
    FRefreshingForBlob = true;
    try {
      Refresh();
    } catch (...) {
      FRefreshingForBlob = false;
      throw;
    }
    FRefreshingForBlob = false;
  }
  return stream;
}

void TABSDataSet::CloseBlob(zev::TField& Field) {
  if (!FHandle) zev::errors::Raise(zev::errors::kBlobStreamWithoutCursor);
  if (!FHandle->IsOpen()) return;
  withActiveBufferInCursor([&] { handle().InternalCloseBLOB(Field.FieldNo() - 1); });
}

void TABSDataSet::BlobFieldChanged(zev::TField& Field) {
  if (State() == zev::dsEdit || State() == zev::dsInsert) SetModified(true);
  if (!OnFieldChange) return;
  try {
    OnFieldChange(Field);
  } catch (...) {
    HandleBlobException();
  }
}

void TABSDataSet::HandleBlobException() {
  if (OnHandleException) OnHandleException(std::current_exception());
}

void TABSDataSet::InternalDelete() {
  zev::TABSLocalCursor& cursor = handle();
  std::memcpy(cursor.CurrentRecordBuffer(), RecordBuffer(),
              static_cast<size_t>(cursor.Layout().RecordBufferSize));
  cursor.CurrentRecordID.Load(RecordBuffer() + cursor.Layout().BookmarkOffset);
  cursor.InternalDelete();
  checkResult();
}

bool TABSDataSet::IsRecordLocked() {
  if (!FHandle || !RecordBuffer()) return false;
  FHandle->CurrentRecordID.Load(RecordBuffer() + FHandle->Layout().BookmarkOffset);
  return FHandle->IsRecordLocked();
}

int64_t TABSDataSet::LastAutoincValue(int FieldIndex) { return handle().LastAutoincValue(FieldIndex); }

int64_t TABSDataSet::LastAutoincValue(const AnsiString& FieldName) {
  return handle().LastAutoincValue(FieldByName(FieldName).FieldNo() - 1);
}

// --- Fields -------------------------------------------------------------------------------------

uint8_t* TABSDataSet::ActiveBuffer() {
  if (State() == zev::dsSetKey && FEditedKey >= 0) return KeyBuffer(FEditedKey).data();
  return zev::TDataSet::ActiveBuffer();
}

void TABSDataSet::CheckFieldWritable(const zev::TField& Field) {
  switch (State()) {
    case zev::dsEdit:
    case zev::dsInsert:
    case zev::dsCalcFields:
    case zev::dsFilter:
    case zev::dsNewValue:
      return;
    case zev::dsSetKey:
      if (std::find(FIndexFieldMap.begin(), FIndexFieldMap.end(), Field.FieldNo() - 1) ==
          FIndexFieldMap.end())
        zev::errors::Raise(zev::errors::kFieldNotInIndex, {Field.DisplayName()});
      return;
    default:
      zev::errors::Raise(zev::errors::kDataSetNotEditing);
  }
}

// Date-times: the engine's (day number, milliseconds) pair and the contract's milliseconds.
bool TABSDataSet::GetFieldData(const zev::TField& Field, void* Buffer) {
  uint8_t* record = ActiveBuffer();
  if (!record || !FHandle || Field.FieldNo() < 1) return false;
  const int fieldNo = Field.FieldNo() - 1;
  zev::TABSRecordFieldAccess access = handle().FieldAccess();
  if (!isDateTimeField(Field) || !Buffer) return access.GetFieldData(fieldNo, Buffer, record);
  uint8_t slot[zev::TABSDateTime::Size];
  if (!access.GetFieldData(fieldNo, slot, record)) return false;
  zev::TABSDateTime value;
  value.Load(slot);
  const double milliseconds = static_cast<double>(value.Date) * zev::kMSecsPerDay + value.Time;
  std::memcpy(Buffer, &milliseconds, sizeof milliseconds);
  return true;
}

void TABSDataSet::SetFieldData(zev::TField& Field, const void* Buffer) {
  uint8_t* record = ActiveBuffer();
  if (!record || Field.FieldNo() < 1) return;
  const int fieldNo = Field.FieldNo() - 1;
  zev::TABSRecordFieldAccess access = handle().FieldAccess();
  if (!isDateTimeField(Field) || !Buffer) {
    access.SetFieldData(fieldNo, Buffer, record);
    return;
  }
  double milliseconds = 0;
  std::memcpy(&milliseconds, Buffer, sizeof milliseconds);
  zev::TABSDateTime value;
  value.Date = static_cast<int32_t>(std::floor(milliseconds / zev::kMSecsPerDay));
  value.Time = static_cast<int32_t>(std::llround(milliseconds - value.Date * double(zev::kMSecsPerDay)));
  uint8_t slot[zev::TABSDateTime::Size];
  value.Store(slot);
  access.SetFieldData(fieldNo, slot, record);
}

// --- Key buffers --------------------------------------------------------------------------------

size_t TABSDataSet::keyOffset() const { return static_cast<size_t>(handle().Layout().KeyOffset); }

void TABSDataSet::ClearKeyBuffer(int Index) {
  std::vector<uint8_t>& buffer = KeyBuffer(Index);
  std::fill(buffer.begin(), buffer.end(), 0);
  handle().FieldAccess().InternalInitRecord(buffer.data(), false);
}

int32_t TABSDataSet::KeyFieldCountOf(int Index) {
  return zev::GetInt32LE(KeyBuffer(Index).data() + keyOffset() + 2);
}

void TABSDataSet::SetKeyHeader(int Index, bool Modified, bool Exclusive, int32_t FieldCount) {
  uint8_t* header = KeyBuffer(Index).data() + keyOffset();
  header[0] = Modified ? 1 : 0;
  header[1] = Exclusive ? 1 : 0;
  zev::PutInt32LE(header + 2, FieldCount);
}
