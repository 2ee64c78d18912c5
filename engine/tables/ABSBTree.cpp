#include "engine/tables/ABSBTree.h"

#include <cstring>

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"

namespace zev {

namespace {

using TBytes = std::vector<uint8_t>;

TBytes bytesOf(const uint8_t* Data, int32_t Size) {
  return TBytes(Data, Data + Size);
}

[[noreturn]] void integrityError(int32_t PageNo, int32_t EntryNo) {
  errors::Raise(errors::kIndexIntegrityError, {PageNo, EntryNo});
}

}  // namespace

TABSBTree::TABSBTree(TABSPageManager& PageManager, TABSBTreeKeyRef& KeyRef, int32_t RootPageNo)
    : LPageManager(PageManager), LKeyRef(KeyRef), FRootPageNo(RootPageNo) {}

TABSBTreePage TABSBTree::GetIndexPage(int32_t SessionID, int32_t PageNo) {
  if (PageNo < 0) errors::Raise(errors::kIndexWithoutRoot);
  TABSPinnedPage page(LPageManager.GetPage(SessionID, PageNo, ptTableIndex));
  return TABSBTreePage(std::move(page), LKeyRef.ShortKeySize(), LKeyRef.ReferenceSize());
}

TABSBTreePage TABSBTree::addIndexPage(int32_t SessionID) {
  TABSPinnedPage page(LPageManager.AddPage(SessionID, ptTableIndex));
  TABSBTreePage view(std::move(page), LKeyRef.ShortKeySize(), LKeyRef.ReferenceSize());
  view.Init();
  return view;
}

int32_t TABSBTree::CreateRoot(int32_t SessionID) {
  TABSBTreePage root = addIndexPage(SessionID);
  root.InitAsRoot();
  FRootPageNo = root.PageNo();
  return FRootPageNo;
}

// --- Comparing and searching -----------------------------------------------------------------

int TABSBTree::compareLeafEntry(int32_t SessionID, const TTarget& Target,
                                const TABSBTreePage& Page, int32_t EntryNo) {
  const uint8_t* reference = Page.GetPReference(EntryNo);
  const int result = LKeyRef.CompareShortKeys(Target.Key, Page.GetPKey(EntryNo), true, SessionID,
                                              Target.Reference, reference);
  if (result != 0) return result;
  switch (Target.Tie) {
    case TTie::BeforeEqual: return -1;
    case TTie::AfterEqual: return 1;
    case TTie::Exact: break;
  }
  return Target.Reference ? CompareReferences(Target.Reference, reference, LKeyRef.ReferenceSize())
                          : 0;
}

// A node key equal to the target may be lower than everything left below it: the child's true
// first entry decides.
int TABSBTree::compareNodeEntry(int32_t SessionID, const TTarget& Target,
                                const TABSBTreePage& Page, int32_t EntryNo) {
  const int result = LKeyRef.CompareShortKeys(Target.Key, Page.GetPKey(EntryNo), false, SessionID,
                                              nullptr, nullptr);
  if (result != 0) return result;
  TBytes key, reference;
  if (!firstEntryOfSubtree(SessionID, Page.ChildPageNo(EntryNo), key, reference)) return 1;
  const int byEntry = LKeyRef.CompareShortKeys(Target.Key, key.data(), true, SessionID,
                                               Target.Reference, reference.data());
  if (byEntry != 0) return byEntry;
  switch (Target.Tie) {
    case TTie::BeforeEqual: return -1;
    case TTie::AfterEqual: return 1;
    case TTie::Exact: break;
  }
  return Target.Reference
             ? CompareReferences(Target.Reference, reference.data(), LKeyRef.ReferenceSize())
             : 0;
}

// The first entry not lower than the target (EntryCount when there is none).
int32_t TABSBTree::searchLeaf(int32_t SessionID, const TTarget& Target,
                              const TABSBTreePage& Page) {
  int32_t low = 0, high = Page.EntryCount();
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (compareLeafEntry(SessionID, Target, Page, middle) > 0)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

// The last entry from the second one on that is not greater than the target, else the first.
int32_t TABSBTree::searchNode(int32_t SessionID, const TTarget& Target,
                              const TABSBTreePage& Page) {
  int32_t low = 1, high = Page.EntryCount();
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (compareNodeEntry(SessionID, Target, Page, middle) >= 0)
      low = middle + 1;
    else
      high = middle;
  }
  return low - 1;
}

void TABSBTree::seek(int32_t SessionID, const TTarget& Target, TABSKeyPath& Path) {
  Path.Clear();
  int32_t pageNo = FRootPageNo;
  for (;;) {
    TABSBTreePage page = GetIndexPage(SessionID, pageNo);
    if (page.IsLeaf()) {
      Path.Add(pageNo, searchLeaf(SessionID, Target, page), page.EntryCount());
      return;
    }
    if (page.EntryCount() == 0) integrityError(pageNo, 0);
    const int32_t entryNo = searchNode(SessionID, Target, page);
    Path.Add(pageNo, entryNo, page.EntryCount());
    pageNo = page.ChildPageNo(entryNo);
  }
}

bool TABSBTree::firstEntryOfSubtree(int32_t SessionID, int32_t PageNo, TBytes& Key,
                                    TBytes& Reference) {
  for (;;) {
    TABSBTreePage page = GetIndexPage(SessionID, PageNo);
    if (page.EntryCount() == 0) return false;
    if (page.IsLeaf()) {
      Key = bytesOf(page.GetPKey(0), page.KeySize());
      Reference = bytesOf(page.GetPReference(0), page.ReferenceSize());
      return true;
    }
    PageNo = page.ChildPageNo(0);
  }
}

// --- Entries -----------------------------------------------------------------------------------

void TABSBTree::InsertLeafEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference,
                                TABSKeyPath* KeyPath) {
  const TTarget target{Key, Reference, TTie::Exact};
  TABSKeyPath path;
  seek(SessionID, target, path);
  bool overflows;
  {
    TABSBTreePage leaf = GetIndexPage(SessionID, path.Leaf().PageNo);
    const int32_t entryNo = path.Leaf().EntryNo;
    if (entryNo < leaf.EntryCount() && compareLeafEntry(SessionID, target, leaf, entryNo) == 0) {
      if (KeyPath) *KeyPath = path;
      return;
    }
    leaf.InsertEntry(entryNo, Key, Reference);
    overflows = leaf.Overflows();
  }
  if (overflows) split(SessionID, path, path.Count - 1);
  if (KeyPath) FindEntry(SessionID, Key, Reference, *KeyPath);
}

void TABSBTree::split(int32_t SessionID, TABSKeyPath& Path, int32_t Level) {
  TABSBTreePage page = GetIndexPage(SessionID, Path.Items[static_cast<size_t>(Level)].PageNo);
  const int32_t count = page.EntryCount(), half = count / 2;
  if (page.IsRoot()) {
    TABSBTreePage first = addIndexPage(SessionID), second = addIndexPage(SessionID);
    first.CopyFrom(page, 0, half);
    second.CopyFrom(page, half, count - half);
    first.SetIsRoot(false);
    second.SetIsRoot(false);
    first.SetRightPageNo(second.PageNo());
    second.SetLeftPageNo(first.PageNo());
    const TBytes secondKey = bytesOf(second.GetPKey(0), second.KeySize());
    const TBytes placeholder(static_cast<size_t>(page.KeySize()), 0);
    page.SetIsLeaf(false);
    page.SetEntryCount(0);
    page.InsertNodeEntry(0, placeholder.data(), first.PageNo());
    page.InsertNodeEntry(1, secondKey.data(), second.PageNo());
    return;
  }
  TABSBTreePage added = addIndexPage(SessionID);
  added.CopyFrom(page, half, count - half);
  const int32_t oldRight = page.RightPageNo();
  added.SetLeftPageNo(page.PageNo());
  added.SetRightPageNo(oldRight);
  if (oldRight >= 0) {
    TABSBTreePage right = GetIndexPage(SessionID, oldRight);
    right.SetLeftPageNo(added.PageNo());
    right.SetDirty();
  }
  page.SetRightPageNo(added.PageNo());
  page.SetEntryCount(half);
  page.SetDirty();
  const TBytes addedKey = bytesOf(added.GetPKey(0), added.KeySize());
  const int32_t addedPageNo = added.PageNo();
  bool parentOverflows;
  {
    const TABSKeyPathItem& parentItem = Path.Items[static_cast<size_t>(Level - 1)];
    TABSBTreePage parent = GetIndexPage(SessionID, parentItem.PageNo);
    parent.InsertNodeEntry(parentItem.EntryNo + 1, addedKey.data(), addedPageNo);
    parentOverflows = parent.Overflows();
  }
  if (parentOverflows) split(SessionID, Path, Level - 1);
}

bool TABSBTree::DeleteLeafEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference) {
  TABSKeyPath path;
  if (!FindEntry(SessionID, Key, Reference, path)) return false;
  {
    TABSBTreePage leaf = GetIndexPage(SessionID, path.Leaf().PageNo);
    leaf.DeleteEntry(path.Leaf().EntryNo);
  }
  mergeIfUnderFilled(SessionID, path, path.Count - 1);
  return true;
}

void TABSBTree::mergeIfUnderFilled(int32_t SessionID, TABSKeyPath& Path, int32_t Level) {
  const int32_t pageNo = Path.Items[static_cast<size_t>(Level)].PageNo;
  const int32_t entryInParent = Level > 0 ? Path.Items[static_cast<size_t>(Level - 1)].EntryNo : 0;
  TABSBTreePage page = GetIndexPage(SessionID, pageNo);
  if (page.IsRoot()) {
    page.Release();
    collapseRoot(SessionID);
    return;
  }
  if (!page.UnderFilled()) return;
  const int32_t leftNo = page.LeftPageNo(), rightNo = page.RightPageNo();

  if (leftNo >= 0) {
    TABSBTreePage left = GetIndexPage(SessionID, leftNo);
    if (page.CanMergeWith(left)) {
      TBytes key, reference;
      if (!page.IsLeaf() && page.EntryCount() > 0 &&
          firstEntryOfSubtree(SessionID, page.ChildPageNo(0), key, reference))
        page.UpdateKey(0, key.data());
      if (rightNo >= 0) {
        TABSBTreePage right = GetIndexPage(SessionID, rightNo);
        right.SetLeftPageNo(leftNo);
        right.SetDirty();
      }
      left.AppendFrom(page);
      left.SetRightPageNo(rightNo);
      left.Release();
      page.Release();
      LPageManager.RemovePage(SessionID, pageNo);
      deleteNodeEntry(SessionID, Path, Level - 1, true, nullptr);
      return;
    }
  }
  if (rightNo < 0) return;
  TABSBTreePage right = GetIndexPage(SessionID, rightNo);
  if (!page.CanMergeWith(right)) return;
  // The key the right neighbour's range starts from once it holds this page's entries.
  TBytes mergedFirstKey, reference;
  bool moved = page.EntryCount() > 0;
  if (moved && entryInParent >= 1) {
    TABSBTreePage parent = GetIndexPage(SessionID, Path.Items[static_cast<size_t>(Level - 1)].PageNo);
    mergedFirstKey = bytesOf(parent.GetPKey(entryInParent), parent.KeySize());
  } else if (moved) {
    moved = firstEntryOfSubtree(SessionID, pageNo, mergedFirstKey, reference);
  }
  TBytes key;
  if (!right.IsLeaf() && right.EntryCount() > 0 &&
      firstEntryOfSubtree(SessionID, right.ChildPageNo(0), key, reference))
    right.UpdateKey(0, key.data());
  if (leftNo >= 0) {
    TABSBTreePage left = GetIndexPage(SessionID, leftNo);
    left.SetRightPageNo(rightNo);
    left.SetDirty();
  }
  right.InsertFrom(page);
  right.SetLeftPageNo(leftNo);
  right.Release();
  page.Release();
  LPageManager.RemovePage(SessionID, pageNo);
  deleteNodeEntry(SessionID, Path, Level - 1, false, moved ? &mergedFirstKey : nullptr);
}

// Removes the node entry that led to a merged page, after repairing the keys that bound the
// moved entries' new range.
void TABSBTree::deleteNodeEntry(int32_t SessionID, TABSKeyPath& Path, int32_t Level,
                                bool MergedWithLeft, const TBytes* MergedFirstKey) {
  const TABSKeyPathItem item = Path.Items[static_cast<size_t>(Level)];
  {
    TABSBTreePage node = GetIndexPage(SessionID, item.PageNo);
    const int32_t entryNo = item.EntryNo, count = node.EntryCount();
    if (MergedWithLeft) {
      // The node's new first child now starts its range: raise the ancestor key above it.
      if (entryNo == 0 && count >= 2) {
        const TBytes newFirst = bytesOf(node.GetPKey(1), node.KeySize());
        for (int32_t level = Level - 1; level >= 0; --level) {
          const TABSKeyPathItem& up = Path.Items[static_cast<size_t>(level)];
          if (up.EntryNo < 1) continue;
          GetIndexPage(SessionID, up.PageNo).UpdateKey(up.EntryNo, newFirst.data());
          break;
        }
      }
    } else if (MergedFirstKey) {
      // The right neighbour's range now starts at the moved entries.
      if (entryNo < count - 1) {
        node.UpdateKey(entryNo + 1, MergedFirstKey->data());
      } else {
        for (int32_t level = Level - 1; level >= 0; --level) {
          const TABSKeyPathItem& up = Path.Items[static_cast<size_t>(level)];
          TABSBTreePage ancestor = GetIndexPage(SessionID, up.PageNo);
          if (up.EntryNo >= ancestor.EntryCount() - 1) continue;
          ancestor.UpdateKey(up.EntryNo + 1, MergedFirstKey->data());
          break;
        }
      }
    }
    node.DeleteEntry(entryNo);
  }
  mergeIfUnderFilled(SessionID, Path, Level);
}

void TABSBTree::collapseRoot(int32_t SessionID) {
  for (;;) {
    TABSBTreePage root = GetIndexPage(SessionID, FRootPageNo);
    if (root.IsLeaf() || root.EntryCount() > 1) return;
    if (root.EntryCount() == 0) {
      root.InitAsRoot();
      return;
    }
    const int32_t childNo = root.ChildPageNo(0);
    {
      TABSBTreePage child = GetIndexPage(SessionID, childNo);
      root.CopyFrom(child, 0, child.EntryCount());
    }
    root.SetIsRoot(true);
    root.SetLeftPageNo(-1);
    root.SetRightPageNo(-1);
    root.Release();
    LPageManager.RemovePage(SessionID, childNo);
  }
}

bool TABSBTree::FindEntry(int32_t SessionID, const uint8_t* Key, const uint8_t* Reference,
                          TABSKeyPath& Position) {
  const TTarget target{Key, Reference, TTie::Exact};
  seek(SessionID, target, Position);
  TABSBTreePage leaf = GetIndexPage(SessionID, Position.Leaf().PageNo);
  const int32_t entryNo = Position.Leaf().EntryNo;
  const bool found =
      entryNo < leaf.EntryCount() && compareLeafEntry(SessionID, target, leaf, entryNo) == 0;
  Position.PositionType = found ? kppOnKey : kppBeforeKey;
  return found;
}

void TABSBTree::ReadEntry(int32_t SessionID, const TABSKeyPath& Position, uint8_t* Key,
                          uint8_t* Reference) {
  if (Position.Count == 0) errors::Raise(errors::kEmptyKeyPath);
  TABSBTreePage leaf = GetIndexPage(SessionID, Position.Leaf().PageNo);
  const int32_t entryNo = Position.Leaf().EntryNo;
  if (entryNo >= leaf.EntryCount()) errors::Raise(errors::kEmptyKeyPath);
  if (Key) std::memcpy(Key, leaf.GetPKey(entryNo), static_cast<size_t>(leaf.KeySize()));
  if (Reference)
    std::memcpy(Reference, leaf.GetPReference(entryNo), static_cast<size_t>(leaf.ReferenceSize()));
}

// --- Positions -------------------------------------------------------------------------------

bool TABSBTree::descendToEdge(int32_t SessionID, bool Last, TABSKeyPath& Path) {
  Path.Clear();
  int32_t pageNo = FRootPageNo;
  for (;;) {
    TABSBTreePage page = GetIndexPage(SessionID, pageNo);
    const int32_t count = page.EntryCount();
    if (count == 0) {
      if (!page.IsLeaf()) integrityError(pageNo, 0);
      Path.Add(pageNo, 0, 0);
      Path.PositionType = Last ? kppEOF : kppBOF;
      return false;
    }
    const int32_t entryNo = Last ? count - 1 : 0;
    Path.Add(pageNo, entryNo, count);
    if (page.IsLeaf()) {
      Path.PositionType = kppOnKey;
      return true;
    }
    pageNo = page.ChildPageNo(entryNo);
  }
}

bool TABSBTree::GetFirstPosition(int32_t SessionID, TABSKeyPath& Position) {
  return descendToEdge(SessionID, false, Position);
}

bool TABSBTree::GetLastPosition(int32_t SessionID, TABSKeyPath& Position) {
  return descendToEdge(SessionID, true, Position);
}

bool TABSBTree::GotoNext(int32_t SessionID, TABSKeyPath& Position) {
  if (Position.Count == 0) errors::Raise(errors::kNextOnEmptyPath);
  int32_t level = Position.Count - 1;
  while (level >= 0 && Position.Items[static_cast<size_t>(level)].EntryNo >=
                           Position.Items[static_cast<size_t>(level)].EntryCount - 1)
    --level;
  if (level < 0) return false;
  TABSKeyPath moved = Position;
  ++moved.Items[static_cast<size_t>(level)].EntryNo;
  for (int32_t deeper = level + 1; deeper < moved.Count; ++deeper) {
    TABSKeyPathItem& item = moved.Items[static_cast<size_t>(deeper)];
    const int32_t rightNo = GetIndexPage(SessionID, item.PageNo).RightPageNo();
    if (rightNo < 0) errors::Raise(errors::kNoRightNeighbour);
    item = {rightNo, 0, GetIndexPage(SessionID, rightNo).EntryCount()};
  }
  if (moved.Leaf().EntryCount == 0) {  // an empty page is skipped
    if (!GotoNext(SessionID, moved)) return false;
  }
  Position = moved;
  Position.PositionType = kppOnKey;
  return true;
}

bool TABSBTree::GotoPrior(int32_t SessionID, TABSKeyPath& Position) {
  if (Position.Count == 0) errors::Raise(errors::kPriorOnEmptyPath);
  int32_t level = Position.Count - 1;
  while (level >= 0 && Position.Items[static_cast<size_t>(level)].EntryNo <= 0) --level;
  if (level < 0) return false;
  TABSKeyPath moved = Position;
  --moved.Items[static_cast<size_t>(level)].EntryNo;
  for (int32_t deeper = level + 1; deeper < moved.Count; ++deeper) {
    TABSKeyPathItem& item = moved.Items[static_cast<size_t>(deeper)];
    const int32_t leftNo = GetIndexPage(SessionID, item.PageNo).LeftPageNo();
    if (leftNo < 0) errors::Raise(errors::kNoLeftNeighbour);
    const int32_t count = GetIndexPage(SessionID, leftNo).EntryCount();
    item = {leftNo, count - 1, count};
  }
  if (moved.Leaf().EntryCount == 0) {
    moved.Leaf().EntryNo = 0;
    if (!GotoPrior(SessionID, moved)) return false;
  }
  Position = moved;
  Position.PositionType = kppOnKey;
  return true;
}

bool TABSBTree::stepToEntryAtOrAfter(int32_t SessionID, TABSKeyPath& Path) {
  const TABSKeyPathItem& leaf = Path.Leaf();
  if (leaf.EntryNo < leaf.EntryCount) return true;
  if (leaf.EntryCount == 0) return false;
  return GotoNext(SessionID, Path);
}

bool TABSBTree::stepToEntryBefore(int32_t SessionID, TABSKeyPath& Path) {
  TABSKeyPathItem& leaf = Path.Leaf();
  if (leaf.EntryCount == 0) return false;
  if (leaf.EntryNo > 0) {
    --leaf.EntryNo;
    return true;
  }
  return GotoPrior(SessionID, Path);
}

int TABSBTree::compareWithPosition(int32_t SessionID, const uint8_t* Key,
                                   const TABSKeyPath& Path) {
  TABSBTreePage leaf = GetIndexPage(SessionID, Path.Leaf().PageNo);
  const int32_t entryNo = Path.Leaf().EntryNo;
  return LKeyRef.CompareShortKeys(Key, leaf.GetPKey(entryNo), true, SessionID, nullptr,
                                  leaf.GetPReference(entryNo));
}

bool TABSBTree::FindByCondition(int32_t SessionID, bool First, const uint8_t* Key,
                                TABSSearchCondition Condition, TABSKeyPath& Position) {
  const TTarget notLower{Key, nullptr, TTie::BeforeEqual};
  const TTarget greater{Key, nullptr, TTie::AfterEqual};
  auto firstAtOrAfter = [&](const TTarget& Target) {
    seek(SessionID, Target, Position);
    return stepToEntryAtOrAfter(SessionID, Position);
  };
  auto lastBefore = [&](const TTarget& Target) {
    seek(SessionID, Target, Position);
    return stepToEntryBefore(SessionID, Position);
  };
  auto edgeWhere = [&](bool Last, auto Accept) {
    return descendToEdge(SessionID, Last, Position) &&
           Accept(compareWithPosition(SessionID, Key, Position));
  };
  bool found = false;
  switch (Condition) {
    case scNone:
      found = descendToEdge(SessionID, !First, Position);
      break;
    case scEqual:
      found = (First ? firstAtOrAfter(notLower) : lastBefore(greater)) &&
              compareWithPosition(SessionID, Key, Position) == 0;
      break;
    case scLower:
      found = First ? edgeWhere(false, [](int c) { return c > 0; }) : lastBefore(notLower);
      break;
    case scLowerEqual:
      found = First ? edgeWhere(false, [](int c) { return c >= 0; }) : lastBefore(greater);
      break;
    case scGreater:
      found = First ? firstAtOrAfter(greater) : edgeWhere(true, [](int c) { return c < 0; });
      break;
    case scGreaterEqual:
      found = First ? firstAtOrAfter(notLower) : edgeWhere(true, [](int c) { return c <= 0; });
      break;
  }
  Position.PositionType = found ? kppOnKey : kppUnknown;
  return found;
}

// --- Record numbers ----------------------------------------------------------------------------

int32_t TABSBTree::GetRecNo(int32_t SessionID, const TABSKeyPath& Position) {
  if (Position.Count == 0) errors::Raise(errors::kEmptyKeyPath);
  int32_t recNo = Position.Leaf().EntryNo + 1;
  int32_t leftNo = GetIndexPage(SessionID, Position.Leaf().PageNo).LeftPageNo();
  while (leftNo >= 0) {
    TABSBTreePage left = GetIndexPage(SessionID, leftNo);
    recNo += left.EntryCount();
    leftNo = left.LeftPageNo();
  }
  return recNo;
}

void TABSBTree::GetReferenceByRecNo(int32_t SessionID, int32_t RecNo, uint8_t* Reference) {
  TABSKeyPath path;
  if (!descendToEdge(SessionID, false, path)) errors::Raise(errors::kRecNoOnEmptyIndex);
  if (RecNo < 1) errors::Raise(errors::kRecNoBeyondEnd);
  int32_t pageNo = path.Leaf().PageNo, before = 0;
  for (;;) {
    TABSBTreePage leaf = GetIndexPage(SessionID, pageNo);
    if (before + leaf.EntryCount() >= RecNo) {
      std::memcpy(Reference, leaf.GetPReference(RecNo - before - 1),
                  static_cast<size_t>(leaf.ReferenceSize()));
      return;
    }
    before += leaf.EntryCount();
    pageNo = leaf.RightPageNo();
    if (pageNo < 0) errors::Raise(errors::kRecNoBeyondEnd);
  }
}

int32_t TABSBTree::EntryCount(int32_t SessionID) {
  TABSKeyPath path;
  if (!descendToEdge(SessionID, false, path)) return 0;
  int32_t count = 0;
  for (int32_t pageNo = path.Leaf().PageNo; pageNo >= 0;) {
    TABSBTreePage leaf = GetIndexPage(SessionID, pageNo);
    count += leaf.EntryCount();
    pageNo = leaf.RightPageNo();
  }
  return count;
}

// --- Emptying, dropping, checking ------------------------------------------------------------

void TABSBTree::freeSubtree(int32_t SessionID, int32_t PageNo, bool KeepThisPage) {
  std::vector<int32_t> children;
  {
    TABSBTreePage page = GetIndexPage(SessionID, PageNo);
    if (!page.IsLeaf())
      for (int32_t i = 0; i < page.EntryCount(); ++i) children.push_back(page.ChildPageNo(i));
    if (KeepThisPage) page.InitAsRoot();
  }
  for (int32_t child : children) freeSubtree(SessionID, child, false);
  if (!KeepThisPage) LPageManager.RemovePage(SessionID, PageNo);
}

void TABSBTree::FreeAllPages(int32_t SessionID, bool KeepRootPage) {
  if (FRootPageNo < 0) errors::Raise(errors::kIndexWithoutRoot);
  freeSubtree(SessionID, FRootPageNo, KeepRootPage);
  if (!KeepRootPage) FRootPageNo = -1;
}

void TABSBTree::checkSubtree(int32_t SessionID, int32_t PageNo, int32_t Depth,
                             int32_t& LeafDepth, std::vector<int32_t>& LevelPages,
                             std::vector<int32_t>& Levels) {
  std::vector<int32_t> children;
  {
    TABSBTreePage page = GetIndexPage(SessionID, PageNo);
    const uint8_t* header = page.Page()->PageData();
    const bool isRoot = Depth == 0;
    if (page.IsRoot() != isRoot || header[11] != 0 || header[16] != 0 || header[17] != 0 ||
        page.EntryCount() > page.MaxEntries() ||
        (header[12] | header[13] << 8) != page.KeySize())
      integrityError(PageNo, 0);
    LevelPages.push_back(PageNo);
    Levels.push_back(Depth);
    if (page.IsLeaf()) {
      if (LeafDepth >= 0 && LeafDepth != Depth) integrityError(PageNo, 0);
      LeafDepth = Depth;
      if (!isRoot && page.EntryCount() == 0) integrityError(PageNo, 0);
      return;
    }
    if (page.EntryCount() < (isRoot ? 2 : 1)) integrityError(PageNo, 0);
    for (int32_t i = 0; i < page.EntryCount(); ++i) {
      children.push_back(page.ChildPageNo(i));
      if (i == 0) continue;
      // A node key is no higher than its child's entries and no lower than the ones before.
      TBytes first, reference;
      if (!firstEntryOfSubtree(SessionID, page.ChildPageNo(i), first, reference) ||
          LKeyRef.CompareShortKeys(page.GetPKey(i), first.data(), false, SessionID, nullptr,
                                   nullptr) > 0)
        integrityError(PageNo, i);
      int32_t pageNo = page.ChildPageNo(i - 1);
      for (;;) {
        TABSBTreePage below = GetIndexPage(SessionID, pageNo);
        if (below.EntryCount() == 0) integrityError(pageNo, 0);
        if (below.IsLeaf()) {
          if (LKeyRef.CompareShortKeys(below.GetPKey(below.EntryCount() - 1), page.GetPKey(i),
                                       false, SessionID, nullptr, nullptr) > 0)
            integrityError(PageNo, i);
          break;
        }
        pageNo = below.ChildPageNo(below.EntryCount() - 1);
      }
    }
  }
  for (int32_t child : children)
    checkSubtree(SessionID, child, Depth + 1, LeafDepth, LevelPages, Levels);
}

void TABSBTree::CheckIntegrity(int32_t SessionID) {
  if (FRootPageNo < 0) errors::Raise(errors::kIndexWithoutRoot);
  int32_t leafDepth = -1;
  std::vector<int32_t> pages, levels;
  checkSubtree(SessionID, FRootPageNo, 0, leafDepth, pages, levels);
  // Each level, read from the tree in key order, is the chain its links describe.
  for (int32_t depth = 0; depth <= leafDepth; ++depth) {
    int32_t previous = -1;
    for (size_t i = 0; i < pages.size(); ++i) {
      if (levels[i] != depth) continue;
      TABSBTreePage page = GetIndexPage(SessionID, pages[i]);
      if (page.LeftPageNo() != previous) integrityError(pages[i], 0);
      if (previous >= 0 && GetIndexPage(SessionID, previous).RightPageNo() != pages[i])
        integrityError(previous, 0);
      previous = pages[i];
    }
    if (previous >= 0 && GetIndexPage(SessionID, previous).RightPageNo() != -1)
      integrityError(previous, 0);
  }
  // Leaf entries in (key, reference) order along the whole level.
  TBytes lastKey, lastReference;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (levels[i] != leafDepth) continue;
    TABSBTreePage leaf = GetIndexPage(SessionID, pages[i]);
    for (int32_t entryNo = 0; entryNo < leaf.EntryCount(); ++entryNo) {
      const uint8_t* key = leaf.GetPKey(entryNo);
      const uint8_t* reference = leaf.GetPReference(entryNo);
      if (!lastKey.empty()) {
        int order = LKeyRef.CompareShortKeys(lastKey.data(), key, true, SessionID,
                                             lastReference.data(), reference);
        if (order == 0)
          order = CompareReferences(lastReference.data(), reference, leaf.ReferenceSize());
        if (order >= 0) integrityError(pages[i], entryNo);
      }
      lastKey = bytesOf(key, leaf.KeySize());
      lastReference = bytesOf(reference, leaf.ReferenceSize());
    }
  }
}

}  // namespace zev
