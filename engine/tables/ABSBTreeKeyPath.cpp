#include "engine/tables/ABSBTreeKeyPath.h"

#include "engine/storage/ZEVRaise.h"
#include "engine/tables/ABSBTreeErrors.h"

namespace zev {

void TABSKeyPath::Add(int32_t PageNo, int32_t EntryNo, int32_t EntryCount) {
  if (Count >= kMaxLevels) errors::Raise(errors::kEmptyKeyPath);
  Items[static_cast<size_t>(Count++)] = {PageNo, EntryNo, EntryCount};
}

int TABSKeyPath::Compare(const TABSKeyPath& Other) const {
  if (Count != Other.Count) errors::Raise(errors::kKeyPathsOfDifferentDepth);
  for (int32_t level = 0; level < Count; ++level) {
    const TABSKeyPathItem& mine = Items[static_cast<size_t>(level)];
    const TABSKeyPathItem& theirs = Other.Items[static_cast<size_t>(level)];
    if (mine.EntryNo != theirs.EntryNo) return mine.EntryNo < theirs.EntryNo ? -1 : 1;
    if (mine.PageNo != theirs.PageNo) errors::Raise(errors::kKeyPathsOverDifferentPages);
  }
  return 0;
}

double TABSKeyPath::Fraction() const {
  double fraction = 0, scale = 1;
  for (int32_t level = 0; level < Count; ++level) {
    const TABSKeyPathItem& item = Items[static_cast<size_t>(level)];
    if (item.EntryCount <= 0) break;
    scale /= item.EntryCount;
    fraction += item.EntryNo * scale;
  }
  return fraction;
}

}  // namespace zev
