// The program body: the application, its locale formats, the window, the start-up sequence, and
// the message loop.
#include <QApplication>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/frm_main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vorlend::ui::PrepareApplication();

  vorlend::ui::TfrmMain window;
  // QApplication has taken its own options out of argv; Money's groups are left.
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (window.RunStartup(args)) return 1;

  window.show();
  return app.exec();
}
