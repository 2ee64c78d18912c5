// The native error codes of the BLOB storage (pages, page index, manager, cursor and dataset
// streams) with their message texts in the form EABSException formats them. The BLOB units
// raise through these names.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// --- BLOB manager -----------------------------------------------------------------------------
inline constexpr TNativeMessage kBlobCacheNotReleased{20150, "Blob cache not released"};
inline constexpr TNativeMessage kBlobCacheMissing{20161, "Pointer is nil"};
inline constexpr TNativeMessage kCannotReadBlobForStream{20162, "Cannot read BLOB field value"};
inline constexpr TNativeMessage kCannotReadBlobDirect{20291, "Cannot read BLOB field value"};
inline constexpr TNativeMessage kBlobStreamBlockSizeZero{20149,
                                                         "Stream block size = 0 is not allowed"};
// Also raised for a stored value whose pages do not describe a value (damaged pages).
inline constexpr TNativeMessage kInvalidBlobFieldSize{20248, "Invalid blob field size"};

// --- Small BLOB pages -------------------------------------------------------------------------
inline constexpr TNativeMessage kBlobItemNotFound{20171, "Cannot find blob field"};
inline constexpr TNativeMessage kInvalidBlobItemID{20172, "Invalid blob field ID"};
inline constexpr TNativeMessage kBlobPageFull{
    20290,
    "Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, "
    "SizeInBlobPageIndex=%d"};

// --- BLOB page index --------------------------------------------------------------------------
inline constexpr TNativeMessage kBlobPageIndexPageFull{
    20106, "Cannot add data item to page. Page is full"};
inline constexpr TNativeMessage kDeleteFromDroppedBlobPageIndex{20110, "Invalid page number"};
inline constexpr TNativeMessage kBlobPageNotInIndex{20111, "Invalid page number"};
inline constexpr TNativeMessage kBlobPageIndexPageEmpty{20112, "Index error: page is empty"};
inline constexpr TNativeMessage kAddToDroppedBlobPageIndex{20118,
                                                           "Index error: invalid page number"};

// --- Cursor and dataset streams ---------------------------------------------------------------
inline constexpr TNativeMessage kBlobStreamOnReadOnlyDataSet{10106, "Dataset is in read only mode"};
inline constexpr TNativeMessage kCreateBlobStreamOnReadOnlyDataSet{10107,
                                                                   "Dataset is in read only mode"};
inline constexpr TNativeMessage kBlobStreamWithoutCursor{10108, "Nil pointer occured"};
inline constexpr TNativeMessage kInvalidBlobFieldNo{
    10110, "Invalid field number - FieldNo = %d, FieldCount = %d"};
inline constexpr TNativeMessage kBlobStreamNotEditing{10111, "Dataset not in edit or insert mode"};
inline constexpr TNativeMessage kBlobStreamListMissing{10113, "Nil pointer occured"};
inline constexpr TNativeMessage kBlobStreamEntryMissing{10114, "Nil pointer occured"};
inline constexpr TNativeMessage kBlobFieldAlreadyOpened{
    10115, "BLOB field already opened. FieldNo = %d, FieldName = %s"};
inline constexpr TNativeMessage kWriteToReadOnlyBlobStream{10115,
                                                           "Cannot write to read only stream"};
inline constexpr TNativeMessage kSetSizeOfReadOnlyBlobStream{10116,
                                                             "Cannot write to read only stream"};
inline constexpr TNativeMessage kInvalidBlobFieldNoAtClose{
    10118, "Invalid field number - FieldNo = %d, FieldCount = %d"};
inline constexpr TNativeMessage kBlobStreamListMissingAtClose{10119, "Nil pointer occured"};
inline constexpr TNativeMessage kBlobStreamEntryMissingAtClose{10120, "Nil pointer occured"};
inline constexpr TNativeMessage kBlobStreamEntryMissingAtClear{10121, "Nil pointer occured"};

}  // namespace zev::errors
