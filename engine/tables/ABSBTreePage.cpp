#include "engine/tables/ABSBTreePage.h"

#include <cstring>

#include "engine/storage/ZEVEndian.h"
#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"

namespace zev {

namespace {
constexpr int kLeftOffset = 2, kRightOffset = 6, kHasKeysOffset = 10, kKeyPrefixOffset = 12,
              kCountOffset = 14;
}

TABSBTreePage::TABSBTreePage(TABSPinnedPage Page, int32_t KeySize, int32_t LeafReferenceSize)
    : FPage(std::move(Page)), FKeySize(KeySize), FLeafReferenceSize(LeafReferenceSize) {}

void TABSBTreePage::Init() {
  std::memset(data(), 0, kHeaderSize);
  SetLeftPageNo(-1);
  SetRightPageNo(-1);
  SetDirty();
}

void TABSBTreePage::InitAsRoot() {
  Init();
  SetIsRoot(true);
  SetIsLeaf(true);
  data()[kHasKeysOffset] = 1;
  PutUInt16LE(data() + kKeyPrefixOffset, static_cast<uint16_t>(FKeySize));
}

int32_t TABSBTreePage::LeftPageNo() const { return GetInt32LE(data() + kLeftOffset); }
void TABSBTreePage::SetLeftPageNo(int32_t PageNo) { PutInt32LE(data() + kLeftOffset, PageNo); }
int32_t TABSBTreePage::RightPageNo() const { return GetInt32LE(data() + kRightOffset); }
void TABSBTreePage::SetRightPageNo(int32_t PageNo) { PutInt32LE(data() + kRightOffset, PageNo); }
int32_t TABSBTreePage::EntryCount() const { return GetUInt16LE(data() + kCountOffset); }
void TABSBTreePage::SetEntryCount(int32_t Count) {
  PutUInt16LE(data() + kCountOffset, static_cast<uint16_t>(Count));
}

uint8_t* TABSBTreePage::GetPKey(int32_t EntryNo) const {
  return entries() + static_cast<size_t>(EntryNo) * static_cast<size_t>(EntrySize());
}

uint8_t* TABSBTreePage::GetPReference(int32_t EntryNo) const { return GetPKey(EntryNo) + FKeySize; }

int32_t TABSBTreePage::ChildPageNo(int32_t EntryNo) const {
  return GetInt32LE(GetPReference(EntryNo));
}

void TABSBTreePage::UpdateKey(int32_t EntryNo, const uint8_t* Key) {
  std::memcpy(GetPKey(EntryNo), Key, static_cast<size_t>(FKeySize));
  SetDirty();
}

void TABSBTreePage::UpdateReference(int32_t EntryNo, const uint8_t* Reference) {
  std::memcpy(GetPReference(EntryNo), Reference, static_cast<size_t>(ReferenceSize()));
  SetDirty();
}

// Grows the page buffer (never written beyond the page size) to hold Count entries.
void TABSBTreePage::reserveEntries(int32_t Count) {
  const size_t needed = FPage->PageHeaderSize() + kHeaderSize +
                        static_cast<size_t>(Count) * static_cast<size_t>(EntrySize());
  if (needed > FPage->PageBufferSize()) FPage->EnlargePageBuffer(needed);
}

void TABSBTreePage::InsertEntry(int32_t EntryNo, const uint8_t* Key, const uint8_t* Reference) {
  const int32_t count = EntryCount();
  reserveEntries(count + 1);
  const size_t size = static_cast<size_t>(EntrySize());
  uint8_t* at = GetPKey(EntryNo);
  std::memmove(at + size, at, static_cast<size_t>(count - EntryNo) * size);
  std::memcpy(at, Key, static_cast<size_t>(FKeySize));
  std::memcpy(at + FKeySize, Reference, static_cast<size_t>(ReferenceSize()));
  SetEntryCount(count + 1);
  SetDirty();
}

void TABSBTreePage::InsertNodeEntry(int32_t EntryNo, const uint8_t* Key, int32_t ChildPageNo) {
  uint8_t reference[4];
  PutInt32LE(reference, ChildPageNo);
  InsertEntry(EntryNo, Key, reference);
}

void TABSBTreePage::DeleteEntry(int32_t EntryNo) {
  const int32_t count = EntryCount();
  if (count == 0) errors::Raise(errors::kIndexPageIsEmpty);
  const size_t size = static_cast<size_t>(EntrySize());
  uint8_t* at = GetPKey(EntryNo);
  std::memmove(at, at + size, static_cast<size_t>(count - EntryNo - 1) * size);
  SetEntryCount(count - 1);
  SetDirty();
}

void TABSBTreePage::CopyFrom(const TABSBTreePage& Source, int32_t StartNo, int32_t Count) {
  if (&Source != this) std::memcpy(data(), Source.data(), kHeaderSize);  // sets the entry size
  reserveEntries(Count);
  std::memmove(entries(), Source.GetPKey(StartNo),
               static_cast<size_t>(Count) * static_cast<size_t>(EntrySize()));
  SetEntryCount(Count);
  SetDirty();
}

void TABSBTreePage::AppendFrom(const TABSBTreePage& Source) {
  const int32_t count = EntryCount(), added = Source.EntryCount();
  reserveEntries(count + added);
  std::memcpy(GetPKey(count), Source.GetPKey(0),
              static_cast<size_t>(added) * static_cast<size_t>(EntrySize()));
  SetEntryCount(count + added);
  SetDirty();
}

void TABSBTreePage::InsertFrom(const TABSBTreePage& Source) {
  const int32_t count = EntryCount(), added = Source.EntryCount();
  reserveEntries(count + added);
  const size_t size = static_cast<size_t>(EntrySize());
  std::memmove(GetPKey(added), GetPKey(0), static_cast<size_t>(count) * size);
  std::memcpy(GetPKey(0), Source.GetPKey(0), static_cast<size_t>(added) * size);
  SetEntryCount(count + added);
  SetDirty();
}

bool TABSBTreePage::Overflows() const {
  return kHeaderSize + EntryCount() * EntrySize() > dataSize();
}

bool TABSBTreePage::UnderFilled() const {
  return EntryCount() * EntrySize() < (dataSize() - kHeaderSize) / 2;
}

// An empty page always goes: a page left empty in the middle of a level would stop every walk
// along the level.
bool TABSBTreePage::CanMergeWith(const TABSBTreePage& Neighbour) const {
  if (EntryCount() == 0) return true;
  return (EntryCount() + Neighbour.EntryCount()) * EntrySize() + kHeaderSize < dataSize();
}

int32_t TABSBTreePage::MaxEntries() const { return (dataSize() - kHeaderSize) / EntrySize(); }

}  // namespace zev
