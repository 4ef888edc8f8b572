#include "app/console_ports.h"

#include <thread>

#include "app/batch_report.h"
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
// Conflicts about one document closer together than this count as one stretch of waiting.
constexpr auto kStretchGap = std::chrono::milliseconds(500);
// A table another program keeps busy is asked about again only after the component's wait for it,
// so its questions are that much further apart.
std::chrono::steady_clock::duration BusyStretchGap() {
  return TableBusyWait() + std::chrono::milliseconds(1500);
}
// Position lines within a table come at most this often.
constexpr auto kProgressInterval = std::chrono::seconds(1);
// On a terminal the line is redrawn in place, so it may change more often.
constexpr auto kTerminalInterval = std::chrono::milliseconds(200);

// The lock-conflict question without its words about the window's buttons: its first sentence.
std::string ConsoleConflictText(const std::string& question) {
  const std::size_t end = question.find(". ");
  return end == std::string::npos ? question : question.substr(0, end + 1);
}

// "Chyba: text", without repeating the title when the text already begins with it, in lines of at
// most 80 columns.
std::string ConsoleLine(MsgKind kind, const std::string& text) {
  const std::string title = std::string(MsgKindTitle(kind)) + ":";
  return WrapForConsole(StartsWith(text, title) ? ConsoleText(text) : title + " " + ConsoleText(text));
}
}  // namespace

void ConsoleDialogs::Message(MsgKind kind, const std::string& text) {
  m_lastMessage = text;
  if (kind == MsgKind::Error || kind == MsgKind::Warning) m_reportedTexts.push_back(ConsoleText(text));
  if (m_quiet && kind != MsgKind::Error) {
    m_heldBack.push_back(ConsoleLine(kind, text));
    return;
  }
  Clear();
  m_err << ConsoleLine(kind, text) << std::endl;
}

void ConsoleDialogs::ReportHeldBack() {
  for (const std::string& line : m_heldBack) m_err << line << std::endl;
  m_heldBack.clear();
}

void ConsoleDialogs::ConflictDocument(const std::string& shownTable, std::int32_t key) {
  m_conflictTable = shownTable;
  m_conflictKey = key;
  m_conflictKnown = true;
}

std::string ConsoleDialogs::HolderText(const std::string& question) const {
  if (m_conflictKnown) {
    return "Doklad číslo " + std::to_string(m_conflictKey) + " v tabulce " + TableFileText(m_conflictTable) +
           " drží jiný uživatel";
  }
  // No document was named: another program keeps the module's table in a write of its own.
  const std::size_t start = std::string(kLockConflictQuestionStart).size();
  const std::string module = question.substr(start, question.find(':', start) - start);
  return "Tabulku modulu " + module + " drží jiný program, který do ní právě zapisuje";
}

bool ConsoleDialogs::Ask(QuestionId id, MsgKind kind, const std::string& text) {
  const auto answer = m_answers.find(id);
  if (answer != m_answers.end()) return answer->second;
  return Answer(kind, text, id == QuestionId::LockConflict);
}

bool ConsoleDialogs::Question(MsgKind kind, const std::string& text) {
  return Answer(kind, text, false);
}

bool ConsoleDialogs::Answer(MsgKind kind, const std::string& text, bool conflict) {
  // The window's questions name its buttons; on the console only what happened is said.
  const std::string said = conflict ? ConsoleConflictText(text) : text;
  Clear();
  if (!conflict || g_batchStopSignal) {
    m_conflictKnown = false;
    if (!g_batchStopSignal) {
      m_err << ConsoleLine(kind, said) << "\n-> Ne" << std::endl;
      return false;
    }
    // Stopping: Ne to a conflict, Ano to the abort question.
    if (conflict) m_err << ConsoleLine(kind, said) << std::endl;
    m_err << WrapForConsole(
                 "Operace se zastavuje na pokyn signálu (Ctrl+C, SIGTERM); další signál ukončí program "
                 "hned.")
          << std::endl;
    return !conflict;
  }
  const std::string document = HolderText(text);
  // A question without a document is about a table kept busy.
  const std::string subject = m_conflictKnown ? document : std::string();
  m_conflictKnown = false;
  const auto now = std::chrono::steady_clock::now();
  if (subject != m_stretchSubject || now - m_lastConflict > (subject.empty() ? BusyStretchGap() : kStretchGap)) {
    m_conflictSince = now;
    m_reported = false;
    m_stretchSubject = subject;
  }
  // Even "stop" waits a moment: another add-on or tool holds a document only while it posts it.
  const auto allowed = m_policy.retry ? std::chrono::steady_clock::duration(std::chrono::seconds(m_policy.seconds))
                                      : std::chrono::steady_clock::duration(kStopGrace);
  if (now - m_conflictSince < allowed) {
    // A conflict retried again and again is reported once, not at every try.
    if (m_policy.retry && !m_reported) {
      if (!m_quiet) {
        m_err << ConsoleLine(kind, said) << "\n"
              << WrapForConsole(document + "; čekám na uvolnění nejvýše " + std::to_string(m_policy.seconds) + " s.")
              << std::endl;
      }
      m_reported = true;
    }
    std::this_thread::sleep_for(kRetryPause);
    m_lastConflict = std::chrono::steady_clock::now();
    return true;
  }
  if (!m_reported || m_quiet) m_err << ConsoleLine(kind, said) << std::endl;
  if (m_policy.retry) {
    m_err << WrapForConsole(document + " déle než " + std::to_string(m_policy.seconds) +
                            " s; operace se zastavila. Déle čekat lze volbou --on-conflict retry=SEKUNDY s větším "
                            "počtem sekund.")
          << std::endl;
  } else {
    m_err << WrapForConsole(document +
                            "; operace se zastavila. Na uvolnění lze čekat volbou --on-conflict "
                            "retry=SEKUNDY.")
          << std::endl;
  }
  return false;
}

ConsoleProgress::ConsoleProgress(std::ostream& err, bool quiet, ConsoleClock clock, bool terminal)
    : m_err(err),
      m_quiet(quiet),
      m_clock(clock ? std::move(clock) : ConsoleClock(&std::chrono::steady_clock::now)),
      m_terminal(terminal),
      m_job(m_clock) {}

void ConsoleProgress::CloseLine() {
  if (!m_lineOpen) return;
  m_err << "\r\x1b[K" << std::flush;
  m_lineOpen = false;
}

std::string ConsoleProgress::TableLabel() const {
  return "tabulka " + std::to_string(m_tableNumber) + " z " + std::to_string(m_tableCount);
}

void ConsoleProgress::TableBegins(int number, int count) {
  m_job.TableBegins(number, count);
  m_tableNumber = number;
  m_tableCount = count;
  m_maximum = 0;
  m_tableTextShown = false;
  m_positionShown = false;
  m_tableStarted = m_clock();
}

void ConsoleProgress::TableEnds() {
  m_job.TableEnds();
  CloseLine();
  // A table whose position was shown is seen to its end; a shorter one needs no more than its text.
  if (!m_quiet && m_verbose && m_tableNumber > 0) {
    const double seconds = std::chrono::duration<double>(m_clock() - m_tableStarted).count();
    m_err << "  " << TableLabel() << ": hotovo, " << std::max(m_maximum, 0) << " záznamů, " << SecondsText(seconds)
          << std::endl;
    m_lastLine = m_clock();
  } else if (!m_quiet && !m_terminal && m_tableNumber > 0 && m_positionShown && m_maximum > 0) {
    m_err << "  " << TableLabel() << ": " << m_maximum << " / " << m_maximum << " (100 %)" << std::endl;
    m_lastLine = m_clock();
  }
  m_tableNumber = 0;
}

void ConsoleProgress::SetText(const std::string& text) {
  if (m_quiet) return;
  CloseLine();
  if (m_tableNumber > 0 && !m_tableTextShown) {
    m_err << text << " (" << TableLabel() << ")" << std::endl;
    m_tableTextShown = true;
  } else {
    m_err << text << std::endl;
  }
  m_lastLine = m_clock();
}

void ConsoleProgress::SetMaximum(int maximum) {
  m_maximum = maximum;
  m_job.SetMaximum(maximum);
}

void ConsoleProgress::SetPosition(int position) {
  m_job.SetPosition(position);
  if (m_quiet || m_tableNumber == 0 || m_maximum <= 0 || position <= 0) return;
  const auto now = m_clock();
  if (now - m_lastLine < (m_terminal ? std::chrono::steady_clock::duration(kTerminalInterval) : kProgressInterval)) {
    return;
  }
  const long long percent = static_cast<long long>(position) * 100 / m_maximum;
  if (m_terminal) {
    // The whole job's share and time left, as the window tells them.
    m_err << "\r\x1b[K  " << TableLabel() << ": " << position << " / " << m_maximum << " (" << percent << " %), "
          << m_job.OverallText() << std::flush;
    m_lineOpen = true;
    m_lastLine = now;
    return;
  }
  m_err << "  " << TableLabel() << ": " << position << " / " << m_maximum << " (" << percent << " %)" << std::endl;
  m_positionShown = true;
  m_lastLine = now;
}

void ConsoleProgress::ProcessMessages() {
  if (g_batchStopSignal) RequestAbort();
}

}  // namespace vorlend
