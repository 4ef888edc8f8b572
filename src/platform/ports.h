#pragma once
// The ports through which the core talks to the user: messages and questions, progress of long
// operations, and the shell that opens a web page. The window implements them with Qt, the batch
// tool on the console, tests with scripted doubles.
#include <string>

namespace vorlend {

enum class MsgKind { Warning, Error, Information, Confirmation };

// Titles of the four kinds of message box.
const char* MsgKindTitle(MsgKind kind);

// The questions whose answer a front end may know beforehand (the batch tool's options), or
// whose default button it chooses; every other question is Other.
enum class QuestionId {
  Other,
  GoOnDespiteUnfinished,  // a new save while an archive of the agenda is incomplete or still being saved
  DeleteAfterRestore,     // the deletion offered after a restore
  DeleteArchive,          // "Smazat" in the archive list
  StopJob,                // "Přerušit" pressed while a save or a restore runs
  ArchiveOrder,           // a restore while a newer archive holds the same tables, or a save while an
                          // archive of the same tables still waits for its restore
  DeletePendingWork,      // the deletion of an unfinished archive whose restore would change documents
  LockConflict,           // another user holds a document, or another program a table: wait and go on?
};

// A question whose "Ano" deletes or stops something: a stray Enter must not answer it. Waiting
// for a held document stops nothing.
inline bool AnoIsRisky(QuestionId id) {
  return id != QuestionId::Other && id != QuestionId::LockConflict;
}

class Dialogs {
public:
  virtual ~Dialogs() = default;
  // A modal message with the single button OK. Paragraphs are separated by two CR characters.
  virtual void Message(MsgKind kind, const std::string& text) = 0;
  // A modal question with the buttons "&Ano" and "&Ne"; true only for Ano.
  virtual bool Question(MsgKind kind, const std::string& text) = 0;
  // The same, for a question a front end may answer by itself.
  virtual bool Ask(QuestionId id, MsgKind kind, const std::string& text) {
    (void)id;
    return Question(kind, text);
  }
};

// Says nothing and answers every question "Ne": for a look whose failure only makes the caller
// careful.
class SilentDialogs : public Dialogs {
public:
  void Message(MsgKind, const std::string&) override {}
  bool Question(MsgKind, const std::string&) override { return false; }
};

class Progress {
public:
  virtual ~Progress() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetMaximum(int maximum) = 0;
  virtual void SetPosition(int position) = 0;
  // Lets the window repaint and handle its buttons (the abort button among them).
  virtual void ProcessMessages() = 0;
  // The long work is about to begin: the window shows its progress page.
  virtual void Begin() {}

  // The user's request to stop ("Přerušit", or a stop signal on the console): set by the front
  // end, examined by the running save or restore after every record, cleared when one starts and
  // when the user declines to stop.
  void RequestAbort() { m_abortRequested = true; }
  void ClearAbort() { m_abortRequested = false; }
  bool AbortRequested() const { return m_abortRequested; }

private:
  bool m_abortRequested = false;
};

class Shell {
public:
  virtual ~Shell() = default;
  // Opens a web page in the default browser; only http and https addresses are opened.
  // Returns false when the address was refused or could not be handed over.
  virtual bool OpenUrl(const std::string& url) = 0;
};

bool IsWebAddress(const std::string& url);  // http:// or https://, case-insensitive

}  // namespace vorlend
