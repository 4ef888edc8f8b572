#include "window_fixture.h"

#include "platform/locale.h"

namespace vorlend::test {

namespace {

POINT Centre(HWND control) {
  RECT rc;
  GetClientRect(control, &rc);
  return POINT{rc.right / 2, rc.bottom / 2};
}

}  // namespace

Win32WindowTest::Win32WindowTest() {
  SetFormatSettings(CzechLocaleFormats());
}

Win32WindowTest::~Win32WindowTest() {
  m_window.reset();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void Win32WindowTest::MakeAgenda(int documents) {
  m_agenda = std::make_unique<AgendaBuilder>(m_temp);
  m_agenda->AddRightsWithoutUsers();
  m_agenda->AddYear("Rok.001", "2025");
  m_agenda->AddYear("Rok.002", "2026");
  m_agenda->AddTable("Rok.001", "PFAKTURY", MakeDocuments(documents, 25000001));
  m_agenda->AddTable("Rok.002", "PFAKTURY", MakeDocuments(documents, 26000001));
}

void Win32WindowTest::Start() {
  m_window = std::make_unique<win32::TfrmMain>(&m_dialogs, &m_shell);
  m_window->Model().SetVersionCheck([](const HostContext&, Dialogs&, Shell&) { return true; });
  ASSERT_FALSE(m_window->RunStartup(m_agenda->Groups("Rok.002")))
      << (m_dialogs.Last() ? m_dialogs.LastEntry().text : "");
  m_window->Show();
  SetForegroundWindow(m_window->Handle());
  Pump();
}

HWND Win32WindowTest::Control(const char* name) const {
  HWND control = m_window->Control(name);
  EXPECT_NE(control, nullptr) << "no control " << name;
  return control;
}

std::string Win32WindowTest::Text(const char* name) const {
  return win32::GetText(Control(name));
}

bool Win32WindowTest::Visible(const char* name) const {
  return IsWindowVisible(Control(name)) != FALSE;
}

bool Win32WindowTest::Enabled(const char* name) const {
  return IsWindowEnabled(Control(name)) != FALSE;
}

std::string Win32WindowTest::FocusName() const {
  return m_window->NameOf(GetFocus());
}

void Win32WindowTest::Pump() {
  for (int i = 0; i < 3; ++i) m_window->ProcessMessages();
}

void Win32WindowTest::Press(const char* name) {
  HWND control = Control(name);
  ASSERT_TRUE(IsWindowVisible(control)) << name << " is not on the current page";
  ASSERT_TRUE(IsWindowEnabled(control)) << name << " is disabled";
  if (win32::IsLink(control)) {
    MouseAt(control, Centre(control));
  } else {
    SendMessageW(control, BM_CLICK, 0, 0);
  }
  Pump();
}

void Win32WindowTest::Key(WPARAM key, bool repeat) {
  HWND focus = GetFocus();
  ASSERT_NE(focus, nullptr) << "nothing has the focus";
  const LPARAM down = 1 | (repeat ? (1 << 30) : 0);
  PostMessageW(focus, WM_KEYDOWN, key, down);
  Pump();
  // The key may have moved the focus (Tab) or closed the page: the release goes where it is now.
  if (HWND now = GetFocus()) PostMessageW(now, WM_KEYUP, key, down | (1 << 30) | (1u << 31));
  Pump();
}

void Win32WindowTest::ClickAt(const char* name, DWORD time, bool second) {
  HWND control = Control(name);
  const POINT at = Centre(control);
  MSG msg{};
  msg.hwnd = control;
  msg.message = second ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
  msg.wParam = MK_LBUTTON;
  msg.lParam = MAKELPARAM(at.x, at.y);
  msg.time = time;
  m_window->HandleMessage(msg);
  msg.message = WM_LBUTTONUP;
  msg.wParam = 0;
  msg.time = time + 40;
  m_window->HandleMessage(msg);
}

void Win32WindowTest::MouseAt(HWND target, POINT at, bool second) {
  PostMessageW(target, second ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  Pump();
}

std::vector<std::pair<std::int32_t, std::string>> Win32WindowTest::Invoices(const std::string& yearDir) const {
  return ReadLocks(m_agenda->AgendaDir() + yearDir + "/PFAKTURY", "Cislo");
}

}  // namespace vorlend::test
