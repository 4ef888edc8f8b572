#pragma once
// The batch tool: the save, the catalogue, the restore and the deletion of archives without a
// window, on the same core and with the same start-up checks.
#include <ostream>
#include <string>
#include <vector>

namespace vorlend {

enum BatchExit {
  BatchSuccess = 0,
  BatchFailed = 1,        // a failure the add-on reported
  BatchUsage = 2,         // a malformed command line
  BatchRefused = 3,       // the start-up refused
  BatchStopped = 4,       // stopped by the user: abort, or a lock conflict not retried
  BatchOutput = 5,        // standard output or standard error could not be written
  BatchReaderGone = 141,  // standard output's reader went away (the program ends as by SIGPIPE)
};

// `args` without the program name: COMMAND GROUPS... [OPTIONS].
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorlend
