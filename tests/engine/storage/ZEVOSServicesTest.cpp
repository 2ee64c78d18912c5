#include "engine/storage/ZEVOSServices.h"

#include <gtest/gtest.h>
#include <sys/sysinfo.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/ZEVOSFile.h"
#include "tests/support/TestSupport.h"

namespace {

// Sets or removes an environment variable for the life of the object.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, const char* Value) : FName(Name) {
    if (const char* old = std::getenv(Name)) FOld = old;
    if (Value)
      setenv(Name, Value, 1);
    else
      unsetenv(Name);
  }
  ~TScopedEnv() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

// Whether Text is Head, Count characters that pass Test, then Tail.
bool hasForm(const std::string& Text, const std::string& Head, size_t Count, int (*Test)(int),
             const std::string& Tail) {
  if (Text.size() != Head.size() + Count + Tail.size()) return false;
  if (Text.compare(0, Head.size(), Head) != 0) return false;
  if (Text.compare(Head.size() + Count, Tail.size(), Tail) != 0) return false;
  for (size_t i = Head.size(); i < Head.size() + Count; ++i)
    if (!Test(static_cast<unsigned char>(Text[i]))) return false;
  return true;
}

int isUpperHexDigit(int C) { return std::isdigit(C) || (C >= 'A' && C <= 'F'); }

bool isGuidText(const std::string& Text) {
  // {XXXXXXXX-XXXX-4XXX-[89AB]XXX-XXXXXXXXXXXX}
  if (Text.size() != 38 || Text.front() != '{' || Text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? Text[i] != '-' : !isUpperHexDigit(Text[i])) return false;
  }
  return Text[15] == '4' && std::string("89AB").find(Text[20]) != std::string::npos;
}

TEST(OSServices, TempDirectoryComesFromTMPDIR) {
  {
    TScopedEnv env("TMPDIR", "/var/spool/work");
    EXPECT_EQ(zev::GetTempDirectory(), "/var/spool/work/");
  }
  {
    TScopedEnv env("TMPDIR", "/var/spool/work/");
    EXPECT_EQ(zev::GetTempDirectory(), "/var/spool/work/");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    TScopedEnv env("TMPDIR", unset);
    EXPECT_EQ(zev::GetTempDirectory(), "/tmp/");
  }
}

TEST(OSServices, TempFilesAreNewEmptyAndUnique) {
  testsupport::TTempDir dir;
  TScopedEnv env("TMPDIR", dir.Path().c_str());
  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    const AnsiString name = i % 2 ? zev::CreateTempFile() : zev::CreateTempFile(dir.Path());
    ASSERT_TRUE(hasForm(name, dir.Path() + "/ZEV", 6, std::isalnum, ".tmp")) << name;
    EXPECT_TRUE(zev::FileExists(name));
    EXPECT_EQ(testsupport::ReadFile(name), "");
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 200u);
}

TEST(OSServices, TempFileInAMissingFolderFails) {
  testsupport::TTempDir dir;
  EXPECT_EQ(zev::CreateTempFile(dir.File("missing")), "");
  EXPECT_EQ(zev::LastOSError().Code, ENOENT);
}

TEST(OSServices, GuidsAreBracedUpperCaseVersionFourAndUnique) {
  std::set<AnsiString> seen;
  for (int i = 0; i < 1000; ++i) {
    const AnsiString guid = zev::CreateGuidText();
    ASSERT_TRUE(isGuidText(guid)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(OSServices, RandomFollowsThePascalRuntimeSequence) {
  // From seed 0 the runtime's Random(100) gives 0, 3, 86, 20, 27, 67, 31, 16.
  zev::SetRandSeed(0);
  std::vector<int32_t> draws;
  for (int i = 0; i < 8; ++i) draws.push_back(zev::Random(100));
  EXPECT_EQ(draws, (std::vector<int32_t>{0, 3, 86, 20, 27, 67, 31, 16}));
  EXPECT_EQ(zev::GetRandSeed(), 694906232);

  zev::SetRandSeed(12345);
  std::vector<int32_t> again;
  for (int i = 0; i < 5; ++i) again.push_back(zev::Random(1000));
  EXPECT_EQ(again, (std::vector<int32_t>{385, 289, 79, 553, 633}));
  EXPECT_EQ(static_cast<uint32_t>(zev::GetRandSeed()), 2721613530u);

  zev::SetRandSeed(1);
  EXPECT_DOUBLE_EQ(zev::Random(), 134775814 / 4294967296.0);
}

TEST(OSServices, RandomStaysInItsRange) {
  zev::SetRandSeed(-7);
  for (int32_t range : {1, 2, 255, 10000, INT32_MAX}) {
    int32_t highest = 0;
    for (int i = 0; i < 5000; ++i) {
      const int32_t r = zev::Random(range);
      ASSERT_GE(r, 0);
      ASSERT_LT(r, range);
      highest = std::max(highest, r);
    }
    if (range > 1 && range <= 255) {
      EXPECT_EQ(highest, range - 1) << range;
    }
  }
  for (int i = 0; i < 5000; ++i) {
    const double r = zev::Random();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
  }
}

TEST(OSServices, RandomStepsTheSeedOnceForEveryDrawAcrossThreads) {
  constexpr int kThreads = 4, kDraws = 20000;
  zev::SetRandSeed(99);
  for (int i = 0; i < kThreads * kDraws; ++i) zev::Random(10);
  const int32_t expected = zev::GetRandSeed();

  zev::SetRandSeed(99);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < kDraws; ++i) zev::Random(10);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(zev::GetRandSeed(), expected);
}

TEST(OSServices, RandomizeChangesTheSeed) {
  zev::SetRandSeed(0);
  zev::Randomize();
  const int32_t first = zev::GetRandSeed();
  zev::Sleep(2);
  zev::Randomize();
  EXPECT_NE(zev::GetRandSeed(), first);
}

TEST(OSServices, TickCountIsMonotonicAndCountsSleptMilliseconds) {
  uint32_t previous = zev::GetTickCount();
  for (int i = 0; i < 100000; ++i) {
    const uint32_t now = zev::GetTickCount();
    ASSERT_LT(now - previous, 1000u) << "went back";  // unsigned: a step back is huge
    previous = now;
  }
  const uint32_t before = zev::GetTickCount();
  zev::Sleep(20);
  EXPECT_GE(zev::GetTickCount() - before, 20u);
}

TEST(OSServices, AvailableMemoryIsSomeOfThePhysicalMemory) {
  struct sysinfo info {};
  ASSERT_EQ(sysinfo(&info), 0);
  const uint64_t total = static_cast<uint64_t>(info.totalram) * info.mem_unit;
  const uint64_t available = zev::GetAvailablePhysicalMemory();
  EXPECT_GT(available, 0u);
  EXPECT_LE(available, total);
}

TEST(OSServices, CriticalSectionIsReentrantWithinAThread) {
  zev::TCriticalSection section;
  std::lock_guard<zev::TCriticalSection> outer(section);
  {
    std::lock_guard<zev::TCriticalSection> inner(section);
    bool otherThreadGotIt = true;
    std::thread([&] { otherThreadGotIt = section.try_lock(); }).join();
    EXPECT_FALSE(otherThreadGotIt);
  }
  bool stillHeld = true;
  std::thread([&] { stillHeld = !section.try_lock(); }).join();
  EXPECT_TRUE(stillHeld) << "the outer guard still holds it";
}

}  // namespace
