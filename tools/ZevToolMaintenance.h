// Compaction and repair commands of the database tool. Each opens its own database component on
// FILE (with the tool's password rule), runs the in-place operation of the component, writes the
// progress percentages and the log on Out and answers the exit code: 0 done, 1 failed (an engine
// error is reported on Out, not raised).
#pragma once

#include <ostream>
#include <string>

#include "tools/ZevToolCommands.h"

namespace zevtool {

// compact FILE [--password P]
int CompactCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);
// repair FILE [--password P]
int RepairCommand(const std::string& FileName, const TToolOptions& Options, std::ostream& Out);

}  // namespace zevtool
