// main() of every test binary: GoogleTest, or a registered helper when started with --helper.
#include <gtest/gtest.h>

#include <cstring>
#include <cstdio>

#include "tests/support/TestSupport.h"

namespace testsupport {
int RunHelper(int argc, char** argv);
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--helper") == 0)
    return testsupport::RunHelper(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
