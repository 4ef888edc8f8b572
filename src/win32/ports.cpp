#include "win32/ports.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/text.h"
#include "win32/controls.h"

namespace vorlend::win32 {

namespace {

// The box being shown gets its buttons' texts as soon as it is activated, before it is drawn.
thread_local HHOOK t_hook = nullptr;

LRESULT CALLBACK NameButtons(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    if (GetClassNameW(box, cls, 16) > 0 && lstrcmpW(cls, L"#32770") == 0) {
      if (HWND yes = GetDlgItem(box, IDYES)) SetWindowTextW(yes, L"&Ano");
      if (HWND no = GetDlgItem(box, IDNO)) SetWindowTextW(no, L"&Ne");
      if (HWND ok = GetDlgItem(box, IDOK)) SetWindowTextW(ok, L"OK");
    }
  }
  return CallNextHookEx(t_hook, code, wParam, lParam);
}

UINT IconOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return MB_ICONWARNING;
    case MsgKind::Error:
      return MB_ICONERROR;
    case MsgKind::Information:
      return MB_ICONINFORMATION;
    case MsgKind::Confirmation:
      return MB_ICONQUESTION;
  }
  return 0;
}

}  // namespace

std::wstring MessageBoxText(const std::string& text) {
  std::wstring wide = W(text);
  std::wstring result;
  result.reserve(wide.size() + 8);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r' || c == L'\n') {
      result += L"\r\n";
      if (c == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
    } else {
      result += c;
    }
  }
  return result;
}

int Win32Dialogs::Show(MsgKind kind, const std::string& text, bool question, bool anoByDefault) {
  HWND owner = m_owner && IsWindowVisible(m_owner) ? m_owner : nullptr;
  UINT type = IconOf(kind) | (question ? MB_YESNO : MB_OK);
  if (question && !anoByDefault) type |= MB_DEFBUTTON2;
  if (!owner) type |= MB_TASKMODAL;
  HHOOK outer = t_hook;
  t_hook = SetWindowsHookExW(WH_CBT, NameButtons, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, MessageBoxText(text).c_str(), W(MsgKindTitle(kind)).c_str(), type);
  if (t_hook) UnhookWindowsHookEx(t_hook);
  t_hook = outer;
  return answer;
}

void Win32Dialogs::Message(MsgKind kind, const std::string& text) {
  Show(kind, text, false, true);
}

bool Win32Dialogs::Question(MsgKind kind, const std::string& text) {
  return Show(kind, text, true, true) == IDYES;
}

bool Win32Dialogs::Ask(QuestionId id, MsgKind kind, const std::string& text) {
  return Show(kind, text, true, !AnoIsRisky(id)) == IDYES;
}

void Win32Progress::Begin() {
  m_job.Reset();
  if (m_overall) SetWindowTextW(m_overall, L"");
}

void Win32Progress::JobBegins(const std::vector<int>& tableDocuments) {
  m_job.JobBegins(tableDocuments);
}

void Win32Progress::TableBegins(int number, int count) {
  m_job.TableBegins(number, count);
  ShowOverall();
}

void Win32Progress::TableEnds() {
  m_job.TableEnds();
  ShowOverall();
}

void Win32Progress::ShowOverall() {
  if (m_overall && m_job.Shown()) win32::SetText(m_overall, m_job.Text());
}

void Win32Progress::SetText(const std::string& text) {
  if (m_text) win32::SetText(m_text, text);
}

void Win32Progress::SetMaximum(int maximum) {
  // A range of 0..0 would show nothing at all.
  if (m_bar) SendMessageW(m_bar, PBM_SETRANGE32, 0, std::max(1, maximum));
  m_job.SetMaximum(maximum);
}

void Win32Progress::SetPosition(int position) {
  if (m_bar) {
    const auto top = static_cast<int>(SendMessageW(m_bar, PBM_GETRANGE, FALSE, 0));
    SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, top)), 0);
  }
  m_job.SetPosition(position);
  if (position > 0) ShowOverall();
}

void Win32Progress::ProcessMessages() {
  if (m_processMessages) m_processMessages();
}

bool Win32Shell::OpenUrl(const std::string& url) {
  if (!IsWebAddress(url)) return false;
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", W(Trim(url)).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace vorlend::win32
