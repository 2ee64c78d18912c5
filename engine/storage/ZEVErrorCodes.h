// The native error codes of the storage layer and their message texts, one entry per message,
// in the form EABSException formats them ("%d", "%s" placeholders in the order of the
// arguments). Units raise through these names and never spell a message themselves.
#pragma once

namespace zev::errors {

struct TNativeMessage {
  int Code;
  const char* Text;
};

// --- Streams (ZEVStream) ----------------------------------------------------------------------
// ReadBuffer, WriteBuffer and SetPosition raise these with the code a caller passes; the codes
// here are the defaults for callers that pass none.
inline constexpr TNativeMessage kStreamReadError{
    10090,
    "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d"};
inline constexpr TNativeMessage kStreamWriteError{
    10091,
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d"};
inline constexpr TNativeMessage kStreamSeekError{
    10092, "Cannot set stream position to %d. Position = %d, Size = %d"};
// A stream that cannot take the size asked for (a negative one, or a file that refuses it):
// the write text, with the size asked for as block size and 0 bytes written.
inline constexpr TNativeMessage kStreamSetSizeError{
    10093,
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d"};
inline constexpr TNativeMessage kCannotCreateFile{10104, "Cannot create file. FileName = %s"};
inline constexpr TNativeMessage kCannotOpenFile{10105,
                                                "Cannot open file. FileName = %s, Mode = %d"};

// --- Compressed BLOB stream (ZEVCompressedBLOBStream) -----------------------------------------
// A plain BLOB longer than what its stream holds.
inline constexpr TNativeMessage kBLOBStreamTooSmall{
    10081, "Stream size = %d too small. Should be at least = %d"};
// The chain of block headers runs past the end of the stream.
inline constexpr TNativeMessage kBLOBHeadersStreamTooSmall{
    10082, "Stream size = %d too small. Should be at least = %d"};
inline constexpr TNativeMessage kBLOBDecompressFailed{
    10083, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d"};
inline constexpr TNativeMessage kBLOBDecompressSizeMismatch{
    10084, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d"};
inline constexpr TNativeMessage kBLOBCompressFailed{
    10085, "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d"};
inline constexpr TNativeMessage kBLOBChecksumMismatch{
    10086, "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d"};
// A block header whose sizes cannot be right (negative, larger than a block, a partial block
// in the middle, a next-header offset that does not follow the data).
inline constexpr TNativeMessage kBLOBInvalidBlockHeader{
    10087, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d"};
// The blocks of an opened BLOB add up to another length than its descriptor says.
inline constexpr TNativeMessage kBLOBSizeMismatch{
    10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d"};

// --- Detail texts of compression failures (ZEVCompression), without a code of their own -----
// They become part of the message the caller raises.
inline constexpr const char* kInflateInitErrorDetail = "InflateInit_ error: ";  // + zlib's code
inline constexpr const char* kPPMCompressionErrorDetail = "PPM Compression error";
inline constexpr const char* kPPMDecompressionErrorDetail = "PPM Decompression error";
inline constexpr const char* kPPMOutSizeNotSetDetail = "PPM DecpmpressBuf: OutSize must be set";

// --- Database file (ZEVDatabaseFile) ---------------------------------------------------------
inline constexpr TNativeMessage kCannotCreateDatabaseFile{
    30361, "Cannot create file: '%s' Error code: %d. ErrorMessage: %s"};
inline constexpr TNativeMessage kCannotOpenDatabaseFile{
    30364, "Cannot open file:'%s' Error code: %d. ErrorMessage: %s"};
inline constexpr TNativeMessage kCannotCloseDatabaseFile{
    30365, "Cannot close file:'%s' Error code: %d. ErrorMessage: %s"};
inline constexpr TNativeMessage kUnknownAccessMode{30366, "Unknown Access mode: '%d'"};
inline constexpr TNativeMessage kUnknownShareMode{30367, "Unknown Share mode: '%d'"};
inline constexpr TNativeMessage kCannotTruncateDatabaseFile{
    30370, "Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s"};
inline constexpr TNativeMessage kCannotGetDatabaseFileSize{
    30371, "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s"};
// WriteBuffer raises this text with the caller's code when it cannot position.
inline constexpr TNativeMessage kCannotSetDatabaseFilePosition{
    30372, "Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d"};
inline constexpr TNativeMessage kCannotGetDatabaseFilePosition{
    30373, "Cannot Get File Position. FileName='%s' ErrorCode:%d. ErrorMessage: %s"};
inline constexpr TNativeMessage kBlankDatabaseFileName{30374,
                                                       "Cannot create file with blank FileName"};
// With the name of the operation.
inline constexpr TNativeMessage kOperationOnClosedFile{
    30376, "Cannot perform this operation (%s) on a closed file"};
inline constexpr TNativeMessage kOperationOnOpenedFile{
    30377, "Cannot perform this operation (%s) on a opened file"};
inline constexpr TNativeMessage kCannotFlushDatabaseFile{
    30379, "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s"};
// ReadBuffer and WriteBuffer raise these with the native code their caller passes.
inline constexpr const char* kDatabaseFileReadErrorText =
    "Cannot Read from file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";
inline constexpr const char* kDatabaseFileWriteErrorText =
    "Cannot Write to file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";

// --- Pages and the page cache (ZEVPage) -------------------------------------------------------
inline constexpr TNativeMessage kUnknownPageType{30382, "Unknown Page Type: (%d)"};
// A type check between a found and an expected page type, raised with the caller's code and
// the two type names.
inline constexpr const char* kWrongPageTypeText =
    "Wrong page type. Found '%s', but expecting: '%s'";
inline constexpr TNativeMessage kPageBufferIsNil{20038, "Invalid page buffer. Buffer is Nil"};
inline constexpr TNativeMessage kInvalidPageModification{20039, "Invalid page modification"};
inline constexpr TNativeMessage kSortedListDeleteEmpty{
    20165, "TSortedPageList.Delete - no elements in array!"};
inline constexpr TNativeMessage kSortedListDeleteNotFound{
    20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d"};
inline constexpr TNativeMessage kSortedListPageNotFound{20167, "Page not found"};
inline constexpr TNativeMessage kPageManagerInvalidSessionID{20186, "Invalid Session ID"};
inline constexpr TNativeMessage kPageReadError{
    20299, "Error reading database file page. Page No: %d, type %d"};
inline constexpr TNativeMessage kStoredPageTypeMismatch{
    20153, "Invalid page type. Possible data corruption. Expecting type %d, but found %d"};
inline constexpr TNativeMessage kPageUsedByOtherSession{20090, "Page is used by other session"};
inline constexpr TNativeMessage kInvalidNewPageNumber{20064, "Invalid page number"};
inline constexpr TNativeMessage kSessionPagesNotReleased{20152, "Some session pages not released"};
inline constexpr TNativeMessage kApplyInvalidPage{20085, "Invalid page"};  // not dirty at apply
inline constexpr TNativeMessage kCannotWriteUsedPage{20086, "Cannot write used page"};
inline constexpr TNativeMessage kCancelInvalidIndexPage{20087, "Invalid index page"};  // at cancel
inline constexpr TNativeMessage kCannotRemoveUsedPage{20088, "Cannot remove used page"};
inline constexpr TNativeMessage kCannotFreeNonCommittedPages{20097,
                                                             "Cannot free non-commited pages"};

// --- Disk page manager (ZEVDiskPageManager) ---------------------------------------------------
// One text for every header record read or written while the file is closed.
inline constexpr const char* kDatabaseFileNotOpenedText = "Error - database file is not opened.";
inline constexpr TNativeMessage kReadDBHeaderNotOpened{10459, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kWriteDBHeaderNotOpened{10460, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kReadCryptoHeaderNotOpened{30436, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kWriteCryptoHeaderNotOpened{30437, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kReadLockedBytesNotOpened{30441, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kWriteLockedBytesNotOpened{30443, kDatabaseFileNotOpenedText};
inline constexpr TNativeMessage kNextObjectIDNotOpened{30399, kDatabaseFileNotOpenedText};
// With the name of the file already open.
inline constexpr TNativeMessage kCreateDatabaseFileInUse{10461,
                                                         "Error - database file %s is in use."};
inline constexpr TNativeMessage kOpenDatabaseFileInUse{10462,
                                                       "Error - database file %s is in use."};
inline constexpr TNativeMessage kDatabaseLockedAtOpen{20230, "Database is locked"};
inline constexpr TNativeMessage kDatabaseLockedAtPageCount{20236, "Database is locked"};
inline constexpr TNativeMessage kDatabaseLockedAtCommit{20213, "Database is locked"};
// With the 16 bytes found and the expected signature.
inline constexpr TNativeMessage kInvalidFileFormat{
    10470, "Invalid file format. Found signature: '%s', expected: '%s'"};
inline constexpr TNativeMessage kIncorrectPassword{30445,
                                                   "Cannot open database - incorrect password"};
inline constexpr TNativeMessage kInvalidDatabaseFormat{20237, "Invalid database format"};
inline constexpr TNativeMessage kObjectIDAreaLocked{
    30401, "Cannot get NextObjectID. File area is Locked."};
inline constexpr TNativeMessage kInvalidPageNo{10471, "Invalid PageNo = %d"};
// With offset + count and the page size.
inline constexpr TNativeMessage kInvalidReadPageOffset{
    10476, "Error - invalid page offset = %d, page size = %d"};
inline constexpr TNativeMessage kInvalidWritePageOffset{
    10477, "Error - invalid page offset = %d, page size = %d"};
inline constexpr TNativeMessage kPageCRCCheckFailed{
    30446, "Decrypt page error. Check CRC failed. PageNo: %d"};
// A map page asked for through the cache.
inline constexpr TNativeMessage kCannotUseMapPage{30434,
                                                  "Cannot delete PFS or EAM page. PageNo=%d"};
// Native codes the disk page manager passes to the database file's reads and writes.
inline constexpr int kReadDBHeaderIOCode = 10464;
inline constexpr int kWriteDBHeaderIOCode = 10462;
inline constexpr int kReadCryptoHeaderIOCode = 30439;
inline constexpr int kWriteCryptoHeaderIOCode = 30438;
inline constexpr int kReadLockedBytesIOCode = 30442;
inline constexpr int kWriteLockedBytesIOCode = 30444;
inline constexpr int kReadObjectIDIOCode = 30400;
inline constexpr int kWriteObjectIDIOCode = 30404;
inline constexpr int kInitObjectIDIOCode = 30406;
inline constexpr int kWritePageIOCode = 10469;
inline constexpr int kReadPageRegionIOCode = 10474;
inline constexpr int kWritePageRegionIOCode = 10475;
inline constexpr int kReadPageStateIOCode = 20197;
inline constexpr int kWritePageStateIOCode = 20198;

// --- Free-space manager (ZEVFreeSpaceManager) ------------------------------------------------
inline constexpr TNativeMessage kDatabaseLockedAtAllocate{20231, "Database is locked"};
inline constexpr TNativeMessage kDatabaseLockedAtFree{20232, "Database is locked"};
// With the page number and the file's TotalPageCount: marking a PFS bit, an EAM entry.
inline constexpr TNativeMessage kPFSPageCannotBeAddressed{
    30430, "Page: %d cannot be addressed. TotalPageCount=%d"};
inline constexpr TNativeMessage kEAMPageCannotBeAddressed{
    30431, "Page: %d cannot be addressed. TotalPageCount=%d"};
inline constexpr TNativeMessage kPageAlreadyUsed{30425, "Page: %d already used"};
inline constexpr TNativeMessage kPageAlreadyFree{30427, "Page: %d already free"};
// Native codes of kWrongPageTypeText for a map page of the wrong type, by operation.
inline constexpr int kWrongMapPageTypeAtSearch = 30423;
inline constexpr int kWrongMapPageTypeAtPFSBit = 30424;
inline constexpr int kWrongMapPageTypeAtEAMEntry = 30428;
inline constexpr int kWrongMapPageTypeAtPFSQuery = 30430;
inline constexpr int kWrongMapPageTypeAtLastUsedScan = 30432;

// --- Database object (ZEVDatabaseData) ------------------------------------------------------
inline constexpr TNativeMessage kNoTableListAtRegister{20128, "Pointer is nil"};
inline constexpr TNativeMessage kNoTableListAtFind{20129, "Pointer is nil"};
inline constexpr TNativeMessage kNoTableListAtDrop{20130, "Pointer is nil"};
inline constexpr TNativeMessage kNoTableListAtRename{20131, "Pointer is nil"};
inline constexpr TNativeMessage kDatabaseTablesLocked{20210, "Database tables are locked"};
inline constexpr TNativeMessage kCannotUnlockDatabaseTables{20211, "Cannot unlock database tables"};
inline constexpr TNativeMessage kCommitLocksFailed{
    20233, "Cannot commit changes. Locks of modified tables failed"};
inline constexpr TNativeMessage kMixedUserModes{
    20235, "Cannot open database in multi-user and signle-user mode at the same time"};

// --- Internal files (ZEVInternalFile) -------------------------------------------------------
inline constexpr TNativeMessage kTransactedFileExists{
    30383, "Cannot create Internal file. File already exists. StartPageNo=%d"};
inline constexpr TNativeMessage kTransactedFileClosed{
    30389, "Cannot perform this operation (%s) on closed internal file"};
inline constexpr TNativeMessage kTransactedReadPastSize{
    30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d"};
// The text has a stray "%" where a number was meant; it is the engine's text as it stands.
inline constexpr TNativeMessage kTransactedChainTooShort{
    30388, "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d"};
inline constexpr TNativeMessage kTableFileCompressionError{20187, "Table file compression error"};
inline constexpr TNativeMessage kTableFileDecompressionError{
    20189, "Table file decompression error. Possible table corruption (%s)"};
// A chain that ends or loops before the page it must reach (with the step number).
inline constexpr TNativeMessage kInternalFileChainBroken{
    20300, "Error getting %d-th table file page. Probably database is corrupted and needs repair."};
inline constexpr TNativeMessage kInternalFileInvalidPageNo{20301, "Invalid page number"};
inline constexpr TNativeMessage kDirectFileWrongPageType{
    20155, "Invalid PageType found: %d but expecting: %d"};
inline constexpr TNativeMessage kDirectFileClosed{
    20156, "Cannot perform this operation (%s) on closed internal file"};
inline constexpr TNativeMessage kDirectFileExists{
    20157, "Cannot create Internal file. File already exists. StartPageNo=%d"};
inline constexpr TNativeMessage kDirectWritePastEnd{
    20158, "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d"};
inline constexpr TNativeMessage kDirectSeekPastSize{
    20159, "Seek position bigger then file size. FileSize=%d. Position=%d"};

// --- System directory and table list (ZEVSystemDirectory, ZEVTableListFile) -----------------
inline constexpr TNativeMessage kSystemDirectoryNotOnPage2{
    30392, "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d."};
inline constexpr TNativeMessage kTableListAlreadyOpened{30393, "Table list file already opened."};
inline constexpr TNativeMessage kTableAlreadyExists{
    30395, "Cannot create table. Table '%s' already exists"};
inline constexpr TNativeMessage kTableNotExistsAtOpen{30396, "Table '%s' not exists."};
inline constexpr TNativeMessage kTableNotExistsAtRename{30397, "Table '%s' not exists."};
inline constexpr TNativeMessage kTableNotExistsAtRemove{30405, "Table '%s' not exists."};

// --- Session slots (ZEVActiveSessionsFile) --------------------------------------------------
inline constexpr TNativeMessage kMaximumConnectionsExceeded{
    20094,
    "Cannot connect session. Maximum connections quantity exceeded or database is open in "
    "single-user mode"};
inline constexpr TNativeMessage kCannotUnlockSessionsFileAtConnect{20093,
                                                                   "Cannot unlock sessions file"};
inline constexpr TNativeMessage kCannotDisconnectSession{20095, "Cannot disconnect session"};
inline constexpr TNativeMessage kCannotUnlockSessionsFileAtDisconnect{
    20096, "Cannot unlock sessions file"};
inline constexpr TNativeMessage kCannotUnlockSessionsFileAtSingleUserConnect{
    20240, "Cannot unlock sessions file"};
inline constexpr TNativeMessage kCannotUnlockSessionsFileAtSingleUserDisconnect{
    20241, "Cannot unlock sessions file"};
inline constexpr TNativeMessage kCannotUnlockSessionsFileAtCount{30484,
                                                                 "Cannot unlock sessions file"};

// --- Table and record locks (ZEVTableLocksFile, ZEVTableLockManager) ------------------------
inline constexpr const char* kNilPointerText = "Nil pointer occured";
inline constexpr TNativeMessage kLocksFileNilAtFirstPage{10483, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtLockTable{10489, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtUnlockTable{10494, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtOtherSessionTest{10490, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtLockRecord{10491, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtUnlockRecord{10492, kNilPointerText};
inline constexpr TNativeMessage kLocksFileNilAtRecordTest{10493, kNilPointerText};
inline constexpr TNativeMessage kSessionBeyondLocksFile{
    20200,
    "Cannot set table lock. Try to repair database or to increase number of allowed "
    "connections"};
inline constexpr TNativeMessage kTableLocksStillExist{20201, "Some table locks still exist"};
inline constexpr TNativeMessage kTableLockNotFound{20202,
                                                   "Cannot remove table lock. Lock not found"};
inline constexpr TNativeMessage kCannotSetTableLock{20203, "Cannot set table lock"};
inline constexpr TNativeMessage kCannotUnlockTable{20204, "Cannot unlock table"};
inline constexpr TNativeMessage kCannotLockRecord{20205, "Cannot lock record"};
inline constexpr TNativeMessage kCannotUnlockRecord{20206, "Cannot unlock record"};
inline constexpr TNativeMessage kRWLocksStillExist{20234, "Some table locks still exist"};

}  // namespace zev::errors
