// TABSDataSet: the dataset contract over an engine cursor. It holds its database component
// (found by DatabaseName in its session, or made as a temporary one), owns the cursor its
// subclass makes, and implements the contract's hooks: rows are read through the cursor into
// record buffers of the cursor's layout (the row, then the 7-byte bookmark: row identifier and a
// flag byte, 0 current row, 3 new row), fields are read and written through the cursor's field
// access (date-times converted to the contract's milliseconds), and edit, post, cancel and
// delete run the cursor's row operations, whose result codes become EABSEngineError.
//
// Ownership: owns its cursor and key buffers; links to its database component, which it holds
// while open. Locking: the cursor's. Errors: EDatabaseError "DatabaseName property is blank",
// "Cannot perform this operation on an open database"; EABSException 20001, 10007, 10026,
// 20019; EABSEngineError for refused row operations.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "engine/tables/DataSet.h"
#include "engine/tables/ZEVBLOBStream.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDatabaseComponent.h"

class TABSDataSet : public zev::TDataSet {
 public:
  static constexpr int kKeyBufferCount = 6;
  enum TKeyIndex { kiLookup = 0, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };

  explicit TABSDataSet(TComponent* Owner);
  ~TABSDataSet() override;

  const AnsiString& DatabaseName() const { return FDatabaseName; }
  // Only while no database is held; "MEMORY" (any case) selects an in-memory dataset.
  void SetDatabaseName(const AnsiString& Name);
  const AnsiString& SessionName() const { return FSessionName; }
  void SetSessionName(const AnsiString& Name) { FSessionName = Name; }
  bool InMemory() const { return FInMemory; }
  void SetInMemory(bool InMemory);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool ReadOnly) { FReadOnly = ReadOnly; }
  AnsiString CurrentVersion() const { return TABSDatabase::kCurrentVersion; }

  zev::TABSLocalCursor* Handle() const { return FHandle.get(); }
  TABSDatabase* Database() const { return LDatabase; }
  bool IsRecordLocked();
  int64_t LastAutoincValue(int FieldIndex);
  int64_t LastAutoincValue(const AnsiString& FieldName);

  bool GetFieldData(const zev::TField& Field, void* Buffer) override;
  void SetFieldData(zev::TField& Field, const void* Buffer) override;
  void CheckFieldWritable(const zev::TField& Field) override;
  uint8_t* ActiveBuffer() override;
  void SetRecNo(int64_t Value) override;

  // --- BLOB fields ---
  // A stream on the BLOB field of the active row (10107 for a write mode on a read-only
  // dataset). When the cursor gave no stream, the dataset refreshes itself once.
  std::unique_ptr<TABSBLOBStream> CreateBlobStream(zev::TField& Field, zev::TBlobStreamMode Mode);
  // Closes the cursor's streams of the field on the active row buffer (10108 without cursor).
  void CloseBlob(zev::TField& Field);
  // The cursor stream for a TABSBLOBStream: 10108 without cursor, 10111 for a write mode
  // outside edit and insert; null when the cursor has none to give.
  zev::TABSLocalBLOBStream* OpenCursorBlobStream(zev::TField& Field, zev::TBlobStreamMode Mode);
  // A value was written through a stream of Field: the dataset is modified and OnFieldChange
  // runs; an exception from it goes to OnHandleException (dropped without one).
  void BlobFieldChanged(zev::TField& Field);
  void HandleBlobException();
  std::function<void(zev::TField&)> OnFieldChange;
  std::function<void(std::exception_ptr)> OnHandleException;

 protected:
  // The subclass's cursor, opened on the held database's connection.
  virtual std::unique_ptr<zev::TABSLocalCursor> CreateHandle() = 0;
  // After the cursor opened: the active index and the key map.
  virtual void HandleOpened() {}

  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override;
  void InternalInitFieldDefs() override;
  int32_t RecordBufferSize() const override;
  zev::TGetResult GetRecord(uint8_t* Buffer, zev::TGetMode Mode, bool DoCheck) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalInitRecord(uint8_t* Buffer) override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalSetToRecord(const uint8_t* Buffer) override;
  zev::TBookmark GetBookmarkData(const uint8_t* Buffer) override;
  void InternalGotoBookmark(const zev::TBookmark& Bookmark) override;
  int64_t GetRecordCount() override;
  int64_t GetRecNo() override;
  bool GetCanModify() const override { return !FReadOnly; }

  // Key buffers: the cursor's key layout with, at the key offset, Modified (byte), Exclusive
  // (byte) and FieldCount (int32, 0: every key field).
  std::vector<uint8_t>& KeyBuffer(int Index) { return FKeyBuffers[static_cast<size_t>(Index)]; }
  void ClearKeyBuffer(int Index);
  bool KeyModified(int Index) { return KeyBuffer(Index)[keyOffset()] != 0; }
  bool KeyExclusiveOf(int Index) { return KeyBuffer(Index)[keyOffset() + 1] != 0; }
  int32_t KeyFieldCountOf(int Index);
  void SetKeyHeader(int Index, bool Modified, bool Exclusive, int32_t FieldCount);
  size_t keyOffset() const;
  // The key buffer being edited in dsSetKey (-1 outside key entry).
  int FEditedKey = -1;
  // Field numbers (0-based) of the active index's key fields.
  std::vector<int> FIndexFieldMap;
  int32_t FKeySize = 0;
  // Runs a cursor row operation's result through EABSEngineError.
  void checkResult();
  void releaseDatabase();
  zev::TABSLocalCursor& handle() const;

 private:
  AnsiString FDatabaseName;
  AnsiString FSessionName;
  bool FInMemory = false;
  bool FReadOnly = false;
  TABSDatabase* LDatabase = nullptr;
  std::unique_ptr<zev::TABSLocalCursor> FHandle;
  std::array<std::vector<uint8_t>, kKeyBufferCount> FKeyBuffers;
  bool FRefreshingForBlob = false;

  // Runs Call with the cursor's current row buffer holding the active buffer (copied back
  // afterwards) and the cursor's own buffer restored.
  template <class F>
  void withActiveBufferInCursor(F&& Call);
};
