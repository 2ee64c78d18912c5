// The dataset-level BLOB stream (TABSBLOBStream, TABSDataSet::CreateBlobStream and CloseBlob)
// through the table component: values written in insert and edit and stored at post, the
// refusals on a read-only dataset and outside edit and insert, cancelling after a write, the
// dataset's Modified flag and the field-change callback; and, between two processes, a read
// stream that starts from the value another process stored, and a row deleted elsewhere or a
// refused shared table lock that give no stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/ZEVExcept.h"
#include "engine/tables/ZEVBLOBStream.h"
#include "engine/tables/ZEVTableComponent.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/engine/tables/BlobTestSupport.h"
#include "tests/engine/tables/CursorTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using blobtest::Bytes;
using blobtest::patterned;
using enginetest::TextOf;

constexpr const char* kDatabaseName = "BlobDocs";

class DataSetBlobStreamTest : public ::testing::Test {
 protected:
  // Docs (Id, Doc BLOB compressed with ZLIB in 8 KB blocks) reached through a database
  // component; MultiUser for the tests between processes.
  void open(bool MultiUser = false) {
    blobtest::TDocsFile file;
    file.Path = FPath;
    file.Algorithm = zev::acaZLIB;
    file.Mode = 1;
    file.BlockSize = 8192;
    blobtest::createDocs(file);
    FDatabase = std::make_unique<TABSDatabase>(nullptr);
    FDatabase->SetDatabaseName(kDatabaseName);
    FDatabase->SetDatabaseFileName(FPath);
    FDatabase->SetMultiUser(MultiUser);
    FDatabase->PageManagerSettings = cursortest::databaseSettings(MultiUser).PageManagerSettings;
    FDatabase->LockBudgets = cursortest::lockBudgets(MultiUser);
    FDatabase->LockBudgets.BlobDelayMs = 1;
    FDatabase->Open();
    FTable = docs();
  }
  void TearDown() override {
    FTable.reset();
    FDatabase.reset();
  }
  std::unique_ptr<TABSTable> docs() {
    auto table = std::make_unique<TABSTable>(nullptr);
    table->SetDatabaseName(kDatabaseName);
    table->SetTableName("Docs");
    table->Open();
    return table;
  }
  zev::TField& doc() { return FTable->FieldByName("Doc"); }

  static void write(TABSTable& Table, zev::TBlobStreamMode Mode, const Bytes& Value,
                    bool AtEnd = false) {
    std::unique_ptr<TABSBLOBStream> stream = Table.CreateBlobStream(Table.FieldByName("Doc"), Mode);
    ASSERT_NE(stream->BLOBStream(), nullptr);
    if (AtEnd) stream->Seek(0, zev::soEnd);
    if (!Value.empty()) stream->WriteBuffer(Value.data(), static_cast<int64_t>(Value.size()));
  }
  static Bytes read(TABSTable& Table) {
    std::unique_ptr<TABSBLOBStream> stream =
        Table.CreateBlobStream(Table.FieldByName("Doc"), zev::bmRead);
    Bytes value(static_cast<size_t>(stream->GetSize()));
    if (!value.empty()) stream->ReadBuffer(value.data(), static_cast<int64_t>(value.size()));
    return value;
  }
  static bool locate(TABSTable& Table, int32_t Id) {
    for (Table.First(); !Table.Eof(); Table.Next())
      if (Table.FieldByName("Id").AsInteger() == Id) return true;
    return false;
  }
  void insert(int32_t Id, const Bytes& Value) {
    FTable->Append();
    FTable->FieldByName("Id").SetAsInteger(Id);
    write(*FTable, zev::bmWrite, Value);
    FTable->Post();
  }
  size_t cacheCount() {
    return zev::TABSDiskTableData::FindOrCreate(FDatabase->Handle()->DatabaseData(), "Docs")
        .BlobManager()
        .CacheCount();
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("docs.abs");
  std::unique_ptr<TABSDatabase> FDatabase;
  std::unique_ptr<TABSTable> FTable;
};

TEST_F(DataSetBlobStreamTest, ValuesWrittenInInsertAndEditAreStoredAtPostAndReadBack) {
  open();
  const Bytes first = patterned(50000, 1);  // several compressed blocks
  insert(1, first);
  insert(2, patterned(10, 2));
  ASSERT_TRUE(locate(*FTable, 1));
  EXPECT_EQ(read(*FTable), first);

  // bmReadWrite keeps the value and writes where it is told; bmWrite starts from nothing.
  const Bytes tail = patterned(3000, 3);
  FTable->Edit();
  write(*FTable, zev::bmReadWrite, tail, true);
  FTable->Post();
  Bytes grown = first;
  grown.insert(grown.end(), tail.begin(), tail.end());
  EXPECT_EQ(read(*FTable), grown);
  FTable->Edit();
  write(*FTable, zev::bmWrite, patterned(7, 4));
  FTable->Post();
  EXPECT_EQ(read(*FTable), patterned(7, 4));

  // Another dataset reads what was stored, not a cache of this one.
  std::unique_ptr<TABSTable> other = docs();
  ASSERT_TRUE(locate(*other, 1));
  EXPECT_EQ(read(*other), patterned(7, 4));
  ASSERT_TRUE(locate(*other, 2));
  EXPECT_EQ(read(*other), patterned(10, 2));

  // A bmWrite stream closed without a byte written empties the value: the field is NULL.
  FTable->Edit();
  write(*FTable, zev::bmWrite, {});
  FTable->Post();
  EXPECT_TRUE(doc().IsNull());
  EXPECT_TRUE(read(*FTable).empty());
  EXPECT_EQ(cacheCount(), 0u);
}

TEST_F(DataSetBlobStreamTest, AReadOnlyDataSetGivesOnlyReadStreams) {
  open();
  insert(1, patterned(100, 1));
  FTable->SetReadOnly(true);
  ASSERT_TRUE(locate(*FTable, 1));
  for (const zev::TBlobStreamMode mode : {zev::bmWrite, zev::bmReadWrite}) {
    int code = 0;
    EXPECT_EQ(errorOf([&] { FTable->CreateBlobStream(doc(), mode); }, &code),
              TextOf("Dataset is in read only mode", 10107));
    EXPECT_EQ(code, 10107);
    EXPECT_EQ(errorOf([&] { TABSBLOBStream stream(doc(), mode); }, &code),
              TextOf("Dataset is in read only mode", 10106));
    EXPECT_EQ(code, 10106);
  }
  EXPECT_EQ(read(*FTable), patterned(100, 1));
}

TEST_F(DataSetBlobStreamTest, AWriteStreamNeedsEditOrInsert) {
  open();
  insert(1, patterned(100, 1));
  ASSERT_TRUE(locate(*FTable, 1));
  ASSERT_EQ(FTable->State(), zev::dsBrowse);
  for (const zev::TBlobStreamMode mode : {zev::bmWrite, zev::bmReadWrite}) {
    int code = 0;
    EXPECT_EQ(errorOf([&] { FTable->CreateBlobStream(doc(), mode); }, &code),
              TextOf("Dataset not in edit or insert mode", 10111));
    EXPECT_EQ(code, 10111);
  }
  EXPECT_EQ(FTable->Handle()->BLOBStreamCount(), 0u);
  EXPECT_EQ(read(*FTable), patterned(100, 1));
}

// Cancelling drops what was written, whether the stream was closed before or is still open
// (the cursor then closes it, and it reads as empty).
TEST_F(DataSetBlobStreamTest, CancellingAfterAWriteKeepsTheStoredValue) {
  open();
  const Bytes value = patterned(20000, 1);
  insert(1, value);
  for (const bool closeFirst : {true, false}) {
    SCOPED_TRACE(closeFirst ? "closed before cancel" : "open at cancel");
    ASSERT_TRUE(locate(*FTable, 1));
    FTable->Edit();
    auto stream = FTable->CreateBlobStream(doc(), zev::bmWrite);
    const Bytes other = patterned(9000, 2);
    stream->WriteBuffer(other.data(), static_cast<int64_t>(other.size()));
    if (closeFirst) stream.reset();
    FTable->Cancel();
    if (stream) {
      EXPECT_EQ(stream->BLOBStream(), nullptr);
      uint8_t byte = 0;
      EXPECT_EQ(stream->Read(&byte, 1), 0);
      stream.reset();
    }
    EXPECT_EQ(FTable->Handle()->BLOBStreamCount(), 0u);
    EXPECT_EQ(cacheCount(), 0u);
    EXPECT_EQ(read(*FTable), value);
  }
  // A cancelled insert leaves no row and no value behind.
  FTable->Append();
  FTable->FieldByName("Id").SetAsInteger(2);
  write(*FTable, zev::bmWrite, patterned(5000, 3));
  FTable->Cancel();
  EXPECT_EQ(FTable->RecordCount(), 1);
  EXPECT_EQ(cacheCount(), 0u);
}

TEST_F(DataSetBlobStreamTest, AWriteMarksTheDataSetModifiedAndCallsTheFieldChangeOnce) {
  open();
  insert(1, patterned(100, 1));
  std::vector<std::string> changed;
  FTable->OnFieldChange = [&](zev::TField& Field) { changed.push_back(Field.FieldName()); };
  ASSERT_TRUE(locate(*FTable, 1));
  FTable->Edit();
  EXPECT_EQ(read(*FTable), patterned(100, 1));
  EXPECT_FALSE(FTable->Modified()) << "a read changes nothing";
  EXPECT_TRUE(changed.empty());
  write(*FTable, zev::bmWrite, patterned(200, 2));
  EXPECT_TRUE(FTable->Modified());
  EXPECT_EQ(changed, std::vector<std::string>{"Doc"});
  FTable->Post();
  EXPECT_EQ(changed.size(), 1u) << "posting does not report the value again";

  // An exception from the callback goes to the exception handler, not out of the destructor.
  FTable->OnFieldChange = [](zev::TField&) { throw Exception("refused"); };
  std::string handled;
  FTable->OnHandleException = [&](std::exception_ptr Error) {
    try {
      std::rethrow_exception(Error);
    } catch (const Exception& E) {
      handled = E.Message();
    }
  };
  FTable->Edit();
  EXPECT_NO_THROW(write(*FTable, zev::bmWrite, patterned(300, 3)));
  EXPECT_EQ(handled, "refused");
  FTable->Post();
  EXPECT_EQ(read(*FTable), patterned(300, 3));
}

// --- Between processes ------------------------------------------------------------------------

// A process on the Docs file. Args: path. Commands, one per line, each answered with a line:
// "update <Id> <size> <seed>", "delete <Id>", "lock" (the table's write lock ltRW, which shuts out
// the shared lock ltS while letting other processes keep the table open), "unlock", "quit".
TEST_HELPER(docs_writer) {
  auto session = cursortest::openSession(Args.at(0), true, true);
  auto cursor = blobtest::openDocs(*session);
  zev::TABSDiskTableData& table = blobtest::docsTable(*session);
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty() || command == "quit") return 0;
    if (command == "lock") {
      testsupport::Signal(table.LockTable(session->SessionID(), zev::ltRW, 100000, 1, false) ? "0"
                                                                                             : "1");
    } else if (command == "unlock") {
      testsupport::Signal(table.UnlockTable(session->SessionID(), zev::ltRW) ? "0" : "1");
    } else if (command.rfind("delete ", 0) == 0) {
      blobtest::deleteDoc(*cursor, std::stoi(command.substr(7)));
      testsupport::Signal(cursor->ErrorCode() == 0 ? "0" : "1");
    } else {
      int id = 0, seed = 0;
      size_t size = 0;
      std::sscanf(command.c_str(), "update %d %zu %d", &id, &size, &seed);
      blobtest::updateDoc(*cursor, id, patterned(size, static_cast<uint32_t>(seed)));
      testsupport::Signal(cursor->ErrorCode() == 0 ? "0" : "1");
    }
  }
}

class SharedBlobStreamTest : public DataSetBlobStreamTest {
 protected:
  std::unique_ptr<testsupport::THelperProcess> writer() {
    auto process = std::make_unique<testsupport::THelperProcess>("docs_writer",
                                                                 std::vector<std::string>{FPath});
    EXPECT_EQ(process->ReadLine(), "ready");
    return process;
  }
  static std::string ask(testsupport::THelperProcess& Process, const std::string& Command) {
    Process.Send(Command);
    return Process.ReadLine();
  }
};

// The browsed row still holds the identifier of the old value, whose pages the other process
// freed: the stream must start from the row as stored now.
TEST_F(SharedBlobStreamTest, AReadStreamStartsFromTheValueAnotherProcessStored) {
  open(true);
  insert(1, patterned(30000, 1));
  insert(2, patterned(500, 2));
  ASSERT_TRUE(locate(*FTable, 1));
  auto other = writer();
  ASSERT_EQ(ask(*other, "update 1 12000 7"), "0");
  EXPECT_EQ(read(*FTable), patterned(12000, 7));
  ASSERT_EQ(ask(*other, "update 1 100 8"), "0");
  EXPECT_EQ(read(*FTable), patterned(100, 8));
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedBlobStreamTest, ARowDeletedByAnotherProcessGivesNoStreamAndReadsEmpty) {
  open(true);
  insert(1, patterned(500, 1));
  insert(2, patterned(600, 2));
  ASSERT_TRUE(locate(*FTable, 2));
  auto other = writer();
  ASSERT_EQ(ask(*other, "delete 2"), "0");
  {
    TABSBLOBStream stream(doc(), zev::bmRead);
    EXPECT_EQ(stream.BLOBStream(), nullptr);
    EXPECT_EQ(stream.GetSize(), 0);
  }
  EXPECT_EQ(FTable->Handle()->BLOBStreamCount(), 0u);
  ASSERT_TRUE(locate(*FTable, 1));
  EXPECT_EQ(read(*FTable), patterned(500, 1));
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

TEST_F(SharedBlobStreamTest, ARefusedSharedTableLockGivesNoStream) {
  open(true);
  FDatabase->Handle()->SetLockBudgets([&] {
    zev::TABSCursorLockBudgets budgets = FDatabase->LockBudgets;
    budgets.BlobTries = 3;
    return budgets;
  }());
  insert(1, patterned(500, 1));
  ASSERT_TRUE(locate(*FTable, 1));
  auto other = writer();
  ASSERT_EQ(ask(*other, "lock"), "0");
  zev::TABSLocalCursor& cursor = *FTable->Handle();
  EXPECT_EQ(cursor.InternalCreateBlobStream(false, false, blobtest::kDoc, zev::bomRead, true),
            nullptr);
  EXPECT_EQ(cursor.BLOBStreamCount(), 0u);
  {
    // The dataset-level stream then has no cursor stream and reads as empty.
    TABSBLOBStream stream(doc(), zev::bmRead);
    EXPECT_EQ(stream.BLOBStream(), nullptr);
    EXPECT_EQ(stream.GetSize(), 0);
    uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
  }
  EXPECT_EQ(cursor.BLOBStreamCount(), 0u);
  ASSERT_EQ(ask(*other, "unlock"), "0");
  // With the lock free again the value reads as stored.
  EXPECT_EQ(read(*FTable), patterned(500, 1));
  other->Send("quit");
  EXPECT_EQ(other->Wait(), 0);
}

}  // namespace
