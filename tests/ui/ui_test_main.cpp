// The window's tests run on Qt's offscreen platform: the platform must be chosen before the
// QApplication exists, and CTest's discovery runs this program too.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/locale.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // No test may reach the vendor's server; a closed local port fails at once.
  setenv("VORLEND_VENDOR_URL", "http://127.0.0.1:9", 1);
  // The add-on's work directory in the temporary folder lands in a folder of this run.
  QTemporaryDir tempRoot;
  if (tempRoot.isValid()) setenv("TMPDIR", tempRoot.path().toLocal8Bit().constData(), 1);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  vorlend::SetFormatSettings(vorlend::CzechLocaleFormats());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
