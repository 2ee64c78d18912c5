// BLOB tests on real database files: a table Docs (Id integer, Doc BLOB with a chosen
// compression) on a file with a chosen page size, reached through a cursor; helpers that
// insert, update, read and delete rows with their value; and a long run of random row changes
// that the BLOB storage tests and the database tool's tests both use.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDiskTableData.h"
#include "engine/tables/ZEVLocalSession.h"
#include "tests/engine/tables/CursorTestSupport.h"

namespace blobtest {

using namespace zev;
using Bytes = std::vector<uint8_t>;

inline constexpr int kId = 0, kDoc = 1;
inline constexpr const char* kPassword = "motdepasse";

struct TDocsFile {
  std::string Path;
  int32_t PageSize = 4096;
  bool Encrypted = false;
  TABSCompressionAlgorithm Algorithm = acaNone;
  uint8_t Mode = 0;
  int32_t BlockSize = 102400;
};

inline TABSDiskDatabaseSettings settingsOf(const TDocsFile& File) {
  TABSDiskDatabaseSettings settings = cursortest::databaseSettings(false, File.PageSize);
  if (File.Encrypted) settings.Password.Password = kPassword;
  return settings;
}

inline std::unique_ptr<TABSLocalSession> connect(const TDocsFile& File) {
  auto session = std::make_unique<TABSLocalSession>();
  session->SetDatabaseFileName(File.Path);
  session->SetDatabaseSettings(settingsOf(File));
  session->SetConnected(true);
  return session;
}

// A file with the table Docs (Id integer, Doc BLOB with the file's compression).
inline void createDocs(const TDocsFile& File) {
  TABSLocalSession creator;
  creator.SetDatabaseFileName(File.Path);
  creator.SetDatabaseSettings(settingsOf(File));
  creator.CreateDatabase();
  creator.SetConnected(true);
  TABSFieldDefs fields;
  cursortest::addField(fields, "Id", aftInteger, 0);
  cursortest::addField(fields, "Doc", aftBlob, 0);
  TABSFieldDef& doc = *fields.Items(kDoc);
  doc.FBLOBCompressionAlgorithm = File.Algorithm;
  doc.FBLOBCompressionMode = File.Mode;
  doc.FBLOBBlockSize = File.BlockSize;
  fields.RecalcFieldOffsets();
  TABSLocalCursor cursor(creator);
  cursor.SetTableName("Docs");
  cursor.CreateTable(fields, TABSIndexDefs(), TABSConstraintDefs());
}

inline std::unique_ptr<TABSLocalCursor> openDocs(TABSLocalSession& Session) {
  auto cursor = std::make_unique<TABSLocalCursor>(Session);
  cursor->SetTableName("Docs");
  cursor->OpenTable();
  return cursor;
}

inline Bytes patterned(size_t Size, uint32_t Seed) {
  Bytes bytes(Size);
  std::mt19937 random(Seed);
  // Runs of repeated bytes with random breaks: compresses, but not to nothing.
  for (size_t i = 0; i < Size; ++i)
    bytes[i] = (i % 64 < 8) ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 64);
  return bytes;
}

inline int32_t idOf(TABSLocalCursor& Cursor) {
  TABSVariant value;
  Cursor.FieldAccess().GetFieldValue(value, kId, Cursor.CurrentRecordBuffer());
  return value.AsInteger();
}

inline void writeStream(TABSLocalCursor& Cursor, const Bytes& Value,
                        TABSBLOBOpenMode Mode = bomWrite) {
  TABSLocalBLOBStream* stream = Cursor.InternalCreateBlobStream(false, true, kDoc, Mode, false);
  ASSERT_NE(stream, nullptr);
  stream->SetSize(0);
  if (!Value.empty()) stream->WriteBuffer(Value.data(), static_cast<int64_t>(Value.size()));
  Cursor.InternalCloseBLOB(kDoc);
}

// Posts a new row with the value (nothing written for an empty one).
inline void insertDoc(TABSLocalCursor& Cursor, int32_t Id, const Bytes& Value) {
  Cursor.InternalInitRecord(Cursor.CurrentRecordBuffer(), true);
  TABSVariant id;
  id.SetAsInteger(Id);
  Cursor.FieldAccess().SetFieldValue(id, kId, Cursor.CurrentRecordBuffer());
  if (!Value.empty()) writeStream(Cursor, Value);
  Cursor.InternalPost(true);
  ASSERT_EQ(Cursor.ErrorCode(), 0);
}

inline bool gotoDoc(TABSLocalCursor& Cursor, int32_t Id) {
  Cursor.InternalFirst();
  while (Cursor.GetRecordBuffer(grmNext) == grrOK)
    if (idOf(Cursor) == Id) return true;
  return false;
}

inline Bytes readCurrent(TABSLocalCursor& Cursor) {
  TABSLocalBLOBStream* stream = Cursor.InternalCreateBlobStream(false, false, kDoc, bomRead, true);
  Bytes value(static_cast<size_t>(stream->GetSize()));
  if (!value.empty()) stream->ReadBuffer(value.data(), static_cast<int64_t>(value.size()));
  Cursor.InternalCloseBLOB(kDoc);
  return value;
}

inline Bytes readDoc(TABSLocalCursor& Cursor, int32_t Id) {
  EXPECT_TRUE(gotoDoc(Cursor, Id));
  return readCurrent(Cursor);
}

inline void updateDoc(TABSLocalCursor& Cursor, int32_t Id, const Bytes& Value) {
  ASSERT_TRUE(gotoDoc(Cursor, Id));
  Cursor.InternalEdit();
  writeStream(Cursor, Value);
  Cursor.InternalPost(false);
  ASSERT_EQ(Cursor.ErrorCode(), 0);
}

inline void deleteDoc(TABSLocalCursor& Cursor, int32_t Id) {
  ASSERT_TRUE(gotoDoc(Cursor, Id));
  Cursor.InternalDelete();
  ASSERT_EQ(Cursor.ErrorCode(), 0);
}

inline TABSDiskTableData& docsTable(TABSLocalSession& Session) {
  return TABSDiskTableData::FindOrCreate(Session.DatabaseData(), "Docs");
}

// The rows a random run leaves: per Id the seed and the size of its value.
struct TRandomRows {
  std::map<int32_t, uint32_t> Seeds;
  std::map<int32_t, size_t> Sizes;
};

// Operations random inserts (40 %), updates (30 %) and deletes (30 %) of rows of Docs, with
// values of every form: empty, small, around a page and over many pages (D = PageDataSize).
// Stops at the first failed assertion.
inline TRandomRows RunRandomBlobChanges(TABSLocalCursor& Cursor, int32_t D, int Operations,
                                        uint32_t Seed = 20261211) {
  std::mt19937 random(Seed);
  TRandomRows rows;
  auto sizeFor = [&] {
    const uint32_t kind = random() % 10;
    if (kind == 0) return size_t{0};
    if (kind < 7) return static_cast<size_t>(random() % 600);
    if (kind < 9) return static_cast<size_t>(random() % (2 * D));
    return static_cast<size_t>(random() % (12 * D));
  };
  int32_t nextId = 1;
  for (int op = 0; op < Operations; ++op) {
    const uint32_t choice = random() % 10;
    if (rows.Seeds.empty() || choice < 4) {
      const size_t size = sizeFor();
      const uint32_t seed = random();
      insertDoc(Cursor, nextId, patterned(size, seed));
      rows.Seeds[nextId] = seed;
      rows.Sizes[nextId++] = size;
    } else {
      auto row = rows.Seeds.begin();
      std::advance(row, static_cast<long>(random() % rows.Seeds.size()));
      const int32_t id = row->first;
      if (choice < 7) {
        const size_t size = sizeFor();
        const uint32_t seed = random();
        updateDoc(Cursor, id, patterned(size, seed));
        row->second = seed;
        rows.Sizes[id] = size;
      } else {
        deleteDoc(Cursor, id);
        rows.Sizes.erase(id);
        rows.Seeds.erase(row);
      }
    }
    if (::testing::Test::HasFailure()) break;
  }
  return rows;
}

}  // namespace blobtest
