// vorlend-batch: the add-on's save, catalogue, restore and deletion of lock archives without a
// window, for administrators' scripts.
#include <csignal>
#include <iostream>

#include "app/batch.h"
#include "app/console_ports.h"
#include "platform/locale.h"

namespace {
void OnStopSignal(int) { vorlend::g_batchStopSignal = 1; }
}  // namespace

int main(int argc, char** argv) {
  // The first signal stops the operation at the next document; a second one ends the tool at once.
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // A closed terminal or a closed standard error (a pipe whose reader went away) is nobody's wish
  // to stop: the job goes on to its end rather than die half-way with documents changed and no
  // complete archive.
  std::signal(SIGHUP, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);

  vorlend::LocaleFormats formats = vorlend::SystemLocaleFormats();
  vorlend::NormaliseDateSeparator(formats);
  vorlend::SetFormatSettings(formats);

  std::vector<std::string> args(argv + 1, argv + argc);
  return vorlend::RunBatch(args, std::cout, std::cerr);
}
