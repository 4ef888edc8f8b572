#pragma once
// The batch tool's command line: COMMAND, Money's ?NAME=value?NAME groups and the documented
// options of that command, nothing else. A word that is neither is refused before anything starts,
// so a mistyped option can never run a job nobody asked for.
#include <map>
#include <string>
#include <vector>

namespace vorlend {

// The help text, printed by -h and --help.
extern const char* const kBatchHelpText;
// The help of one command, printed by `vorlend-batch COMMAND --help`.
std::string BatchCommandHelp(const std::string& command);

struct BatchOptions {
  bool help = false;
  bool version = false;
  std::string command;
  std::vector<std::string> groups;            // the arguments that hold Money's groups, in order
  std::map<std::string, std::string> values;  // option -> value ("" for flags)
  std::vector<std::string> options;           // the options as given, "--name" and its value apart

  bool Has(const std::string& option) const { return values.count(option) != 0; }
};

// What a command works with, once the add-on has started (defined by the batch tool).
struct BatchJob;

// A command of the batch tool: its name, the options it takes besides --password-file and
// --verbose (true: the option takes a value), and what runs it. Its help is its lines of
// kBatchHelpText.
struct BatchCommand {
  const char* name;
  std::map<std::string, bool> options;
  int (*run)(const BatchOptions& o, BatchJob& job);
};
// Every command of the batch tool, defined beside the jobs they run.
const std::vector<BatchCommand>& BatchCommands();
// The command of that name; throws BatchUsageError for an unknown one.
const BatchCommand& FindBatchCommand(const std::string& name);

// A malformed command line: one line that names what is wrong.
struct BatchUsageError {
  std::string text;
};

// `args` without the program name. Throws BatchUsageError.
BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// The groups the add-on needs that the command line lacks, each as "?NAME=…?NAME".
std::vector<std::string> MissingGroups(const std::vector<std::string>& groups);

}  // namespace vorlend
