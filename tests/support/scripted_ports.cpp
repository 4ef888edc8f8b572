#include "support/scripted_ports.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace vorlend::test {

std::size_t ScriptedDialogs::QuestionCount() const {
  return static_cast<std::size_t>(
      std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.question; }));
}

std::size_t ScriptedDialogs::MessageCount() const {
  return m_entries.size() - QuestionCount();
}

const ScriptedDialogs::Entry& ScriptedDialogs::LastEntry() const {
  static const Entry kNone{MsgKind::Information, "(no message came)"};
  if (m_entries.empty()) {
    ADD_FAILURE() << "a message was expected, but none came";
    return kNone;
  }
  return m_entries.back();
}

void ScriptedDialogs::Message(MsgKind kind, const std::string& text) {
  m_entries.push_back({kind, text, false, false});
}

bool ScriptedDialogs::Question(MsgKind kind, const std::string& text) {
  bool answer = false;
  if (m_answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
  } else {
    answer = m_answers.front();
    m_answers.pop_front();
  }
  m_entries.push_back({kind, text, true, answer});
  if (onQuestion) onQuestion(m_entries.back());
  return answer;
}

}  // namespace vorlend::test
