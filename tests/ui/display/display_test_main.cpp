// The window's checks that need a real X display with a window manager: the stacking order after
// the foreground timer, message box titles as the manager shows them, a real double click. They
// run when $DISPLAY names a reachable X server; a window manager is started (openbox) when none
// runs. Otherwise every test reports itself skipped and says why.
//
//   test_ui_display [GTEST OPTIONS]
//   test_ui_display --cover X Y WIDTH HEIGHT   (a plain window of another program, for the tests)
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "display_environment.h"
#include "platform/locale.h"
#include "ui/application.h"
#include "x11_probe.h"

namespace {

// Another program's window: shown at the given place, it prints its window id and stays until
// it is killed.
int RunCover(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget cover;
  cover.setWindowTitle(QStringLiteral("Jiný program"));
  cover.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  cover.show();
  cover.activateWindow();
  std::printf("%llu\n", static_cast<unsigned long long>(cover.winId()));
  std::fflush(stdout);
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // Held open until Qt has its own connection: Xvfb resets itself when its last client leaves,
  // and a connection made during the reset fails.
  const vorlend::test::X11Probe probe;
  const bool display = probe.Connected();
  setenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen", 1);
  if (argc == 6 && std::string(argv[1]) == "--cover") return RunCover(argc, argv);

  // No test may reach the vendor's server; the work directory lands in a folder of this run.
  setenv("VORLEND_VENDOR_URL", "http://127.0.0.1:9", 1);
  QTemporaryDir tempRoot;
  if (tempRoot.isValid()) setenv("TMPDIR", tempRoot.path().toLocal8Bit().constData(), 1);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  // What the program body sets up, so titles are the ones users see.
  vorlend::ui::PrepareApplication();
  vorlend::SetFormatSettings(vorlend::CzechLocaleFormats());
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new vorlend::test::DisplayEnvironment(display, argv[0]));
  return RUN_ALL_TESTS();
}
