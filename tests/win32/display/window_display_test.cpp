// The Win32 window on a real X display under a window manager, driven with xdotool as a user at a
// desk drives it: real keys to the window that has the focus, real clicks of the pointer whose
// times the system stamps. Each test reports itself skipped, and says why, without xdotool,
// openbox or wine.
#include <cstdio>
#include <string>

#include "display/display_environment.h"
#include "platform/files.h"
#include "window_fixture.h"

namespace vorlend::test {

class DisplayTest : public Win32WindowTest {
protected:
  void SetUp() override { SKIP_WITHOUT_DISPLAY(); }

  // The wizard on the agenda, shown, managed and with the keyboard's focus.
  void ShowWindow() {
    MakeAgenda();
    Start();
    const auto xid = reinterpret_cast<UINT_PTR>(GetPropW(m_window->Handle(), L"__wine_x11_whole_window"));
    if (xid) Xdotool("windowactivate --sync " + std::to_string(xid));
    Settle();
  }

  // Lets the window handle what the display sent it.
  void Settle() {
    for (int i = 0; i < 15; ++i) {
      m_window->ProcessMessages();
      Sleep(20);
    }
  }

  void Xdotool(const std::string& args) {
    ASSERT_TRUE(DisplayEnvironment::RunOnLinux("xdotool " + args, [this] { m_window->ProcessMessages(); }))
        << "xdotool " << args;
    Settle();
  }

  void Keys(const char* keys) { Xdotool(std::string("key ") + keys); }

  // `count` clicks of the left button `delayMs` apart on the centre of a control.
  void Clicks(const char* name, int count, int delayMs = 120) {
    RECT rc;
    GetWindowRect(Control(name), &rc);
    char args[160];
    std::snprintf(args, sizeof args, "mousemove %ld %ld sleep 0.2 click --repeat %d --delay %d 1",
                  (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2, count, delayMs);
    Xdotool(args);
  }
};

TEST_F(DisplayTest, EnterAndTabFromTheKeyboard) {
  ShowWindow();
  ASSERT_EQ(FocusName(), "RadioButton1");
  Keys("Tab");
  EXPECT_EQ(FocusName(), "btnNext1");
  Keys("Tab");
  EXPECT_EQ(FocusName(), "btnKonec1");
  Keys("shift+Tab");
  ASSERT_EQ(FocusName(), "btnNext1");
  // Enter presses the focused button.
  Keys("Return");
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  ASSERT_EQ(FocusName(), "grYearName");
  Keys("space");
  EXPECT_TRUE(m_window->Model().Years().Row(0).Checked);
  // Enter from the grid goes on; in the name box it never presses "Start".
  Keys("Return");
  ASSERT_EQ(Page(), WizardPage::ArchiveName);
  Keys("Return");
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_FALSE(DirectoryExists(m_window->Model().Context().ArchiveRoot() + "1"));
}

TEST_F(DisplayTest, AClickOnDalsiGoesOnAndADoubleClickOnlyOnePage) {
  ShowWindow();
  Clicks("btnNext1", 1);
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  Press("btnPrev2");
  ASSERT_EQ(Page(), WizardPage::Start);
  // The second click lands on the years page's "Další >>", which would say that no year is marked.
  Clicks("btnNext1", 2);
  EXPECT_EQ(Page(), WizardPage::SaveOptions);
  EXPECT_EQ(m_dialogs.MessageCount(), 0u) << m_dialogs.LastEntry().text;
}

TEST_F(DisplayTest, ATripleOrASlowDoubleClickOnDalsiNeverPressesStart) {
  ShowWindow();
  Press("btnNext1");
  m_window->Model().grYearNameCellClick(0);
  Settle();
  // "Start" stands where "Další >>" stood.
  Clicks("btnNext2", 3);
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  Press("btnPrev3");
  ASSERT_EQ(Page(), WizardPage::SaveOptions);
  Clicks("btnNext2", 2, 450);
  EXPECT_EQ(Page(), WizardPage::ArchiveName);
  EXPECT_FALSE(DirectoryExists(m_window->Model().Context().ArchiveRoot() + "1"));
  EXPECT_EQ(m_dialogs.MessageCount(), 0u);
}

}  // namespace vorlend::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new vorlend::test::DisplayEnvironment);
  return RUN_ALL_TESTS();
}
