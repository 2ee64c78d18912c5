#include "engine/storage/ZEVOSFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

using zev::LastOSError;
using zev::TOSAccess;
using zev::TOSFile;
using zev::TOSShare;

const char* accessName(TOSAccess Access) { return Access == TOSAccess::Read ? "r" : "rw"; }

const char* shareName(TOSShare Share) {
  switch (Share) {
    case TOSShare::ShareNone:
      return "none";
    case TOSShare::ShareRead:
      return "read";
    case TOSShare::ShareReadWrite:
      return "readwrite";
  }
  return "?";
}

TOSAccess parseAccess(const std::string& Text) {
  return Text == "r" ? TOSAccess::Read : TOSAccess::ReadWrite;
}

TOSShare parseShare(const std::string& Text) {
  if (Text == "none") return TOSShare::ShareNone;
  if (Text == "read") return TOSShare::ShareRead;
  return TOSShare::ShareReadWrite;
}

std::string errorLine() { return "error " + std::to_string(LastOSError().Code); }

// Holds a handle in another process. Args: path, access, share. Signals
// "ready" once open, then answers the commands "lock OFFSET COUNT" and "unlock OFFSET COUNT"
// with "ok" or "error CODE" until the test goes away or kills it.
TEST_HELPER(os_file) {
  TOSFile file;
  if (!file.Open(Args[0], parseAccess(Args[1]), parseShare(Args[2]))) {
    testsupport::Signal(errorLine());
    return 1;
  }
  testsupport::Signal("ready");
  for (;;) {
    const std::string command = testsupport::WaitCommand();
    if (command.empty()) return 0;
    std::istringstream in(command);
    std::string op;
    int64_t offset = 0, count = 0;
    in >> op >> offset >> count;
    const bool done =
        op == "lock" ? file.LockBytes(offset, count) : file.UnlockBytes(offset, count);
    testsupport::Signal(done ? "ok" : errorLine());
  }
}

struct TMode {
  TOSAccess Access;
  TOSShare Share;
};

std::string modeText(const TMode& Mode) {
  return std::string(accessName(Mode.Access)) + "/" + shareName(Mode.Share);
}

// Starts a helper holding Path open in Mode; fails the test unless it got it.
std::unique_ptr<testsupport::THelperProcess> holdInOtherProcess(const std::string& Path,
                                                                const TMode& Mode) {
  auto helper = std::make_unique<testsupport::THelperProcess>(
      "os_file", std::vector<std::string>{Path, accessName(Mode.Access), shareName(Mode.Share)});
  EXPECT_EQ(helper->ReadLine(), "ready") << modeText(Mode);
  return helper;
}

std::string askHelper(testsupport::THelperProcess& Helper, const std::string& Command) {
  Helper.Send(Command);
  return Helper.ReadLine();
}

void killAndReap(testsupport::THelperProcess& Helper) {
  Helper.Kill();
  EXPECT_EQ(Helper.Wait(), 128 + SIGKILL);
}

class OSFileTest : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::WriteFile(FPath, "0123456789abcdefghij"); }

  testsupport::TTempDir FDir;
  const std::string FPath = FDir.File("data.bin");
};

// --- Byte-range locks ---------------------------------------------------------------------

const TOSAccess kAccesses[] = {TOSAccess::Read, TOSAccess::ReadWrite};

TEST_F(OSFileTest, LockedByteIsRefusedThroughEveryHandleOfTheProcess) {
  // A read-only descriptor cannot take an exclusive lock itself; every pairing must still
  // exclude the other.
  for (TOSAccess holderAccess : kAccesses) {
    for (TOSAccess otherAccess : kAccesses) {
      SCOPED_TRACE(std::string(accessName(holderAccess)) + " then " + accessName(otherAccess));
      TOSFile holder, other;
      ASSERT_TRUE(holder.Open(FPath, holderAccess, TOSShare::ShareReadWrite));
      ASSERT_TRUE(other.Open(FPath, otherAccess, TOSShare::ShareReadWrite));
      ASSERT_TRUE(holder.LockBytes(360, 1));

      EXPECT_FALSE(holder.LockBytes(360, 1));
      EXPECT_EQ(LastOSError().Code, zev::kLockViolation);
      EXPECT_FALSE(other.LockBytes(360, 1));
      EXPECT_EQ(LastOSError().Code, zev::kLockViolation);
      EXPECT_TRUE(other.LockBytes(361, 1));

      ASSERT_TRUE(holder.UnlockBytes(360, 1));
      EXPECT_TRUE(other.LockBytes(360, 1));
      EXPECT_FALSE(holder.LockBytes(360, 1));
    }
  }
}

TEST_F(OSFileTest, LockRefusalHasTheLockViolationTextAndIsNotCritical) {
  TOSFile holder, other;
  ASSERT_TRUE(holder.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(other.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(holder.LockBytes(0, 1));
  ASSERT_FALSE(other.LockBytes(0, 1));
  EXPECT_EQ(LastOSError().Message, "Resource temporarily unavailable");
  EXPECT_FALSE(zev::IsCriticalOSError(LastOSError().Code));
}

TEST_F(OSFileTest, OverlappingRangesAreRefusedThroughAnyHandle) {
  struct Case {
    int64_t Offset, Count;
    bool Free;
  };
  // The held range is [100, 110).
  const Case cases[] = {
      {100, 10, false}, {95, 6, false}, {109, 1, false}, {102, 2, false},
      {90, 30, false},  {90, 10, true}, {110, 5, true},  {0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Offset) + "+" + std::to_string(c.Count));
    TOSFile holder, other;
    ASSERT_TRUE(holder.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
    ASSERT_TRUE(other.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
    ASSERT_TRUE(holder.LockBytes(100, 10));
    EXPECT_EQ(other.LockBytes(c.Offset, c.Count), c.Free);
    if (c.Free) {
      ASSERT_TRUE(other.UnlockBytes(c.Offset, c.Count));
    }
    EXPECT_EQ(holder.LockBytes(c.Offset, c.Count), c.Free);
  }
}

TEST_F(OSFileTest, UnlockMustNameTheRangeExactlyAsLocked) {
  struct Case {
    int64_t Offset, Count;
  };
  // The locked range is [10, 14); none of these names it.
  const Case wrong[] = {{10, 2}, {11, 3}, {10, 5}, {9, 5}, {20, 1}};
  TOSFile holder, other;
  ASSERT_TRUE(holder.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(other.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(holder.LockBytes(10, 4));
  for (const Case& c : wrong) {
    EXPECT_FALSE(holder.UnlockBytes(c.Offset, c.Count)) << c.Offset << "+" << c.Count;
    EXPECT_EQ(LastOSError().Code, zev::kNotLocked);
  }
  // Another handle cannot release it either, and the failed attempts changed nothing.
  EXPECT_FALSE(other.UnlockBytes(10, 4));
  EXPECT_FALSE(other.LockBytes(11, 1));
  EXPECT_TRUE(holder.UnlockBytes(10, 4));
  EXPECT_FALSE(holder.UnlockBytes(10, 4));
  EXPECT_TRUE(other.LockBytes(11, 1));
}

TEST_F(OSFileTest, AdjacentRangesStaySeparateLocks) {
  TOSFile holder, other;
  ASSERT_TRUE(holder.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(other.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(holder.LockBytes(10, 1));
  ASSERT_TRUE(holder.LockBytes(11, 1));
  ASSERT_TRUE(holder.UnlockBytes(10, 1));
  EXPECT_TRUE(other.LockBytes(10, 1));
  EXPECT_FALSE(other.LockBytes(11, 1));
}

TEST_F(OSFileTest, LocksVanishWhenTheHandleCloses) {
  TOSFile other;
  ASSERT_TRUE(other.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  {
    TOSFile holder;
    ASSERT_TRUE(holder.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
    ASSERT_TRUE(holder.LockBytes(360, 1));
    ASSERT_TRUE(holder.LockBytes(376, 4));
    EXPECT_FALSE(other.LockBytes(376, 1));
  }
  EXPECT_TRUE(other.LockBytes(360, 1));
  EXPECT_TRUE(other.LockBytes(376, 4));
}

TEST_F(OSFileTest, LockArgumentsOutsideTheLockableRangeAreInvalid) {
  struct Case {
    int64_t Offset, Count;
  };
  const Case cases[] = {
      {0, 0},        {5, -1}, {-1, 1}, {TOSFile::kMaxLockEnd, 1}, {TOSFile::kMaxLockEnd - 1, 2},
      {INT64_MAX, 1}};
  TOSFile file;
  ASSERT_TRUE(file.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  for (const Case& c : cases) {
    EXPECT_FALSE(file.LockBytes(c.Offset, c.Count)) << c.Offset << "+" << c.Count;
    EXPECT_EQ(LastOSError().Code, EINVAL);
  }
  EXPECT_TRUE(file.LockBytes(TOSFile::kMaxLockEnd - 1, 1));
  EXPECT_TRUE(file.LockBytes(int64_t{5} << 32, 1));  // beyond 4 GiB, far past the end
}

TEST_F(OSFileTest, LockHeldByAnotherProcessIsFreedWhenThatProcessIsKilled) {
  for (TOSAccess helperAccess : kAccesses) {
    SCOPED_TRACE(accessName(helperAccess));
    auto helper = holdInOtherProcess(FPath, {helperAccess, TOSShare::ShareReadWrite});
    ASSERT_EQ(askHelper(*helper, "lock 360 1"), "ok");

    TOSFile file;
    ASSERT_TRUE(file.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
    EXPECT_FALSE(file.LockBytes(360, 1));
    EXPECT_EQ(LastOSError().Code, zev::kLockViolation);
    EXPECT_FALSE(file.LockBytes(355, 10));
    ASSERT_TRUE(file.LockBytes(376, 1));
    EXPECT_EQ(askHelper(*helper, "lock 376 1"), "error " + std::to_string(zev::kLockViolation));

    killAndReap(*helper);
    EXPECT_TRUE(file.LockBytes(360, 1));
  }
}

TEST_F(OSFileTest, LockReleasedByAnotherProcessCanBeTaken) {
  auto helper = holdInOtherProcess(FPath, {TOSAccess::ReadWrite, TOSShare::ShareReadWrite});
  ASSERT_EQ(askHelper(*helper, "lock 100 8"), "ok");
  TOSFile file;
  ASSERT_TRUE(file.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  EXPECT_FALSE(file.LockBytes(104, 1));
  EXPECT_EQ(askHelper(*helper, "unlock 100 4"), "error " + std::to_string(zev::kNotLocked));
  ASSERT_EQ(askHelper(*helper, "unlock 100 8"), "ok");
  EXPECT_TRUE(file.LockBytes(104, 1));
}

// --- Share modes ----------------------------------------------------------------------------

const TMode kModes[] = {
    {TOSAccess::Read, TOSShare::ShareNone},      {TOSAccess::Read, TOSShare::ShareRead},
    {TOSAccess::Read, TOSShare::ShareReadWrite}, {TOSAccess::ReadWrite, TOSShare::ShareNone},
    {TOSAccess::ReadWrite, TOSShare::ShareRead}, {TOSAccess::ReadWrite, TOSShare::ShareReadWrite},
};

// Whether a second open is allowed: rows are the mode of the handle already open, columns the
// mode of the new open, both in the order of kModes (r/none, r/read, r/readwrite, rw/none,
// rw/read, rw/readwrite). This is the sharing table of Windows file handles.
const bool kShareAllowed[6][6] = {
    {0, 0, 0, 0, 0, 0},  // r/none: nothing else
    {0, 1, 1, 0, 0, 0},  // r/read: readers that let this one read
    {0, 1, 1, 0, 1, 1},  // r/readwrite: anyone who lets this one read
    {0, 0, 0, 0, 0, 0},  // rw/none
    {0, 0, 1, 0, 0, 0},  // rw/read: readers that let this one write
    {0, 0, 1, 0, 0, 1},  // rw/readwrite: anyone who lets this one read and write
};

TEST_F(OSFileTest, ShareModesBetweenHandlesOfOneProcess) {
  for (int held = 0; held < 6; ++held) {
    for (int next = 0; next < 6; ++next) {
      SCOPED_TRACE(modeText(kModes[held]) + " then " + modeText(kModes[next]));
      TOSFile first, second;
      ASSERT_TRUE(first.Open(FPath, kModes[held].Access, kModes[held].Share));
      const bool opened = second.Open(FPath, kModes[next].Access, kModes[next].Share);
      EXPECT_EQ(opened, kShareAllowed[held][next]);
      if (!opened) {
        EXPECT_EQ(LastOSError().Code, zev::kSharingViolation);
        EXPECT_EQ(LastOSError().Message, "Device or resource busy");
        EXPECT_FALSE(second.IsOpen());
      }
    }
  }
}

TEST_F(OSFileTest, ShareModesBetweenProcesses) {
  for (int held = 0; held < 6; ++held) {
    auto helper = holdInOtherProcess(FPath, kModes[held]);
    for (int next = 0; next < 6; ++next) {
      SCOPED_TRACE(modeText(kModes[held]) + " then " + modeText(kModes[next]));
      TOSFile file;
      const bool opened = file.Open(FPath, kModes[next].Access, kModes[next].Share);
      EXPECT_EQ(opened, kShareAllowed[held][next]);
      if (!opened) {
        EXPECT_EQ(LastOSError().Code, zev::kSharingViolation);
      }
    }
    // The helper's markers go with its process.
    killAndReap(*helper);
    TOSFile exclusive;
    EXPECT_TRUE(exclusive.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareNone));
  }
}

TEST_F(OSFileTest, ShareModesOfAClosedHandleNoLongerApply) {
  TOSFile first, second;
  ASSERT_TRUE(first.Open(FPath, TOSAccess::Read, TOSShare::ShareNone));
  EXPECT_FALSE(second.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
  ASSERT_TRUE(first.Close());
  EXPECT_TRUE(second.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareNone));
  EXPECT_FALSE(first.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
}

TEST_F(OSFileTest, CreateReplacesContentOnlyWhenTheShareModesAllowIt) {
  // The create asks for read and write and shares both: allowed where such an open is.
  for (int held = 0; held < 6; ++held) {
    for (const bool otherProcess : {false, true}) {
      SCOPED_TRACE(modeText(kModes[held]) + (otherProcess ? " in another process" : ""));
      testsupport::WriteFile(FPath, "precious");
      TOSFile holder;
      std::unique_ptr<testsupport::THelperProcess> helper;
      if (otherProcess) {
        helper = holdInOtherProcess(FPath, kModes[held]);
      } else {
        ASSERT_TRUE(holder.Open(FPath, kModes[held].Access, kModes[held].Share));
      }

      TOSFile created;
      const bool allowed = kShareAllowed[held][5];
      EXPECT_EQ(created.Create(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite), allowed);
      if (allowed) {
        EXPECT_EQ(created.GetSize(), 0);
      } else {
        EXPECT_EQ(LastOSError().Code, zev::kSharingViolation);
        EXPECT_EQ(testsupport::ReadFile(FPath), "precious");
      }
    }
  }
}

TEST_F(OSFileTest, CreatedHandleHoldsItsShareMode) {
  const std::string path = FDir.File("new.bin");
  TOSFile created, other;
  ASSERT_TRUE(created.Create(path, TOSAccess::ReadWrite, TOSShare::ShareRead));
  EXPECT_TRUE(zev::FileExists(path));
  EXPECT_EQ(created.GetSize(), 0);
  EXPECT_FALSE(other.Open(path, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  EXPECT_TRUE(other.Open(path, TOSAccess::Read, TOSShare::ShareReadWrite));
}

TEST_F(OSFileTest, DeleteIsRefusedWhileAHandleIsOpen) {
  for (const TMode& mode : kModes) {
    SCOPED_TRACE(modeText(mode));
    testsupport::WriteFile(FPath, "x");
    {
      TOSFile file;
      ASSERT_TRUE(file.Open(FPath, mode.Access, mode.Share));
      EXPECT_FALSE(zev::DeleteFile(FPath));
      EXPECT_EQ(LastOSError().Code, zev::kSharingViolation);
      EXPECT_TRUE(zev::FileExists(FPath));
    }
    EXPECT_TRUE(zev::DeleteFile(FPath));
    EXPECT_FALSE(zev::FileExists(FPath));
  }
}

TEST_F(OSFileTest, DeleteIsRefusedWhileAnotherProcessHasTheFileOpen) {
  auto helper = holdInOtherProcess(FPath, {TOSAccess::Read, TOSShare::ShareReadWrite});
  EXPECT_FALSE(zev::DeleteFile(FPath));
  EXPECT_EQ(LastOSError().Code, zev::kSharingViolation);
  killAndReap(*helper);
  EXPECT_TRUE(zev::DeleteFile(FPath));
  EXPECT_FALSE(zev::FileExists(FPath));
}

// --- Exclusion under contention ------------------------------------------------------------

// Threads race for the same exclusive right, each through a handle of its own; whoever gets it
// counts itself in and out, and nobody may find someone else in.
struct TRace {
  std::function<bool(TOSFile&)> Prepare;  // once per thread
  std::function<bool(TOSFile&)> Take;
  std::function<void(TOSFile&)> Give;
};

void raceForExclusiveRight(const TRace& Race) {
  constexpr int kThreads = 6, kRounds = 1000;
  std::atomic<int> holders{0}, overlaps{0}, wins{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      TOSFile file;
      if (!Race.Prepare(file)) return;
      for (int round = 0; round < kRounds; ++round) {
        if (!Race.Take(file)) continue;
        if (++holders > 1) ++overlaps;
        ++wins;
        for (int i = 0; i < 10; ++i) std::this_thread::yield();  // keeps it long enough to meet
        --holders;
        Race.Give(file);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(wins.load(), 0);
}

TEST_F(OSFileTest, ConcurrentExclusiveOpensNeverOverlap) {
  raceForExclusiveRight({
      [](TOSFile&) { return true; },
      [&](TOSFile& File) { return File.Open(FPath, TOSAccess::Read, TOSShare::ShareNone); },
      [](TOSFile& File) { File.Close(); },
  });
}

TEST_F(OSFileTest, ConcurrentLocksThroughReadHandlesNeverOverlap) {
  raceForExclusiveRight({
      [&](TOSFile& File) { return File.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite); },
      [](TOSFile& File) { return File.LockBytes(360, 1); },
      [](TOSFile& File) { File.UnlockBytes(360, 1); },
  });
}

// --- Attributes and access ------------------------------------------------------------------

TEST_F(OSFileTest, ReadOnlyAttributeRefusesWritingEvenToRoot) {
  ASSERT_TRUE(zev::SetFileReadOnly(FPath, true));
  EXPECT_EQ(zev::IsFileReadOnly(FPath), true);

  TOSFile file;
  EXPECT_FALSE(file.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_EQ(LastOSError().Message, "Permission denied");
  EXPECT_FALSE(file.Create(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_FALSE(zev::DeleteFile(FPath));
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_EQ(testsupport::ReadFile(FPath), "0123456789abcdefghij");

  ASSERT_TRUE(file.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
  char buffer[4] = {};
  EXPECT_EQ(file.Read(buffer, 4, 10), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  ASSERT_TRUE(file.Close());

  ASSERT_TRUE(zev::SetFileReadOnly(FPath, false));
  EXPECT_EQ(zev::IsFileReadOnly(FPath), false);
  EXPECT_TRUE(file.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
}

TEST_F(OSFileTest, ReadHandleRefusesChanges) {
  TOSFile file;
  ASSERT_TRUE(file.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
  EXPECT_FALSE(file.Write("x", 1, 0));
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_FALSE(file.SetSize(1));
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_FALSE(file.Flush());
  EXPECT_EQ(LastOSError().Code, EACCES);
  EXPECT_EQ(testsupport::ReadFile(FPath), "0123456789abcdefghij");
}

TEST_F(OSFileTest, CreatedReadHandleEmptiesTheFileButRefusesWrites) {
  TOSFile file;
  ASSERT_TRUE(file.Create(FPath, TOSAccess::Read, TOSShare::ShareRead));
  EXPECT_EQ(file.GetSize(), 0);
  EXPECT_FALSE(file.Write("x", 1, 0));
  EXPECT_EQ(LastOSError().Code, EACCES);
}

// --- Reading, writing, size -----------------------------------------------------------------

TEST_F(OSFileTest, PositionedReadAndWriteBeyondFourGigabytes) {
  const int64_t far = (int64_t{5} << 30) + 7;  // 5 GiB + 7: needs all 64 bits
  TOSFile file;
  ASSERT_TRUE(file.Create(FDir.File("sparse.bin"), TOSAccess::ReadWrite, TOSShare::ShareNone));
  ASSERT_TRUE(file.Write("abc", 3, far));
  EXPECT_EQ(file.GetSize(), far + 3);
  ASSERT_TRUE(file.Write("Z", 1, 2));

  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 3, far), 3);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(file.Read(buffer, 16, far + 1), 2) << "a short read at the end is no error";
  EXPECT_EQ(std::string(buffer, 2), "bc");
  EXPECT_EQ(file.Read(buffer, 16, far + 3), 0);
  EXPECT_EQ(file.Read(buffer, 3, 0), 3);
  EXPECT_EQ(std::string(buffer, 3), std::string("\0\0Z", 3));

  ASSERT_TRUE(file.SetSize((int64_t{4} << 30) + 1));  // cuts
  EXPECT_EQ(file.GetSize(), (int64_t{4} << 30) + 1);
  EXPECT_EQ(file.Read(buffer, 3, far), 0);
  ASSERT_TRUE(file.SetSize(far + 3));  // extends with zeros
  EXPECT_EQ(file.Read(buffer, 3, far), 3);
  EXPECT_EQ(std::string(buffer, 3), std::string(3, '\0'));

  ASSERT_TRUE(file.Seek(far));
  EXPECT_EQ(file.GetPosition(), far);
  EXPECT_TRUE(file.Flush());
}

TEST_F(OSFileTest, WritesAreSeenThroughOtherHandles) {
  TOSFile writer, reader;
  ASSERT_TRUE(writer.Open(FPath, TOSAccess::ReadWrite, TOSShare::ShareReadWrite));
  ASSERT_TRUE(reader.Open(FPath, TOSAccess::Read, TOSShare::ShareReadWrite));
  ASSERT_TRUE(writer.Write("XYZ", 3, 18));
  char buffer[8] = {};
  EXPECT_EQ(reader.Read(buffer, 8, 16), 5);
  EXPECT_EQ(std::string(buffer, 5), "ghXYZ");
  EXPECT_EQ(reader.GetSize(), 21);
}

// --- Errors ---------------------------------------------------------------------------------

TEST_F(OSFileTest, MissingFileReportsTheSystemCodeAndText) {
  const std::string missing = FDir.File("missing.bin");
  const std::string inMissingFolder = FDir.File("no/such.bin");
  TOSFile file;
  const struct {
    const char* Operation;
    std::function<bool()> Call;
  } cases[] = {
      {"open for reading",
       [&] { return file.Open(missing, TOSAccess::Read, TOSShare::ShareRead); }},
      {"open for writing",
       [&] { return file.Open(missing, TOSAccess::ReadWrite, TOSShare::ShareNone); }},
      {"create in a missing folder",
       [&] { return file.Create(inMissingFolder, TOSAccess::ReadWrite, TOSShare::ShareNone); }},
      {"delete", [&] { return zev::DeleteFile(missing); }},
      {"set read-only", [&] { return zev::SetFileReadOnly(missing, true); }},
      {"ask read-only", [&] { return zev::IsFileReadOnly(missing).has_value(); }},
  };
  for (const auto& c : cases) {
    zev::SetLastOSError(0);
    EXPECT_FALSE(c.Call()) << c.Operation;
    EXPECT_EQ(LastOSError().Code, ENOENT) << c.Operation;
    EXPECT_EQ(LastOSError().Message, "No such file or directory") << c.Operation;
  }
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(zev::FileExists(missing));
  EXPECT_FALSE(zev::FileExists(FDir.Path())) << "a folder is not a file";
  EXPECT_TRUE(zev::FileExists(FPath));
}

TEST_F(OSFileTest, ClosedHandleReportsAnInvalidHandle) {
  TOSFile file;
  char buffer[1];
  EXPECT_EQ(file.Read(buffer, 1, 0), -1);
  EXPECT_EQ(LastOSError().Code, EBADF);
  EXPECT_TRUE(zev::IsCriticalOSError(LastOSError().Code));
  EXPECT_FALSE(file.Write("x", 1, 0));
  EXPECT_EQ(file.GetSize(), -1);
  EXPECT_FALSE(file.LockBytes(0, 1));
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(LastOSError().Code, EBADF);
  EXPECT_EQ(LastOSError().Message, "Bad file descriptor");
}

TEST(OSError, LastErrorBelongsToTheCallingThread) {
  zev::SetLastOSError(ENOENT);
  std::thread([] {
    EXPECT_EQ(LastOSError().Code, 0);
    zev::SetLastOSError(EBUSY);
  }).join();
  EXPECT_EQ(LastOSError().Code, ENOENT);
}

TEST(OSError, CriticalCodesAreTheBrokenHandleAndNetworkFailures) {
  const int critical[] = {EACCES, EBADF, EIO, ENETDOWN, ECONNRESET, ESTALE};
  const int ordinary[] = {0,
                          zev::kLockViolation,
                          zev::kSharingViolation,
                          zev::kNotLocked,
                          ENOENT,
                          EINVAL,
                          ENOSPC,
                          EISDIR,
                          EEXIST};
  for (int code : critical) EXPECT_TRUE(zev::IsCriticalOSError(code)) << code;
  for (int code : ordinary) EXPECT_FALSE(zev::IsCriticalOSError(code)) << code;
}

}  // namespace
