// EABSEngineError: the error of a row operation that the cursor refused (its result code):
// "Varkelt Engine Error # <code> <message>", where the message comes from the code (-8 carries
// the constraint's own text).
//
// Ownership: a plain exception value. Errors: none raised here.
#pragma once

#include <cstdint>

#include "engine/tables/DBError.h"

class EABSEngineError : public zev::EDatabaseError {
 public:
  EABSEngineError(int32_t ErrorCode, const AnsiString& Text);

  int32_t ErrorCode() const { return FErrorCode; }
  const AnsiString& ErrorMessage() const { return FErrorMessage; }
  // The message of a code: the table's text, Text for -8, empty for other codes.
  static AnsiString ErrorMessageOf(int32_t ErrorCode, const AnsiString& Text);

 private:
  int32_t FErrorCode;
  AnsiString FErrorMessage;
};
