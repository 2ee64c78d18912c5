// The window manager of the whole e2e binary: openbox, started on the test's display before the
// first test and stopped after the last, so that every test sees the windows as on a desktop.
#include <gtest/gtest.h>

#include <memory>

#include "tests/e2e/X11Session.h"

namespace {

class TWindowManagerEnvironment : public testing::Environment {
 public:
  void SetUp() override { FManager = std::make_unique<e2e::TWindowManager>(); }
  void TearDown() override { FManager.reset(); }

 private:
  std::unique_ptr<e2e::TWindowManager> FManager;
};

[[maybe_unused]] testing::Environment* const kWindowManager =
    testing::AddGlobalTestEnvironment(new TWindowManagerEnvironment);

}  // namespace
