// The engine beside SQLite on the same workloads, in one run, on files in one folder: the
// seven-column company table with its primary index, through the engine's table components as
// an application uses them and through SQLite's prepared statements. Prints one line per
// workload with rows per second (median of the runs) and the ratio, then the engine's own
// profile per workload (file system calls and bytes written per row, from /proc/self/io; the
// shared-file workload runs in child processes and has no profile line).
//
// Usage: engine_vs_sqlite [--rows N] [--runs N] [--dir FOLDER]
// (defaults: 100 000 rows, 5 runs, $TMPDIR or /tmp).
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVLocalSession.h"
#include "engine/tables/ZEVSessionComponents.h"
#include "engine/tables/ZEVTableComponent.h"

namespace {

struct TSettings {
  int Rows = 100000;
  int Runs = 5;
  std::string Dir;
};
TSettings Settings;

// --- Process counters ------------------------------------------------------------------------

struct TIoCounters {
  long long ReadCalls = 0;
  long long WriteCalls = 0;
  long long BytesWritten = 0;
};

TIoCounters readIo() {
  TIoCounters c;
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "syscr:") c.ReadCalls = value;
    if (key == "syscw:") c.WriteCalls = value;
    if (key == "wchar:") c.BytesWritten = value;
  }
  return c;
}

// --- The data --------------------------------------------------------------------------------

std::string companyName(int I) { return "Entreprise " + std::to_string(I); }

std::vector<int> shuffledIds(int Count, unsigned Seed) {
  std::vector<int> ids(Count);
  std::iota(ids.begin(), ids.end(), 1);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(Seed));
  return ids;
}

// Path, with any file left there by an earlier run removed.
std::string freshPath(const std::string& path) {
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-journal");
  return path;
}

// --- The engine, through its table components ----------------------------------------------------

class TEngineFile {
 public:
  TEngineFile(const std::string& Path, bool Encrypted, bool MultiUser, bool Create) {
    static int counter = 0;
    FDatabase = std::make_unique<TABSDatabase>(nullptr);
    FDatabase->SetDatabaseName("Compare" + std::to_string(getpid()) + "_" +
                               std::to_string(++counter));
    FDatabase->SetDatabaseFileName(Path);
    FDatabase->SetMultiUser(MultiUser);
    FDatabase->SetMaxConnections(64);
    if (Encrypted) {
      FDatabase->SetPassword("comparaison");
      FDatabase->SetCryptoAlgorithm(zev::craRijndael_128);
    }
    if (Create) FDatabase->CreateDatabase();
    FTable = std::make_unique<TABSTable>(nullptr);
    FTable->SetDatabaseName(FDatabase->DatabaseName());
    FTable->SetTableName("ENTREPRISE");
    if (Create) {
      FTable->FieldDefs().Add("Id", zev::ftAutoInc);
      for (const auto& [name, size] : std::vector<std::pair<const char*, int>>{
               {"Nom", 30}, {"Rue1", 40}, {"Rue2", 40}, {"CP", 5}, {"Ville", 40}, {"Type", 30}})
        FTable->FieldDefs().Add(name, zev::ftString, size);
      FTable->IndexDefs().Add("idxPrimaryKey", "Id", {zev::ixPrimary});
      FTable->CreateTable();
    }
    FTable->SetIndexName("idxPrimaryKey");
    FTable->Open();
  }
  ~TEngineFile() {
    FTable.reset();
    FDatabase.reset();
  }

  void Insert(int I) {
    FTable->Append();
    FTable->FieldByName("Nom").SetAsString(companyName(I));
    FTable->FieldByName("Rue1").SetAsString("12 rue du Port");
    FTable->FieldByName("CP").SetAsString("74000");
    FTable->FieldByName("Ville").SetAsString("Annecy");
    FTable->FieldByName("Type").SetAsString("Collecteur");
    FTable->Post();
  }
  void StartTransaction() { FDatabase->Handle()->StartTransaction(); }
  void Commit() { FDatabase->Handle()->Commit(); }
  bool Find(int Id) { return FTable->FindKey({std::to_string(Id)}); }
  int64_t Scan() {
    int64_t rows = 0;
    for (FTable->First(); !FTable->Eof(); FTable->Next()) ++rows;
    return rows;
  }
  void Update(int Id) {
    if (!Find(Id)) throw std::runtime_error("engine: row not found for update");
    FTable->Edit();
    FTable->FieldByName("Ville").SetAsString("Chamonix");
    FTable->Post();
  }
  void Delete(int Id) {
    if (!Find(Id)) throw std::runtime_error("engine: row not found for delete");
    FTable->Delete();
  }

 private:
  std::unique_ptr<TABSDatabase> FDatabase;
  std::unique_ptr<TABSTable> FTable;
};

// --- SQLite ----------------------------------------------------------------------------------------

class TSqliteFile {
 public:
  explicit TSqliteFile(const std::string& Path, bool Create) {
    if (sqlite3_open(Path.c_str(), &FDb) != SQLITE_OK) throw std::runtime_error("sqlite open");
    sqlite3_busy_timeout(FDb, 60000);
    exec("PRAGMA journal_mode=OFF");
    exec("PRAGMA synchronous=OFF");
    if (Create)
      exec("CREATE TABLE ENTREPRISE (Id INTEGER PRIMARY KEY AUTOINCREMENT, Nom VARCHAR(30), "
           "Rue1 VARCHAR(40), Rue2 VARCHAR(40), CP VARCHAR(5), Ville VARCHAR(40), "
           "Type VARCHAR(30))");
    FInsert = prepare("INSERT INTO ENTREPRISE (Nom, Rue1, CP, Ville, Type) "
                      "VALUES (?, '12 rue du Port', '74000', 'Annecy', 'Collecteur')");
    FFind = prepare("SELECT Id, Nom, Rue1, Rue2, CP, Ville, Type FROM ENTREPRISE WHERE Id = ?");
    FScan = prepare("SELECT Id, Nom, Rue1, Rue2, CP, Ville, Type FROM ENTREPRISE ORDER BY Id");
    FUpdate = prepare("UPDATE ENTREPRISE SET Ville = 'Chamonix' WHERE Id = ?");
    FDelete = prepare("DELETE FROM ENTREPRISE WHERE Id = ?");
  }
  ~TSqliteFile() {
    for (sqlite3_stmt* s : {FInsert, FFind, FScan, FUpdate, FDelete}) sqlite3_finalize(s);
    sqlite3_close(FDb);
  }

  void Insert(int I) {
    const std::string name = companyName(I);
    sqlite3_bind_text(FInsert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    step(FInsert, SQLITE_DONE);
  }
  void StartTransaction() { exec("BEGIN"); }
  void Commit() { exec("COMMIT"); }
  bool Find(int Id) {
    sqlite3_bind_int(FFind, 1, Id);
    const bool found = sqlite3_step(FFind) == SQLITE_ROW;
    if (found) readRow(FFind);
    sqlite3_reset(FFind);
    return found;
  }
  int64_t Scan() {
    int64_t rows = 0;
    while (sqlite3_step(FScan) == SQLITE_ROW) {
      readRow(FScan);
      ++rows;
    }
    sqlite3_reset(FScan);
    return rows;
  }
  void Update(int Id) {
    sqlite3_bind_int(FUpdate, 1, Id);
    step(FUpdate, SQLITE_DONE);
  }
  void Delete(int Id) {
    sqlite3_bind_int(FDelete, 1, Id);
    step(FDelete, SQLITE_DONE);
  }

 private:
  void exec(const char* Sql) {
    char* error = nullptr;
    if (sqlite3_exec(FDb, Sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string text = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error("sqlite: " + text);
    }
  }
  sqlite3_stmt* prepare(const char* Sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, Sql, -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(FDb));
    return statement;
  }
  void step(sqlite3_stmt* Statement, int Expected) {
    const int rc = sqlite3_step(Statement);
    sqlite3_reset(Statement);
    if (rc != Expected) throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(FDb));
  }
  // Reads every column, as the engine's row fetch does.
  static void readRow(sqlite3_stmt* Statement) {
    volatile size_t bytes = 0;
    for (int c = 0; c < 7; ++c) bytes = bytes + sqlite3_column_bytes(Statement, c);
    (void)sqlite3_column_text(Statement, 1);
  }

  sqlite3* FDb = nullptr;
  sqlite3_stmt *FInsert, *FFind, *FScan, *FUpdate, *FDelete;
};

// --- Workloads ---------------------------------------------------------------------------------------

enum class TStore { Engine, Sqlite };

struct TMeasure {
  double RowsPerSecond = 0;
  TIoCounters Io;  // per run, engine only
  int64_t Rows = 0;
};

// One run of a workload on a store: Setup is not timed, Body is; answers the rows it handled.
struct TRun {
  std::function<void()> Setup;
  std::function<int64_t()> Body;
};

TMeasure timeRun(const TRun& Run) {
  if (Run.Setup) Run.Setup();
  const TIoCounters before = readIo();
  const auto start = std::chrono::steady_clock::now();
  const int64_t rows = Run.Body();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const TIoCounters after = readIo();
  TMeasure m;
  m.Rows = rows;
  m.RowsPerSecond = seconds > 0 ? rows / seconds : 0;
  m.Io = {after.ReadCalls - before.ReadCalls, after.WriteCalls - before.WriteCalls,
          after.BytesWritten - before.BytesWritten};
  return m;
}

TMeasure median(std::vector<TMeasure> Runs) {
  std::sort(Runs.begin(), Runs.end(),
            [](const TMeasure& A, const TMeasure& B) { return A.RowsPerSecond < B.RowsPerSecond; });
  return Runs[Runs.size() / 2];
}

template <class TFile>
std::unique_ptr<TFile> openFile(const std::string& Path, bool Encrypted, bool MultiUser,
                                bool Create) {
  if constexpr (std::is_same_v<TFile, TEngineFile>)
    return std::make_unique<TFile>(Path, Encrypted, MultiUser, Create);
  else
    return std::make_unique<TFile>(Path, Create);
}

// A file with Rows rows, made by the store itself in one transaction.
template <class TFile>
std::unique_ptr<TFile> filledFile(const std::string& Path, bool Encrypted) {
  auto file = openFile<TFile>(freshPath(Path), Encrypted, false, true);
  file->StartTransaction();
  for (int i = 1; i <= Settings.Rows; ++i) file->Insert(i);
  file->Commit();
  return file;
}

// The single-process workloads of one store.
template <class TFile>
std::map<std::string, TMeasure> singleProcessWorkloads(const std::string& Prefix, bool Encrypted,
                                                       bool All) {
  std::map<std::string, TMeasure> results;
  const std::string path = Prefix + (Encrypted ? "-encrypted" : "") + ".db";
  const int rows = Settings.Rows;
  const int changes = rows / 2;
  std::unique_ptr<TFile> file;
  auto measure = [&](const std::string& Name, const TRun& Run) {
    std::vector<TMeasure> runs;
    for (int r = 0; r < Settings.Runs; ++r) runs.push_back(timeRun(Run));
    results[Name] = median(runs);
  };
  measure("1 inserts, each committed",
          {[&] {
             file.reset();
             file = openFile<TFile>(freshPath(path), Encrypted, false, true);
           },
           [&] {
             for (int i = 1; i <= rows; ++i) file->Insert(i);
             return int64_t{rows};
           }});
  if (All)
    measure("2 inserts, one transaction",
            {[&] {
               file.reset();
               file = openFile<TFile>(freshPath(path), Encrypted, false, true);
             },
             [&] {
               file->StartTransaction();
               for (int i = 1; i <= rows; ++i) file->Insert(i);
               file->Commit();
               return int64_t{rows};
             }});
  const std::vector<int> order = shuffledIds(rows, 7);
  measure("3 point look-ups by Id", {nullptr, [&] {
                                       int64_t found = 0;
                                       for (int id : order) found += file->Find(id);
                                       if (found != rows) throw std::runtime_error("look-ups");
                                       return found;
                                     }});
  measure("4 full scan in Id order", {nullptr, [&] { return file->Scan(); }});
  if (!All) return results;
  measure("5 updates of one column by Id", {[&] {
                                              file.reset();
                                              file = filledFile<TFile>(path, Encrypted);
                                            },
                                            [&] {
                                              for (int k = 0; k < changes; ++k)
                                                file->Update(order[k]);
                                              return int64_t{changes};
                                            }});
  measure("6 deletes by Id", {[&] {
                                file.reset();
                                file = filledFile<TFile>(path, Encrypted);
                              },
                              [&] {
                                for (int k = 0; k < changes; ++k) file->Delete(order[k]);
                                return int64_t{changes};
                              }});
  file.reset();
  return results;
}

// Workload 7: four processes inserting a quarter of the rows each into one shared file.
template <class TFile>
TMeasure sharedFileInserts(const std::string& Prefix) {
  constexpr int kProcesses = 4;
  const std::string path = Prefix + "-shared.db";
  const int each = Settings.Rows / kProcesses;
  TRun run{[&] { openFile<TFile>(freshPath(path), false, true, true).reset(); },
           [&] {
             std::vector<pid_t> children;
             for (int p = 0; p < kProcesses; ++p) {
               const pid_t pid = fork();
               if (pid == 0) {
                 int code = 0;
                 try {
                   auto file = openFile<TFile>(path, false, true, false);
                   for (int i = 0; i < each; ++i) file->Insert(p * each + i + 1);
                 } catch (const std::exception& error) {
                   std::fprintf(stderr, "writer %d: %s\n", p, error.what());
                   code = 1;
                 }
                 _exit(code);
               }
               children.push_back(pid);
             }
             int failures = 0;
             for (pid_t pid : children) {
               int status = 0;
               waitpid(pid, &status, 0);
               failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
             }
             if (failures) throw std::runtime_error("a writer failed");
             const int64_t stored = openFile<TFile>(path, false, true, false)->Scan();
             if (stored != int64_t{each} * kProcesses)
               throw std::runtime_error("rows missing after the shared inserts");
             return stored;
           }};
  std::vector<TMeasure> runs;
  for (int r = 0; r < Settings.Runs; ++r) runs.push_back(timeRun(run));
  return median(runs);
}

void printLine(const std::string& Name, double Engine, double Sqlite) {
  std::printf("%-42s engine=%-10.0f sqlite=%-10.0f ratio=%.2f\n", Name.c_str(), Engine, Sqlite,
              Sqlite > 0 ? Engine / Sqlite : 0.0);
}

void printProfile(const std::string& Name, const TMeasure& M) {
  const double rows = M.Rows > 0 ? static_cast<double>(M.Rows) : 1.0;
  std::printf("%-42s reads/row=%-8.2f writes/row=%-8.2f bytes written/row=%.0f\n", Name.c_str(),
              M.Io.ReadCalls / rows, M.Io.WriteCalls / rows, M.Io.BytesWritten / rows);
}

void parseArguments(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  Settings.Dir = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--rows") Settings.Rows = std::max(4, std::atoi(argv[i + 1]));
    else if (option == "--runs") Settings.Runs = std::max(1, std::atoi(argv[i + 1]));
    else if (option == "--dir") Settings.Dir = argv[i + 1];
    else throw std::runtime_error("unknown option " + option);
  }
  Settings.Dir += "/engine_vs_sqlite_" + std::to_string(getpid());
  std::filesystem::create_directories(Settings.Dir);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    parseArguments(argc, argv);
    std::printf("rows=%d runs=%d (median) folder=%s\n", Settings.Rows, Settings.Runs,
                Settings.Dir.c_str());
    std::printf("engine: table components, single-user except workload 7 (multi-user); every "
                "post applied to the file\n");
    std::printf("sqlite %s: journal_mode=OFF, synchronous=OFF, one transaction per statement "
                "unless stated, busy_timeout=60000 ms\n\n",
                sqlite3_libversion());
    auto engine = singleProcessWorkloads<TEngineFile>(Settings.Dir + "/engine", false, true);
    auto sqlite = singleProcessWorkloads<TSqliteFile>(Settings.Dir + "/sqlite", false, true);
    auto engineEncrypted = singleProcessWorkloads<TEngineFile>(Settings.Dir + "/engine", true, false);
    const TMeasure engineShared = sharedFileInserts<TEngineFile>(Settings.Dir + "/engine");
    const TMeasure sqliteShared = sharedFileInserts<TSqliteFile>(Settings.Dir + "/sqlite");

    std::printf("%-42s %s\n", "workload", "rows per second");
    for (const auto& [name, m] : engine) printLine(name, m.RowsPerSecond, sqlite[name].RowsPerSecond);
    printLine("7 4 processes inserting, shared", engineShared.RowsPerSecond,
              sqliteShared.RowsPerSecond);
    for (const auto& [name, m] : engineEncrypted)
      printLine("8 encrypted: " + name, m.RowsPerSecond, sqlite[name].RowsPerSecond);
    std::printf("\nencryption cost (engine encrypted / engine plain):\n");
    for (const auto& [name, m] : engineEncrypted)
      std::printf("%-42s %.2f\n", name.c_str(),
                  engine[name].RowsPerSecond > 0 ? m.RowsPerSecond / engine[name].RowsPerSecond : 0);

    std::printf("\nengine profile per workload (file system calls of the process):\n");
    for (const auto& [name, m] : engine) printProfile(name, m);
    for (const auto& [name, m] : engineEncrypted) printProfile("8 encrypted: " + name, m);
    std::filesystem::remove_all(Settings.Dir);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "engine_vs_sqlite: %s\n", error.what());
    return 1;
  }
  return 0;
}
