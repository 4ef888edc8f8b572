#pragma once
// How a step of the add-on's work ended. Every step of a job returns one, and it travels unchanged
// from the step that knows what went wrong up to the road that started the job; the road tells the
// user once every table of the job is closed, so no step shows an error in the middle of its work
// and no record lock waits behind a message box. The questions a job asks while it runs (a held
// document, "Přerušit") stay questions; their answers come back as Stopped or Conflict.
#include <string>
#include <utility>

#include "platform/ports.h"

namespace vorlend {

enum class ResultKind {
  Ok,
  Failed,    // it could not be done: the message says what, naming the file and the system's reason
  Stopped,   // the user chose to stop the job
  Conflict,  // another user holds a document, or another program a table, and the user did not wait
  Refused,   // a rule, or another user's work, does not allow it; the message says which
};

class [[nodiscard]] Result {
public:
  Result() = default;  // ok
  static Result Ok() { return {}; }
  // A failure takes with it the full disk that a write noted since the job began (see
  // NoteWriteFailure), wherever in the job that write was.
  static Result Failed(std::string message);
  static Result Refused(std::string message) { return {ResultKind::Refused, std::move(message)}; }
  static Result Stopped() { return {ResultKind::Stopped, {}}; }
  static Result Conflict() { return {ResultKind::Conflict, {}}; }

  bool IsOk() const { return m_kind == ResultKind::Ok; }
  ResultKind Kind() const { return m_kind; }
  // The user ended the job: stopped it, or did not wait for another user.
  bool ByUser() const { return m_kind == ResultKind::Stopped || m_kind == ResultKind::Conflict; }
  const std::string& Message() const { return m_message; }
  // The folder whose disk (or the user's quota) was full when a write of the job failed.
  const std::string& NoSpaceFolder() const { return m_noSpaceFolder; }
  // What the user is told: the message, and after a full disk what to do about it. Empty when
  // there is nothing to tell (ok, or ended by the user, whose question said it all).
  std::string Text() const;

private:
  Result(ResultKind kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}
  ResultKind m_kind = ResultKind::Ok;
  std::string m_message;
  std::string m_noSpaceFolder;
};

// Shows the text of a failure as an error; says nothing for a result with nothing to tell.
void SayFailure(const Result& result, Dialogs& dialogs);

// Forgets a full disk noted before a job begins, so the job's failures name only its own.
void ForgetNotedFullDisk();

}  // namespace vorlend
