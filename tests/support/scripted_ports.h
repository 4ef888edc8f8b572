#pragma once
// Test doubles of the ports in platform/ports.h: dialogs that record every message and answer
// questions from a queue, a shell that records the addresses it was asked to open, a progress
// that records what the operation reported, and an observer that records the jobs' tables.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "archive/report.h"
#include "platform/ports.h"
#include "platform/result.h"

namespace vorlend::test {

class ScriptedDialogs : public Dialogs {
public:
  struct Entry {
    MsgKind kind;
    std::string text;
    bool question = false;
    bool answer = false;  // for questions: the answer given
  };

  // Queues answers for the next questions, in order. A question with no answer queued fails the
  // running test and is answered "Ne".
  void Answer(bool yes) { m_answers.push_back(yes); }
  void Answers(std::initializer_list<bool> answers) { m_answers.insert(m_answers.end(), answers); }
  std::size_t PendingAnswers() const { return m_answers.size(); }

  const std::vector<Entry>& Entries() const { return m_entries; }
  std::size_t QuestionCount() const;
  std::size_t MessageCount() const;  // plain messages, questions not counted
  const Entry* Last() const { return m_entries.empty() ? nullptr : &m_entries.back(); }
  // The last message or question; when none came, the running test fails and an empty entry
  // stands in for it.
  const Entry& LastEntry() const;
  void Clear() {
    m_entries.clear();
    m_answers.clear();
  }

  void Message(MsgKind kind, const std::string& text) override;
  bool Question(MsgKind kind, const std::string& text) override;

  // Runs after each question is answered: a test lets another user's lock go here.
  std::function<void(const Entry&)> onQuestion;

private:
  std::vector<Entry> m_entries;
  std::deque<bool> m_answers;
};

class RecordingShell : public Shell {
public:
  // Every call is recorded, refused addresses too; `result` is what OpenUrl returns.
  bool OpenUrl(const std::string& url) override {
    m_urls.push_back(url);
    return result;
  }
  const std::vector<std::string>& Urls() const { return m_urls; }
  bool result = true;

private:
  std::vector<std::string> m_urls;
};

class ScriptedProgress : public Progress {
public:
  void SetText(const std::string& text) override { texts.push_back(text); }
  void SetMaximum(int maximum) override { maximums.push_back(maximum); }
  void SetPosition(int position) override { positions.push_back(position); }
  void ProcessMessages() override {
    ++processCount;
    if (onProcessMessages) onProcessMessages(processCount);
  }

  std::vector<std::string> texts;
  std::vector<int> maximums;
  std::vector<int> positions;
  int processCount = 0;
  // Runs at each ProcessMessages with the number of calls so far: a test presses "abort" here.
  std::function<void(int)> onProcessMessages;
};

// Records what a job tells an observer beyond the progress: the documents of each table, told
// once before the first table begins, for every job in turn.
class RecordingObserver : public OperationObserver {
public:
  void JobBegins(const std::vector<int>& tableDocuments) override { jobs.push_back(tableDocuments); }
  void TableBegins(int, int) override {}
  void TableEnds() override {}
  void LockConflict(const std::string&, std::int32_t) override {}

  std::vector<std::vector<int>> jobs;
};

// A step's result as a road presents it: a failure's text as an error message. 0 when it
// succeeded, -1 else.
inline int Presented(const Result& result, Dialogs& dialogs) {
  SayFailure(result, dialogs);
  return result.IsOk() ? 0 : -1;
}

}  // namespace vorlend::test
