#include "display_environment.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include "x11_probe.h"

namespace vorlend::test {

std::string DisplayEnvironment::s_skipReason;
std::string DisplayEnvironment::s_self;

DisplayEnvironment::DisplayEnvironment(bool display, std::string self) : m_display(display) {
  s_self = std::move(self);
}

void DisplayEnvironment::SetUp() {
  if (!m_display) {
    s_skipReason =
        "no X display ($DISPLAY is not set or not reachable); run under xvfb-run to check the window "
        "with a window manager";
    return;
  }
  X11Probe x;
  if (x.ManagerRunning()) return;
  const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
  if (openbox.isEmpty()) {
    s_skipReason = "no window manager runs on the display and openbox is not installed";
    return;
  }
  m_manager = std::make_unique<QProcess>();
  m_manager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_manager->start(openbox, {QStringLiteral("--sm-disable")});
  QElapsedTimer waited;
  waited.start();
  while (!x.ManagerRunning() && waited.elapsed() < 10000) QThread::msleep(100);
  if (!x.ManagerRunning()) s_skipReason = "openbox did not start on the display";
}

void DisplayEnvironment::TearDown() {
  if (!m_manager) return;
  m_manager->terminate();
  if (!m_manager->waitForFinished(3000)) {
    m_manager->kill();
    m_manager->waitForFinished(3000);
  }
  m_manager.reset();
}

}  // namespace vorlend::test
