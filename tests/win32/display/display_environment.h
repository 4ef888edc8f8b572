#pragma once
// The X display the Win32 window's display tests drive under wine: xdotool types and clicks there
// as a user would, with a window manager (openbox, started here for the run and stopped again).
// On a system without them (Windows itself, a machine without xdotool or openbox) every test
// reports itself skipped and says why.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

namespace vorlend::test {

class DisplayEnvironment : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;

  // Empty when the tests can run; otherwise why they are skipped.
  static const std::string& SkipReason() { return s_skipReason; }

  // Runs a command of the Linux side (`/bin/sh -c COMMAND`) and waits for its end while `pump`
  // lets the window handle what it causes; false when it failed or did not end in `timeoutMs`.
  static bool RunOnLinux(const std::string& command, const std::function<void()>& pump, DWORD timeoutMs = 15000);

private:
  static std::string s_skipReason;
  std::string m_managerPid;  // the window manager started here, by its process id
};

#define SKIP_WITHOUT_DISPLAY()                                                          \
  do {                                                                                  \
    if (!::vorlend::test::DisplayEnvironment::SkipReason().empty())                     \
      GTEST_SKIP() << "skipped: " << ::vorlend::test::DisplayEnvironment::SkipReason(); \
  } while (false)

}  // namespace vorlend::test
