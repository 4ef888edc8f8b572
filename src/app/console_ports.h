#pragma once
// The ports on the console, for the batch tool: messages go to standard error in the add-on's own
// words, questions are answered from the command line's options, progress is printed as lines.
#include <chrono>
#include <csignal>
#include <ostream>

#include "platform/ports.h"

namespace vorlend {

// Set by SIGINT and SIGTERM: acts as "Přerušit" answered with Ano.
extern volatile std::sig_atomic_t g_batchStopSignal;

struct ConflictPolicy {
  bool retry = false;  // false: stop once a document stays held for more than a second
  int seconds = 0;     // how long conflicts may go on before the batch gives up
};

class ConsoleDialogs : public Dialogs {
public:
  ConsoleDialogs(std::ostream& err, ConflictPolicy policy) : m_err(err), m_policy(policy) {}
  void Message(MsgKind kind, const std::string& text) override;
  bool Question(MsgKind kind, const std::string& text) override;
  // True once a question was answered so that the operation stops (abort, or a conflict given up).
  bool StoppedByUser() const { return m_stopped; }

private:
  std::ostream& m_err;
  ConflictPolicy m_policy;
  bool m_stopped = false;
  std::chrono::steady_clock::time_point m_conflictSince{};
  std::chrono::steady_clock::time_point m_lastConflict{};
  bool m_reported = false;  // the current stretch of conflicts has been reported
};

class ConsoleProgress : public Progress {
public:
  explicit ConsoleProgress(std::ostream& err) : m_err(err) {}
  void SetText(const std::string& text) override;
  void SetMaximum(int maximum) override { m_maximum = maximum; }
  void SetPosition(int position) override;
  void ProcessMessages() override;

private:
  std::ostream& m_err;
  int m_maximum = 0;
};

}  // namespace vorlend
