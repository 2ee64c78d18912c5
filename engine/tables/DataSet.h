// TDataSet, the dataset contract: a component that presents the rows of some source one at a
// time through TField objects, with states (browse, edit, insert, key entry...), navigation,
// editing, bookmarks and events. A subclass (the engine's table component, or a test's
// in-memory set) implements the protected hooks; this class runs the algorithms around them.
//
// Record buffers: one active record buffer of RecordBufferSize() bytes, whose layout belongs to
// the subclass; a scratch buffer for reads that may fail, and a saved copy while inserting.
// Fields read and write the buffer of the current state through GetFieldData / SetFieldData
// (ActiveBuffer(): nullptr while closed and while browsing an empty set).
// Moves: Next/Prior first put the cursor on the active row (InternalSetToRecord), then read
// into the scratch buffer; only a row read with grOK replaces the active one. BeforeScroll
// fires for every move, AfterScroll unless Next / Prior found the dataset already at that end.
// Ownership: the dataset owns its fields (persistent ones added with AddField, automatic ones
// made at Open from FieldDefs and destroyed at Close), its definitions and its buffers.
// Requires: a subclass calls Close() in its own destructor (the hooks are gone afterwards).
// Locking: none (one thread). Errors: EDatabaseError (dbtexts), and whatever the hooks raise,
// which passes through unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/tables/Component.h"
#include "engine/tables/DataDefs.h"
#include "engine/tables/Field.h"

namespace zev {

enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue
};
enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
using TBookmark = std::vector<uint8_t>;

class TDataSet : public TComponent {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;

  explicit TDataSet(TComponent* Owner);
  ~TDataSet() override;

  // Open: BeforeOpen, InternalOpen, fields bound (persistent) or made (automatic), dsBrowse,
  // the first row, AfterOpen. A failure leaves the dataset closed (InternalClose when the
  // cursor opened) and passes on. Close: a pending edit or insert is dropped (InternalCancel),
  // BeforeClose, InternalClose, automatic fields destroyed, dsInactive, AfterClose.
  void Open();
  void Close();
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool Value);
  TDataSetState State() const { return FState; }

  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  // True while closed, or open on no row and not inserting.
  bool IsEmpty() const;
  // The subclass's counts (GetRecordCount / GetRecNo, -1 by default).
  int64_t RecordCount() { return GetRecordCount(); }
  int64_t RecNo() { return GetRecNo(); }
  // Positions on the Value-th row (1-based); the default does nothing.
  virtual void SetRecNo(int64_t Value);

  // Edit on an empty set inserts. Insert / Append: a new row in the active buffer, cleared by
  // InternalInitRecord, then OnNewRecord. Post: the required check (a NULL data field that is
  // Required, not ReadOnly and not auto-increment raises "Field '<DisplayName>' must have a
  // value", without the dataset prefix), InternalPost, dsBrowse and the posted row re-read. Cancel
  // restores the row (insert: the row shown before). In dsSetKey, Post and Cancel call PostKeyEntry
  // / CancelKeyEntry and return to dsBrowse.
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  // Deletes the current row and shows its neighbour (the row after it, else the one before).
  void Delete();
  // Posts a modified edit or insert, cancels an unmodified one; posts a key entry.
  void CheckBrowseMode();
  // Re-reads the current row (InternalRefresh first).
  void Refresh();

  TField& FieldByName(const AnsiString& Name) const;
  TField* FindField(const AnsiString& Name) const;
  std::vector<TField*> Fields() const;
  int FieldCount() const { return static_cast<int>(FFields.size()); }
  // A persistent field; only while closed. Its DataSet() becomes this dataset.
  TField& AddField(std::unique_ptr<TField> Field);
  TFieldDefs& FieldDefs() { return FFieldDefs; }
  TIndexDefs& IndexDefs() { return FIndexDefs; }

  // Empty when there is no current row.
  TBookmark GetBookmark();
  // Shows the row of the bookmark; EDatabaseError "Record not found" when it cannot be read.
  void GotoBookmark(const TBookmark& Bookmark);
  bool Modified() const { return FModified; }

  // Field access of the current state's buffer. GetFieldData: false when NULL or when there is
  // no buffer; Buffer may be nullptr to only ask for NULL. SetFieldData: Buffer nullptr stores
  // NULL. Called by TField after its checks.
  virtual bool GetFieldData(const TField& Field, void* Buffer) = 0;
  virtual void SetFieldData(TField& Field, const void* Buffer) = 0;
  // Raises unless fields may be written in the current state (edit, insert, key entry, calc,
  // filter, new value): EDatabaseError "Dataset not in edit or insert mode".
  virtual void CheckFieldWritable(const TField& Field);
  // The record buffer of the current state (see the header comment); subclasses override it
  // for the states whose buffers they own (key entry, filter, old values).
  virtual uint8_t* ActiveBuffer();

  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;

 protected:
  // Makes the cursor and fills FieldDefs (through InternalInitFieldDefs).
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual int32_t RecordBufferSize() const = 0;
  // Reads the current, next or prior row into Buffer. DoCheck: the caller needs the row, so a
  // cursor error should raise rather than return grError.
  virtual TGetResult GetRecord(uint8_t* Buffer, TGetMode Mode, bool DoCheck) = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalInitRecord(uint8_t* Buffer) = 0;
  virtual void InternalInsert() {}
  virtual void InternalEdit() = 0;
  // Stores the active buffer (insert: a new row; edit: the current one); afterwards the cursor
  // stands on the posted row, which Post re-reads with gmCurrent.
  virtual void InternalPost() = 0;
  virtual void InternalCancel() = 0;
  // Deletes the current row; afterwards the cursor stands where gmCurrent / gmNext / gmPrior
  // find the neighbour.
  virtual void InternalDelete() = 0;
  virtual void InternalSetToRecord(const uint8_t* Buffer) = 0;
  virtual TBookmark GetBookmarkData(const uint8_t* Buffer) = 0;
  virtual void InternalGotoBookmark(const TBookmark& Bookmark) = 0;
  virtual void InternalRefresh() {}
  virtual int64_t GetRecordCount() { return -1; }
  virtual int64_t GetRecNo() { return -1; }
  virtual bool GetCanModify() const { return true; }
  virtual void PostKeyEntry() {}
  virtual void CancelKeyEntry() {}

  void SetState(TDataSetState State) { FState = State; }
  void SetModified(bool Modified) { FModified = Modified; }
  // True when the active buffer holds a row (or the row being inserted).
  bool RecordAvailable() const { return FRecordAvailable; }
  // The active record buffer whatever the state (nullptr while closed).
  uint8_t* RecordBuffer() { return FActiveBuffer.empty() ? nullptr : FActiveBuffer.data(); }
  // True when the fields are automatic (made from FieldDefs at Open).
  bool DefaultFields() const { return FDefaultFields; }
  // Bytes of the calculated area: for each calculated or lookup field, a byte telling whether
  // it has a value, then DataSize() bytes (each field's Offset points at its flag byte).
  int32_t CalcFieldsSize() const { return FCalcFieldsSize; }
  // Runs OnCalcFields in dsCalcFields with Buffer as the active buffer, when the dataset has
  // calculated fields; subclasses call it after reading a row.
  void GetCalcFields(uint8_t* Buffer);

  void CheckActive() const;
  void CheckInactive() const;

 private:
  friend class TField;
  // After a field write: sets Modified in the edit, insert and key-entry states.
  void FieldChanged(TField& Field);

  void fire(const TDataSetNotifyEvent& Event) {
    if (Event) Event(*this);
  }
  void bindFields();
  void destroyAutomaticFields();
  void checkCanModify() const;
  void checkRequiredFields();
  void readFirst(TGetMode Mode);
  bool readInto(TGetMode Mode, bool DoCheck);
  void resync();
  void insertRecord();

  TDataSetState FState = dsInactive;
  bool FEof = true;
  bool FBof = true;
  bool FModified = false;
  bool FRecordAvailable = false;
  bool FDefaultFields = false;
  bool FSavedAvailable = false;
  int32_t FCalcFieldsSize = 0;
  uint8_t* FCalcBuffer = nullptr;
  std::vector<uint8_t> FActiveBuffer;
  std::vector<uint8_t> FScratchBuffer;
  std::vector<uint8_t> FSavedBuffer;
  std::vector<std::unique_ptr<TField>> FFields;
  TFieldDefs FFieldDefs;
  TIndexDefs FIndexDefs;
};

}  // namespace zev
