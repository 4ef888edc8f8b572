#pragma once
// A Money-like data directory built directly for a test: agenda, years with their names, and
// document tables with chosen keys and lock flags; plus the host context that starts on it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_context.h"
#include "platform/variant.h"
#include "support/table_support.h"
#include "support/temp_dir.h"

namespace vorlend::test {

struct Document {
  std::int32_t key;
  Variant lock;  // Bool, or Null
};

// Documents 1..count (keys start at `firstKey`), every `lockedEvery`-th one locked.
std::vector<Document> MakeDocuments(int count, std::int32_t firstKey = 1, int lockedEvery = 3);

class AgendaBuilder {
public:
  explicit AgendaBuilder(const TempDir& dir, const std::string& agendaDirName = "Agenda.001",
                         const std::string& firmName = "Pekárna Škvor s.r.o.");

  // Rights tables without any user: Money's unnamed user, who holds every right.
  void AddRightsWithoutUsers();
  // A year directory ("Rok.001") with its ROK.INI naming the year; an empty name writes no key.
  std::string AddYear(const std::string& dirName, const std::string& yearName);
  // A document table in a year directory, keyed by "Cislo" or "CDokladu" with index of that name.
  void AddTable(const std::string& yearDir, const std::string& table, const std::vector<Document>& docs);

  const std::string& DataDir() const { return m_dataDir; }
  const std::string& AgendaDir() const { return m_agendaDir; }
  // The host context as the start-up derives it (upper-cased paths), without touching the disk.
  HostContext Context() const;
  // Money's command-line groups for this agenda and one of its years.
  std::vector<std::string> Groups(const std::string& yearDir, const std::string& version = "13.0") const;

private:
  std::string m_dataDir;
  std::string m_agendaDir;
  std::string m_agendaDirName;
  std::string m_firmName;
};

// Deletes the document with that key, as another Money user would.
void DeleteDocument(const std::string& tablePath, const std::string& keyField, std::int32_t key);

// Key -> lock flag of every record of a table, read through a table proxy ("Null" for Null).
std::vector<std::pair<std::int32_t, std::string>> ReadLocks(const std::string& tablePath, const std::string& keyField);
std::string LockText(const Variant& v);

// `tablectl dump` of a table, run in a child process.
std::string DumpTable(const std::string& tablePath);

// Runs a program with arguments; returns its exit status and what it wrote to stdout.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr, std::string* err = nullptr);

}  // namespace vorlend::test
