// TABSBTree: one B-tree of index pages in a page manager, from its root page. Leaf entries are
// ordered by key, then by reference, so every (key, reference) pair occurs once and equal keys
// lie in reference order. A node entry's child holds the keys from that entry's key on; the
// first key of a node is a placeholder never compared. All pages of a level are linked left to
// right. The root keeps its page number for the life of the tree: splitting the root moves its
// entries into two new pages, and a root left with one child takes that child's content.
//
// A node key may stay lower than the keys left under its child after deletions; a search that
// meets a node key equal to its key therefore compares with the true first entry of the
// child's subtree, so that routing never depends on stale separators.
//
// Ownership: links to the page manager and the key description. Pages are pinned for one step
// only. Locking: none of its own; the table's locks cover the tree.
// Errors: 20025, 20028, 20070, 20071, 20068, 20069, 20074, 20075, 20115 and the page manager's.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/ZEVPage.h"
#include "engine/tables/ABSBTreeKeyPath.h"
#include "engine/tables/ABSBTreeKeys.h"
#include "engine/tables/ABSBTreePage.h"

namespace zev {

enum TABSSearchCondition : uint8_t {
  scNone = 0,
  scEqual = 1,
  scLower = 2,
  scGreater = 3,
  scLowerEqual = 4,
  scGreaterEqual = 5,
};

class TABSBTree {
 public:
  TABSBTree(TABSPageManager& PageManager, TABSBTreeKeyRef& KeyRef, int32_t RootPageNo = -1);
  TABSBTree(const TABSBTree&) = delete;
  TABSBTree& operator=(const TABSBTree&) = delete;

  // Adds and initialises a root leaf; answers its page number.
  int32_t CreateRoot(int32_t SessionID);
  int32_t RootPageNo() const { return FRootPageNo; }
  void SetRootPageNo(int32_t PageNo) { FRootPageNo = PageNo; }

  // Inserts the pair (nothing when it is there already); KeyPath, when given, ends on it.
  void InsertLeafEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference,
                       TABSKeyPath* KeyPath = nullptr);
  // Removes the pair; false when it is not there.
  bool DeleteLeafEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference);
  // Whether the pair exists; Position ends on it, or on the insertion point.
  bool FindEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference,
                 TABSKeyPath& Position);
  // The first (First) or last entry whose key stands in Condition's relation to Key, over the
  // key description's compare field count.
  bool FindByCondition(int32_t SessionID, bool First, const uint8_t* Key,
                       TABSSearchCondition Condition, TABSKeyPath& Position);

  bool GetFirstPosition(int32_t SessionID, TABSKeyPath& Position);  // false: empty
  bool GetLastPosition(int32_t SessionID, TABSKeyPath& Position);
  // Moves to the next / prior entry; false when there is none (the position is kept).
  // 20068 / 20069 on an empty path, 20070 / 20071 on a broken level link.
  bool GotoNext(int32_t SessionID, TABSKeyPath& Position);
  bool GotoPrior(int32_t SessionID, TABSKeyPath& Position);
  // The key and reference of the leaf entry a position stands on (copied).
  void ReadEntry(int32_t SessionID, const TABSKeyPath& Position, uint8_t* Key,
                 uint8_t* Reference);

  // Number of the position's entry in key order, from 1.
  int32_t GetRecNo(int32_t SessionID, const TABSKeyPath& Position);
  // The reference of entry RecNo (from 1); 20074 on an empty tree, 20075 beyond the end.
  void GetReferenceByRecNo(int32_t SessionID, int32_t RecNo, uint8_t* Reference);
  int32_t EntryCount(int32_t SessionID);

  // Frees every page, children before parents, the root too unless KeepRootPage; a kept root
  // becomes an empty leaf again.
  void FreeAllPages(int32_t SessionID, bool KeepRootPage);
  // Checks order on and across leaves, node keys against their children, level links and page
  // headers; 20028 naming the page and entry of the first fault.
  void CheckIntegrity(int32_t SessionID);

  TABSBTreePage GetIndexPage(int32_t SessionID, int32_t PageNo);

 private:
  enum class TTie { Exact, BeforeEqual, AfterEqual };
  struct TTarget {
    const uint8_t* Key;
    const uint8_t* Reference;  // Exact only
    TTie Tie;
  };

  TABSBTreePage addIndexPage(int32_t SessionID);
  int compareLeafEntry(int32_t SessionID, const TTarget& Target, const TABSBTreePage& Page,
                       int32_t EntryNo);
  int compareNodeEntry(int32_t SessionID, const TTarget& Target, const TABSBTreePage& Page,
                       int32_t EntryNo);
  int32_t searchLeaf(int32_t SessionID, const TTarget& Target, const TABSBTreePage& Page);
  int32_t searchNode(int32_t SessionID, const TTarget& Target, const TABSBTreePage& Page);
  // Descends to the leaf for Target; the leaf's entry number is the first entry not lower.
  void seek(int32_t SessionID, const TTarget& Target, TABSKeyPath& Path);
  bool stepToEntryAtOrAfter(int32_t SessionID, TABSKeyPath& Path);
  bool stepToEntryBefore(int32_t SessionID, TABSKeyPath& Path);
  int compareWithPosition(int32_t SessionID, const uint8_t* Key, const TABSKeyPath& Path);
  bool descendToEdge(int32_t SessionID, bool Last, TABSKeyPath& Path);
  // The first entry of the subtree under a page (key and reference copied).
  bool firstEntryOfSubtree(int32_t SessionID, int32_t PageNo, std::vector<uint8_t>& Key,
                           std::vector<uint8_t>& Reference);

  void split(int32_t SessionID, TABSKeyPath& Path, int32_t Level);
  void mergeIfUnderFilled(int32_t SessionID, TABSKeyPath& Path, int32_t Level);
  void deleteNodeEntry(int32_t SessionID, TABSKeyPath& Path, int32_t Level, bool MergedWithLeft,
                       const std::vector<uint8_t>* MergedFirstKey);
  void collapseRoot(int32_t SessionID);
  void freeSubtree(int32_t SessionID, int32_t PageNo, bool KeepThisPage);
  void checkSubtree(int32_t SessionID, int32_t PageNo, int32_t Depth, int32_t& LeafDepth,
                    std::vector<int32_t>& LevelPages, std::vector<int32_t>& Levels);

  TABSPageManager& LPageManager;
  TABSBTreeKeyRef& LKeyRef;
  int32_t FRootPageNo;
};

}  // namespace zev
