// The commands of the database tool. The database commands go through the components
// (TABSDatabase, TABSTable); header and check read the header and the free-space map through
// the page manager alone, straight from the file, and check the tables through their cursor
// and table object, BLOB values included (every value read, every BLOB page in use reached by
// exactly one value).
#include "tools/ZevToolCommands.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "engine/storage/ZEVDiskPageManager.h"
#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVPage.h"
#include "engine/tables/DataSet.h"
#include "engine/tables/Field.h"
#include "engine/tables/ZEVCursor.h"
#include "engine/tables/ZEVDatabaseComponent.h"
#include "engine/tables/ZEVDiskTableData.h"
#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVTableComponent.h"
#include "engine/tables/ZEVTypes.h"
#include "tools/CsvFile.h"

namespace zevtool {

namespace {

// The name the tool's database component is registered under in the default session.
constexpr const char* kToolDatabaseName = "ZevTool";
constexpr const char* kPrimaryIndexName = "idxPrimaryKey";

void requireReadableFile(const std::string& FileName) {
  if (access(FileName.c_str(), R_OK) != 0 || std::filesystem::is_directory(FileName)) {
    throw TUsageError("cannot read file '" + FileName + "'");
  }
}

// A database component opened on a file for one command, closed on destruction.
class TToolDatabase {
 public:
  TToolDatabase(const std::string& FileName, const std::string& Password, bool ReadOnly,
                bool MultiUser) {
    requireReadableFile(FileName);
    FDatabase.SetDatabaseName(kToolDatabaseName);
    FDatabase.SetDatabaseFileName(FileName);
    FDatabase.SetPassword(Password);
    FDatabase.SetSilentMode(true);  // a wrong password fails instead of asking
    FDatabase.SetReadOnly(ReadOnly);
    FDatabase.SetMultiUser(MultiUser);
    FDatabase.Open();
  }
  ~TToolDatabase() {
    try {
      FDatabase.Close();
    } catch (...) {  // a failed close must not hide the command's own error
    }
  }
  TToolDatabase(const TToolDatabase&) = delete;
  TToolDatabase& operator=(const TToolDatabase&) = delete;

  TABSDatabase& Database() { return FDatabase; }
  zev::TABSLocalSession& Connection() { return *FDatabase.Handle(); }

 private:
  TABSDatabase FDatabase{nullptr};
};

std::vector<AnsiString> tableNames(zev::TABSLocalSession& Connection) {
  std::vector<AnsiString> Names;
  Connection.DatabaseData().GetTablesList(Names);
  return Names;
}

// --- The free-space map as stored ------------------------------------------------------------

// What the map pages of a file say, read straight from the file (map pages are never cached
// or encrypted). Problems found while reading are collected, not raised.
class TMapImage {
 public:
  explicit TMapImage(zev::TABSDiskPageManager& PageManager) : LPageManager(PageManager) {
    const zev::TABSDBHeader& Header = PageManager.DBHeader();
    FPageSize = Header.PageSize;
    FTotalPageCount = Header.TotalPageCount;
    FLastUsedPageNo = Header.LastUsedPageNo;
    FExtent = Header.PageCountInExtent;
    FDataSize = FPageSize - static_cast<int32_t>(zev::TABSDiskPageHeader::Size);
    if (FDataSize <= 0 || FExtent <= 0 || FTotalPageCount < 0) {
      problem("the database header has no usable page geometry (PageSize " +
              std::to_string(FPageSize) + ", PageCountInExtent " + std::to_string(FExtent) +
              ", TotalPageCount " + std::to_string(FTotalPageCount) + ")");
      return;
    }
    FPFSPages = int64_t{8} * FDataSize;
    FEAMExtents = int64_t{4} * FDataSize;
    FEAMPages = FEAMExtents * FExtent;
    FUsable = true;
    readPFSPages();
  }

  bool Usable() const { return FUsable; }
  int32_t TotalPageCount() const { return FTotalPageCount; }
  int32_t LastUsedPageNo() const { return FLastUsedPageNo; }
  const std::vector<std::string>& Problems() const { return FProblems; }
  // The BLOB pages (type 11) marked in use, found by Check.
  const std::vector<int32_t>& BlobPages() const { return FBlobPages; }

  bool IsMapPage(int64_t PageNo) const {
    return PageNo % FPFSPages == 0 || PageNo % FEAMPages == 0 ||
           (PageNo >= 1 && (PageNo - 1) % FPFSPages == 0 && (PageNo - 1) % FEAMPages == 0);
  }
  // Whether the PFS bit of the page could be read at all (its PFS page is sound).
  bool Known(int64_t PageNo) const {
    size_t k = static_cast<size_t>(PageNo / FPFSPages);
    return k < FPFSData.size() && !FPFSData[k].empty();
  }
  // Requires: Known(PageNo).
  bool Used(int64_t PageNo) const {
    const std::vector<uint8_t>& Bits = FPFSData[static_cast<size_t>(PageNo / FPFSPages)];
    int64_t n = PageNo % FPFSPages;
    return (Bits[static_cast<size_t>(n / 8)] >> (n % 8)) & 1;
  }
  // Whether every PFS page covering the file could be read.
  bool MapReadable() const {
    if (!FUsable) return false;
    for (const std::vector<uint8_t>& Bits : FPFSData) {
      if (Bits.empty()) return false;
    }
    return true;
  }
  int64_t PagesInUse() const {
    int64_t Count = 0;
    for (int64_t n = 0; n < FTotalPageCount; ++n) Count += Known(n) && Used(n) ? 1 : 0;
    return Count;
  }

  // The checks of the map against the header and the pages.
  void Check() {
    if (!FUsable) return;
    if (FLastUsedPageNo < -1 || FLastUsedPageNo >= FTotalPageCount) {
      problem("LastUsedPageNo " + std::to_string(FLastUsedPageNo) + " lies outside the " +
              std::to_string(FTotalPageCount) + " pages of the file");
    }
    checkFileSize();
    checkPages();
    checkBitsBeyondEnd();
    checkEAMPages();
  }

 private:
  void problem(const std::string& Text) { FProblems.push_back(Text); }

  // The whole page, or empty when it cannot be read.
  std::vector<uint8_t> readPage(int64_t PageNo) {
    std::vector<uint8_t> Buffer(static_cast<size_t>(FPageSize));
    try {
      LPageManager.ReadPageRegion(Buffer.data(), static_cast<int32_t>(PageNo), 0,
                                  static_cast<uint16_t>(FPageSize));
    } catch (const ::Exception& E) {
      problem("page " + std::to_string(PageNo) +
              " cannot be read: " + zev::Utf8FromAnsi(E.Message()));
      Buffer.clear();
    }
    return Buffer;
  }

  // The data area of a map page of the expected type, or empty (with a problem) otherwise.
  std::vector<uint8_t> readMapPage(int64_t PageNo, uint16_t PageType) {
    std::vector<uint8_t> Page = readPage(PageNo);
    if (Page.empty()) return Page;
    zev::TABSDiskPageHeader Header;
    Header.Load(Page.data());
    if (Header.Signature != zev::TABSDiskPageHeader::kSignature || Header.PageType != PageType) {
      problem("page " + std::to_string(PageNo) + " should be a " + pageTypeText(PageType) +
              " of the free-space map but is " + describe(Header));
      return {};
    }
    return std::vector<uint8_t>(Page.begin() + zev::TABSDiskPageHeader::Size, Page.end());
  }

  static std::string pageTypeText(uint16_t PageType) {
    try {
      return zev::PageTypeName(PageType);
    } catch (const ::Exception&) {
      return "page of type " + std::to_string(PageType);
    }
  }
  static std::string describe(const zev::TABSDiskPageHeader& Header) {
    if (Header.Signature != zev::TABSDiskPageHeader::kSignature)
      return "not a page (bad signature)";
    return "a " + pageTypeText(Header.PageType);
  }

  void readPFSPages() {
    if (FTotalPageCount == 0) return;
    const int64_t Count = (FTotalPageCount - 1) / FPFSPages + 1;
    for (int64_t k = 0; k < Count; ++k) FPFSData.push_back(readMapPage(k * FPFSPages, zev::ptPFS));
  }

  int64_t eamPagePosition(int64_t Index) const {
    int64_t PageNo = Index * FEAMPages;
    return PageNo % FPFSPages == 0 ? PageNo + 1 : PageNo;
  }

  void checkFileSize() {
    const int64_t Needed = LPageManager.OffsetToFirstPage() + int64_t{FTotalPageCount} * FPageSize;
    const int64_t Size = LPageManager.DatabaseFile().GetSize();
    if (Size < Needed) {
      problem("the file has " + std::to_string(Size) + " bytes, fewer than the " +
              std::to_string(Needed) + " its " + std::to_string(FTotalPageCount) + " pages need");
    }
  }

  // A page some table or system file holds: a page header with a known type that was not
  // stamped free when it was released.
  static bool isLivePage(const zev::TABSDiskPageHeader& Header) {
    return Header.Signature == zev::TABSDiskPageHeader::kSignature &&
           Header.State != zev::kInvalidPageState &&
           Header.PageType >= zev::ptFileSystemDirectory && Header.PageType <= zev::ptTableIndex;
  }

  void checkPages() {
    uint8_t Bytes[zev::TABSDiskPageHeader::Size];
    for (int64_t n = 0; n < FTotalPageCount; ++n) {
      if (!Known(n)) continue;
      const bool InUse = Used(n);
      if (IsMapPage(n)) {
        if (!InUse) problem("map page " + std::to_string(n) + " is not marked in use");
        continue;
      }
      if (InUse && n > FLastUsedPageNo) {
        problem("page " + std::to_string(n) + " is marked in use above LastUsedPageNo " +
                std::to_string(FLastUsedPageNo));
      }
      try {
        LPageManager.ReadPageRegion(Bytes, static_cast<int32_t>(n), 0, sizeof Bytes);
      } catch (const ::Exception& E) {
        problem("page " + std::to_string(n) + " cannot be read: " + zev::Utf8FromAnsi(E.Message()));
        continue;
      }
      zev::TABSDiskPageHeader Header;
      Header.Load(Bytes);
      const bool Live = isLivePage(Header);
      if (Live && !InUse) {
        problem("page " + std::to_string(n) + " (" + pageTypeText(Header.PageType) +
                ") is in use but marked free in the free-space map");
      } else if (!Live && InUse) {
        problem("page " + std::to_string(n) + " is marked in use but holds no page");
      } else if (Live && Header.PageType == zev::ptTableBlob) {
        FBlobPages.push_back(static_cast<int32_t>(n));
      }
    }
    if (FLastUsedPageNo >= 0 && FLastUsedPageNo < FTotalPageCount && Known(FLastUsedPageNo) &&
        !Used(FLastUsedPageNo)) {
      problem("LastUsedPageNo " + std::to_string(FLastUsedPageNo) + " is marked free");
    }
  }

  void checkBitsBeyondEnd() {
    if (FPFSData.empty() || FPFSData.back().empty()) return;
    const int64_t End = int64_t(FPFSData.size()) * FPFSPages;
    for (int64_t n = FTotalPageCount; n < End; ++n) {
      if (Used(n)) {
        problem("page " + std::to_string(n) + " beyond the end of the file is marked in use");
        return;  // one line says it; the rest of the bitmap is the same fault
      }
    }
  }

  // An extent marked full must have no free page; one marked not full must have one.
  void checkEAMPages() {
    if (FTotalPageCount == 0) return;
    const int64_t Count = (FTotalPageCount - 1) / FEAMPages + 1;
    for (int64_t j = 0; j < Count; ++j) {
      const int64_t PageNo = eamPagePosition(j);
      if (PageNo >= FTotalPageCount) continue;
      std::vector<uint8_t> Data = readMapPage(PageNo, zev::ptEAM);
      if (Data.empty()) continue;
      for (int64_t i = 0; i < FEAMExtents; ++i) {
        const int64_t Extent = j * FEAMExtents + i;
        const int64_t First = Extent * FExtent;
        if (First >= FTotalPageCount) break;
        const int Entry = (Data[static_cast<size_t>(i / 4)] >> (2 * (i % 4))) & 3;
        if (Entry == 0) continue;  // never computed
        bool AnyFree = false, Unknown = false;
        for (int64_t n = First; n < First + FExtent; ++n) {
          if (n >= FTotalPageCount) {
            AnyFree = true;
            continue;
          }
          if (!Known(n)) {
            Unknown = true;
            break;
          }
          AnyFree = AnyFree || !Used(n);
        }
        if (Unknown) continue;
        if ((Entry & 2) && AnyFree) {
          problem("extent " + std::to_string(Extent) + " is marked full in EAM page " +
                  std::to_string(PageNo) + " but has free pages");
        } else if (!(Entry & 2) && !AnyFree) {
          problem("extent " + std::to_string(Extent) + " is marked not full in EAM page " +
                  std::to_string(PageNo) + " but every page is in use");
        }
      }
    }
  }

  zev::TABSDiskPageManager& LPageManager;
  int32_t FPageSize = 0;
  int32_t FTotalPageCount = 0;
  int32_t FLastUsedPageNo = -1;
  int32_t FExtent = 0;
  int32_t FDataSize = 0;
  int64_t FPFSPages = 1;    // P
  int64_t FEAMExtents = 1;  // X
  int64_t FEAMPages = 1;    // M
  bool FUsable = false;
  std::vector<std::vector<uint8_t>> FPFSData;  // per PFS page its data area; empty when unsound
  std::vector<std::string> FProblems;
  std::vector<int32_t> FBlobPages;
};

// The page manager alone, read-only: the header and the map without the system files.
std::unique_ptr<zev::TABSDiskPageManager> openPageManager(const std::string& FileName,
                                                          const std::string& Password) {
  requireReadableFile(FileName);
  auto PageManager = std::make_unique<zev::TABSDiskPageManager>();
  zev::TABSPassword Pw;
  Pw.Password = Password;
  bool ReadOnly = true, RepairNeeded = false, MultiUser = true;
  PageManager->OpenDatabase(FileName, Pw, ReadOnly, RepairNeeded, false, MultiUser);
  return PageManager;
}

const char* cryptoAlgorithmName(uint8_t Algorithm) {
  static const char* const kNames[] = {"craRijndael_128", "craRijndael_256", "craDES_Single",
                                       "craDES_Triple",   "craBlowfish",     "craTwofish_128",
                                       "craTwofish_256",  "craSquare"};
  return Algorithm < std::size(kNames) ? kNames[Algorithm] : "unknown";
}

std::string hex32(uint32_t Value) {
  std::ostringstream Text;
  Text << "0x" << std::hex << std::uppercase;
  Text.width(8);
  Text.fill('0');
  Text << Value;
  return Text.str();
}

// --- The tables' own checks ---------------------------------------------------------------------

// Which stored BLOB value reaches each BLOB page. A large value owns its pages; small values
// share a page, each owning its item. A page reached otherwise is used twice.
class TBlobReach {
 public:
  // Owner names the value in messages; Pages are the pages it occupies.
  void AddValue(const std::string& Owner, const zev::TABSPageItemID& ID,
                std::vector<int32_t> Pages) {
    std::sort(Pages.begin(), Pages.end());
    Pages.erase(std::unique(Pages.begin(), Pages.end()), Pages.end());
    const bool Large = Pages.size() > 1;  // a large value always has two pages or more
    for (const int32_t PageNo : Pages) {
      auto [Use, New] = FPages.try_emplace(PageNo, TUse{Owner, Large, {}});
      if (!New && (Large || Use->second.Large || Use->second.Items.count(ID.PageItemNo))) {
        FProblems.push_back("BLOB page " + std::to_string(PageNo) + " is used twice: by " +
                            Use->second.Owner + " and by " + Owner);
      }
      if (!Large) Use->second.Items.insert(ID.PageItemNo);
    }
  }

  // Against the BLOB pages the free-space map marks in use: a page no value reaches is a
  // leak, a page a value reaches that is not such a page was freed under it.
  void Compare(const std::vector<int32_t>& BlobPagesInUse, std::vector<std::string>& Problems) {
    Problems.insert(Problems.end(), FProblems.begin(), FProblems.end());
    const std::set<int32_t> InUse(BlobPagesInUse.begin(), BlobPagesInUse.end());
    for (const int32_t PageNo : InUse) {
      if (!FPages.count(PageNo)) {
        Problems.push_back("BLOB page " + std::to_string(PageNo) +
                           " is marked in use but no stored value reaches it");
      }
    }
    for (const auto& [PageNo, Use] : FPages) {
      if (!InUse.count(PageNo)) {
        Problems.push_back("page " + std::to_string(PageNo) + ", reached by " + Use.Owner +
                           ", is not a BLOB page in use");
      }
    }
  }

 private:
  struct TUse {
    std::string Owner;
    bool Large;
    std::set<uint16_t> Items;
  };
  std::map<int32_t, TUse> FPages;
  std::vector<std::string> FProblems;
};

// Reads the whole value of the cursor's current row through a read stream.
void readWholeBlob(zev::TABSLocalCursor& Cursor, int32_t FieldNo) {
  zev::TABSLocalBLOBStream* Stream =
      Cursor.InternalCreateBlobStream(false, false, FieldNo, zev::bomRead, true);
  try {
    if (!Stream) throw ::Exception("no stream could be opened");
    std::vector<uint8_t> Chunk(65536);
    for (int64_t Left = Stream->GetSize(); Left > 0;) {
      const int64_t Count = std::min<int64_t>(Left, static_cast<int64_t>(Chunk.size()));
      Stream->ReadBuffer(Chunk.data(), Count);
      Left -= Count;
    }
  } catch (...) {
    Cursor.InternalCloseBLOB(FieldNo);
    throw;
  }
  Cursor.InternalCloseBLOB(FieldNo);
}

// Every BLOB value of every row, in physical order: it must read back whole, and the pages it
// occupies go to Reach.
void checkBlobValues(zev::TABSLocalCursor& Cursor, zev::TABSDiskTableData& Table,
                     const std::string& Name, int32_t SessionID, TBlobReach& Reach,
                     std::vector<std::string>& Problems) {
  if (!Table.HasBlobFields()) return;
  const zev::TABSFieldDefs& Fields = Cursor.FieldDefs();
  Cursor.SetIndexName("");
  Cursor.InternalFirst();
  for (int64_t RowNo = 1; Cursor.GetRecordBuffer(zev::grmNext) == zev::grrOK; ++RowNo) {
    for (int32_t f = 0; f < Fields.Count(); ++f) {
      if (!zev::IsBLOBFieldType(Fields.Items(f)->FBaseFieldType)) continue;
      const std::string Owner = "table " + Name + " physical row " + std::to_string(RowNo) +
                                " field " + zev::Utf8FromAnsi(Fields.Items(f)->FName);
      try {
        readWholeBlob(Cursor, f);
        if (zev::IsFieldNull(Cursor.CurrentRecordBuffer(), f)) continue;
        const zev::TABSPageItemID ID =
            Table.BlobManager().GetBlobID(Cursor.CurrentRecordBuffer(), f);
        std::vector<int32_t> Pages;
        Table.BlobManager().CollectValuePages(SessionID, ID, Pages);
        Reach.AddValue(Owner, ID, std::move(Pages));
      } catch (const ::Exception& E) {
        Problems.push_back(Owner +
                           ": the BLOB value cannot be read: " + zev::Utf8FromAnsi(E.Message()));
      }
    }
  }
}

// The rows a cursor visits in its current order.
int64_t countRows(zev::TABSLocalCursor& Cursor) {
  int64_t Count = 0;
  Cursor.InternalFirst();
  while (Cursor.GetRecordBuffer(zev::grmNext) == zev::grrOK) ++Count;
  return Count;
}

void checkTable(zev::TABSLocalSession& Connection, const AnsiString& TableName, TBlobReach& Reach,
                std::vector<std::string>& Problems) {
  const std::string Name = zev::Utf8FromAnsi(TableName);
  auto report = [&](const std::string& What, const ::Exception& E) {
    Problems.push_back("table " + Name + ": " + What + ": " + zev::Utf8FromAnsi(E.Message()));
  };
  zev::TABSLocalCursor Cursor(Connection);
  Cursor.SetTableName(TableName);
  try {
    Cursor.OpenTable();
  } catch (const ::Exception& E) {
    report("cannot be opened", E);
    return;
  }
  zev::TABSDiskTableData& Table =
      zev::TABSDiskTableData::FindOrCreate(Connection.DatabaseData(), TableName);
  const int32_t SessionID = Connection.SessionID();
  const int64_t RecordCount = Table.RecordManager().RecordCount();
  try {
    Table.RecordManager().ValidateRecordPageIndex(SessionID);
  } catch (const ::Exception& E) {
    report("record page index does not match the record count " + std::to_string(RecordCount), E);
  }
  auto compareCount = [&](const std::string& Order, int64_t Visited) {
    if (Visited != RecordCount) {
      Problems.push_back("table " + Name + ": " + Order + " visits " + std::to_string(Visited) +
                         " rows, the record count is " + std::to_string(RecordCount));
    }
  };
  try {
    Cursor.SetIndexName("");
    compareCount("physical order", countRows(Cursor));
  } catch (const ::Exception& E) {
    report("rows cannot be read in physical order", E);
  }
  zev::TABSIndexDefs& Indexes = Table.IndexManager().IndexDefs();
  for (int i = 0; i < Indexes.Count(); ++i) {
    const zev::TABSIndexDef& Index = *Indexes.Items(i);
    const std::string IndexName = zev::Utf8FromAnsi(Index.FName);
    try {
      Table.IndexManager().OpenIndex(Index.FObjectID).CheckIntegrity(SessionID);
      Cursor.SetIndexName(Index.FName);
      compareCount("index " + IndexName, countRows(Cursor));
    } catch (const ::Exception& E) {
      report("index " + IndexName + " is damaged", E);
    }
  }
  try {
    checkBlobValues(Cursor, Table, Name, SessionID, Reach, Problems);
  } catch (const ::Exception& E) {
    report("rows cannot be read for their BLOB values", E);
  }
  Cursor.CloseTable();
}

}  // namespace

// --- create, tables, header, check --------------------------------------------------------------

int CreateCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  if (std::filesystem::exists(FileName)) {
    throw TUsageError("file '" + FileName + "' already exists");
  }
  TABSDatabase Database(nullptr);
  Database.SetDatabaseName(kToolDatabaseName);
  Database.SetDatabaseFileName(FileName);
  Database.SetPassword(Options.PasswordGiven ? Options.Password : std::string());
  Database.SetPageSize(Options.PageSize);
  Database.SetMaxConnections(Options.Slots);
  Database.CreateDatabase();
  Out << "created " << FileName << "\n";
  return 0;
}

int TablesCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  TToolDatabase Db(FileName, Options.Password, true, true);
  for (const AnsiString& Name : tableNames(Db.Connection())) Out << zev::Utf8FromAnsi(Name) << "\n";
  return 0;
}

int HeaderCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  std::unique_ptr<zev::TABSDiskPageManager> PageManager =
      openPageManager(FileName, Options.Password);
  const zev::TABSDBHeader& H = PageManager->DBHeader();
  const zev::TABSCryptoHeader& C = PageManager->CryptoHeader();
  Out << "Signature: " << H.SignatureText() << "\n"
      << "HeaderSize: " << H.HeaderSize << "\n"
      << "Version: " << H.Version << "\n"
      << "PageSize: " << H.PageSize << "\n"
      << "PageCountInExtent: " << H.PageCountInExtent << "\n"
      << "TotalPageCount: " << H.TotalPageCount << "\n"
      << "LastUsedPageNo: " << H.LastUsedPageNo << "\n"
      << "State: " << H.State << "\n"
      << "WriteChangesState: " << int(H.WriteChangesState) << "\n"
      << "Encrypted: " << (H.Encrypted ? "true" : "false") << "\n"
      << "CryptoHeaderSize: " << C.CryptoHeaderSize << "\n"
      << "CryptoAlgorithm: " << cryptoAlgorithmName(C.CryptoAlgorithm) << "\n"
      << "CryptoMode: " << int(C.CryptoMode) << "\n"
      << "ControlBlockCRC: " << hex32(C.ControlBlockCRC) << "\n";
  TMapImage Map(*PageManager);
  Out << "Total pages: " << H.TotalPageCount << "\n";
  if (!Map.MapReadable()) {
    // The counts come from the map; a damaged one is for check to describe.
    Out << "Pages in use: unknown\n"
        << "Free pages: unknown\n";
    return 1;
  }
  const int64_t InUse = Map.PagesInUse();
  Out << "Pages in use: " << InUse << "\n"
      << "Free pages: " << H.TotalPageCount - InUse << "\n";
  return 0;
}

int CheckCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out) {
  std::vector<std::string> Problems;
  std::vector<int32_t> BlobPages;
  bool MapReadable = false;
  {
    std::unique_ptr<zev::TABSDiskPageManager> PageManager =
        openPageManager(FileName, Options.Password);
    TMapImage Map(*PageManager);
    Map.Check();
    Problems = Map.Problems();
    BlobPages = Map.BlobPages();
    MapReadable = Map.MapReadable();
  }
  try {
    TToolDatabase Db(FileName, Options.Password, true, false);
    TBlobReach Reach;
    for (const AnsiString& Name : tableNames(Db.Connection())) {
      checkTable(Db.Connection(), Name, Reach, Problems);
    }
    // Without the whole map the pages in use are not known.
    if (MapReadable) Reach.Compare(BlobPages, Problems);
  } catch (const ::Exception& E) {
    Problems.push_back("the database cannot be opened: " + zev::Utf8FromAnsi(E.Message()));
  }
  for (const std::string& Problem : Problems) Out << Problem << "\n";
  if (!Problems.empty()) return 1;
  Out << "OK\n";
  return 0;
}

// --- create-reference, load, dump ---------------------------------------------------------------

namespace {

struct TReferenceColumn {
  const char* Name;
  int32_t Size;
};

struct TReferenceTable {
  const char* Name;
  std::vector<TReferenceColumn> Columns;  // after the auto-increment Id
};

const std::vector<TReferenceTable>& referenceTables() {
  static const std::vector<TReferenceTable> kTables = {
      {"ENTREPRISE",
       {{"Nom", 30}, {"Rue1", 40}, {"Rue2", 40}, {"CP", 5}, {"Ville", 40}, {"Type", 30}}},
      {"MATIERE", {{"Nom", 30}}},
      {"UNITE", {{"Nom", 30}}},
  };
  return kTables;
}

void createReferenceTable(const TReferenceTable& Definition) {
  TABSTable Table(nullptr);
  Table.SetDatabaseName(kToolDatabaseName);
  Table.SetTableName(Definition.Name);
  Table.FieldDefs().Add("Id", zev::ftAutoInc);
  for (const TReferenceColumn& Column : Definition.Columns) {
    Table.FieldDefs().Add(Column.Name, zev::ftString, Column.Size);
  }
  Table.IndexDefs().Add(kPrimaryIndexName, "Id", {zev::ixPrimary});
  Table.CreateTable();
}

// A table component open on one table of the tool's database, closed on destruction.
class TToolTable {
 public:
  TToolTable(TToolDatabase& Database, const std::string& TableName) {
    if (!Database.Database().TableExists(TableName)) {
      throw TUsageError("table '" + TableName + "' does not exist");
    }
    FTable.SetDatabaseName(kToolDatabaseName);
    FTable.SetTableName(TableName);
  }
  ~TToolTable() {
    try {
      FTable.Close();
    } catch (...) {  // the command's own error matters more
    }
  }
  TToolTable(const TToolTable&) = delete;
  TToolTable& operator=(const TToolTable&) = delete;

  TABSTable& Table() { return FTable; }

 private:
  TABSTable FTable{nullptr};
};

}  // namespace

int CreateReferenceCommand(const std::string& FileName, std::ostream& Out) {
  if (std::filesystem::exists(FileName)) {
    throw TUsageError("file '" + FileName + "' already exists");
  }
  try {
    TABSDatabase Database(nullptr);
    Database.SetDatabaseName(kToolDatabaseName);
    Database.SetDatabaseFileName(FileName);
    Database.SetPassword(kDataModulePassword);
    Database.SetCryptoAlgorithm(zev::craRijndael_128);
    Database.SetMaxConnections(kReferenceSlots);
    Database.SetMultiUser(true);
    Database.SetSilentMode(true);
    Database.CreateDatabase();
    Database.Open();
    for (const TReferenceTable& Definition : referenceTables()) createReferenceTable(Definition);
    Database.Close();
  } catch (...) {
    std::error_code Ignored;
    std::filesystem::remove(FileName, Ignored);  // no half-made reference database stays
    throw;
  }
  Out << "created " << FileName << " with tables";
  for (const TReferenceTable& Definition : referenceTables()) Out << " " << Definition.Name;
  Out << "\n";
  return 0;
}

int LoadCommand(const std::string& FileName, const std::string& TableName,
                const std::string& CsvFileName, const TToolOptions& Options, std::ostream& Out) {
  requireReadableFile(CsvFileName);
  TCsvTable Csv;
  try {
    Csv = ReadCsvFile(CsvFileName);
  } catch (const TCsvError& E) {
    throw TUsageError(CsvFileName + ": " + E.what());
  }
  TToolDatabase Db(FileName, Options.Password, false, true);
  TToolTable Tool(Db, TableName);
  TABSTable& Table = Tool.Table();
  Table.Open();
  // Every column is matched before the first row is written.
  std::vector<zev::TField*> Targets;
  for (const std::string& Column : Csv.Header) {
    zev::TField* Field = Table.FindField(Column);
    if (!Field) {
      throw TUsageError(CsvFileName + ": table " + TableName + " has no column '" +
                        zev::Utf8FromAnsi(Column) + "'");
    }
    Targets.push_back(Field);
  }
  zev::TABSLocalSession& Connection = Db.Connection();
  Connection.StartTransaction();
  try {
    for (size_t r = 0; r < Csv.Rows.size(); ++r) {
      try {
        Table.Append();
        for (size_t c = 0; c < Targets.size(); ++c) {
          const AnsiString& Cell = Csv.Rows[r][c];
          if (Cell.empty()) {
            Targets[c]->Clear();
          } else {
            Targets[c]->SetAsString(Cell);
          }
        }
        Table.Post();
      } catch (::Exception& E) {
        E.SetMessage(zev::AnsiFromUtf8(CsvFileName) + ": record " + std::to_string(r + 1) + ": " +
                     E.Message());
        throw;
      }
    }
    Connection.Commit();
  } catch (...) {
    if (Table.Active()) Table.Cancel();
    Connection.Rollback();
    throw;
  }
  Out << Csv.Rows.size() << " rows loaded into " << TableName << "\n";
  return 0;
}

namespace {

bool isBlobField(const zev::TField& Field) {
  switch (Field.DataType()) {
    case zev::ftBlob:
    case zev::ftMemo:
    case zev::ftGraphic:
    case zev::ftFmtMemo:
    case zev::ftWideMemo:
      return true;
    default:
      return false;
  }
}

// Opens the table in idxPrimaryKey order when it has that index, in physical order otherwise;
// true for the index order.
bool openInKeyOrder(TABSTable& Table) {
  Table.Open();
  if (!Table.Handle()->IndexDefs().GetIndexDefByName(kPrimaryIndexName)) return false;
  Table.SetIndexName(kPrimaryIndexName);
  return true;
}

// The length in bytes of the BLOB value of the current row (0 for NULL).
int64_t blobLength(TABSTable& Table, zev::TField& Field) {
  std::unique_ptr<TABSBLOBStream> Stream = Table.CreateBlobStream(Field, zev::bmRead);
  return Stream->GetSize();
}

}  // namespace

int DumpCommand(const std::string& FileName, const std::string& TableName,
                const TToolOptions& Options, std::ostream& Out) {
  TToolDatabase Db(FileName, Options.Password, true, true);
  TToolTable Tool(Db, TableName);
  TABSTable& Table = Tool.Table();
  openInKeyOrder(Table);
  TCsvRow Line;
  const std::vector<zev::TField*> Fields = Table.Fields();
  for (zev::TField* Field : Fields) Line.push_back(Field->FieldName());
  Out << CsvLineUtf8FromAnsi(Line);
  for (Table.First(); !Table.Eof(); Table.Next()) {
    Line.clear();
    for (zev::TField* Field : Fields) {
      if (Field->IsNull()) {
        Line.push_back("");
      } else if (isBlobField(*Field)) {
        Line.push_back(std::to_string(blobLength(Table, *Field)));  // the value's length in bytes
      } else {
        Line.push_back(Field->AsString());
      }
    }
    Out << CsvLineUtf8FromAnsi(Line);
  }
  return 0;
}

// --- blob-get, blob-put --------------------------------------------------------------------------

namespace {

// The BLOB field FieldName of the open table (TLookupError when absent or of another type).
zev::TField& blobFieldOf(TABSTable& Table, const std::string& TableName,
                         const std::string& FieldName) {
  zev::TField* Field = Table.FindField(zev::AnsiFromUtf8(FieldName));
  if (!Field) throw TLookupError("table " + TableName + " has no field '" + FieldName + "'");
  if (!isBlobField(*Field)) {
    throw TLookupError("field '" + FieldName + "' of table " + TableName + " is not a BLOB field");
  }
  return *Field;
}

// Puts the open table on the row ROW names: its idxPrimaryKey value, or its physical row
// number from 1 when the table has no such index. TLookupError when there is no such row.
void gotoRow(TABSTable& Table, const std::string& TableName, const std::string& Row) {
  if (openInKeyOrder(Table)) {
    if (Table.IndexFieldCount() != 1) {
      throw TLookupError("the idxPrimaryKey of table " + TableName +
                         " has several columns: a row cannot be named by one value");
    }
    if (!Table.FindKey({zev::AnsiFromUtf8(Row)})) {
      throw TLookupError("table " + TableName + " has no row with idxPrimaryKey value " + Row);
    }
    return;
  }
  size_t Used = 0;
  long long Number = 0;
  try {
    Number = std::stoll(Row, &Used);
  } catch (const std::exception&) {
    Used = 0;
  }
  if (Row.empty() || Used != Row.size() || Number < 1) {
    throw TUsageError("table " + TableName + " has no idxPrimaryKey: ROW must be a row " +
                      "number from 1, not '" + Row + "'");
  }
  Table.First();
  for (long long n = 1; n < Number && !Table.Eof(); ++n) Table.Next();
  if (Table.Eof()) {
    throw TLookupError("table " + TableName + " has no row " + Row + " (it has " +
                       std::to_string(Table.RecordCount()) + " rows)");
  }
}

std::vector<uint8_t> readWholeFile(const std::string& FileName) {
  requireReadableFile(FileName);
  std::ifstream In(FileName, std::ios::binary);
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)),
                             std::istreambuf_iterator<char>());
  if (In.bad()) throw TUsageError("cannot read file '" + FileName + "'");
  return Bytes;
}

void writeWholeFile(const std::string& FileName, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
  if (Out) Out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  Out.close();
  if (!Out) throw TUsageError("cannot write file '" + FileName + "'");
}

// One BLOB field of one row, the table open and standing on that row: what blob-get and
// blob-put share. A missing table, field or row raises TLookupError.
class TBlobRow {
 public:
  TBlobRow(const std::string& FileName, const std::string& TableName,
           const std::string& FieldName, const std::string& Row, const TToolOptions& Options,
           bool ReadOnly)
      : FDb(FileName, Options.Password, ReadOnly, true), FTool(openTable(FDb, TableName), TableName) {
    Table().Open();
    FField = &blobFieldOf(Table(), TableName, FieldName);
    gotoRow(Table(), TableName, Row);
  }
  TABSTable& Table() { return FTool.Table(); }
  // The field's stream in Mode; a value that cannot be opened raises.
  std::unique_ptr<TABSBLOBStream> Stream(zev::TBlobStreamMode Mode) {
    std::unique_ptr<TABSBLOBStream> stream = Table().CreateBlobStream(*FField, Mode);
    if (!stream->BLOBStream()) throw ::Exception("the BLOB value could not be opened");
    return stream;
  }

 private:
  static TToolDatabase& openTable(TToolDatabase& Db, const std::string& TableName) {
    if (!Db.Database().TableExists(TableName))
      throw TLookupError("table '" + TableName + "' does not exist");
    return Db;
  }

  TToolDatabase FDb;
  TToolTable FTool;
  zev::TField* FField = nullptr;
};

}  // namespace

int BlobGetCommand(const std::string& FileName, const std::string& TableName,
                   const std::string& FieldName, const std::string& Row,
                   const std::string& OutFileName, const TToolOptions& Options, std::ostream& Out) {
  TBlobRow blob(FileName, TableName, FieldName, Row, Options, true);
  std::vector<uint8_t> Bytes;
  {
    std::unique_ptr<TABSBLOBStream> Stream = blob.Stream(zev::bmRead);
    Bytes.resize(static_cast<size_t>(Stream->GetSize()));
    if (!Bytes.empty()) Stream->ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  }
  writeWholeFile(OutFileName, Bytes);
  Out << Bytes.size() << " bytes written to " << OutFileName << "\n";
  return 0;
}

int BlobPutCommand(const std::string& FileName, const std::string& TableName,
                   const std::string& FieldName, const std::string& Row,
                   const std::string& InFileName, const TToolOptions& Options, std::ostream& Out) {
  const std::vector<uint8_t> Bytes = readWholeFile(InFileName);
  TBlobRow blob(FileName, TableName, FieldName, Row, Options, false);
  TABSTable& Table = blob.Table();
  Table.Edit();
  try {
    {
      std::unique_ptr<TABSBLOBStream> Stream = blob.Stream(zev::bmWrite);
      if (!Bytes.empty()) Stream->WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    }
    Table.Post();
  } catch (...) {
    if (Table.Active()) Table.Cancel();
    throw;
  }
  Out << Bytes.size() << " bytes stored in " << TableName << "." << FieldName << " of row " << Row
      << "\n";
  return 0;
}

}  // namespace zevtool
