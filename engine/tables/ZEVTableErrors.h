// The native error codes of the tables layer and their message texts, one entry per message,
// in the form EABSException formats them. Units raise through these names.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// --- Types (ZEVTypes) -----------------------------------------------------------------------
inline constexpr TNativeMessage kUnsupportedAdvancedType{30007, "Unsupported data type '%s'"};
inline constexpr TNativeMessage kUnsupportedBaseType{30008, "Unsupported data type '%s'"};
inline constexpr TNativeMessage kUnknownDataTypeSize{30050, "Unknown DataType: '%s'"};
inline constexpr TNativeMessage kUnknownFieldDataType{30289, "Unknown DataType: '%s'"};

// --- Values (ZEVVariant) --------------------------------------------------------------------
inline constexpr TNativeMessage kBufferSizeExceeded{20056, "Buffer size exceeded"};
inline constexpr TNativeMessage kValueIsNull{30016, "Value is Null"};
inline constexpr TNativeMessage kValueIsNullAtCast{30140, "Value is Null"};
inline constexpr TNativeMessage kIncompatibleCompare{
    30044, "Cannot compare Incompatible DataTypes: '%s' and '%s'"};
inline constexpr TNativeMessage kUnknownCollationResult{30045, "Unknown return code: %d"};
inline constexpr TNativeMessage kWideCollationMissing{
    30046,
    "Unicode is not supported by your version of  Windows. Please download the Microsoft Layer "
    "for Unicode on Windows 95/98/Me Systems from msdn.microsoft.com and put \"unicows.dll\" file "
    "to the folder with your application"};
inline constexpr TNativeMessage kUnknownCompareDataType{30047, "Unknown DataType: '%s'"};
// A value that cannot become the type asked for (a conversion the engine does not have, or a
// text that is no number or date).
inline constexpr TNativeMessage kCannotConvert{30048, "Cannot convert '%s' to %s"};

// --- Field manager (ZEVFieldManager) --------------------------------------------------------
// A field number outside the field list; with the number and the count. One code per access
// operation: reading field data, writing field data, reading a value, writing a value.
inline constexpr TNativeMessage kInvalidFieldNoAtGetData{
    10000, "Invalid field number - FieldNo = %d, FieldCount = %d"};
inline constexpr TNativeMessage kInvalidFieldNoAtSetData{
    10004, "Invalid field number - FieldNo = %d, FieldCount = %d"};
inline constexpr TNativeMessage kInvalidFieldNoAtGetValue{
    10005, "Invalid field number - FieldNo = %d, FieldCount = %d"};
inline constexpr TNativeMessage kInvalidFieldNoAtSetValue{
    10006, "Invalid field number - FieldNo = %d, FieldCount = %d"};
// A row buffer missing where a field is read or written.
inline constexpr TNativeMessage kRecordBufferIsNil{10001, kNilPointerText};
inline constexpr TNativeMessage kZeroBLOBBlockSize{10421,
                                                   "BLOB block size should be > 0 for field %s"};
inline constexpr TNativeMessage kAutoincMaxValueExceeded{
    20160, "Autoinc max value exceeded for field '%s'"};
inline constexpr TNativeMessage kNoSequenceLastValue{
    30012, "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first"};

}  // namespace zev::errors
