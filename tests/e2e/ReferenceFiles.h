// The files the end-to-end tests hand the real program: a reference database made with the
// database tool's commands from CSV text, and the folder where the tests keep their
// screenshots. Failures are reported through GoogleTest (use ASSERT_NO_FATAL_FAILURE).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/ZevToolCommands.h"

namespace e2e {

// A new reference database at Database, each table filled from its CSV text (first line: the
// column names; identifiers follow the order of the rows, from 1).
inline void MakeReferenceDatabase(const testsupport::TTempDir& Dir, const std::string& Database,
                                  const std::vector<std::pair<const char*, const char*>>& Tables) {
  std::ostringstream log;
  ASSERT_EQ(zevtool::CreateReferenceCommand(Database, log), 0) << log.str();
  zevtool::TToolOptions options;
  options.Password = zevtool::kDataModulePassword;
  for (const auto& [table, csv] : Tables) {
    const std::string file = Dir.File(std::string(table) + ".csv");
    testsupport::WriteFile(file, csv);
    ASSERT_EQ(zevtool::LoadCommand(Database, table, file, options, log), 0) << log.str();
  }
}

// The path of a test artefact (a screenshot), its folder made when needed.
inline std::string Artefact(const std::string& Name) {
  std::filesystem::create_directories(GD_ARTEFACT_DIR);
  return std::string(GD_ARTEFACT_DIR) + "/" + Name;
}

}  // namespace e2e
