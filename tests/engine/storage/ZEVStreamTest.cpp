#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVStream.h"
#include "tests/engine/storage/EngineErrorOf.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace zev;

std::vector<uint8_t> pattern(size_t Size, uint8_t Seed = 1) {
  std::vector<uint8_t> bytes(Size);
  for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<uint8_t>(Seed + i * 31 + (i >> 9));
  return bytes;
}

std::vector<uint8_t> contentOf(TABSStream& Stream) {
  std::vector<uint8_t> bytes(static_cast<size_t>(Stream.GetSize()));
  Stream.SetPosition(0);
  Stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

void fill(TABSStream& Stream, const std::vector<uint8_t>& Bytes) {
  Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

std::vector<std::string> filesIn(const std::string& Directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Directory))
    names.push_back(entry.path().filename().string());
  return names;
}

// Points TMPDIR at a folder for the life of the object.
class TTempDirectoryOverride {
 public:
  explicit TTempDirectoryOverride(const std::string& Directory) {
    if (const char* old = std::getenv("TMPDIR")) FOld = old;
    setenv("TMPDIR", Directory.c_str(), 1);
  }
  ~TTempDirectoryOverride() {
    if (FOld)
      setenv("TMPDIR", FOld->c_str(), 1);
    else
      unsetenv("TMPDIR");
  }

 private:
  std::optional<std::string> FOld;
};

// --- TABSStream through a memory stream -------------------------------------------------------

TEST(TABSMemoryStream, ReadsWritesAndSeeksWithGapsFilledWithZeros) {
  TABSMemoryStream s;
  EXPECT_EQ(s.Write("abcde", 5), 5);
  EXPECT_EQ(s.GetPosition(), 5);
  EXPECT_EQ(s.Seek(8, soBeginning), 8);  // past the end
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.Write("z", 1), 1);
  EXPECT_EQ(s.GetSize(), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 9),
            std::string("abcde\0\0\0z", 9));
  EXPECT_EQ(s.Seek(-3, soEnd), 6);
  char buffer[10] = {};
  EXPECT_EQ(s.Read(buffer, 10), 3);
  EXPECT_EQ(std::string(buffer, 3), std::string("\0\0z", 3));
  EXPECT_EQ(s.Read(buffer, 10), 0);
  EXPECT_EQ(s.Seek(-2, soCurrent), 7);
  EXPECT_EQ(s.Seek(-8, soCurrent), -1);  // before the start: refused, position kept
  EXPECT_EQ(s.GetPosition(), 7);
  s.SetSize(2);
  EXPECT_EQ(s.GetSize(), 2);
  EXPECT_EQ(s.GetPosition(), 7);  // a size change does not move the position
  EXPECT_EQ(s.Read(buffer, 1), 0);
}

TEST(TABSStream, ExactCountReadRaisesWithTheCallersCode) {
  TABSMemoryStream s;
  fill(s, pattern(5));
  s.SetPosition(2);
  char buffer[10];
  int code = 0;
  EXPECT_EQ(errorOf([&] { s.ReadBuffer(buffer, 10); }, &code),
            "Cannot read from stream. Position = 2, Stream size = 5, Block size = 10, Bytes Read = "
            "3 - Native error: 10090");
  EXPECT_EQ(code, 10090);
  s.SetPosition(0);
  EXPECT_EQ(errorOf([&] { s.ReadBuffer(buffer, 6, 10159); }, &code),
            "Cannot read from stream. Position = 0, Stream size = 5, Block size = 6, Bytes Read = "
            "5 - Native error: 10159");
  EXPECT_EQ(code, 10159);
  s.SetPosition(1);
  EXPECT_EQ(errorOf([&] { s.ReadBuffer(buffer, 4); }), "");
  EXPECT_EQ(errorOf([&] { s.ReadBuffer(buffer, 0); }), "");
}

TEST(TABSStream, SeekAndSizeErrors) {
  TABSMemoryStream s;
  fill(s, pattern(5));
  s.SetPosition(3);
  int code = 0;
  EXPECT_EQ(errorOf([&] { s.SetPosition(-1); }, &code),
            "Cannot set stream position to -1. Position = 3, Size = 5 - Native error: 10092");
  EXPECT_EQ(code, 10092);
  EXPECT_EQ(errorOf([&] { s.SetPosition(-4, 20001); }, &code),
            "Cannot set stream position to -4. Position = 3, Size = 5 - Native error: 20001");
  EXPECT_EQ(s.GetPosition(), 3);
  EXPECT_EQ(errorOf([&] { s.SetSize(-1); }, &code),
            "Cannot write to stream. Position = 3, Stream size = 5, Block size = -1, Bytes Write = "
            "0 - Native error: 10093");
  EXPECT_EQ(s.GetSize(), 5);
}

TEST(TABSStream, LockIsReentrantWithinAThread) {
  TABSMemoryStream s;
  s.Lock();
  s.Lock();
  s.Unlock();
  s.Unlock();
  s.SetModified(true);
  EXPECT_TRUE(s.GetModified());
}

// --- Copy operations --------------------------------------------------------------------------

TEST(TABSStream, SaveToStreamCopiesTheWholeContentInBlocksWithProgress) {
  TABSMemoryStream source;
  const std::vector<uint8_t> data = pattern(250000);
  fill(source, data);
  source.SetPosition(1234);  // the copy starts from the beginning whatever the position
  std::vector<std::pair<int64_t, int64_t>> progress;
  source.OnProgress = [&](int64_t Done, int64_t Total) { progress.emplace_back(Done, Total); };
  TABSMemoryStream dest;
  fill(dest, {'>', '>'});
  source.SaveToStream(dest);
  EXPECT_EQ(source.GetPosition(), 250000);
  std::vector<uint8_t> expected = {'>', '>'};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_TRUE(contentOf(dest) == expected);
  const std::vector<std::pair<int64_t, int64_t>> pieces = {
      {102400, 250000}, {204800, 250000}, {250000, 250000}};
  EXPECT_EQ(progress, pieces);
}

TEST(TABSStream, LoadFromStreamReplacesTheContent) {
  TABSMemoryStream source;
  const std::vector<uint8_t> data = pattern(3000, 9);
  fill(source, data);
  TABSMemoryStream dest;
  fill(dest, pattern(10000, 3));
  dest.SetBlockSize(1000);
  int calls = 0;
  dest.OnProgress = [&](int64_t, int64_t) { ++calls; };
  dest.LoadFromStream(source);
  EXPECT_EQ(dest.GetPosition(), 0);
  EXPECT_TRUE(contentOf(dest) == data);
  EXPECT_EQ(calls, 3);

  dest.LoadFromStreamWithPosition(source, 100, 50);
  EXPECT_TRUE(contentOf(dest) == std::vector<uint8_t>(data.begin() + 100, data.begin() + 150));
  EXPECT_EQ(errorOf([&] { dest.LoadFromStreamWithPosition(source, 2990, 20); }),
            "Cannot read from stream. Position = 2990, Stream size = 3000, Block size = 20, Bytes "
            "Read = 10 - Native error: 10090");
}

TEST(TABSStream, SaveToFileAndLoadFromFile) {
  testsupport::TTempDir dir;
  TABSMemoryStream source;
  const std::vector<uint8_t> data = pattern(120000);
  fill(source, data);
  source.SaveToFile(dir.File("copy.bin"));
  const std::string onDisk = testsupport::ReadFile(dir.File("copy.bin"));
  EXPECT_EQ(onDisk, std::string(data.begin(), data.end()));

  testsupport::WriteFile(dir.File("other.bin"), "le contenu d'un autre fichier");
  TABSMemoryStream loaded;
  fill(loaded, pattern(500000));
  loaded.LoadFromFile(dir.File("other.bin"));
  const std::vector<uint8_t> other = contentOf(loaded);
  EXPECT_EQ(std::string(other.begin(), other.end()), "le contenu d'un autre fichier");
  EXPECT_EQ(errorOf([&] { loaded.LoadFromFile(dir.File("missing.bin")); }),
            "Cannot open file. FileName = " + dir.File("missing.bin") +
                ", Mode = 32 - Native error: 10105");
}

// --- TABSFileStream ---------------------------------------------------------------------------

TEST(TABSFileStream, CreatesWritesAndReopens) {
  testsupport::TTempDir dir;
  const std::string name = dir.File("data.bin");
  {
    TABSFileStream s(name, fmCreate);
    fill(s, pattern(5000));
    EXPECT_EQ(s.GetSize(), 5000);
    EXPECT_EQ(s.Seek(10000, soBeginning), 10000);
    EXPECT_EQ(s.Write("!", 1), 1);
    EXPECT_EQ(s.GetSize(), 10001);
    s.SetSize(6000);
    EXPECT_EQ(s.FileName(), name);
  }
  TABSFileStream s(name, fmOpenRead | fmShareDenyNone);
  std::vector<uint8_t> expected = pattern(5000);
  expected.resize(6000, 0);
  EXPECT_TRUE(contentOf(s) == expected);
  EXPECT_EQ(s.Seek(-1, soEnd), 5999);
  EXPECT_TRUE(std::filesystem::exists(name));  // an ordinary file stays
}

TEST(TABSFileStream, OpeningErrors) {
  testsupport::TTempDir dir;
  int code = 0;
  EXPECT_EQ(
      errorOf([&] { TABSFileStream s(dir.File("no/such/dir.bin"), fmCreate); }, &code),
      "Cannot create file. FileName = " + dir.File("no/such/dir.bin") + " - Native error: 10104");
  EXPECT_EQ(code, 10104);
  EXPECT_EQ(errorOf([&] { TABSFileStream s(dir.File("missing.bin"), fmOpenReadWrite); }, &code),
            "Cannot open file. FileName = " + dir.File("missing.bin") +
                ", Mode = 2 - Native error: 10105");
  EXPECT_EQ(code, 10105);

  testsupport::WriteFile(dir.File("held.bin"), "x");
  TABSFileStream holder(dir.File("held.bin"), fmOpenReadWrite | fmShareExclusive);
  EXPECT_EQ(
      errorOf([&] { TABSFileStream s(dir.File("held.bin"), fmOpenRead | fmShareDenyNone); }),
      "Cannot open file. FileName = " + dir.File("held.bin") + ", Mode = 64 - Native error: 10105");
}

TEST(TABSFileStream, WritingThroughAReadOnlyStreamRaises) {
  testsupport::TTempDir dir;
  testsupport::WriteFile(dir.File("ro.bin"), "abcd");
  TABSFileStream s(dir.File("ro.bin"), fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(s.Write("xyz", 3), 0);
  EXPECT_EQ(errorOf([&] { s.WriteBuffer("xyz", 3); }),
            "Cannot write to stream. Position = 0, Stream size = 4, Block size = 3, Bytes Write = "
            "0 - Native error: 10091");
  EXPECT_EQ(errorOf([&] { s.WriteBuffer("xyz", 3, 10158); }),
            "Cannot write to stream. Position = 0, Stream size = 4, Block size = 3, Bytes Write = "
            "0 - Native error: 10158");
  EXPECT_EQ(testsupport::ReadFile(dir.File("ro.bin")), "abcd");
}

TEST(TABSFileStream, TemporaryFileIsRemovedWithTheStream) {
  testsupport::TTempDir dir;
  std::string name;
  {
    auto s = TABSFileStream::CreateTemporary(dir.Path(), "ZEV");
    name = s->FileName();
    EXPECT_EQ(name.rfind(dir.Path() + "/ZEV", 0), 0u) << name;
    EXPECT_TRUE(std::filesystem::exists(name));
    fill(*s, pattern(100));
    EXPECT_EQ(s->GetSize(), 100);
  }
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(filesIn(dir.Path()).empty());
  EXPECT_EQ(errorOf([&] { TABSFileStream::CreateTemporary(dir.File("gone"), "ZEV"); }),
            "Cannot create file. FileName = " + dir.File("gone") + "/ZEV - Native error: 10104");
}

// --- TABSTemporaryStream ----------------------------------------------------------------------

TEST(TABSTemporaryStream, MovesIntoAFileOnlyPastOneMebibyte) {
  testsupport::TTempDir dir;
  TTempDirectoryOverride tmpdir(dir.Path());
  std::string fileName;
  {
    TABSTemporaryStream s;
    const std::vector<uint8_t> data = pattern(1048576);
    fill(s, data);
    EXPECT_TRUE(s.InMemory());  // exactly the limit still fits
    EXPECT_TRUE(filesIn(dir.Path()).empty());
    s.SetPosition(1000);
    fill(s, {0xAB});  // a write inside does not grow it
    EXPECT_TRUE(s.InMemory());

    s.SetPosition(1048576);
    fill(s, {0xCD});
    ASSERT_FALSE(s.InMemory());
    fileName = s.FileName();
    EXPECT_EQ(s.GetPosition(), 1048577);
    const std::vector<std::string> files = filesIn(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("ZEV", 0), 0u) << files[0];
    EXPECT_EQ(dir.File(files[0]), fileName);

    std::vector<uint8_t> expected = data;
    expected[1000] = 0xAB;
    expected.push_back(0xCD);
    EXPECT_TRUE(contentOf(s) == expected);
    EXPECT_EQ(std::filesystem::file_size(fileName), 1048577u);
    s.SetSize(10);  // once in a file, it stays there
    EXPECT_FALSE(s.InMemory());
  }
  EXPECT_FALSE(std::filesystem::exists(fileName));
  EXPECT_TRUE(filesIn(dir.Path()).empty());
}

TEST(TABSTemporaryStream, SizeChangePastTheLimitMovesItToo) {
  testsupport::TTempDir dir;
  TTempDirectoryOverride tmpdir(dir.Path());
  TABSTemporaryStream s;
  fill(s, pattern(100));
  s.SetPosition(40);
  s.SetSize(TABSTemporaryStream::kMemoryLimit + 1);
  ASSERT_FALSE(s.InMemory());
  EXPECT_EQ(s.GetPosition(), 40);
  std::vector<uint8_t> expected = pattern(100);
  expected.resize(TABSTemporaryStream::kMemoryLimit + 1, 0);
  EXPECT_TRUE(contentOf(s) == expected);
}

TEST(TABSTemporaryStream, StaysInMemoryWhenTemporaryFilesAreDisabled) {
  testsupport::TTempDir dir;
  TTempDirectoryOverride tmpdir(dir.Path());
  TABSTemporaryStream s(/*DisableTempFiles*/ true);
  const std::vector<uint8_t> data = pattern(2 * 1048576 + 3);
  fill(s, data);
  EXPECT_TRUE(s.InMemory());
  EXPECT_EQ(s.FileName(), "");
  EXPECT_TRUE(filesIn(dir.Path()).empty());
  EXPECT_TRUE(contentOf(s) == data);
}

}  // namespace
