#pragma once
// Helpers for the table engine's tests: a document table made in one call, the path of a built
// tool, and a `tablectl hold` child process that can be released or killed.
#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vorlend::test {

std::string ToolPath(const std::string& name);

// Sets or clears the immutable flag of a file or folder: even root can then neither write the file
// nor add files to the folder, the way read-only storage refuses everyone. False where the file
// system does not offer the flag.
bool SetImmutable(const std::string& path, bool on);

// A table "Cislo" (integer), "Uzamceni" (boolean), "Firma" (text) with the index "Cislo", one
// record per key in the given order, unlocked, firm "F<key>". Returns the path without extension.
std::string MakeDocTable(const TempDir& dir, const std::string& name, const std::vector<int>& keys);

// `tablectl hold TABLE --index INDEX --key KEY [FIELD=VALUE...]` with a pipe as standard input.
class HoldProcess {
public:
  HoldProcess(const std::string& table, const std::string& index, int key,
              const std::vector<std::string>& assignments = {});
  ~HoldProcess();
  HoldProcess(const HoldProcess&) = delete;
  HoldProcess& operator=(const HoldProcess&) = delete;

  // True once the child printed "locked".
  bool Locked() const { return m_locked; }
  // Closes the child's standard input and returns its exit status.
  int Release();
  // SIGKILL, then waits for the child.
  void Kill();

private:
  int Wait();
  std::intptr_t m_pid = -1;    // a process id on POSIX, a process HANDLE on Windows
  std::intptr_t m_stdin = -1;  // a descriptor on POSIX, a pipe HANDLE on Windows
  bool m_locked = false;
};

}  // namespace vorlend::test
