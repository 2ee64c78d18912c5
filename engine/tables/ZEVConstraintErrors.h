// The native error codes of the constraint checks and their message texts, one entry per
// message, in the form EABSException formats them. The constraint manager raises through these
// names; an index that cannot be found is the B-tree's kIndexNotFound.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// A column of a constraint that names no field of the table; with the column's object id.
inline constexpr TNativeMessage kConstraintFieldNotFound{30024, "Field #%d not found"};
// With the constraint's name and the field's name.
inline constexpr TNativeMessage kNotNullConstraintViolated{
    30026, "Constraint '%s' violated. Value in field '%s' cannot be null"};
// With the constraint's name, the field's name and the text of the bound.
inline constexpr TNativeMessage kCheckMinValueViolated{
    30029, "Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'"};
inline constexpr TNativeMessage kCheckMaxValueViolated{
    30030, "Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'"};
// With the constraint's name.
inline constexpr TNativeMessage kUniqueConstraintViolated{
    30320, "Constraint unique '%s' violated. Duplicate found."};
inline constexpr TNativeMessage kPrimaryKeyConstraintViolated{
    30319, "Primary Key constraint '%s' violated. Duplicate found."};
// Every column of a primary key NULL: the not-null text, with the constraint's name and the
// key's column names joined by ", " in the field's place.
inline constexpr TNativeMessage kPrimaryKeyIsNull{
    30330, "Constraint '%s' violated. Value in field '%s' cannot be null"};

}  // namespace zev::errors
