// TStrings: the list-of-texts interface behind a combo box's entries and a list entry's cells.
//
// Concrete lists implement the five primitive operations; Add, IndexOf and the others are built
// on them. An index out of range raises EStringListError "List index out of bounds (%d)".
// IndexOf compares ignoring case in the user's locale (AnsiCompareText).
#pragma once

#include "engine/storage/ZEVExcept.h"

// Raised by lists of objects (list entries, columns) for an index out of range.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStrings {
 public:
  virtual ~TStrings() = default;

  virtual int GetCount() const = 0;
  virtual AnsiString Get(int Index) const = 0;
  virtual void Put(int Index, const AnsiString& S) = 0;
  virtual void Insert(int Index, const AnsiString& S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  // Appends S and answers its index.
  int Add(const AnsiString& S);
  // The first index whose text equals S ignoring case, or -1.
  int IndexOf(const AnsiString& S) const;
  AnsiString operator[](int Index) const { return Get(Index); }
  AnsiString Strings(int Index) const { return Get(Index); }

 protected:
  // Raises EStringListError unless 0 <= Index < Limit.
  static void CheckIndex(int Index, int Limit);
};

// Raises EListError with the standard text for a bad index.
[[noreturn]] void RaiseListIndexError(int Index);
