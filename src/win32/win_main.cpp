// The program body on Windows: the locale's formats, the window, the start-up sequence with the
// groups Money passes on the command line, and the message loop.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/locale.h"
#include "platform/win_text.h"
#include "win32/main_window.h"

namespace {

// Money's groups, as UTF-8: read from the wide-character command line, never the ANSI code page.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) args.push_back(vorlend::win::Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vorlend::LocaleFormats formats = vorlend::SystemLocaleFormats();
  vorlend::NormaliseDateSeparator(formats);
  vorlend::SetFormatSettings(formats);

  vorlend::win32::TfrmMain window;
  if (window.RunStartup(Arguments())) return 1;
  window.Show();
  return window.RunMessageLoop();
}
