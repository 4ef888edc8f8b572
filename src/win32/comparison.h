#pragma once
// "Porovnat s Money": what a restore of the archive would change, per module and year, before the
// user presses "Start". A dialog over the main window, modal to it: first how far the comparison
// is, then the counts of each table with their total always in sight. Read only: nothing is
// locked or written, in the archive or in Money.
#include <windows.h>

#include <memory>
#include <string>

#include "archive/catalogue.h"
#include "archive/inspect.h"
#include "host/host_context.h"
#include "platform/ports.h"
#include "win32/controls.h"
#include "win32/ports.h"

namespace vorlend::win32 {

LRESULT CALLBACK ComparisonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

struct CountsLook;

// The line under the counts: how many documents a restore would change, and how many it can no
// longer find.
std::string ComparisonSummary(const TableInspection& total);

class ComparisonDialog {
public:
  ComparisonDialog(HWND owner, const Fonts& fonts, Dialogs& dialogs);
  ~ComparisonDialog();
  ComparisonDialog(const ComparisonDialog&) = delete;
  ComparisonDialog& operator=(const ComparisonDialog&) = delete;

  // Opens the dialog, compares the archive with Money and shows the counts until the user closes
  // it. A comparison stopped by closing the dialog, or ended by a message, closes it at once.
  void Run(const HostContext& ctx, const ArchiveRow& row);

  // The dialog shown, its owner disabled; then the counts of a comparison in place of its
  // progress (the screenshot driver).
  void Open();
  void ShowCounts(const ArchiveInspection& inspection);
  HWND Handle() const { return m_hwnd; }
  HWND Control(const char* name) const;

private:
  friend LRESULT CALLBACK ComparisonProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam);
  HWND Make(const char* name, const wchar_t* windowClass, const std::string& text, DWORD style, const RECT& place,
            HFONT font = nullptr, DWORD exStyle = 0);
  void Pump();
  void WaitForClose();
  void CloseAsked();

  HWND m_owner;
  const Fonts& m_fonts;
  Dialogs& m_dialogs;
  Win32Progress m_progress;
  HWND m_hwnd = nullptr;
  std::unique_ptr<CountsLook> m_look;
  bool m_running = false;
  bool m_done = false;
};

}  // namespace vorlend::win32
