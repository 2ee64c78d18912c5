#include "shell/Strings.h"

#include "shell/AnsiStrings.h"

int TStrings::Add(const AnsiString& S) {
  int index = GetCount();
  Insert(index, S);
  return index;
}

int TStrings::IndexOf(const AnsiString& S) const {
  for (int i = 0, n = GetCount(); i < n; ++i)
    if (AnsiCompareText(Get(i), S) == 0) return i;
  return -1;
}

void TStrings::CheckIndex(int Index, int Limit) {
  if (Index < 0 || Index >= Limit)
    throw EStringListError(zev::Format("List index out of bounds (%d)", {Index}));
}

void RaiseListIndexError(int Index) {
  throw EListError(zev::Format("List index out of bounds (%d)", {Index}));
}
