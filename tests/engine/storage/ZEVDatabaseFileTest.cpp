#include "engine/storage/ZEVDatabaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVExcept.h"
#include "tests/support/TestSupport.h"

namespace zev {

// Breaks the handle under a database file the way a lost connection would: the object still
// counts itself open, but every call through the handle fails with EBADF.
struct TABSDatabaseFileTestPeer {
  static void BreakHandle(TABSDatabaseFile& File) { File.FHandle.Close(); }
  static bool HandleIsValid(const TABSDatabaseFile& File) { return File.FHandle.IsOpen(); }
};

}  // namespace zev

namespace {

using zev::TABSDatabaseFile;
using zev::TABSDatabaseFileTestPeer;
using zev::TABSReopenSettings;

// Runs Call and expects it to raise EABSException with exactly this message and code.
void expectRaises(const std::function<void()>& Call, int Code, const std::string& Message) {
  try {
    Call();
    ADD_FAILURE() << "no exception, expected: " << Message;
  } catch (const EABSException& e) {
    EXPECT_EQ(e.Message(), Message);
    EXPECT_EQ(e.NativeError(), Code);
  }
}

std::string bytesOf(const std::vector<uint8_t>& Bytes) {
  return std::string(Bytes.begin(), Bytes.end());
}

class DatabaseFileTest : public ::testing::Test {
 protected:
  // Reopen settings that record the sleeps instead of sleeping; OnSleep may act during one.
  TABSReopenSettings recordingSettings() {
    TABSReopenSettings settings;
    settings.DelayMs = 1000;
    settings.SleepFunction = [this](uint32_t Ms) {
      FSleeps.push_back(Ms);
      if (FOnSleep) FOnSleep();
    };
    return settings;
  }

  std::unique_ptr<TABSDatabaseFile> openWith(const std::string& Content,
                                             zev::TABSAccessMode Access = zev::amReadWrite,
                                             zev::TABSShareMode Share = zev::smShareDenyNone) {
    testsupport::WriteFile(FPath, Content);
    auto file = std::make_unique<TABSDatabaseFile>(recordingSettings());
    file->OpenFile(FPath, Access, Share);
    return file;
  }

  testsupport::TTempDir FDir;
  const std::string FPath = FDir.File("data.abs");
  std::vector<uint32_t> FSleeps;
  std::function<void()> FOnSleep;
};

// --- Checks and messages ----------------------------------------------------------------------

TEST_F(DatabaseFileTest, OperationsOnAClosedFileRaiseWithTheirNames) {
  TABSDatabaseFile file;
  uint8_t buffer[4] = {};
  int64_t base = 0;
  const struct {
    const char* Name;
    std::function<void()> Call;
  } cases[] = {
      {"Seek", [&] { file.Seek(0, zev::soBeginning); }},
      {"SetPosition", [&] { file.SetPosition(0); }},
      {"GetPosition", [&] { file.GetPosition(); }},
      {"SetSize", [&] { file.SetSize(0); }},
      {"GetSize", [&] { file.GetSize(); }},
      {"CloseFile", [&] { file.CloseFile(); }},
      {"ReadBuffer", [&] { file.ReadBuffer(buffer, 4, 0, 10464); }},
      {"ReadBuffer", [&] { (void)file.ReadBuffer(buffer, 4, 0); }},
      {"WriteBuffer", [&] { file.WriteBuffer(buffer, 4, 0, 10462); }},
      {"FlushFileBuffers", [&] { file.FlushFileBuffers(); }},
      {"LockByte", [&] { file.LockByte(360, 1); }},
      {"UnlockByte", [&] { file.UnlockByte(360, 1); }},
      {"IsByteLocked", [&] { file.IsByteLocked(360); }},
      {"IsRegionLocked", [&] { file.IsRegionLocked(360, 2); }},
      {"GetPosition", [&] { file.FindSignature(base); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    expectRaises(c.Call, 30376,
                 std::string("Cannot perform this operation (") + c.Name +
                     ") on a closed file - Native error: 30376");
  }
  EXPECT_FALSE(file.ReopenDatabaseFile());
}

TEST_F(DatabaseFileTest, OpeningAnOpenedFileRaisesAndKeepsItOpen) {
  auto file = openWith("content");
  expectRaises([&] { file->CreateAndOpenFile(FDir.File("other.abs")); }, 30377,
               "Cannot perform this operation (CreateFile) on a opened file - Native error: 30377");
  expectRaises([&] { file->OpenFile(FPath, zev::amReadOnly, zev::smShareDenyNone); }, 30377,
               "Cannot perform this operation (OpenFile) on a opened file - Native error: 30377");
  EXPECT_TRUE(file->IsOpened());
  EXPECT_EQ(file->GetSize(), 7);
  EXPECT_FALSE(zev::FileExists(FDir.File("other.abs")));
}

TEST_F(DatabaseFileTest, BlankNameIsRefused) {
  for (const char* name : {"", "   "}) {
    TABSDatabaseFile file;
    expectRaises([&] { file.CreateAndOpenFile(name); }, 30374,
                 "Cannot create file with blank FileName - Native error: 30374");
    EXPECT_FALSE(file.IsOpened());
  }
}

TEST_F(DatabaseFileTest, OpenFailureCarriesTheSystemErrorAndItsText) {
  TABSDatabaseFile file;
  const std::string missing = FDir.File("missing.abs");
  expectRaises(
      [&] { file.OpenFile(missing, zev::amReadWrite, zev::smShareDenyNone); }, 30364,
      "Cannot open file:'" + missing +
          "' Error code: 2. ErrorMessage: No such file or directory - Native error: 30364");
  EXPECT_FALSE(file.IsOpened());
}

TEST_F(DatabaseFileTest, UnknownModesAreRefusedBeforeOpening) {
  testsupport::WriteFile(FPath, "x");
  TABSDatabaseFile file;
  expectRaises([&] { file.OpenFile(FPath, static_cast<zev::TABSAccessMode>(7), zev::smExclusive); },
               30366, "Unknown Access mode: '7' - Native error: 30366");
  expectRaises([&] { file.OpenFile(FPath, zev::amReadOnly, static_cast<zev::TABSShareMode>(-1)); },
               30367, "Unknown Share mode: '-1' - Native error: 30367");
  EXPECT_FALSE(file.IsOpened());
}

// --- Creating, opening, closing ---------------------------------------------------------------

TEST_F(DatabaseFileTest, CreateReplacesAReadOnlyFileAndOpensItExclusively) {
  testsupport::WriteFile(FPath, "old content");
  ASSERT_TRUE(zev::SetFileReadOnly(FPath, true));
  TABSDatabaseFile file;
  file.CreateAndOpenFile(FPath);

  EXPECT_TRUE(file.IsOpened());
  EXPECT_EQ(file.FileName(), FPath);
  EXPECT_EQ(file.AccessMode(), zev::amReadWrite);
  EXPECT_EQ(file.ShareMode(), zev::smExclusive);
  EXPECT_EQ(file.GetSize(), 0);
  EXPECT_EQ(zev::IsFileReadOnly(FPath), false);
  zev::TOSFile other;
  EXPECT_FALSE(other.Open(FPath, zev::TOSAccess::Read, zev::TOSShare::ShareReadWrite));

  file.WriteBuffer("new", 3, 0, 10462);
  file.CloseFile();
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(testsupport::ReadFile(FPath), "new");
  EXPECT_TRUE(other.Open(FPath, zev::TOSAccess::Read, zev::TOSShare::ShareReadWrite));
}

TEST_F(DatabaseFileTest, CreateFailsWhileAnotherHandleHoldsTheFile) {
  testsupport::WriteFile(FPath, "precious");
  zev::TOSFile holder;
  ASSERT_TRUE(holder.Open(FPath, zev::TOSAccess::Read, zev::TOSShare::ShareReadWrite));
  TABSDatabaseFile file;
  expectRaises([&] { file.CreateAndOpenFile(FPath); }, 30361,
               "Cannot create file: '" + FPath +
                   "' Error code: 16. ErrorMessage: Device or resource busy - Native error: 30361");
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(testsupport::ReadFile(FPath), "precious");
}

TEST_F(DatabaseFileTest, ShareModesDecideWhoElseMayOpen) {
  using zev::amReadOnly;
  using zev::amReadWrite;
  const struct {
    zev::TABSAccessMode FirstAccess;
    zev::TABSShareMode FirstShare;
    zev::TABSAccessMode SecondAccess;
    zev::TABSShareMode SecondShare;
    bool Allowed;
  } cases[] = {
      {amReadWrite, zev::smShareDenyNone, amReadWrite, zev::smShareDenyNone, true},
      {amReadWrite, zev::smExclusive, amReadOnly, zev::smShareDenyNone, false},
      {amReadOnly, zev::smExclusive, amReadOnly, zev::smShareDenyNone, false},
      {amReadOnly, zev::smShareDenyWrite, amReadOnly, zev::smShareDenyNone, true},
      {amReadOnly, zev::smShareDenyWrite, amReadWrite, zev::smShareDenyNone, false},
      {amReadWrite, zev::smShareDenyNone, amReadOnly, zev::smShareDenyWrite, false},
      {amReadOnly, zev::smShareDenyNone, amReadOnly, zev::smShareDenyWrite, true},
  };
  testsupport::WriteFile(FPath, "x");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.FirstAccess) + "/" + std::to_string(c.FirstShare) + " then " +
                 std::to_string(c.SecondAccess) + "/" + std::to_string(c.SecondShare));
    TABSDatabaseFile first, second;
    first.OpenFile(FPath, c.FirstAccess, c.FirstShare);
    if (c.Allowed) {
      second.OpenFile(FPath, c.SecondAccess, c.SecondShare);
      EXPECT_TRUE(second.IsOpened());
    } else {
      expectRaises([&] { second.OpenFile(FPath, c.SecondAccess, c.SecondShare); }, 30364,
                   "Cannot open file:'" + FPath +
                       "' Error code: 16. ErrorMessage: Device or resource busy - Native error: "
                       "30364");
    }
  }
}

TEST_F(DatabaseFileTest, DestroyingAnOpenFileClosesIt) {
  testsupport::WriteFile(FPath, "x");
  {
    TABSDatabaseFile file;
    file.OpenFile(FPath, zev::amReadWrite, zev::smExclusive);
    ASSERT_TRUE(file.LockByte(0, 1));
  }
  TABSDatabaseFile again;
  again.OpenFile(FPath, zev::amReadWrite, zev::smExclusive);
  EXPECT_TRUE(again.LockByte(0, 1));
}

// --- Reading, writing, position and size ------------------------------------------------------

TEST_F(DatabaseFileTest, ReadsAndWritesMoveThePositionAndSizeFollowsTheFile) {
  auto file = openWith("");
  file->WriteBuffer("0123456789", 10, 100, 10462);
  EXPECT_EQ(file->GetSize(), 110);
  EXPECT_EQ(file->GetPosition(), 110);

  char buffer[4] = {};
  file->ReadBuffer(buffer, 4, 102, 10464);
  EXPECT_EQ(std::string(buffer, 4), "2345");
  EXPECT_EQ(file->GetPosition(), 106);
  file->ReadBuffer(buffer, 4, 0, 10464);
  EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));  // the gap was filled with zeros

  file->SetSize(105);  // cuts, and positions at the new end
  EXPECT_EQ(file->GetSize(), 105);
  EXPECT_EQ(file->GetPosition(), 105);
  file->SetSize(200);
  EXPECT_EQ(file->GetSize(), 200);

  EXPECT_EQ(file->Seek(-10, zev::soEnd), 190);
  EXPECT_EQ(file->Seek(5, zev::soCurrent), 195);
  EXPECT_EQ(file->Seek(7, zev::soBeginning), 7);
  file->SetPosition(42);
  EXPECT_EQ(file->GetPosition(), 42);
  file->FlushFileBuffers();
  file->CloseFile();
  const std::string content = testsupport::ReadFile(FPath);
  ASSERT_EQ(content.size(), 200u);
  EXPECT_EQ(content.substr(100, 5), "01234");
  EXPECT_EQ(content.substr(105), std::string(95, '\0'));
}

TEST_F(DatabaseFileTest, NegativePositionsRaiseThePositioningText) {
  auto file = openWith("0123456789");
  file->SetPosition(4);
  const std::string text = "Cannot Set File Position to -1. FileName='" + FPath +
                           "'. FilePosition = 4, FileSize = 10 - Native error: ";
  expectRaises([&] { file->SetPosition(-1); }, 30372, text + "30372");
  expectRaises([&] { file->Seek(-5, zev::soCurrent); }, 30372, text + "30372");
  // WriteBuffer raises it with its caller's code and writes nothing.
  expectRaises([&] { file->WriteBuffer("abc", 3, -1, 10475); }, 10475, text + "10475");
  EXPECT_EQ(file->GetPosition(), 4);
  EXPECT_EQ(testsupport::ReadFile(FPath), "0123456789");
}

TEST_F(DatabaseFileTest, ReadingPastTheEndSucceedsOnlyInTheBooleanForm) {
  auto file = openWith("0123456789");
  std::vector<uint8_t> buffer(20, '.');
  EXPECT_TRUE(file->ReadBuffer(buffer.data(), 20, 5));
  EXPECT_EQ(bytesOf(buffer), "56789" + std::string(15, '.'));
  EXPECT_EQ(file->GetPosition(), 10);
  EXPECT_TRUE(file->ReadBuffer(buffer.data(), 4, 50));

  expectRaises([&] { file->ReadBuffer(buffer.data(), 20, 5, 10474); }, 10474,
               "Cannot Read from file: '" + FPath +
                   "' Position = 5, Count = 20, FilePosition = 10, FileSize = 10, ErrorCode:0. "
                   "ErrorMessage: Success - Native error: 10474");
  // A healthy handle is kept: nothing was reopened, nobody slept.
  EXPECT_TRUE(FSleeps.empty());
}

TEST_F(DatabaseFileTest, ReadOnlyFileRefusesChangesWithTheSystemError) {
  auto file = openWith("0123456789", zev::amReadOnly);
  const std::string error = "ErrorCode:13. ErrorMessage: Permission denied";
  expectRaises([&] { file->WriteBuffer("abc", 3, 2, 10462); }, 10462,
               "Cannot Write to file: '" + FPath +
                   "' Position = 2, Count = 3, FilePosition = 2, FileSize = 10, " + error +
                   " - Native error: 10462");
  expectRaises(
      [&] { file->FlushFileBuffers(); }, 30379,
      "Cannot flush file buffers for file: '" + FPath + "'. " + error + " - Native error: 30379");
  expectRaises(
      [&] { file->SetSize(3); }, 30370,
      "Cannot Truncate File '" + FPath + "' to 3 bytes. " + error + " - Native error: 30370");
  EXPECT_EQ(testsupport::ReadFile(FPath), "0123456789");
}

// --- Reopen and retry -------------------------------------------------------------------------

TEST_F(DatabaseFileTest, EveryOperationSurvivesABrokenHandle) {
  const struct {
    const char* Name;
    std::function<void(TABSDatabaseFile&)> Call;
    std::string Content;  // of the file afterwards
  } cases[] = {
      {"raising read",
       [](TABSDatabaseFile& f) {
         char b[3];
         f.ReadBuffer(b, 3, 2, 10464);
         EXPECT_EQ(std::string(b, 3), "234");
       },
       "0123456789"},
      {"boolean read",
       [](TABSDatabaseFile& f) {
         char b[3];
         EXPECT_TRUE(f.ReadBuffer(b, 3, 7));
         EXPECT_EQ(std::string(b, 3), "789");
       },
       "0123456789"},
      {"write", [](TABSDatabaseFile& f) { f.WriteBuffer("ab", 2, 1, 10462); }, "0ab3456789"},
      {"get size", [](TABSDatabaseFile& f) { EXPECT_EQ(f.GetSize(), 10); }, "0123456789"},
      {"set size", [](TABSDatabaseFile& f) { f.SetSize(4); }, "0123"},
      {"set position", [](TABSDatabaseFile& f) { f.SetPosition(3); }, "0123456789"},
      {"get position", [](TABSDatabaseFile& f) { EXPECT_EQ(f.GetPosition(), 0); }, "0123456789"},
      {"seek from the end", [](TABSDatabaseFile& f) { EXPECT_EQ(f.Seek(-1, zev::soEnd), 9); },
       "0123456789"},
      {"flush", [](TABSDatabaseFile& f) { f.FlushFileBuffers(); }, "0123456789"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto file = openWith("0123456789");
    TABSDatabaseFileTestPeer::BreakHandle(*file);
    c.Call(*file);
    EXPECT_TRUE(TABSDatabaseFileTestPeer::HandleIsValid(*file));
    file->CloseFile();
    EXPECT_EQ(testsupport::ReadFile(FPath), c.Content);
  }
  EXPECT_TRUE(FSleeps.empty());
}

TEST_F(DatabaseFileTest, ReopenTriesAgainAfterEachSleep) {
  auto file = openWith("0123456789");
  TABSDatabaseFileTestPeer::BreakHandle(*file);
  const std::string away = FDir.File("away.abs");
  ASSERT_EQ(std::rename(FPath.c_str(), away.c_str()), 0);
  // The file comes back while the second sleep lasts: the third attempt finds it.
  FOnSleep = [&] {
    if (FSleeps.size() == 2) {
      ASSERT_EQ(std::rename(away.c_str(), FPath.c_str()), 0);
    }
  };
  EXPECT_EQ(file->GetSize(), 10);
  EXPECT_EQ(FSleeps, (std::vector<uint32_t>{1000, 1000}));
}

TEST_F(DatabaseFileTest, ReopenGivesUpAfterItsAttempts) {
  auto file = openWith("0123456789");
  TABSDatabaseFileTestPeer::BreakHandle(*file);
  ASSERT_EQ(std::remove(FPath.c_str()), 0);

  EXPECT_FALSE(file->ReopenDatabaseFile());
  EXPECT_EQ(FSleeps, (std::vector<uint32_t>{1000, 1000}));  // between the 3 attempts
  // The operation reports its own error, not the reopen's.
  expectRaises([&] { file->GetSize(); }, 30371,
               "Cannot Get File Size for file: '" + FPath +
                   "'. ErrorCode:9. ErrorMessage: Bad file descriptor - Native error: 30371");
  expectRaises([&] { file->GetPosition(); }, 30373,
               "Cannot Get File Position. FileName='" + FPath +
                   "' ErrorCode:9. ErrorMessage: Bad file descriptor - Native error: 30373");
  char b[2];
  EXPECT_FALSE(file->ReadBuffer(b, 2, 0));
  expectRaises([&] { file->ReadBuffer(b, 2, 0, 10464); }, 10464,
               "Cannot Read from file: '" + FPath +
                   "' Position = 0, Count = 2, FilePosition = 0, FileSize = -1, ErrorCode:9. "
                   "ErrorMessage: Bad file descriptor - Native error: 10464");
  EXPECT_TRUE(file->IsOpened());
  file->CloseFile();  // nothing left to close: no error
  EXPECT_FALSE(file->IsOpened());
}

TEST_F(DatabaseFileTest, ReopenKeepsAHandleThatStillAnswers) {
  auto file = openWith("0123456789");
  ASSERT_TRUE(file->LockByte(360, 1));
  EXPECT_TRUE(file->ReopenDatabaseFile());
  TABSDatabaseFile other;
  other.OpenFile(FPath, zev::amReadOnly, zev::smShareDenyNone);
  EXPECT_FALSE(other.LockByte(360, 1));  // the lock went nowhere
  EXPECT_TRUE(FSleeps.empty());
}

TEST_F(DatabaseFileTest, CriticalLockErrorAnswersSuccessUntilTheHandleIsReplaced) {
  auto file = openWith("0123456789");
  TABSDatabaseFile other;
  other.OpenFile(FPath, zev::amReadWrite, zev::smShareDenyNone);
  ASSERT_TRUE(other.LockByte(360, 1));

  TABSDatabaseFileTestPeer::BreakHandle(*file);
  EXPECT_TRUE(file->LockByte(360, 1));  // EBADF is critical: answered as success
  EXPECT_TRUE(file->WasCriticalError());
  EXPECT_TRUE(file->UnlockByte(360, 1));
  EXPECT_FALSE(TABSDatabaseFileTestPeer::HandleIsValid(*file));

  EXPECT_EQ(file->GetSize(), 10);  // reopens
  EXPECT_FALSE(file->WasCriticalError());
  EXPECT_FALSE(file->LockByte(360, 1));
  EXPECT_TRUE(file->IsByteLocked(360));
}

// --- Byte-range locks -------------------------------------------------------------------------

TEST_F(DatabaseFileTest, LocksExcludeEveryHandleAndProbesLeaveThemAlone) {
  auto holder = openWith(std::string(400, 'x'));
  TABSDatabaseFile other;
  other.OpenFile(FPath, zev::amReadOnly, zev::smShareDenyNone);

  ASSERT_TRUE(holder->LockByte(360, 1));
  EXPECT_FALSE(holder->LockByte(360, 1));  // not even the holder locks it twice
  EXPECT_FALSE(other.LockByte(360, 1));
  EXPECT_FALSE(other.UnlockByte(360, 1));  // only the holder releases it

  EXPECT_TRUE(other.IsByteLocked(360));
  EXPECT_TRUE(holder->IsByteLocked(360));
  EXPECT_TRUE(other.IsRegionLocked(355, 10));
  EXPECT_FALSE(other.IsRegionLocked(361, 5));
  EXPECT_FALSE(holder->IsByteLocked(359));
  // The probes changed nothing: 360 is still held, its neighbours still free.
  EXPECT_FALSE(other.LockByte(360, 1));
  EXPECT_TRUE(other.LockByte(361, 5));
  EXPECT_TRUE(other.LockByte(359, 1));

  ASSERT_TRUE(holder->UnlockByte(360, 1));
  EXPECT_FALSE(other.IsByteLocked(360));
  EXPECT_TRUE(other.LockByte(360, 1));
  EXPECT_FALSE(holder->WasCriticalError());
  EXPECT_FALSE(other.WasCriticalError());
  EXPECT_TRUE(FSleeps.empty());
}

TEST_F(DatabaseFileTest, ClosingReleasesTheLocksOfTheHandle) {
  auto holder = openWith("x");
  TABSDatabaseFile other;
  other.OpenFile(FPath, zev::amReadWrite, zev::smShareDenyNone);
  ASSERT_TRUE(holder->LockByte(376, 1));
  EXPECT_TRUE(other.IsByteLocked(376));
  holder->CloseFile();
  EXPECT_TRUE(other.LockByte(376, 1));
}

// Holds the database file open in another process. Args: path. Signals "ready", then answers
// "lock O C", "unlock O C" and "probe O" with "true" or "false".
TEST_HELPER(database_file) {
  TABSDatabaseFile file;
  try {
    file.OpenFile(Args[0], zev::amReadWrite, zev::smShareDenyNone);
  } catch (const EABSException& e) {
    testsupport::Signal(e.Message());
    return 1;
  }
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty()) return 0;
    std::istringstream in(command);
    std::string op;
    int64_t offset = 0, count = 1;
    in >> op >> offset >> count;
    bool answer = false;
    if (op == "lock") answer = file.LockByte(offset, count);
    if (op == "unlock") answer = file.UnlockByte(offset, count);
    if (op == "probe") answer = file.IsByteLocked(offset);
    testsupport::Signal(answer ? "true" : "false");
  }
}

TEST_F(DatabaseFileTest, LocksHoldBetweenProcesses) {
  auto file = openWith(std::string(400, 'x'));
  testsupport::THelperProcess helper("database_file", {FPath});
  ASSERT_EQ(helper.ReadLine(), "ready");
  auto ask = [&](const std::string& Command) {
    helper.Send(Command);
    return helper.ReadLine();
  };

  // Ours, seen from there.
  ASSERT_TRUE(file->LockByte(359, 1));
  EXPECT_EQ(ask("probe 359"), "true");
  EXPECT_EQ(ask("lock 359 1"), "false");
  EXPECT_TRUE(file->IsByteLocked(359));
  EXPECT_EQ(ask("lock 359 1"), "false");  // the probe kept our lock
  ASSERT_TRUE(file->UnlockByte(359, 1));
  EXPECT_EQ(ask("probe 359"), "false");

  // Theirs, seen from here, until their process ends.
  EXPECT_EQ(ask("lock 376 1"), "true");
  EXPECT_TRUE(file->IsByteLocked(376));
  EXPECT_FALSE(file->LockByte(376, 1));
  EXPECT_EQ(ask("probe 376"), "true");
  helper.Kill();
  EXPECT_EQ(helper.Wait(), 128 + SIGKILL);
  EXPECT_TRUE(file->LockByte(376, 1));
}

// --- Signature search -------------------------------------------------------------------------

// Filler that looks like the signature without being one.
std::string filler(size_t Size) {
  std::string text;
  while (text.size() < Size) text += "ZEV0LUTEDATABAS.";
  text.resize(Size);
  return text;
}

// The signature followed by a 16-bit header size, written into Content at Offset as far as
// the content goes.
void putSignature(std::string& Content, size_t Offset, int16_t HeaderSize = 76) {
  uint8_t size[2];
  zev::PutInt16LE(size, HeaderSize);
  std::string bytes = std::string(zev::kDatabaseSignature, 16) + std::string(size, size + 2);
  bytes.resize(std::min(bytes.size(), Content.size() - Offset));  // what fits before the end
  Content.replace(Offset, bytes.size(), bytes);
}

TEST_F(DatabaseFileTest, FindSignatureReportsTheFirstMatchFollowedByHeaderSize76) {
  struct TPlaced {
    size_t Offset;
    int16_t HeaderSize;
  };
  const struct {
    const char* Name;
    size_t FileSize;
    std::vector<TPlaced> Signatures;
    bool Found;
    int64_t Base;
  } cases[] = {
      {"at the start", 380, {{0, 76}}, true, 0},
      {"inside a larger file", 40000, {{12345, 76}}, true, 12345},
      {"in a later window", 40000, {{29000, 76}}, true, 29000},
      {"wrong header size skipped", 40000, {{0, 77}, {5000, 75}, {30000, 76}}, true, 30000},
      {"the first of two", 40000, {{21000, 76}, {22000, 76}}, true, 21000},
      {"across the first window border", 30000, {{9990, 76}}, true, 9990},
      {"at the start of the second window", 30000, {{9984, 76}}, true, 9984},
      {"ending the first window", 30000, {{9984 - 1, 76}}, true, 9983},
      {"across the second window border", 30000, {{19970, 76}}, true, 19970},
      {"at the very end", 20018, {{20000, 76}}, true, 20000},
      {"header size cut off by the end", 20017, {{20000, 76}}, false, 0},
      {"none", 25000, {}, false, 0},
      {"only a wrong one", 25000, {{100, 0}}, false, 0},
      {"empty file", 0, {}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string content = filler(c.FileSize);
    for (const TPlaced& s : c.Signatures) putSignature(content, s.Offset, s.HeaderSize);
    auto file = openWith(content, zev::amReadOnly);
    file->SetPosition(7);
    int64_t base = -1;
    EXPECT_EQ(file->FindSignature(base), c.Found);
    EXPECT_EQ(base, c.Base);
    EXPECT_EQ(file->GetPosition(), 7);
  }
}

// --- The retry rule ---------------------------------------------------------------------------

TEST(TryWithRetriesTest, CallsUntilSuccessAndSleepsAfterEachRefusal) {
  const struct {
    int Attempts;
    int SucceedsAtCall;  // 0: never
    bool Result;
    int Calls;
    int Sleeps;
  } cases[] = {
      {5, 1, true, 1, 0},  {5, 3, true, 3, 2},
      {5, 5, true, 5, 4},  {4, 0, false, 4, 4},  // the last refusal is followed by a sleep too
      {4, 5, false, 4, 4}, {0, 1, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Attempts) + " attempts, success at " +
                 std::to_string(c.SucceedsAtCall));
    int calls = 0;
    std::vector<uint32_t> sleeps;
    const bool result = zev::TryWithRetries(
        c.Attempts, 20, [&] { return ++calls == c.SucceedsAtCall; },
        [&](uint32_t Ms) { sleeps.push_back(Ms); });
    EXPECT_EQ(result, c.Result);
    EXPECT_EQ(calls, c.Calls);
    EXPECT_EQ(sleeps, std::vector<uint32_t>(c.Sleeps, 20));
  }
}

TEST(TryWithRetriesTest, TakesALockAnotherHandleReleasesWhileItWaits) {
  testsupport::TTempDir dir;
  const std::string path = dir.File("locks.abs");
  testsupport::WriteFile(path, "x");
  TABSDatabaseFile holder, waiter;
  holder.OpenFile(path, zev::amReadWrite, zev::smShareDenyNone);
  waiter.OpenFile(path, zev::amReadWrite, zev::smShareDenyNone);
  ASSERT_TRUE(holder.LockByte(360, 1));
  int sleeps = 0;
  EXPECT_TRUE(zev::TryWithRetries(
      zev::kDBHeaderLockAttempts, zev::kLockRetryDelayMs, [&] { return waiter.LockByte(360, 1); },
      [&](uint32_t) {
        if (++sleeps == 3) holder.UnlockByte(360, 1);
      }));
  EXPECT_EQ(sleeps, 3);
  EXPECT_TRUE(holder.IsByteLocked(360));
}

}  // namespace
