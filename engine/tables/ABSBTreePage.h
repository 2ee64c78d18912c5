// TABSBTreePage: the view of one pinned index page (type 12). Its data area starts with an
// 18-byte header, then the entries, packed, in key order:
//
//   offset  0  IsRoot          1 byte   1 on the root page
//   offset  1  IsLeaf          1 byte   1 on leaves, 0 on nodes
//   offset  2  LeftPageNo      int32    left neighbour on the same level, -1 when none
//   offset  6  RightPageNo     int32    right neighbour on the same level, -1 when none
//   offset 10  HasKeys         1 byte   1 from InitAsRoot, copied with the header; not read
//   offset 11  HasSuffixes     1 byte   always 0
//   offset 12  KeyPrefixSize   uint16   bytes of key per entry
//   offset 14  EntryCount      uint16
//   offset 16  PagePrefixSize  uint16   bytes between header and entries, always 0
//
// An entry is KeyPrefixSize bytes of key, then the reference: the tree's reference size on a
// leaf, a 4-byte child page number on a node. A page may hold one entry too many for a moment
// (its buffer is grown) until the tree splits it.
//
// Ownership: holds the page's pin and gives it back when it goes. Locking: none (the table's
// locks cover the tree). Errors: 20025 removing from an empty page.
#pragma once

#include <cstdint>

#include "engine/storage/ZEVPage.h"

namespace zev {

class TABSBTreePage {
 public:
  static constexpr int32_t kHeaderSize = 18;

  // Requires: Page pinned, of type 12.
  TABSBTreePage(TABSPinnedPage Page, int32_t KeySize, int32_t LeafReferenceSize);
  TABSBTreePage(TABSBTreePage&&) = default;
  TABSBTreePage(const TABSBTreePage&) = delete;
  TABSBTreePage& operator=(const TABSBTreePage&) = delete;

  // A fresh page: every field 0, both neighbour links -1.
  void Init();
  // Init, then IsRoot, IsLeaf and HasKeys 1 and KeyPrefixSize the tree's key size.
  void InitAsRoot();

  int32_t PageNo() const { return FPage->PageNo(); }
  bool IsRoot() const { return data()[0] != 0; }
  void SetIsRoot(bool Value) { data()[0] = Value ? 1 : 0; }
  bool IsLeaf() const { return data()[1] != 0; }
  void SetIsLeaf(bool Value) { data()[1] = Value ? 1 : 0; }
  int32_t LeftPageNo() const;
  void SetLeftPageNo(int32_t PageNo);
  int32_t RightPageNo() const;
  void SetRightPageNo(int32_t PageNo);
  int32_t EntryCount() const;
  void SetEntryCount(int32_t Count);
  int32_t KeySize() const { return FKeySize; }
  int32_t ReferenceSize() const { return IsLeaf() ? FLeafReferenceSize : 4; }
  int32_t EntrySize() const { return FKeySize + ReferenceSize(); }

  uint8_t* GetPKey(int32_t EntryNo) const;
  uint8_t* GetPReference(int32_t EntryNo) const;
  int32_t ChildPageNo(int32_t EntryNo) const;  // nodes
  void UpdateKey(int32_t EntryNo, const uint8_t* Key);
  void UpdateReference(int32_t EntryNo, const uint8_t* Reference);

  // Shifts the entries from EntryNo on and writes the new one there.
  void InsertEntry(int32_t EntryNo, const uint8_t* Key, const uint8_t* Reference);
  void InsertNodeEntry(int32_t EntryNo, const uint8_t* Key, int32_t ChildPageNo);
  // Removes one entry; 20025 on an empty page.
  void DeleteEntry(int32_t EntryNo);

  // This page's header and entries become Source's header and Count of its entries from
  // StartNo.
  void CopyFrom(const TABSBTreePage& Source, int32_t StartNo, int32_t Count);
  // Source's entries added after this page's entries / before them.
  void AppendFrom(const TABSBTreePage& Source);
  void InsertFrom(const TABSBTreePage& Source);

  // Room rules over the page's data area.
  bool Overflows() const;
  bool UnderFilled() const;
  bool CanMergeWith(const TABSBTreePage& Neighbour) const;
  int32_t MaxEntries() const;

  void SetDirty() { FPage->SetIsDirty(true); }
  // Gives the pin back now; the view is unusable afterwards.
  void Release() { FPage.Release(); }
  TABSPage* Page() const { return FPage.Get(); }

 private:
  uint8_t* data() const { return FPage->PageData(); }
  uint8_t* entries() const { return data() + kHeaderSize; }
  int32_t dataSize() const { return FPage->PageDataSize(); }
  void reserveEntries(int32_t Count);

  TABSPinnedPage FPage;
  int32_t FKeySize;
  int32_t FLeafReferenceSize;
};

}  // namespace zev
