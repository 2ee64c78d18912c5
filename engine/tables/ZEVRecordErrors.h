// The native error codes of the record pages, the record page index and the disk record
// manager, with their message texts in the form EABSException formats them. The record units
// raise through these names.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// --- Record pages ---------------------------------------------------------------------------
inline constexpr TNativeMessage kRecordTooLargeForPage{
    20174,
    "Cannot create table. Record is too large to fit in current database page. Please increase "
    "page size of database file or decrease record size"};
inline constexpr TNativeMessage kInvalidRecordsOnPage{20140, "Invalid number of records on page"};
inline constexpr TNativeMessage kRecordPageIsFull{20141, "Cannot add record to page. Page is full"};
inline constexpr TNativeMessage kNoFirstRecordOnPage{
    20143, "Record not found. PageNo=%d, PageRecordCount=%d"};
inline constexpr TNativeMessage kNoLastRecordOnPage{20144, "Record not found"};
// A page the page index lists as holding rows, found without one where navigation looked.
inline constexpr TNativeMessage kNoFirstRecordOnNextPage{20145, "Record not found"};
inline constexpr TNativeMessage kNoRecordWithRank{20146, "Record not found"};
inline constexpr TNativeMessage kNoLastRecordOnPriorPage{20147, "Record not found"};
inline constexpr TNativeMessage kRecordSlotUnreadable{20148, "Record not found"};

// --- Record page index ----------------------------------------------------------------------
inline constexpr TNativeMessage kRecordPageIndexPageFull{
    20106, "Cannot add data item to page. Page is full"};
inline constexpr TNativeMessage kAddToRecordPageIndexWithoutRoot{20104, "Invalid page number"};
inline constexpr TNativeMessage kRecordPageIndexWithoutRoot{20105, "Invalid page number"};
inline constexpr TNativeMessage kDeleteFromRecordPageIndexWithoutRoot{20110, "Invalid page number"};
inline constexpr TNativeMessage kRecordPageNotInIndex{20111, "Invalid page number"};
inline constexpr TNativeMessage kRecNoPageNotInIndex{20114, "Invalid page number"};
inline constexpr TNativeMessage kRecordPageIndexPageEmpty{20112, "Index error: page is empty"};
inline constexpr TNativeMessage kRecNoBeyondRecordCount{
    20113, "Cannot set RecNo greater than RecordCount"};
inline constexpr TNativeMessage kInvalidRecordPageIndexOrMostUpdated{
    20292,
    "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=%d, "
    "MostUpdated.RecordCount=%d"};

}  // namespace zev::errors
