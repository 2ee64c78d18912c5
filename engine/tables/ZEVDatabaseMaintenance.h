// Compaction and repair of a database file: the file is copied table by table into a new
// database file with the same settings, each source table opened in the table layer's repair
// mode when repairing, and the copy then takes the old file's place (TABSDatabase's
// CompactDatabase and RepairDatabase, declared with the component).
//
// The free space of the drive is asked through a replaceable query so that tests can answer
// it; by default it is the operating system's answer for the file system of the new file.
//
// Ownership: the copy owns the temporary database component of the new file for its
// duration. Locking: the source is opened exclusively for the copy; the session lock is taken
// by the components as usual. Errors: EABSException 20303 (not enough free space), 20297,
// 30448 and 30450 from CopyTable, and those of the layers below.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/storage/ZEVCodePage.h"

namespace zev {

// Answers the free bytes of the file system that would hold FileName.
using TABSFreeSpaceQuery = std::function<int64_t(const AnsiString& FileName)>;

// Replaces the query (an empty function restores the operating system's answer).
void SetFreeSpaceQuery(TABSFreeSpaceQuery Query);
int64_t DriveFreeSpace(const AnsiString& FileName);

// 20303 unless the drive of NewFileName has at least RequiredBytes free.
void CheckFreeSpace(const AnsiString& NewFileName, int64_t RequiredBytes);

}  // namespace zev
