// The native error codes of sessions, table objects and cursors, and their message texts, in
// the form EABSException formats them.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// --- Sessions -----------------------------------------------------------------------------------
inline constexpr TNativeMessage kDatabaseAlreadyOpen{
    20092, "Cannot create database. Database is already open"};
inline constexpr TNativeMessage kNotInTransaction{
    20229, "Database is not within a transaction. Cannot perform operation"};
inline constexpr TNativeMessage kInvalidDatabasePassword{20298, "Database password is invalid."};

// --- Table objects -----------------------------------------------------------------------------
inline constexpr TNativeMessage kNoFieldsSpecified{
    20128, "Error creating table - no fields were specified"};
inline constexpr TNativeMessage kConstraintNotImplemented{30040, "Not implemented yet"};
inline constexpr TNativeMessage kTableOpenByOtherCursors{
    20242, "Cannot access table '%s' in exclusive mode. Table is open by another cursors"};
inline constexpr TNativeMessage kTableOpenByOtherUser{
    20208, "Cannot access table '%s' in exclusive mode. Table is open by another user"};
inline constexpr TNativeMessage kTableIsLockedAtOpen{20209, "Cannot open table '%s'. Table is locked"};
inline constexpr TNativeMessage kCannotDeleteOpenTable{
    20017, "Cannot delete table '%s'. Table is open by another dataset"};
inline constexpr TNativeMessage kCannotRenameOpenTable{
    10150, "Cannot rename table '%s'. Table is open by another dataset"};
inline constexpr TNativeMessage kNoRecordManagerAtInsert{20135, "Nil pointer occured"};
inline constexpr TNativeMessage kNoRecordBufferAtInsert{20136, "Nil pointer occured"};
inline constexpr TNativeMessage kNoRecordManagerAtDelete{20137, "Nil pointer occured"};
inline constexpr TNativeMessage kNoRecordManagerAtUpdate{20138, "Nil pointer occured"};
inline constexpr TNativeMessage kInvalidTableHeaderData{20164, "Invalid table header data"};
inline constexpr TNativeMessage kMostUpdatedFileMissing{20176, "Pointer is nil"};
inline constexpr TNativeMessage kCannotRepairLargeTable{
    10512, "Cannot repair page index for large table. Table name: \"%s\""};

// --- Cursors ------------------------------------------------------------------------------------
inline constexpr TNativeMessage kTableLockedAtCount{20218, "Table is locked"};
inline constexpr TNativeMessage kTableLockedAtRecNo{20219, "Table is locked"};
inline constexpr TNativeMessage kLockTableWithoutTable{20221, "Pointer is nil"};
// Asked of a cursor for what this engine does not offer (text filters, Locate, distinct views,
// projections, in-memory tables).
inline constexpr TNativeMessage kNotSupported{30058, "Not implemented yet"};

// --- Dataset components -------------------------------------------------------------------------
inline constexpr TNativeMessage kErrorCreatingTableHandle{20001, "Error creating table handle"};
inline constexpr TNativeMessage kDataSetNotEditing{10007, "Dataset not in edit or insert mode"};
inline constexpr TNativeMessage kCannotRetrieveRecord{10026, "Cannot retrieve record"};
inline constexpr TNativeMessage kFieldNotInIndex{20019, "Field %s is not in the current index"};
inline constexpr TNativeMessage kCannotFindIndex{10325, "Cannot find index %s"};
inline constexpr TNativeMessage kCreateTableInTransaction{
    20182, "Cannot perform '%s' operation on a database in transaction"};
inline constexpr TNativeMessage kMissingFieldName{30499,
                                                  "Missing field name. FieldNo=%d, table '%s'"};
inline constexpr TNativeMessage kInvalidFieldSize{30453,
                                                  "Cannot create table '%s' with field: %s %s(%d)"};
inline constexpr TNativeMessage kInvalidBlobCompressionMode{
    20257,
    "Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create "
    "table '%s'"};
inline constexpr TNativeMessage kInvalidIndexName{20048, "Invalid index name '%s'"};
inline constexpr TNativeMessage kIndexWithoutFields{20049, "Cannot find index field '%s'"};
inline constexpr TNativeMessage kIndexFieldUnknown{20050, "Cannot find index field '%s'"};

// --- Compaction and repair ------------------------------------------------------------------------
inline constexpr TNativeMessage kNotEnoughFreeSpace{
    20303,
    "There is not enough free space on drive to perform required operation with the database "
    "file."};
inline constexpr TNativeMessage kFieldObjectNotCreated{
    20297, "Cannot copy table \"%s\". Field object for field \"%s\" is not created."};
inline constexpr TNativeMessage kCopyTableAlreadyExists{30448, "Table '%s.%s' already exists"};
inline constexpr TNativeMessage kCopyTableCreateError{30450, "Create table '%s.%s' error: '%s'"};
inline constexpr TNativeMessage kOperationFailed{30456, "Operation %s failed: %s"};
inline constexpr TNativeMessage kCannotConvertDatabase{
    20238,
    "Cannot convert database to the new format. Please contact technical support."};

}  // namespace zev::errors
