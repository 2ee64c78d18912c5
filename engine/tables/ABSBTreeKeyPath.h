// TABSKeyPath: a position in a B-tree as the path from the root to a leaf entry, one
// (PageNo, EntryNo, EntryCount) triple per level, root first. A path is a hint: it is only
// reused while the table state it was taken at is current.
//
// Ownership: plain value. Locking: none. Errors: 20051, 20052 comparing paths of another shape.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zev {

enum TABSKeyPathPosition : uint8_t {
  kppUnknown,
  kppOnKey,
  kppBeforeKey,
  kppAfterKey,
  kppBOF,
  kppEOF,
};

struct TABSKeyPathItem {
  int32_t PageNo = -1;
  int32_t EntryNo = 0;
  int32_t EntryCount = 0;
};

struct TABSKeyPath {
  static constexpr int32_t kMaxLevels = 32;

  std::array<TABSKeyPathItem, kMaxLevels> Items{};
  int32_t Count = 0;   // levels filled
  int32_t ItemNo = 0;  // the level worked on
  TABSKeyPathPosition PositionType = kppUnknown;
  int32_t IndexState = 0;

  void Clear() { Count = 0; ItemNo = 0; PositionType = kppUnknown; }
  // Appends a level; 20099 beyond kMaxLevels.
  void Add(int32_t PageNo, int32_t EntryNo, int32_t EntryCount);
  TABSKeyPathItem& Leaf() { return Items[static_cast<size_t>(Count - 1)]; }
  const TABSKeyPathItem& Leaf() const { return Items[static_cast<size_t>(Count - 1)]; }
  // -1, 0 or 1 level by level; 20051 for paths of different depth, 20052 over other pages.
  int Compare(const TABSKeyPath& Other) const;
  // The position read as a mixed-radix fraction of the tree, 0 <= f < 1.
  double Fraction() const;
};

}  // namespace zev
