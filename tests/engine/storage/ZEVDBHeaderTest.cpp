#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/storage/ZEVDBHeader.h"
#include "engine/storage/ZEVEndian.h"

namespace {

using zev::TABSCryptoHeader;
using zev::TABSDBHeader;
using zev::TABSLockedBytes;

TEST(DBHeaderTest, StoresEveryFieldAtItsOffset) {
  TABSDBHeader header = TABSDBHeader::Preset();
  header.PageSize = 4096;
  header.PageCountInExtent = 8;
  header.TotalPageCount = 0x01020304;
  header.LastUsedPageNo = -1;
  header.State = 0x0A0B0C0D;
  header.WriteChangesState = 1;
  header.Encrypted = true;
  std::vector<uint8_t> bytes(TABSDBHeader::Size, 0xEE);
  header.Store(bytes.data());

  EXPECT_EQ(TABSDBHeader::Size, 76u);
  EXPECT_EQ(std::memcmp(bytes.data(), "ZEV0LUTEDATABASE", 16), 0);
  EXPECT_EQ(zev::GetInt16LE(&bytes[16]), 76);
  EXPECT_DOUBLE_EQ(zev::GetDoubleLE(&bytes[18]), 7.61);
  EXPECT_EQ(zev::GetUInt16LE(&bytes[26]), 4096);
  EXPECT_EQ(zev::GetUInt16LE(&bytes[28]), 8);
  EXPECT_EQ(zev::GetInt32LE(&bytes[30]), 0x01020304);
  EXPECT_EQ(zev::GetInt32LE(&bytes[34]), -1);
  EXPECT_EQ(zev::GetInt32LE(&bytes[38]), 0x0A0B0C0D);
  EXPECT_EQ(bytes[42], 1);
  EXPECT_EQ(bytes[43], 0xFF);
  for (size_t i = 44; i < 76; ++i) EXPECT_EQ(bytes[i], 0) << i;

  TABSDBHeader back;
  back.Load(bytes.data());
  EXPECT_TRUE(back.HasSignature());
  EXPECT_EQ(back.TotalPageCount, header.TotalPageCount);
  EXPECT_EQ(back.State, header.State);
  EXPECT_TRUE(back.Encrypted);
}

TEST(DBHeaderTest, AnyNonZeroEncryptedByteReadsAsEncrypted) {
  std::vector<uint8_t> bytes(TABSDBHeader::Size, 0);
  bytes[43] = 1;
  TABSDBHeader header;
  header.Load(bytes.data());
  EXPECT_TRUE(header.Encrypted);
}

TEST(DBHeaderTest, PresetIsANewFile) {
  const TABSDBHeader header = TABSDBHeader::Preset();
  EXPECT_EQ(header.SignatureText(), "ZEV0LUTEDATABASE");
  EXPECT_EQ(header.HeaderSize, 76);
  EXPECT_DOUBLE_EQ(header.Version, 7.61);
  EXPECT_EQ(header.TotalPageCount, 0);
  EXPECT_EQ(header.LastUsedPageNo, -1);
  EXPECT_EQ(header.State, 0);
  EXPECT_EQ(header.WriteChangesState, 2);
  EXPECT_FALSE(header.Encrypted);
}

TEST(CryptoHeaderTest, StoresEveryFieldAtItsOffset) {
  TABSCryptoHeader header;
  header.CryptoAlgorithm = zev::craBlowfish;
  for (size_t i = 0; i < header.ControlBlock.size(); ++i)
    header.ControlBlock[i] = static_cast<uint8_t>(i);
  header.ControlBlockCRC = 0xDEADBEEF;
  std::vector<uint8_t> bytes(TABSCryptoHeader::Size, 0xEE);
  header.Store(bytes.data());

  EXPECT_EQ(TABSCryptoHeader::Size, 280u);
  EXPECT_EQ(zev::GetInt16LE(&bytes[0]), 280);
  EXPECT_EQ(bytes[2], zev::craBlowfish);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 0);
  EXPECT_EQ(bytes[4 + 255], 255);
  EXPECT_EQ(zev::GetUInt32LE(&bytes[260]), 0xDEADBEEFu);
  for (size_t i = 264; i < 280; ++i) EXPECT_EQ(bytes[i], 0) << i;

  TABSCryptoHeader back;
  back.Load(bytes.data());
  EXPECT_EQ(back.ControlBlock, header.ControlBlock);
  EXPECT_EQ(back.ControlBlockCRC, header.ControlBlockCRC);
  EXPECT_EQ(back.CryptoAlgorithm, header.CryptoAlgorithm);
}

TEST(LockedBytesTest, StoresEveryFieldAtItsOffset) {
  TABSLockedBytes locked;
  locked.TablesByte = 3;
  locked.DBHeaderByte = 4;
  std::vector<uint8_t> bytes(TABSLockedBytes::Size, 0xEE);
  locked.Store(bytes.data());
  EXPECT_EQ(TABSLockedBytes::Size, 20u);
  EXPECT_EQ(zev::GetInt16LE(&bytes[0]), 20);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(bytes[3], 3);
  EXPECT_EQ(bytes[4], 4);
  for (size_t i = 5; i < 20; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

}  // namespace
