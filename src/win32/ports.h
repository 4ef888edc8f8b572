#pragma once
// The ports of platform/ports.h on Win32: message boxes, the progress page's controls, the browser.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/job_progress.h"
#include "archive/report.h"
#include "platform/ports.h"

namespace vorlend::win32 {

// The text of a message as a box shows it: each CR (or LF, or CR LF) a line break.
std::wstring MessageBoxText(const std::string& text);

// Message boxes titled by their kind, whose buttons read "OK", or "&Ano" and "&Ne", whatever the
// system's language; "Ne" is the default where "Ano" deletes or stops something.
class Win32Dialogs : public Dialogs {
public:
  // The boxes belong to `owner` while it is visible.
  explicit Win32Dialogs(HWND owner = nullptr) : m_owner(owner) {}
  void SetOwner(HWND owner) { m_owner = owner; }

  void Message(MsgKind kind, const std::string& text) override;
  bool Question(MsgKind kind, const std::string& text) override;
  bool Ask(QuestionId id, MsgKind kind, const std::string& text) override;

private:
  int Show(MsgKind kind, const std::string& text, bool question, bool anoByDefault);
  HWND m_owner;
};

// lblWorking, ProgressBar1 and the line on the whole job under it (JobProgress: "Tabulka i z n,
// celkem p %, zbývá asi …"); ProcessMessages lets the window handle its messages, "Přerušit" among
// them.
class Win32Progress : public Progress, public OperationObserver {
public:
  explicit Win32Progress(std::function<void()> processMessages) : m_processMessages(std::move(processMessages)) {}
  void SetControls(HWND text, HWND bar, HWND overall) {
    m_text = text;
    m_bar = bar;
    m_overall = overall;
  }

  void SetText(const std::string& text) override;
  void SetMaximum(int maximum) override;
  void SetPosition(int position) override;
  void ProcessMessages() override;
  void Begin() override;

  void JobBegins(const std::vector<int>& tableDocuments) override;
  void TableBegins(int number, int count) override;
  void TableEnds() override;
  void LockConflict(const std::string&, std::int32_t) override {}

private:
  void ShowOverall();
  std::function<void()> m_processMessages;
  HWND m_text = nullptr, m_bar = nullptr, m_overall = nullptr;
  JobProgress m_job;
};

// Opens web pages in the system's browser; only http and https addresses.
class Win32Shell : public Shell {
public:
  bool OpenUrl(const std::string& url) override;
};

}  // namespace vorlend::win32
