// The program body: the application and its title, the locale formats, the window, the start-up
// sequence, and the message loop.
#include <QApplication>
#include <string>
#include <vector>

#include "platform/locale.h"
#include "ui/frm_main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QGuiApplication::setApplicationDisplayName(QString::fromUtf8(vorlend::ui::AppTitle));

  vorlend::LocaleFormats formats = vorlend::SystemLocaleFormats();
  vorlend::NormaliseDateSeparator(formats);
  vorlend::SetFormatSettings(formats);

  vorlend::ui::TfrmMain window;
  // QApplication has taken its own options out of argv; Money's groups are left.
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (window.RunStartup(args)) return 1;

  window.show();
  return app.exec();
}
