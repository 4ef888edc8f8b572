// vorlend-batch: the add-on's save, catalogue, restore and deletion of lock archives without a
// window, for administrators' scripts.
#include <iostream>

#include "app/batch.h"
#include "app/console_ports.h"
#include "platform/console.h"
#include "platform/locale.h"

namespace {
void OnStop() {
  vorlend::g_batchStopSignal = 1;
}
}  // namespace

int main(int argc, char** argv) {
  vorlend::ConsoleArguments arguments(argc, argv);
  // The first stop request stops the operation at the next document; a second one ends the tool
  // at once. A closed terminal or a closed standard error (a pipe whose reader went away) is
  // nobody's wish to stop: the job goes on to its end rather than die half-way with documents
  // changed and no complete archive.
  vorlend::InstallStopHandler(&OnStop);

  vorlend::LocaleFormats formats = vorlend::SystemLocaleFormats();
  vorlend::NormaliseDateSeparator(formats);
  vorlend::SetFormatSettings(formats);

  std::vector<std::string> args(arguments.Argv() + 1, arguments.Argv() + arguments.Count());
  const int status = vorlend::RunBatch(args, std::cout, std::cerr);
  if (status == vorlend::BatchReaderGone) vorlend::EndForBrokenPipe();
  return status;
}
