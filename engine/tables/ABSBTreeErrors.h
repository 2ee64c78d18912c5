// The native error codes of the B-tree indexes and their message texts, in the form
// EABSException formats them. The tree units raise through these names.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

inline constexpr TNativeMessage kCannotFindIndexField{20043, "Cannot find index field '%s'"};
inline constexpr TNativeMessage kCannotIndexBlobField{
    20295,
    "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please "
    "use CAST(blob_field, string) function to convert BLOB field to a string expression before "
    "indexing."};
inline constexpr TNativeMessage kKeyRefWithoutFields{20044, "Pointer is nil"};
inline constexpr TNativeMessage kIndexNotFound{20018, "Index not found"};
inline constexpr TNativeMessage kNodeOperationOnLeaf{20020, "Internal index error"};
inline constexpr TNativeMessage kIndexPageIsEmpty{20025, "Index error: page is empty"};
inline constexpr TNativeMessage kCannotDeleteIndexEntry{
    20027, "Index error: cannot delete entry. Entry not found"};
inline constexpr TNativeMessage kCannotDeleteOldIndexEntry{
    20250, "Index error: cannot delete entry. Entry not found"};
inline constexpr TNativeMessage kIndexIntegrityError{
    20028, "Index integrity error. PageNo=%d EntryNo=%d"};
inline constexpr TNativeMessage kKeyPathsOfDifferentDepth{20051, "Invalid index key path"};
inline constexpr TNativeMessage kKeyPathsOverDifferentPages{20052, "Invalid index key path"};
inline constexpr TNativeMessage kGetRecordModeCurrent{
    20053, "Invalid 'get record' mode for index: grmCurrent"};
inline constexpr TNativeMessage kNextOnEmptyPath{20068, "Index error: invalid position"};
inline constexpr TNativeMessage kPriorOnEmptyPath{20069, "Index error: invalid position"};
inline constexpr TNativeMessage kEmptyKeyPath{20099, "Index error: invalid position"};
inline constexpr TNativeMessage kNoRightNeighbour{20070, "Index error: invalid page number"};
inline constexpr TNativeMessage kNoLeftNeighbour{20071, "Index error: invalid page number"};
inline constexpr TNativeMessage kIndexWithoutRoot{20115, "Index error: invalid page number"};
inline constexpr TNativeMessage kRecNoOnEmptyIndex{
    20074, "Cannot retrieve record from empty index"};
inline constexpr TNativeMessage kRecNoBeyondEnd{20075, "Cannot set RecNo greater than RecordCount"};
inline constexpr TNativeMessage kSearchInfoIsNil{20077, "Pointer is nil"};
inline constexpr TNativeMessage kRestartingStartedScan{20078, "Index error: invalid params"};
inline constexpr TNativeMessage kRecordIndexWithoutRoot{20119, "Invalid page number"};
inline constexpr TNativeMessage kCannotRetrieveRecordForIndex{
    20170, "Cannot retrieve record for index"};
inline constexpr TNativeMessage kPositionIsNil{10384, "Nil pointer occured"};

}  // namespace zev::errors
