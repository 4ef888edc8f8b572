#include "app/console_ports.h"

#include <thread>

#include "archive/operation.h"
#include "platform/text.h"

namespace vorlend {

volatile std::sig_atomic_t g_batchStopSignal = 0;

namespace {
std::string ConsoleText(const std::string& text) {
  std::string out = ReplaceAll(text, "\r\r", "\n");
  return ReplaceAll(out, "\r", "\n");
}
constexpr auto kRetryPause = std::chrono::milliseconds(100);
// How long "--on-conflict stop" still waits for a document held only for a moment.
constexpr auto kStopGrace = std::chrono::seconds(1);
// Conflicts closer together than this count as one stretch of waiting.
constexpr auto kStretchGap = std::chrono::milliseconds(500);
}  // namespace

// "Chyba: text", without repeating the title when the text already begins with it.
static std::string ConsoleLine(MsgKind kind, const std::string& text) {
  const std::string title = std::string(MsgKindTitle(kind)) + ":";
  return StartsWith(text, title) ? ConsoleText(text) : title + " " + ConsoleText(text);
}

void ConsoleDialogs::Message(MsgKind kind, const std::string& text) {
  m_err << ConsoleLine(kind, text) << std::endl;
}

bool ConsoleDialogs::Question(MsgKind kind, const std::string& text) {
  const bool conflict = StartsWith(text, LockConflictQuestionStart);
  if (!conflict || g_batchStopSignal) {
    m_err << ConsoleLine(kind, text) << std::endl;
    if (!g_batchStopSignal) {
      m_err << "-> Ne" << std::endl;
      return false;
    }
    // Stopping: Ne to a conflict, Ano to the abort question.
    m_stopped = true;
    m_err << (conflict ? "-> Ne (přerušeno signálem)" : "-> Ano (přerušeno signálem)") << std::endl;
    return !conflict;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastConflict > kStretchGap) {
    m_conflictSince = now;
    m_reported = false;
  }
  // Even "stop" waits a moment: another add-on or tool holds a document only while it posts it.
  const auto allowed = m_policy.retry ? std::chrono::steady_clock::duration(std::chrono::seconds(m_policy.seconds))
                                      : std::chrono::steady_clock::duration(kStopGrace);
  if (now - m_conflictSince < allowed) {
    // A conflict retried again and again is reported once, not at every try.
    if (m_policy.retry && !m_reported) {
      m_err << ConsoleLine(kind, text) << "\n-> čekám na uvolnění dokladu" << std::endl;
      m_reported = true;
    }
    std::this_thread::sleep_for(kRetryPause);
    m_lastConflict = std::chrono::steady_clock::now();
    return true;
  }
  if (!m_reported) m_err << ConsoleLine(kind, text) << std::endl;
  m_stopped = true;
  m_err << "-> Ne" << std::endl;
  return false;
}

void ConsoleProgress::SetText(const std::string& text) { m_err << text << std::endl; }

void ConsoleProgress::SetPosition(int position) {
  if (position > 0 && position % 1000 == 0) m_err << "  " << position << " / " << m_maximum << std::endl;
}

void ConsoleProgress::ProcessMessages() {
  if (g_batchStopSignal) RequestAbort();
}

}  // namespace vorlend
