#pragma once
// The ports on the console, for the batch tool: messages go to standard error in the add-on's own
// words, questions are answered from the command line's options, progress is printed as lines.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/job_progress.h"
#include "archive/report.h"
#include "platform/ports.h"

namespace vorlend {

// Set by SIGINT and SIGTERM: acts as "Přerušit" answered with Ano.
extern volatile std::sig_atomic_t g_batchStopSignal;

struct ConflictPolicy {
  bool retry = false;  // false: stop once a document stays held for more than a second
  int seconds = 0;     // how long conflicts may go on before the batch gives up
};

using ConsoleClock = ProgressClock;

class ConsoleDialogs : public Dialogs {
public:
  // `quiet` keeps only errors: the messages of the kind error and what ends the operation; the
  // other messages are held back, since a warning may be the reason a run fails.
  ConsoleDialogs(std::ostream& err, ConflictPolicy policy, bool quiet = false)
      : m_err(err), m_policy(policy), m_quiet(quiet) {}
  void Message(MsgKind kind, const std::string& text) override;
  // Prints the messages quiet held back: the run ended otherwise than with success.
  void ReportHeldBack();
  bool Question(MsgKind kind, const std::string& text) override;
  // Questions answered from the command line are answered without a word.
  bool Ask(QuestionId id, MsgKind kind, const std::string& text) override;
  void Preanswer(QuestionId id, bool yes) { m_answers[id] = yes; }
  // Runs before each line this port writes (the progress clears its line redrawn in place).
  void BeforeOutput(std::function<void()> hook) { m_beforeOutput = std::move(hook); }
  // The text of the last message shown (empty when none).
  const std::string& LastMessage() const { return m_lastMessage; }
  // The errors and warnings shown, in order: what a JSON report of a failed run carries.
  const std::vector<std::string>& Reported() const { return m_reportedTexts; }
  // The document the next lock-conflict question is about.
  void ConflictDocument(const std::string& shownTable, std::int32_t key);

private:
  // A question on the console; `conflict`: the lock-conflict question, answered by the policy.
  bool Answer(MsgKind kind, const std::string& text, bool conflict);
  // Who holds what the conflict question at hand is about: a document another user holds, or a
  // table another program keeps in a write of its own.
  std::string HolderText(const std::string& question) const;

  std::ostream& m_err;
  ConflictPolicy m_policy;
  bool m_quiet;
  std::vector<std::string> m_heldBack;
  std::map<QuestionId, bool> m_answers;
  std::function<void()> m_beforeOutput;
  void Clear() const {
    if (m_beforeOutput) m_beforeOutput();
  }
  std::chrono::steady_clock::time_point m_conflictSince{};
  std::chrono::steady_clock::time_point m_lastConflict{};
  std::string m_lastMessage;
  std::vector<std::string> m_reportedTexts;
  bool m_reported = false;       // the current stretch of conflicts has been reported
  std::string m_stretchSubject;  // the document of the current stretch; empty: a busy table
  std::string m_conflictTable;
  std::int32_t m_conflictKey = 0;
  bool m_conflictKnown = false;
};

// Progress as lines: each table's text with "tabulka i z n", and within a table its position and
// percentage at most once a second; a table whose position was shown ends with its 100 % line.
// On a terminal the position is one line redrawn in place, with the whole job's share and time
// left as the window tells them (JobProgress).
class ConsoleProgress : public Progress {
public:
  explicit ConsoleProgress(std::ostream& err, bool quiet = false, ConsoleClock clock = {}, bool terminal = false);
  // Clears the line redrawn in place, before anything else is written.
  void CloseLine();
  void SetText(const std::string& text) override;
  void SetMaximum(int maximum) override;
  void SetPosition(int position) override;
  void ProcessMessages() override;

  void JobBegins(const std::vector<int>& tableDocuments) { m_job.JobBegins(tableDocuments); }
  void TableBegins(int number, int count);
  void TableEnds();
  // Every table ends with its line, and the line gives the table's time.
  void SetVerbose(bool verbose) { m_verbose = verbose; }

private:
  std::string TableLabel() const;

  std::ostream& m_err;
  bool m_quiet;
  ConsoleClock m_clock;
  std::chrono::steady_clock::time_point m_lastLine{};
  int m_maximum = 0;
  int m_tableNumber = 0;  // 0: no table under way
  int m_tableCount = 0;
  bool m_tableTextShown = false;
  bool m_positionShown = false;
  bool m_terminal = false;
  bool m_lineOpen = false;
  bool m_verbose = false;
  std::chrono::steady_clock::time_point m_tableStarted{};
  JobProgress m_job;
};

// Hands what the save or the restore tells beyond the ports to the two console ports.
class ConsoleObserver : public OperationObserver {
public:
  ConsoleObserver(ConsoleDialogs& dialogs, ConsoleProgress& progress) : m_dialogs(dialogs), m_progress(progress) {}
  void JobBegins(const std::vector<int>& tableDocuments) override { m_progress.JobBegins(tableDocuments); }
  void TableBegins(int number, int count) override { m_progress.TableBegins(number, count); }
  void TableEnds() override { m_progress.TableEnds(); }
  void LockConflict(const std::string& shownTable, std::int32_t key) override {
    m_dialogs.ConflictDocument(shownTable, key);
  }

private:
  ConsoleDialogs& m_dialogs;
  ConsoleProgress& m_progress;
};

}  // namespace vorlend
