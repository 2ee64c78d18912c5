#include "engine/tables/DataSet.h"

#include <algorithm>
#include <cstring>

#include "engine/tables/DBError.h"

namespace zev {

TDataSet::TDataSet(TComponent* Owner) : TComponent(Owner) {}

TDataSet::~TDataSet() = default;

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(dbtexts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(dbtexts::SDataSetOpen, this);
}

void TDataSet::checkCanModify() const {
  if (!GetCanModify()) DatabaseError(dbtexts::SDataSetReadOnly, this);
}

// --- Opening and closing ---------------------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (Value)
    Open();
  else
    Close();
}

void TDataSet::Open() {
  if (Active()) return;
  fire(BeforeOpen);
  try {
    InternalOpen();
    bindFields();
    const size_t size = static_cast<size_t>(std::max<int32_t>(RecordBufferSize(), 0));
    FActiveBuffer.assign(size, 0);
    FScratchBuffer.assign(size, 0);
    FSavedBuffer.assign(size, 0);
    FModified = false;
    FState = dsBrowse;
    readFirst(gmNext);
  } catch (...) {
    FState = dsInactive;
    FRecordAvailable = false;
    FEof = FBof = true;
    if (IsCursorOpen()) InternalClose();
    destroyAutomaticFields();
    throw;
  }
  fire(AfterOpen);
}

void TDataSet::bindFields() {
  FDefaultFields = FFields.empty();
  if (FDefaultFields) {
    for (int i = 0; i < FFieldDefs.Count(); ++i) {
      FFields.push_back(CreateField(*this, FFieldDefs.Items(i)));
    }
  }
  FCalcFieldsSize = 0;
  for (const std::unique_ptr<TField>& f : FFields) {
    if (f->FieldKind() == fkData) {
      const TFieldDef* def = FFieldDefs.Find(f->FieldName());
      if (!def) DatabaseErrorFmt(dbtexts::SFieldNotFound, {f->DisplayName()}, this);
      if (def->DataType() != f->DataType())
        DatabaseErrorFmt(dbtexts::SFieldTypeMismatch, {f->DisplayName()}, this);
      f->SetFieldNo(def->FieldNo());
    } else {
      f->SetFieldNo(0);
      f->SetOffset(FCalcFieldsSize);
      FCalcFieldsSize += 1 + f->DataSize();
    }
  }
}

void TDataSet::destroyAutomaticFields() {
  if (FDefaultFields) FFields.clear();
  FDefaultFields = false;
}

void TDataSet::Close() {
  if (!Active()) return;
  if (FState == dsEdit || FState == dsInsert)
    InternalCancel();
  else if (FState == dsSetKey)
    CancelKeyEntry();
  FState = dsBrowse;
  fire(BeforeClose);
  InternalClose();
  destroyAutomaticFields();
  FActiveBuffer.clear();
  FScratchBuffer.clear();
  FSavedBuffer.clear();
  FRecordAvailable = FSavedAvailable = false;
  FModified = false;
  FEof = FBof = true;
  FState = dsInactive;
  fire(AfterClose);
}

// --- Fields ----------------------------------------------------------------------------------

TField* TDataSet::FindField(const AnsiString& Name) const {
  for (const std::unique_ptr<TField>& f : FFields) {
    if (AnsiSameText(f->FieldName(), Name)) return f.get();
  }
  return nullptr;
}

TField& TDataSet::FieldByName(const AnsiString& Name) const {
  TField* f = FindField(Name);
  if (!f) DatabaseErrorFmt(dbtexts::SFieldNotFound, {Name}, this);
  return *f;
}

std::vector<TField*> TDataSet::Fields() const {
  std::vector<TField*> out;
  for (const std::unique_ptr<TField>& f : FFields) out.push_back(f.get());
  return out;
}

TField& TDataSet::AddField(std::unique_ptr<TField> Field) {
  CheckInactive();
  Field->SetDataSet(this);
  FFields.push_back(std::move(Field));
  return *FFields.back();
}

void TDataSet::CheckFieldWritable(const TField&) {
  switch (FState) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
      return;
    default:
      DatabaseError(dbtexts::SNotEditing, this);
  }
}

void TDataSet::FieldChanged(TField&) {
  if (FState == dsEdit || FState == dsInsert || FState == dsSetKey) FModified = true;
}

uint8_t* TDataSet::ActiveBuffer() {
  switch (FState) {
    case dsInactive:
      return nullptr;
    case dsCalcFields:
      return FCalcBuffer;
    case dsBrowse:
      return FRecordAvailable ? FActiveBuffer.data() : nullptr;
    default:
      return FActiveBuffer.data();
  }
}

void TDataSet::GetCalcFields(uint8_t* Buffer) {
  if (FCalcFieldsSize == 0 || !OnCalcFields) return;
  const TDataSetState saved = FState;
  uint8_t* savedBuffer = FCalcBuffer;
  FState = dsCalcFields;
  FCalcBuffer = Buffer;
  try {
    OnCalcFields(*this);
  } catch (...) {
    FState = saved;
    FCalcBuffer = savedBuffer;
    throw;
  }
  FState = saved;
  FCalcBuffer = savedBuffer;
}

// --- Navigation ------------------------------------------------------------------------------

// Reads with Mode into the scratch buffer; on grOK it becomes the active row.
bool TDataSet::readInto(TGetMode Mode, bool DoCheck) {
  if (GetRecord(FScratchBuffer.data(), Mode, DoCheck) != grOK) return false;
  std::swap(FActiveBuffer, FScratchBuffer);
  FRecordAvailable = true;
  return true;
}

// The first row (Mode gmNext after InternalFirst) or the last (gmPrior after InternalLast).
void TDataSet::readFirst(TGetMode Mode) {
  if (Mode == gmNext)
    InternalFirst();
  else
    InternalLast();
  const bool found = readInto(Mode, true);
  if (!found) FRecordAvailable = false;
  FBof = Mode == gmNext || !found;
  FEof = Mode == gmPrior || !found;
}

void TDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  fire(BeforeScroll);
  readFirst(gmNext);
  fire(AfterScroll);
}

void TDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  fire(BeforeScroll);
  readFirst(gmPrior);
  fire(AfterScroll);
}

void TDataSet::Next() {
  CheckActive();
  CheckBrowseMode();
  fire(BeforeScroll);
  if (FEof) return;
  FBof = false;
  if (FRecordAvailable) InternalSetToRecord(FActiveBuffer.data());
  if (!readInto(gmNext, true)) FEof = true;
  fire(AfterScroll);
}

void TDataSet::Prior() {
  CheckActive();
  CheckBrowseMode();
  fire(BeforeScroll);
  if (FBof) return;
  FEof = false;
  if (FRecordAvailable) InternalSetToRecord(FActiveBuffer.data());
  if (!readInto(gmPrior, true)) FBof = true;
  fire(AfterScroll);
}

bool TDataSet::IsEmpty() const { return !Active() || (!FRecordAvailable && FState != dsInsert); }

void TDataSet::SetRecNo(int64_t) {}

// After a post or a delete: the cursor's current row, else its neighbour, else nothing.
void TDataSet::resync() {
  FEof = FBof = false;
  if (readInto(gmCurrent, false) || readInto(gmNext, false)) return;
  if (readInto(gmPrior, false)) {
    FEof = true;
    return;
  }
  FRecordAvailable = false;
  FEof = FBof = true;
}

void TDataSet::Refresh() {
  CheckActive();
  CheckBrowseMode();
  InternalRefresh();
  if (FRecordAvailable)
    InternalSetToRecord(FActiveBuffer.data());
  else
    InternalFirst();
  resync();
}

TBookmark TDataSet::GetBookmark() {
  CheckActive();
  if (!FRecordAvailable || FState == dsInsert) return {};
  return GetBookmarkData(FActiveBuffer.data());
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  CheckActive();
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  fire(BeforeScroll);
  InternalGotoBookmark(Bookmark);
  if (!readInto(gmCurrent, false)) DatabaseError(dbtexts::SRecordNotFound, this);
  FEof = FBof = false;
  fire(AfterScroll);
}

// --- Editing ---------------------------------------------------------------------------------

void TDataSet::Edit() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) return;
  if (!FRecordAvailable) {
    Insert();
    return;
  }
  CheckBrowseMode();
  checkCanModify();
  fire(BeforeEdit);
  InternalEdit();
  FState = dsEdit;
  FModified = false;
  fire(AfterEdit);
}

void TDataSet::insertRecord() {
  CheckActive();
  CheckBrowseMode();
  checkCanModify();
  fire(BeforeInsert);
  FSavedBuffer = FActiveBuffer;
  FSavedAvailable = FRecordAvailable;
  InternalInsert();
  InternalInitRecord(FActiveBuffer.data());
  FState = dsInsert;
  FModified = false;
  try {
    fire(OnNewRecord);
  } catch (...) {
    Cancel();
    throw;
  }
  fire(AfterInsert);
}

void TDataSet::Insert() { insertRecord(); }

void TDataSet::Append() { insertRecord(); }

void TDataSet::checkRequiredFields() {
  for (const std::unique_ptr<TField>& f : FFields) {
    if (f->FieldKind() == fkData && f->Required() && !f->ReadOnly() && f->DataType() != ftAutoInc &&
        f->IsNull()) {
      DatabaseErrorFmt(dbtexts::SFieldRequired, {f->DisplayName()});
    }
  }
}

void TDataSet::Post() {
  CheckActive();
  if (FState == dsSetKey) {
    PostKeyEntry();
    FState = dsBrowse;
    return;
  }
  if (FState != dsEdit && FState != dsInsert) return;
  fire(BeforePost);
  checkRequiredFields();
  InternalPost();
  FState = dsBrowse;
  FModified = false;
  FSavedAvailable = false;
  resync();
  fire(AfterPost);
}

void TDataSet::Cancel() {
  CheckActive();
  if (FState == dsSetKey) {
    CancelKeyEntry();
    FState = dsBrowse;
    FModified = false;
    return;
  }
  if (FState != dsEdit && FState != dsInsert) return;
  const bool inserting = FState == dsInsert;
  fire(BeforeCancel);
  InternalCancel();
  FState = dsBrowse;
  FModified = false;
  if (inserting) {
    FActiveBuffer = FSavedBuffer;
    FRecordAvailable = FSavedAvailable;
    FSavedAvailable = false;
    if (!FRecordAvailable) FEof = FBof = true;
  } else {
    InternalSetToRecord(FActiveBuffer.data());
    readInto(gmCurrent, false);
  }
  fire(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert) {
    Cancel();
    return;
  }
  if (!FRecordAvailable) DatabaseError(dbtexts::SDataSetEmpty, this);
  if (FState == dsSetKey) Cancel();
  fire(BeforeDelete);
  if (FState == dsBrowse) InternalSetToRecord(FActiveBuffer.data());
  InternalDelete();
  FState = dsBrowse;
  FModified = false;
  resync();
  fire(AfterDelete);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  switch (FState) {
    case dsEdit:
    case dsInsert:
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

}  // namespace zev
