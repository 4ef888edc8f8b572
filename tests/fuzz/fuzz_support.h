#pragma once
// What the fuzz targets share: a sandbox directory for the files a target works on, doubles of
// the dialogs and progress ports, text drawn from fuzz input, and the check that stops the run on
// a broken property.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace vorlend::fuzz {

// Prints what failed and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* file, int line, const char* condition, const std::string& detail);

#define FUZZ_CHECK(condition, detail)                                                  \
  do {                                                                                 \
    if (!(condition)) ::vorlend::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (0)

// A fresh directory below the temporary folder for this process, with a trailing "/"; removed
// when the process ends normally.
const std::string& Sandbox();

// Text as the add-on holds it (UTF-8): either Windows-1250 bytes converted, which every file of
// the add-on can store, or raw bytes, which may be any byte sequence at all.
std::string ConsumeText(FuzzedDataProvider& in, std::size_t maxBytes);
std::string ConsumeCp1250Text(FuzzedDataProvider& in, std::size_t maxBytes);

// What an ini file gives back for a written value: CR, LF and NUL become blanks, the value is
// trimmed and loses one pair of enclosing quotes, and characters outside Windows-1250 become "?".
std::string ExpectedIniRead(const std::string& written);

// Shows text with its control and non-ASCII bytes escaped, for failure reports.
std::string Printable(const std::string& text);

class CountingDialogs : public Dialogs {
public:
  void Message(MsgKind, const std::string& text) override { messages.push_back(text); }
  // Every question is answered "Ne": the operation stops rather than waits.
  bool Question(MsgKind, const std::string& text) override {
    questions.push_back(text);
    return false;
  }
  std::vector<std::string> messages;
  std::vector<std::string> questions;
};

class QuietProgress : public Progress {
public:
  void SetText(const std::string&) override {}
  void SetMaximum(int) override {}
  void SetPosition(int) override {}
  void ProcessMessages() override {}
};

}  // namespace vorlend::fuzz
