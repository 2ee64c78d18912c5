// EDatabaseError, the error of the dataset contract and of the database components, and the
// texts the contract raises it with (one place per message).
//
// DatabaseError prefixes the text with "<component name>: " when a component with a non-empty
// name is given; DatabaseErrorFmt formats first (engine/storage/ZEVFormat.h rules). Both always
// throw. No ownership, no locking.
#pragma once

#include <initializer_list>

#include "engine/storage/ZEVExcept.h"
#include "engine/storage/ZEVFormat.h"
#include "engine/tables/Component.h"

namespace zev {

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

[[noreturn]] void DatabaseError(const AnsiString& Message, const TComponent* Component = nullptr);
[[noreturn]] void DatabaseErrorFmt(const AnsiString& FormatText,
                                   std::initializer_list<TFormatArg> Args,
                                   const TComponent* Component = nullptr);

// The contract's messages, with "%s" / "%d" placeholders in argument order.
namespace dbtexts {
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s'";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldTooLong = "Value of field '%s' is longer than %d characters";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value";
inline constexpr const char* SInvalidDateTime = "'%s' is not a valid date and time";
inline constexpr const char* SFieldRangeError =
    "%d is not a valid value for field '%s'. The allowed range is %d to %d";
inline constexpr const char* SFieldBlobNotSupported = "Field '%s' of BLOB type is not supported";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SRecordNotFound = "Record not found";
}  // namespace dbtexts

}  // namespace zev
