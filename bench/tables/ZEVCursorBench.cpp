// Costs of the module's company table through a cursor on a database file with 4096-byte
// pages, single-user: 100 000 inserts (each applied to the file as the module does), a full
// scan in idxPrimaryKey order, and 100 000 FindKey calls on random Ids. Reported as rows per
// second (items_per_second).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>

#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVLocalSession.h"

namespace {

constexpr int kRows = 100000;

void addField(zev::TABSFieldDefs& Fields, const char* Name, zev::TABSAdvancedFieldType Type,
              int32_t Size) {
  zev::TABSFieldDef* field = Fields.AddCreated();
  field->FName = Name;
  field->SetFieldDefDataType(Type, Size);
}

class TCompanyTable {
 public:
  TCompanyTable() {
    const char* tmpdir = getenv("TMPDIR");
    FPath = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/zevcursorbenchXXXXXX";
    const int fd = mkstemp(FPath.data());
    if (fd >= 0) close(fd);
    unlink(FPath.c_str());
    FSession.SetDatabaseFileName(FPath);
    FSession.CreateDatabase();
    FSession.SetConnected(true);
    zev::TABSFieldDefs fields;
    addField(fields, "Id", zev::aftAutoInc, 0);
    for (const char* name : {"Nom", "Rue1", "Rue2"}) addField(fields, name, zev::aftString, 40);
    addField(fields, "CP", zev::aftString, 5);
    addField(fields, "Ville", zev::aftString, 40);
    addField(fields, "Type", zev::aftString, 30);
    zev::TABSIndexDefs indexes;
    zev::TABSIndexDef* primary = indexes.AddCreated();
    primary->FName = "idxPrimaryKey";
    primary->FPrimary = primary->FUnique = true;
    primary->FIndexColumns.push_back({"Id"});
    zev::TABSConstraintDefs constraints;
    zev::TABSConstraintDefPrimary* key = constraints.AddPK();
    key->FName = "PK_Companies";
    key->FIndexName = "idxPrimaryKey";
    key->Columns.push_back({"Id", -1});
    FCursor = std::make_unique<zev::TABSLocalCursor>(FSession);
    FCursor->SetTableName("Companies");
    FCursor->CreateTable(fields, indexes, constraints);
    FCursor->OpenTable();
    FCursor->SetIndexName("idxPrimaryKey");
  }
  ~TCompanyTable() {
    FCursor.reset();
    FSession.SetConnected(false);
    unlink(FPath.c_str());
  }

  void Insert(int I) {
    zev::TABSLocalCursor& cursor = *FCursor;
    cursor.InternalInitRecord(cursor.CurrentRecordBuffer(), true);
    zev::TABSVariant text;
    text.SetAsAnsiString("Entreprise " + std::to_string(I));
    cursor.FieldAccess().SetFieldValue(text, 1, cursor.CurrentRecordBuffer());
    text.SetAsAnsiString("Lyon");
    cursor.FieldAccess().SetFieldValue(text, 5, cursor.CurrentRecordBuffer());
    cursor.InternalPost(true);
  }
  int64_t Scan() {
    int64_t rows = 0;
    FCursor->InternalFirst();
    while (FCursor->GetRecordBuffer(zev::grmNext) == zev::grrOK) ++rows;
    return rows;
  }
  bool Find(int32_t Id) {
    FCursor->InternalInitKeyBuffer();
    zev::TABSVariant id;
    id.SetAsInteger(Id);
    FCursor->FieldAccess().SetFieldValue(id, 0, FCursor->KeyBuffer());
    FCursor->SetKeyFieldCount(1);
    return FCursor->FindKey(zev::scEqual);
  }
  zev::TABSLocalCursor& Cursor() { return *FCursor; }

 private:
  std::string FPath;
  zev::TABSLocalSession FSession;
  std::unique_ptr<zev::TABSLocalCursor> FCursor;
};

TCompanyTable& filledTable() {
  static TCompanyTable table;
  static const bool filled = [] {
    for (int i = 0; i < kRows; ++i) table.Insert(i);
    return true;
  }();
  (void)filled;
  return table;
}

void BM_CompanyInserts(benchmark::State& State) {
  for (auto _ : State) {
    State.PauseTiming();
    auto table = std::make_unique<TCompanyTable>();
    State.ResumeTiming();
    for (int i = 0; i < kRows; ++i) table->Insert(i);
    if (table->Cursor().ErrorCode() != 0) State.SkipWithError("an insert failed");
    State.PauseTiming();
    table.reset();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * kRows);
}
BENCHMARK(BM_CompanyInserts)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CompanyIndexScan(benchmark::State& State) {
  TCompanyTable& table = filledTable();
  int64_t rows = 0;
  for (auto _ : State) rows += table.Scan();
  State.SetItemsProcessed(rows);
}
BENCHMARK(BM_CompanyIndexScan)->Unit(benchmark::kMillisecond);

void BM_CompanyFindKey(benchmark::State& State) {
  TCompanyTable& table = filledTable();
  std::mt19937 random(3);
  int64_t found = 0;
  for (auto _ : State)
    for (int i = 0; i < kRows; ++i)
      found += table.Find(static_cast<int32_t>(random() % kRows) + 1);
  if (found != State.iterations() * kRows) State.SkipWithError("a key was not found");
  State.SetItemsProcessed(State.iterations() * kRows);
}
BENCHMARK(BM_CompanyFindKey)->Unit(benchmark::kMillisecond);

}  // namespace
