#pragma once
// What a console program of the add-on (vorlend-batch, agenda-seed, tablectl) sets up first.
#include <string>
#include <vector>

namespace vorlend {

// The program's arguments as UTF-8, in the shape main received them (argc, argv): on Windows read
// from the wide-character command line rather than the ANSI code page. Output written as UTF-8
// shows as such in a Windows console.
class ConsoleArguments {
public:
  ConsoleArguments(int argc, char** argv);
  // Puts back what the console was set to before (on Windows its output code page).
  ~ConsoleArguments();
  ConsoleArguments(const ConsoleArguments&) = delete;
  ConsoleArguments& operator=(const ConsoleArguments&) = delete;
  int Count() const { return static_cast<int>(m_pointers.size()) - 1; }
  char** Argv() { return m_pointers.data(); }

private:
  std::vector<std::string> m_texts;
  std::vector<char*> m_pointers;
  [[maybe_unused]] unsigned m_codePage = 0;  // the console's output code page before, on Windows
};

// The first stop request (Ctrl+C, SIGINT or SIGTERM, a console's close) calls `onStop`; a second
// one ends the program at once with status 130, as a shell reports SIGINT. A closed console window
// gives the job a few seconds to stop at its next step, then ends the program with status 130. A closed terminal or a
// pipe whose reader went away stops nothing.
void InstallStopHandler(void (*onStop)());
// A program that writes into a pipe whose reader went away sees a failed write, not its death.
void IgnoreBrokenPipes();
// Standard output is a pipe whose reader has gone away (a `head` that had what it wanted).
bool StandardOutputReaderGone();
// Ends the program as programs end whose reader went away: by SIGPIPE, which a shell reports as
// status 141 (on Windows, exit status 141).
[[noreturn]] void EndForBrokenPipe();

}  // namespace vorlend
