#pragma once
// vorlend-batch on a small agenda, run as Money's administrators would run it: two years, the
// eight document tables of each with 30 documents, every third one locked.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/modules.h"
#include "platform/text.h"
#include "support/agenda_builder.h"

namespace vorlend::test {

struct BatchFixture : ::testing::Test {
  TempDir dir;
  AgendaBuilder agenda{dir};
  std::vector<std::string> groups;
  std::string out, err;

  void SetUp() override {
    agenda.AddRightsWithoutUsers();
    agenda.AddYear("Rok.001", "2024");
    agenda.AddYear("Rok.002", "2025");
    for (const char* year : {"Rok.001", "Rok.002"}) {
      for (const ModuleInfo& m : kModules) agenda.AddTable(year, m.moneyTable, MakeDocuments(30, 1, 3));
    }
    groups = agenda.Groups("Rok.002");
  }
  // vorlend-batch COMMAND GROUPS... OPTIONS...; whatever it says fits an 80-column console, but
  // for a single word (a path) longer than a line, alone or with a printed command's continuation.
  int Batch(std::vector<std::string> args) {
    std::vector<std::string> argv = {std::string(VORLEND_BIN_DIR) + "/vorlend-batch", args[0]};
    argv.insert(argv.end(), groups.begin(), groups.end());
    argv.insert(argv.end(), args.begin() + 1, args.end());
    const int status = RunProgram(argv, &out, &err);
    for (std::string line : Split(err, '\n')) {
      for (const char* continuation : {" \\", " ^"}) {
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, continuation) == 0) line.resize(line.size() - 2);
      }
      const std::size_t text = line.find_first_not_of(' ');
      EXPECT_TRUE(CharCount(line) <= 80 || line.find(' ', text == std::string::npos ? 0 : text) == std::string::npos)
          << args[0] << ": a line of " << CharCount(line) << " columns:\n"
          << line;
    }
    return status;
  }
  std::string Table(const std::string& year, const std::string& table) {
    return agenda.AgendaDir() + year + "/" + table;
  }
};

// Standard error with the lines a console's width broke rejoined: a summary reads as one line.
inline std::string Unwrapped(const std::string& text) {
  std::string out = text;
  for (std::size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at)) out.replace(at, 3, " ");
  return out;
}

// Every directory and every file's bytes below a directory: equal snapshots mean nothing was
// created, removed or written there. Take it while no table there is open in this process.
inline std::map<std::string, std::string> Snapshot(const std::string& directory) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(directory)) {
    const std::string relative = fs::relative(e.path(), directory).string();
    entries[relative] = e.is_regular_file() ? "file:" + ReadBytes(e.path().string()) : "dir";
  }
  return entries;
}

}  // namespace vorlend::test
