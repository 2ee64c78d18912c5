// The dataset contract's algorithms over a small in-memory dataset: opening with automatic and
// persistent fields, the walk and its Eof/Bof, editing, inserting, cancelling, deleting, the
// order of hooks and events, the required and length checks, state checks and bookmarks.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/tables/DBError.h"
#include "engine/tables/DataSet.h"

namespace {

using namespace zev;

struct Column {
  const char* Name;
  TFieldType Type;
  int32_t Size;
  bool Required;
};

// Rows kept in a vector. Record buffer: per column a NULL flag byte then the field's buffer
// form, then the row's id (int32, the bookmark, also given to NULL auto-increment columns), then
// the calculated area. The cursor is an index into the rows: -1 before the first, Rows.size() after
// the last. Posted inserts go to the end. Every hook appends its name to Log, as do the events the
// tests attach.
class TMemDataSet : public TDataSet {
 public:
  explicit TMemDataSet(std::vector<Column> Columns, TComponent* Owner = nullptr)
      : TDataSet(Owner), FColumns(std::move(Columns)) {}
  ~TMemDataSet() override { Close(); }

  void AddRow(std::function<void(TMemDataSet&)> Fill) { FPendingRows.push_back(Fill); }
  int RowCount() const { return static_cast<int>(FRows.size()); }

  std::vector<std::string> Log;
  bool FailOpenAfterCursor = false;
  bool FailPost = false;
  bool CanModify = true;

  bool GetFieldData(const TField& Field, void* Buffer) override {
    const uint8_t* record = ActiveBuffer();
    if (!record) return false;
    const uint8_t* p = record + fieldOffset(Field);
    if (p[0] == 0) return false;
    if (Buffer) std::memcpy(Buffer, p + 1, Field.DataSize());
    return true;
  }
  void SetFieldData(TField& Field, const void* Buffer) override {
    uint8_t* p = ActiveBuffer() + fieldOffset(Field);
    p[0] = Buffer ? 1 : 0;
    if (Buffer)
      std::memcpy(p + 1, Buffer, Field.DataSize());
    else
      std::memset(p + 1, 0, Field.DataSize());
  }
  // Key entry on a key buffer of the record layout, as the engine's table does.
  void SetKey() {
    CheckBrowseMode();
    FKeyBuffer.assign(RecordBufferSize(), 0);
    SetState(dsSetKey);
    SetModified(false);
  }
  uint8_t* ActiveBuffer() override {
    return State() == dsSetKey ? FKeyBuffer.data() : TDataSet::ActiveBuffer();
  }
  using TDataSet::CalcFieldsSize;
  using TDataSet::DefaultFields;

 protected:
  void InternalOpen() override {
    Log.push_back("InternalOpen");
    FOpen = true;
    InternalInitFieldDefs();
    if (FailOpenAfterCursor) throw std::runtime_error("open failed");
    FCursor = -1;
  }
  void InternalClose() override {
    Log.push_back("InternalClose");
    FOpen = false;
  }
  bool IsCursorOpen() const override { return FOpen; }
  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    FDataOffsets.clear();
    FDataSize = 0;
    for (const Column& c : FColumns) {
      const TFieldDef& def = FieldDefs().Add(c.Name, c.Type, c.Size, c.Required);
      FDataOffsets.push_back(FDataSize);
      FDataSize += 1 + CreateField(*this, def)->DataSize();
    }
    if (!FPendingRows.empty()) fillPendingRows();
  }
  int32_t RecordBufferSize() const override { return FDataSize + 4 + CalcFieldsSize(); }
  TGetResult GetRecord(uint8_t* Buffer, TGetMode Mode, bool) override {
    const int n = RowCount();
    if (Mode == gmNext) FCursor = std::min(FCursor + 1, n);
    if (Mode == gmPrior) FCursor = std::max(FCursor - 1, -1);
    if (FCursor < 0) return grBOF;
    if (FCursor >= n) return grEOF;
    std::memcpy(Buffer, FRows[FCursor].data(), FDataSize + 4);
    std::memset(Buffer + FDataSize + 4, 0, CalcFieldsSize());
    GetCalcFields(Buffer);
    return grOK;
  }
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = RowCount(); }
  void InternalInitRecord(uint8_t* Buffer) override {
    Log.push_back("InternalInitRecord");
    std::memset(Buffer, 0, RecordBufferSize());
    PutInt32LE(Buffer + FDataSize, -1);
  }
  void InternalInsert() override { Log.push_back("InternalInsert"); }
  void InternalEdit() override { Log.push_back("InternalEdit"); }
  void InternalPost() override {
    Log.push_back("InternalPost");
    if (FailPost) throw std::runtime_error("post refused");
    uint8_t* record = RecordBuffer();
    if (State() == dsInsert) {
      fillAutoInc(record, FNextId);
      PutInt32LE(record + FDataSize, FNextId++);
      FRows.emplace_back(record, record + FDataSize + 4);
      FCursor = RowCount() - 1;
    } else {
      FCursor = indexOf(GetInt32LE(record + FDataSize));
      std::memcpy(FRows[FCursor].data(), record, FDataSize);
    }
  }
  void InternalCancel() override { Log.push_back("InternalCancel"); }
  void InternalDelete() override {
    Log.push_back("InternalDelete");
    FRows.erase(FRows.begin() + FCursor);
  }
  void InternalSetToRecord(const uint8_t* Buffer) override {
    FCursor = indexOf(GetInt32LE(Buffer + FDataSize));
  }
  TBookmark GetBookmarkData(const uint8_t* Buffer) override {
    return TBookmark(Buffer + FDataSize, Buffer + FDataSize + 4);
  }
  void InternalGotoBookmark(const TBookmark& Bookmark) override {
    const int i = indexOf(GetInt32LE(Bookmark.data()));
    FCursor = i < 0 ? RowCount() : i;
  }
  int64_t GetRecordCount() override { return RowCount(); }
  int64_t GetRecNo() override { return FCursor + 1; }
  bool GetCanModify() const override { return CanModify; }
  void PostKeyEntry() override {
    Log.push_back(Modified() ? "PostKeyEntry modified" : "PostKeyEntry");
  }
  void CancelKeyEntry() override { Log.push_back("CancelKeyEntry"); }

 private:
  int32_t fieldOffset(const TField& Field) const {
    if (Field.FieldKind() != fkData) return FDataSize + 4 + Field.Offset();
    return FDataOffsets[Field.FieldNo() - 1];
  }
  int indexOf(int32_t Id) const {
    for (int i = 0; i < RowCount(); ++i) {
      if (GetInt32LE(FRows[i].data() + FDataSize) == Id) return i;
    }
    return -1;
  }
  // Auto-increment columns left NULL take the row's id, as the engine fills them.
  void fillAutoInc(uint8_t* Record, int32_t Id) {
    for (size_t i = 0; i < FColumns.size(); ++i) {
      uint8_t* p = Record + FDataOffsets[i];
      if (FColumns[i].Type == ftAutoInc && p[0] == 0) {
        p[0] = 1;
        PutInt32LE(p + 1, Id);
      }
    }
  }
  // Rows given before the first open are written through the dataset's own insert path, with
  // hooks and events silenced.
  void fillPendingRows() {
    std::vector<std::function<void(TMemDataSet&)>> rows = std::move(FPendingRows);
    FPendingRows.clear();
    std::vector<uint8_t> record(FDataSize + 4, 0);
    for (const auto& fill : rows) {
      std::fill(record.begin(), record.end(), 0);
      FFillRecord = &record;
      fill(*this);
      fillAutoInc(record.data(), FNextId);
      PutInt32LE(record.data() + FDataSize, FNextId++);
      FRows.push_back(record);
    }
    FFillRecord = nullptr;
  }

 public:
  // Sets a column of the row being filled by AddRow (raw buffer form).
  void FillColumn(int FieldNo, const void* Data, size_t Size) {
    uint8_t* p = FFillRecord->data() + FDataOffsets[FieldNo - 1];
    p[0] = 1;
    std::memcpy(p + 1, Data, Size);
  }

 private:
  std::vector<Column> FColumns;
  std::vector<std::function<void(TMemDataSet&)>> FPendingRows;
  std::vector<uint8_t>* FFillRecord = nullptr;
  std::vector<uint8_t> FKeyBuffer;
  std::vector<std::vector<uint8_t>> FRows;
  std::vector<int32_t> FDataOffsets;
  int32_t FDataSize = 0;
  int FCursor = -1;
  int32_t FNextId = 100;
  bool FOpen = false;
};

const std::vector<Column> kColumns = {
    {"Id", ftAutoInc, 0, false}, {"Nom", ftString, 10, true}, {"Qte", ftInteger, 0, false}};

// A dataset named "Table1" with rows (Nom, Qte): ("A", 1), ("B", 2), ("C", 3).
std::unique_ptr<TMemDataSet> makeDataSet(int Rows = 3) {
  auto ds = std::make_unique<TMemDataSet>(kColumns);
  ds->SetName("Table1");
  for (int i = 0; i < Rows; ++i) {
    ds->AddRow([i](TMemDataSet& d) {
      char name[11] = {};
      name[0] = static_cast<char>('A' + i);
      d.FillColumn(2, name, sizeof name);
      uint8_t qte[4];
      PutInt32LE(qte, i + 1);
      d.FillColumn(3, qte, 4);
    });
  }
  return ds;
}

std::string nom(TDataSet& Ds) { return Ds.FieldByName("Nom").AsString(); }

std::string errorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "<no EDatabaseError>";
}

void attachEvents(TMemDataSet& Ds) {
  struct Named {
    TDataSet::TDataSetNotifyEvent TDataSet::*Event;
    const char* Name;
  };
  const Named events[] = {
      {&TDataSet::BeforeOpen, "BeforeOpen"},     {&TDataSet::AfterOpen, "AfterOpen"},
      {&TDataSet::BeforeClose, "BeforeClose"},   {&TDataSet::AfterClose, "AfterClose"},
      {&TDataSet::BeforeInsert, "BeforeInsert"}, {&TDataSet::AfterInsert, "AfterInsert"},
      {&TDataSet::BeforeEdit, "BeforeEdit"},     {&TDataSet::AfterEdit, "AfterEdit"},
      {&TDataSet::BeforePost, "BeforePost"},     {&TDataSet::AfterPost, "AfterPost"},
      {&TDataSet::BeforeCancel, "BeforeCancel"}, {&TDataSet::AfterCancel, "AfterCancel"},
      {&TDataSet::BeforeDelete, "BeforeDelete"}, {&TDataSet::AfterDelete, "AfterDelete"},
      {&TDataSet::BeforeScroll, "BeforeScroll"}, {&TDataSet::AfterScroll, "AfterScroll"},
      {&TDataSet::OnNewRecord, "OnNewRecord"},
  };
  for (const Named& e : events) {
    const std::string name = e.Name;
    Ds.*(e.Event) = [&Ds, name](TDataSet&) { Ds.Log.push_back(name); };
  }
}

TEST(DataSetOpen, AutomaticFieldsComeFromTheDefinitionsAndGoAtClose) {
  auto ds = makeDataSet();
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->State(), dsInactive);
  ds->Open();
  EXPECT_EQ(ds->State(), dsBrowse);
  ASSERT_EQ(ds->FieldCount(), 3);
  EXPECT_TRUE(ds->DefaultFields());
  EXPECT_NE(dynamic_cast<TAutoIncField*>(ds->Fields()[0]), nullptr);
  EXPECT_NE(dynamic_cast<TStringField*>(ds->Fields()[1]), nullptr);
  EXPECT_EQ(ds->Fields()[2]->FieldNo(), 3);
  EXPECT_EQ(ds->FieldByName("nom").FieldName(), "Nom");  // ignoring case
  EXPECT_EQ(nom(*ds), "A");
  EXPECT_EQ(ds->FieldByName("Id").AsInteger(), 100);
  EXPECT_EQ(ds->RecordCount(), 3);
  ds->Close();
  EXPECT_EQ(ds->State(), dsInactive);
  EXPECT_EQ(ds->FieldCount(), 0);
  EXPECT_EQ(ds->FieldDefs().Count(), 3);
}

TEST(DataSetOpen, PersistentFieldsAreKeptAndBoundByName) {
  auto ds = makeDataSet();
  TField& qte = ds->AddField(std::make_unique<TIntegerField>(nullptr, "QTE"));
  qte.SetDisplayName("Quantité");
  ds->Open();
  ASSERT_EQ(ds->FieldCount(), 1);
  EXPECT_FALSE(ds->DefaultFields());
  EXPECT_EQ(qte.DataSet(), ds.get());
  EXPECT_EQ(qte.FieldNo(), 3);
  EXPECT_EQ(qte.AsInteger(), 1);
  EXPECT_EQ(ds->FindField("Nom"), nullptr);
  ds->Close();
  ASSERT_EQ(ds->FieldCount(), 1);
  EXPECT_EQ(ds->Fields()[0], &qte);
  ds->Open();
  EXPECT_EQ(qte.AsInteger(), 1);
}

TEST(DataSetOpen, FailureLeavesTheDataSetClosed) {
  auto ds = makeDataSet();
  ds->FailOpenAfterCursor = true;
  EXPECT_THROW(ds->Open(), std::runtime_error);
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->Log, (std::vector<std::string>{"InternalOpen", "InternalClose"}));
  EXPECT_EQ(ds->FieldCount(), 0);

  // A persistent field without a column: the open fails with the name of the field.
  auto other = makeDataSet();
  other->AddField(std::make_unique<TStringField>(nullptr, "Ville", 20));
  EXPECT_EQ(errorOf([&] { other->Open(); }), "Table1: Field 'Ville' not found");
  EXPECT_FALSE(other->Active());
  EXPECT_EQ(other->Log.back(), "InternalClose");
  EXPECT_EQ(other->FieldCount(), 1);
}

TEST(DataSetNavigation, WalksBothWaysWithEofAndBof) {
  auto ds = makeDataSet();
  ds->Open();
  struct Step {
    void (TDataSet::*Move)();
    const char* Nom;
    bool Bof, Eof;
  };
  const Step steps[] = {
      {&TDataSet::First, "A", true, false},  {&TDataSet::Next, "B", false, false},
      {&TDataSet::Next, "C", false, false},  {&TDataSet::Next, "C", false, true},
      {&TDataSet::Next, "C", false, true},   {&TDataSet::Prior, "B", false, false},
      {&TDataSet::Prior, "A", false, false}, {&TDataSet::Prior, "A", true, false},
      {&TDataSet::Last, "C", false, true},   {&TDataSet::Prior, "B", false, false},
  };
  int i = 0;
  for (const Step& s : steps) {
    (ds.get()->*s.Move)();
    EXPECT_EQ(nom(*ds), s.Nom) << "step " << i;
    EXPECT_EQ(ds->Bof(), s.Bof) << "step " << i;
    EXPECT_EQ(ds->Eof(), s.Eof) << "step " << i;
    ++i;
  }
  // The usual walk sees every row once.
  std::string seen;
  for (ds->First(); !ds->Eof(); ds->Next()) seen += nom(*ds);
  EXPECT_EQ(seen, "ABC");
}

TEST(DataSetNavigation, EmptyDataSet) {
  auto ds = makeDataSet(0);
  ds->Open();
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->FieldByName("Nom").IsNull());
  EXPECT_EQ(nom(*ds), "");
  ds->Next();
  ds->Last();
  EXPECT_TRUE(ds->Eof() && ds->Bof());
  EXPECT_EQ(errorOf([&] { ds->Delete(); }),
            "Table1: Cannot perform this operation on an empty dataset");
  EXPECT_TRUE(ds->GetBookmark().empty());
  ds->Edit();  // an edit on nothing inserts
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_FALSE(ds->IsEmpty());
  ds->FieldByName("Nom").SetAsString("Z");
  ds->Post();
  EXPECT_EQ(ds->RowCount(), 1);
  EXPECT_FALSE(ds->IsEmpty());
  EXPECT_EQ(nom(*ds), "Z");
}

TEST(DataSetEditing, EditPostChangesTheRow) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Next();
  ds->Edit();
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_FALSE(ds->Modified());
  ds->FieldByName("Nom").SetAsAnsiString("Bé");
  ds->FieldByName("Qte").SetAsInteger(20);
  EXPECT_TRUE(ds->Modified());
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_FALSE(ds->Modified());
  EXPECT_EQ(nom(*ds), "Bé");
  ds->Close();
  ds->Open();
  ds->Next();
  EXPECT_EQ(nom(*ds), "Bé");
  EXPECT_EQ(ds->FieldByName("Qte").AsInteger(), 20);
  EXPECT_EQ(ds->RowCount(), 3);
}

TEST(DataSetEditing, InsertAndAppendPostAddARowAndShowIt) {
  for (void (TDataSet::*add)() : {&TDataSet::Insert, &TDataSet::Append}) {
    auto ds = makeDataSet();
    ds->Open();
    ds->Next();
    (ds.get()->*add)();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_TRUE(ds->FieldByName("Nom").IsNull());  // a cleared record
    ds->FieldByName("Nom").SetAsString("D");
    ds->FieldByName("Qte").SetAsString("4");
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->RowCount(), 4);
    EXPECT_EQ(nom(*ds), "D");
    EXPECT_EQ(ds->FieldByName("Id").AsInteger(), 103);  // the id the source gave
    std::string seen;
    for (ds->First(); !ds->Eof(); ds->Next()) seen += nom(*ds);
    EXPECT_EQ(seen, "ABCD");
  }
}

TEST(DataSetEditing, CancelRestoresTheRow) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Next();
  ds->Insert();
  ds->FieldByName("Nom").SetAsString("X");
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(nom(*ds), "B");
  EXPECT_EQ(ds->RowCount(), 3);
  ds->Edit();
  ds->FieldByName("Nom").SetAsString("Y");
  ds->Cancel();
  EXPECT_EQ(nom(*ds), "B");
  ds->Next();
  EXPECT_EQ(nom(*ds), "C");
  // Closing during an edit drops it.
  ds->Edit();
  ds->FieldByName("Nom").SetAsString("Y");
  ds->Close();
  ds->Open();
  ds->Last();
  EXPECT_EQ(nom(*ds), "C");
}

TEST(DataSetEditing, DeleteShowsTheNeighbour) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Next();
  ds->Delete();
  EXPECT_EQ(nom(*ds), "C");  // the row after
  ds->Delete();
  EXPECT_EQ(nom(*ds), "A");  // the last one gone: the row before
  EXPECT_TRUE(ds->Eof());
  ds->Delete();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Eof() && ds->Bof());
  EXPECT_EQ(ds->RowCount(), 0);
}

TEST(DataSetEditing, FailedPostKeepsTheEditAndRequiredFieldsAreChecked) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Insert();
  ds->FieldByName("Qte").SetAsInteger(7);
  ds->FieldByName("Nom").SetDisplayName("Nom de la matière");
  ds->Log.clear();
  EXPECT_EQ(errorOf([&] { ds->Post(); }), "Field 'Nom de la matière' must have a value");
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_TRUE(ds->Log.empty());  // InternalPost not reached; Id (auto-increment) not required

  ds->FieldByName("Nom").SetAsString("E");
  ds->FailPost = true;
  EXPECT_THROW(ds->Post(), std::runtime_error);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->FieldByName("Nom").AsString(), "E");
  ds->FailPost = false;
  ds->Post();
  EXPECT_EQ(ds->RowCount(), 4);
}

TEST(DataSetEditing, TextLongerThanTheColumnIsRefused) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Edit();
  ds->FieldByName("Nom").SetAsString("0123456789");  // exactly the size
  EXPECT_EQ(errorOf([&] { ds->FieldByName("Nom").SetAsString("0123456789X"); }),
            "Table1: Value of field 'Nom' is longer than 10 characters");
  EXPECT_EQ(nom(*ds), "0123456789");
  ds->Post();
  EXPECT_EQ(nom(*ds), "0123456789");
}

TEST(DataSetEditing, CheckBrowseModePostsModifiedAndCancelsUnmodifiedChanges) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Edit();
  ds->FieldByName("Qte").SetAsInteger(11);
  ds->Next();  // posts first
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(nom(*ds), "B");
  ds->Prior();
  EXPECT_EQ(ds->FieldByName("Qte").AsInteger(), 11);
  ds->Insert();
  ds->Log.clear();
  ds->CheckBrowseMode();
  EXPECT_EQ(ds->Log, std::vector<std::string>{"InternalCancel"});
  EXPECT_EQ(ds->RowCount(), 3);
}

struct EventCase {
  const char* Name;
  std::function<void(TMemDataSet&)> Prepare;
  std::function<void(TMemDataSet&)> Operation;
  std::vector<std::string> Expected;
};

TEST(DataSetEvents, OrderOfHooksAndEventsPerOperation) {
  auto open = [](TMemDataSet& d) { d.Open(); };
  auto edited = [](TMemDataSet& d) {
    d.Open();
    d.Edit();
    d.FieldByName("Qte").SetAsInteger(5);
  };
  auto inserted = [](TMemDataSet& d) {
    d.Open();
    d.Insert();
    d.FieldByName("Nom").SetAsString("N");
  };
  const EventCase cases[] = {
      {"Open", [](TMemDataSet&) {}, open, {"BeforeOpen", "InternalOpen", "AfterOpen"}},
      {"Close",
       open,
       [](TMemDataSet& d) { d.Close(); },
       {"BeforeClose", "InternalClose", "AfterClose"}},
      {"Close while editing",
       edited,
       [](TMemDataSet& d) { d.Close(); },
       {"InternalCancel", "BeforeClose", "InternalClose", "AfterClose"}},
      {"Next", open, [](TMemDataSet& d) { d.Next(); }, {"BeforeScroll", "AfterScroll"}},
      {"Next while editing",
       edited,
       [](TMemDataSet& d) { d.Next(); },
       {"BeforePost", "InternalPost", "AfterPost", "BeforeScroll", "AfterScroll"}},
      {"Edit", open, [](TMemDataSet& d) { d.Edit(); }, {"BeforeEdit", "InternalEdit", "AfterEdit"}},
      {"Insert",
       open,
       [](TMemDataSet& d) { d.Insert(); },
       {"BeforeInsert", "InternalInsert", "InternalInitRecord", "OnNewRecord", "AfterInsert"}},
      {"Post edit",
       edited,
       [](TMemDataSet& d) { d.Post(); },
       {"BeforePost", "InternalPost", "AfterPost"}},
      {"Post insert",
       inserted,
       [](TMemDataSet& d) { d.Post(); },
       {"BeforePost", "InternalPost", "AfterPost"}},
      {"Cancel insert",
       inserted,
       [](TMemDataSet& d) { d.Cancel(); },
       {"BeforeCancel", "InternalCancel", "AfterCancel"}},
      {"Delete",
       open,
       [](TMemDataSet& d) { d.Delete(); },
       {"BeforeDelete", "InternalDelete", "AfterDelete"}},
      {"Delete while inserting",
       inserted,
       [](TMemDataSet& d) { d.Delete(); },
       {"BeforeCancel", "InternalCancel", "AfterCancel"}},
      {"Post in browse", open, [](TMemDataSet& d) { d.Post(); }, {}},
  };
  for (const EventCase& c : cases) {
    auto ds = makeDataSet();
    attachEvents(*ds);
    c.Prepare(*ds);
    ds->Log.clear();
    c.Operation(*ds);
    EXPECT_EQ(ds->Log, c.Expected) << c.Name;
  }
}

TEST(DataSetEvents, OnNewRecordMayFillTheNewRow) {
  auto ds = makeDataSet();
  ds->OnNewRecord = [](TDataSet& d) { d.FieldByName("Qte").SetAsInteger(42); };
  ds->Open();
  ds->Append();
  EXPECT_EQ(ds->FieldByName("Qte").AsInteger(), 42);
  EXPECT_TRUE(ds->FieldByName("Nom").IsNull());
}

TEST(DataSetState, ChecksAndTheirMessages) {
  auto ds = makeDataSet();
  const std::string closed = "Table1: Cannot perform this operation on a closed dataset";
  const std::function<void(TDataSet&)> operations[] = {
      [](TDataSet& d) { d.First(); },   [](TDataSet& d) { d.Next(); },
      [](TDataSet& d) { d.Prior(); },   [](TDataSet& d) { d.Last(); },
      [](TDataSet& d) { d.Edit(); },    [](TDataSet& d) { d.Insert(); },
      [](TDataSet& d) { d.Append(); },  [](TDataSet& d) { d.Post(); },
      [](TDataSet& d) { d.Cancel(); },  [](TDataSet& d) { d.Delete(); },
      [](TDataSet& d) { d.Refresh(); }, [](TDataSet& d) { d.GetBookmark(); },
  };
  for (const auto& op : operations) EXPECT_EQ(errorOf([&] { op(*ds); }), closed);

  ds->Open();
  EXPECT_EQ(errorOf([&] { ds->FieldByName("Nom").SetAsString("x"); }),
            "Table1: Dataset not in edit or insert mode");
  EXPECT_EQ(nom(*ds), "A");
  EXPECT_EQ(errorOf([&] { ds->FieldByName("Ville"); }), "Table1: Field 'Ville' not found");
  EXPECT_EQ(errorOf([&] { ds->AddField(std::make_unique<TIntegerField>(nullptr, "X")); }),
            "Table1: Cannot perform this operation on an open dataset");
  ds->CanModify = false;
  EXPECT_EQ(errorOf([&] { ds->Edit(); }), "Table1: Cannot modify a read-only dataset");
  EXPECT_EQ(errorOf([&] { ds->Insert(); }), "Table1: Cannot modify a read-only dataset");
  EXPECT_EQ(ds->State(), dsBrowse);
  ds->CanModify = true;
  ds->FieldByName("Qte").SetReadOnly(true);
  ds->Edit();
  EXPECT_EQ(errorOf([&] { ds->FieldByName("Qte").SetAsInteger(3); }),
            "Table1: Field 'Qte' cannot be modified");
}

TEST(DataSetState, KeyEntryWritesTheKeyBufferAndEndsThroughTheHooks) {
  auto ds = makeDataSet();
  ds->Open();
  ds->SetKey();
  EXPECT_TRUE(ds->FieldByName("Nom").IsNull());  // the cleared key buffer, not the row
  ds->FieldByName("Nom").SetAsString("B");
  EXPECT_TRUE(ds->Modified());
  ds->Log.clear();
  ds->Post();
  EXPECT_EQ(ds->Log, std::vector<std::string>{"PostKeyEntry modified"});
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(nom(*ds), "A");  // the row was not written

  ds->SetKey();
  ds->Log.clear();
  ds->Cancel();
  EXPECT_EQ(ds->Log, std::vector<std::string>{"CancelKeyEntry"});
  ds->SetKey();
  ds->Log.clear();
  ds->Next();  // leaves key entry through CheckBrowseMode
  EXPECT_EQ(ds->Log, std::vector<std::string>{"PostKeyEntry"});
  EXPECT_EQ(nom(*ds), "B");
}

TEST(DataSetBookmarks, GotoReturnsToTheRow) {
  auto ds = makeDataSet();
  ds->Open();
  ds->Next();
  const TBookmark b = ds->GetBookmark();
  ASSERT_EQ(b.size(), 4u);
  ds->Last();
  ds->GotoBookmark(b);
  EXPECT_EQ(nom(*ds), "B");
  EXPECT_FALSE(ds->Eof() || ds->Bof());
  ds->Next();
  EXPECT_EQ(nom(*ds), "C");
  ds->GotoBookmark(b);
  ds->Delete();
  EXPECT_EQ(errorOf([&] { ds->GotoBookmark(b); }), "Table1: Record not found");
}

TEST(DataSetFields, CalculatedFieldsAreComputedInTheirArea) {
  auto ds = makeDataSet();
  ds->AddField(std::make_unique<TStringField>(nullptr, "Nom", 10));
  auto calc = std::make_unique<TIntegerField>(nullptr, "Double");
  calc->SetFieldKind(fkCalculated);
  TField& twice = ds->AddField(std::move(calc));
  TField& qte = ds->AddField(std::make_unique<TIntegerField>(nullptr, "Qte"));
  ds->OnCalcFields = [&](TDataSet& d) {
    EXPECT_EQ(d.State(), dsCalcFields);
    twice.SetAsInteger(qte.AsInteger() * 2);
  };
  ds->Open();
  EXPECT_EQ(twice.FieldNo(), 0);
  EXPECT_EQ(ds->CalcFieldsSize(), 5);
  EXPECT_EQ(twice.AsInteger(), 2);
  ds->Last();
  EXPECT_EQ(twice.AsInteger(), 6);
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetErrors, DatabaseErrorPrefixesTheComponentName) {
  TComponent named(nullptr);
  named.SetName("Table2");
  TComponent unnamed(nullptr);
  EXPECT_EQ(errorOf([&] { DatabaseError("Oops", &named); }), "Table2: Oops");
  EXPECT_EQ(errorOf([&] { DatabaseError("Oops", &unnamed); }), "Oops");
  EXPECT_EQ(errorOf([&] { DatabaseError("Oops"); }), "Oops");
  EXPECT_EQ(errorOf([&] {
              DatabaseErrorFmt("Field '%s' is %d", {"Nom", 3}, &named);
            }),
            "Table2: Field 'Nom' is 3");
  try {
    DatabaseError("x");
  } catch (const Exception& e) {  // an Exception for the application's handler
    EXPECT_EQ(e.Message(), "x");
  }
}

}  // namespace
