// Runs the built database tool as a process, as the tests of its commands do.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tooltest {

struct TRun {
  int ExitCode;
  std::string Output;  // stdout and stderr
};

inline TRun runTool(const std::vector<std::string>& Args) {
  TRun Run;
  Run.ExitCode = testsupport::RunProgram(ZEVTOOL_PATH, Args, {}, &Run.Output);
  return Run;
}

}  // namespace tooltest
