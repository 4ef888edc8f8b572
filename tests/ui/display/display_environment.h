#pragma once
// The display the window tests run on: whether there is one, and a window manager on it (started
// here when none runs, and stopped again at the end).
#include <gtest/gtest.h>

#include <QProcess>
#include <memory>
#include <string>

namespace vorlend::test {

class DisplayEnvironment : public ::testing::Environment {
public:
  DisplayEnvironment(bool display, std::string self);
  void SetUp() override;
  void TearDown() override;

  // Empty when the tests can run; otherwise why they are skipped.
  static const std::string& SkipReason() { return s_skipReason; }
  // This test program, to start it again as another program's window.
  static const std::string& Self() { return s_self; }

private:
  bool m_display;
  std::unique_ptr<QProcess> m_manager;
  static std::string s_skipReason;
  static std::string s_self;
};

// Skips the running test, saying why, when there is no display with a window manager.
#define SKIP_WITHOUT_DISPLAY()                                                          \
  do {                                                                                  \
    if (!::vorlend::test::DisplayEnvironment::SkipReason().empty())                     \
      GTEST_SKIP() << "skipped: " << ::vorlend::test::DisplayEnvironment::SkipReason(); \
  } while (false)

}  // namespace vorlend::test
