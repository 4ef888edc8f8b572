// engine_bench [RECORDS]: times the table operations the add-on lives on, through TBFTable and as
// the same statements run directly on SQLite, on one document table of RECORDS records (100,000
// by default), and prints each figure, the ratio ours / direct, and the memory used.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "platform/files.h"

using namespace vorlend;
using engine::FieldType;

namespace {

long CurrentRssKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakRssKb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double TimeMs(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The read-only figures are taken as the best of three rounds, ours and direct in turn, so that
// neither side pays alone for a cold cache or for a neighbour's burst of work on the machine.
void BestOfThree(const std::function<double()>& ours, const std::function<double()>& direct, double& oursMs,
                 double& directMs) {
  oursMs = directMs = 1e300;
  for (int round = 0; round < 3; ++round) {
    oursMs = std::min(oursMs, ours());
    directMs = std::min(directMs, direct());
  }
}

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "engine_bench: %s\n", message.c_str());
  std::exit(1);
}

void Check(bool ok, const char* what) {
  if (!ok) Die(what);
}

// Direct SQLite, with the connection settings the engine uses.
class Direct {
public:
  explicit Direct(const std::string& path) {
    Check(sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK, "open");
    sqlite3_busy_timeout(m_db, 10000);
    Exec("PRAGMA synchronous=NORMAL");
  }
  ~Direct() {
    for (sqlite3_stmt* s : m_stmts) sqlite3_finalize(s);
    sqlite3_close(m_db);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) == SQLITE_OK, sqlite3_errmsg(m_db));
    m_stmts.push_back(s);
    return s;
  }
  void Exec(const char* sql) {
    Check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sqlite3_errmsg(m_db));
  }
  void Step(sqlite3_stmt* s) {
    Check(sqlite3_step(s) == SQLITE_DONE, sqlite3_errmsg(m_db));
    sqlite3_reset(s);
  }

private:
  sqlite3* m_db = nullptr;
  std::vector<sqlite3_stmt*> m_stmts;
};

const char* const kDocSelect =
    "SELECT \"_RecNo\",\"Cislo\",\"Uzamceni\",\"Datum\",\"Firma\",\"Castka\",\"Popis\" FROM records";

void BuildDocuments(const std::string& path, int records, std::vector<int>& keys) {
  if (auto error = engine::CreateTable(path,
                                       {{"Cislo", FieldType::Integer},
                                        {"Uzamceni", FieldType::Boolean},
                                        {"Datum", FieldType::Date},
                                        {"Firma", FieldType::Text},
                                        {"Castka", FieldType::Double},
                                        {"Popis", FieldType::Text}},
                                       {"Cislo"}))
    Die(*error);
  std::string error;
  auto t = engine::Table::Open(path, error);
  Check(t != nullptr, "open documents");
  keys.resize(static_cast<std::size_t>(records));
  for (int i = 0; i < records; ++i) keys[static_cast<std::size_t>(i)] = 24000001 + i;
  std::mt19937 rng(7);
  std::shuffle(keys.begin(), keys.end(), rng);
  Check(t->BeginTransaction(), "begin");
  for (int key : keys) {
    t->AppendBlank();
    t->SetValue(0, Variant::FromInt(key));
    t->SetValue(1, Variant::FromBool(key % 3 == 0));
    t->SetValue(2, Variant::FromDate(45292.0 + key % 365));
    t->SetValue(3, Variant::FromString("Železářství Dvořák s.r.o."));
    t->SetValue(4, Variant::FromDouble(key % 100000 / 100.0));
    t->SetValue(5, Variant::FromString("Přijatá faktura " + std::to_string(key)));
    Check(t->Post(), "post");
  }
  Check(t->CommitTransaction(), "commit");
}

void Report(const char* name, double ours, double direct) {
  std::printf("%-44s %10.1f %10.1f %7.2f\n", name, ours, direct, ours / direct);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (records < 1) Die("RECORDS must be positive");
  char pattern[] = "/tmp/vorlend-bench-XXXXXX";
  if (!mkdtemp(pattern)) Die("cannot make a temporary directory");
  const std::string dir = std::string(pattern) + "/";
  const std::string docs = dir + "VFAKTURY";

  std::vector<int> keys;
  const double buildMs = TimeMs([&] { BuildDocuments(docs, records, keys); });
  std::printf("table of %d documents built in %.1f ms\n\n", records, buildMs);
  std::printf("%-44s %10s %10s %7s\n", "operation", "ours ms", "direct ms", "ratio");

  std::mt19937 rng(11);
  std::vector<int> seekKeys(static_cast<std::size_t>(records));
  for (auto& k : seekKeys) k = keys[rng() % keys.size()];
  long long sink = 0;

  // Full walk in record order, reading the key and the lock flag of each document.
  long rssEarly = 0, rssAfter = 0;
  {
    TBFTable t;
    Check(t.OpenTable(docs) == 0, "OpenTable");
    Direct d(docs + ".dat");
    sqlite3_stmt* count = d.Prepare("SELECT count(*) FROM records");
    sqlite3_stmt* all = d.Prepare((std::string(kDocSelect) + " ORDER BY \"_RecNo\"").c_str());
    double ours = 0, direct = 0;
    BestOfThree(
        [&] {
          return TimeMs([&] {
            Check(t.RecCount() == records, "RecCount");
            t.GoTop();
            int visited = 0;
            while (!t.IsEof()) {
              sink += t.Value("Cislo").IntValue() + t.Value("Uzamceni").BoolValue();
              t.Skip();
              if (++visited == records / 10) rssEarly = CurrentRssKb();
            }
            rssAfter = CurrentRssKb();
          });
        },
        [&] {
          return TimeMs([&] {
            Check(sqlite3_step(count) == SQLITE_ROW && sqlite3_column_int(count, 0) == records, "count");
            sqlite3_reset(count);
            while (sqlite3_step(all) == SQLITE_ROW) sink += sqlite3_column_int(all, 1) + sqlite3_column_int(all, 2);
            sqlite3_reset(all);
          });
        },
        ours, direct);
    Report("full walk, record order", ours, direct);
    // The stricter baseline: a direct loop that selects only the two fields it reads.
    // The walk through the table proxy, reading the two fields a save reads.
    auto walkOurs = [&] {
      t.GoTop();
      while (!t.IsEof()) {
        sink += t.Value("Cislo").IntValue() + t.Value("Uzamceni").BoolValue();
        t.Skip();
      }
    };
    sqlite3_stmt* two = d.Prepare("SELECT \"_RecNo\",\"Cislo\",\"Uzamceni\" FROM records ORDER BY \"_RecNo\"");
    double oursAgain = 0, directTwo = 0;
    BestOfThree([&] { return TimeMs(walkOurs); },
                [&] {
                  return TimeMs([&] {
                    while (sqlite3_step(two) == SQLITE_ROW)
                      sink += sqlite3_column_int(two, 1) + sqlite3_column_int(two, 2);
                    sqlite3_reset(two);
                  });
                },
                oursAgain, directTwo);
    Report("  the same, direct selecting 2 fields only", oursAgain, directTwo);

    Check(t.SetOrder("Cislo") == 0, "SetOrder");
    sqlite3_stmt* byKey = d.Prepare((std::string(kDocSelect) + " ORDER BY \"Cislo\",\"_RecNo\"").c_str());
    double oursIndexed = 0, directIndexed = 0;
    BestOfThree([&] { return TimeMs(walkOurs); },
                [&] {
                  return TimeMs([&] {
                    while (sqlite3_step(byKey) == SQLITE_ROW)
                      sink += sqlite3_column_int(byKey, 1) + sqlite3_column_int(byKey, 2);
                    sqlite3_reset(byKey);
                  });
                },
                oursIndexed, directIndexed);
    Report("full walk, index order (Cislo)", oursIndexed, directIndexed);

    // Seeks by key, reading the lock flag of the document found.
    sqlite3_stmt* seek =
        d.Prepare((std::string(kDocSelect) + " WHERE \"Cislo\"=? ORDER BY \"Cislo\",\"_RecNo\" LIMIT 1").c_str());
    double oursSeek = 0, directSeek = 0;
    BestOfThree(
        [&] {
          return TimeMs([&] {
            for (int key : seekKeys) {
              Check(t.Seek1(Variant::FromInt(key)) == kSeekFound, "Seek1");
              sink += t.Value("Uzamceni").BoolValue();
            }
          });
        },
        [&] {
          return TimeMs([&] {
            for (int key : seekKeys) {
              sqlite3_bind_int(seek, 1, key);
              Check(sqlite3_step(seek) == SQLITE_ROW, "seek");
              sink += sqlite3_column_int(seek, 2);
              sqlite3_reset(seek);
            }
          });
        },
        oursSeek, directSeek);
    Report("seeks by key", oursSeek, directSeek);
  }

  // Appending archive records (key and lock flag) to a table made like the template.
  {
    const std::string oursPath = dir + "PD001", directPath = dir + "PD002";
    for (const std::string& p : {oursPath, directPath})
      if (auto error = engine::CreateTable(p, {{"ID", FieldType::Integer}, {"Lock", FieldType::Boolean}}, {"ID"}))
        Die(*error);
    TBFTable t;
    Check(t.OpenTable(oursPath) == 0, "OpenTable archive");
    const double ours = TimeMs([&] {
      for (int i = 0; i < records; ++i) {
        t.AppendBlank();
        t.SetValue("ID", Variant::FromInt(keys[static_cast<std::size_t>(i)]));
        t.SetValue("Lock", Variant::FromBool(i % 3 == 0));
        Check(t.Post() == 0, "Post");
      }
    });
    Direct d(directPath + ".dat");
    sqlite3_stmt* begin = d.Prepare("BEGIN IMMEDIATE");
    sqlite3_stmt* insert = d.Prepare("INSERT INTO records(\"ID\",\"Lock\") VALUES(?,?)");
    sqlite3_stmt* commit = d.Prepare("COMMIT");
    const double direct = TimeMs([&] {
      for (int i = 0; i < records; ++i) {
        d.Step(begin);
        sqlite3_bind_int(insert, 1, keys[static_cast<std::size_t>(i)]);
        sqlite3_bind_int(insert, 2, i % 3 == 0);
        d.Step(insert);
        d.Step(commit);
      }
    });
    Report("append+post of archive records", ours, direct);
  }

  // Locking, changing and posting every document, as the save with a lock action does.
  {
    TBFTable t;
    Check(t.OpenTable(docs) == 0, "OpenTable");
    const double ours = TimeMs([&] {
      t.GoTop();
      while (!t.IsEof()) {
        Check(t.LockRecord() == 0, "LockRecord");
        t.EditRecord();
        t.SetValue("Uzamceni", Variant::FromBool(true));
        Check(t.Post() == 0, "Post");
        t.Skip();
      }
    });
    t.CloseTable();
    Direct d(docs + ".dat");
    sqlite3_stmt* recnos = d.Prepare("SELECT \"_RecNo\" FROM records ORDER BY \"_RecNo\"");
    sqlite3_stmt* begin = d.Prepare("BEGIN IMMEDIATE");
    sqlite3_stmt* update = d.Prepare("UPDATE records SET \"Uzamceni\"=? WHERE \"_RecNo\"=?");
    sqlite3_stmt* commit = d.Prepare("COMMIT");
    const double direct = TimeMs([&] {
      std::vector<sqlite3_int64> ids;
      while (sqlite3_step(recnos) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(recnos, 0));
      sqlite3_reset(recnos);
      for (sqlite3_int64 id : ids) {
        d.Step(begin);
        sqlite3_bind_int(update, 1, 0);
        sqlite3_bind_int64(update, 2, id);
        d.Step(update);
        d.Step(commit);
      }
    });
    Report("lock+edit+post of every document", ours, direct);
  }

  std::printf("\nresident memory during the record-order walk: %ld kB after a tenth, %ld kB at the end\n", rssEarly,
              rssAfter);
  std::printf("peak resident memory: %ld kB\n", PeakRssKb());
  if (sink == 42) std::printf(" ");
  for (const std::string& base : {docs, dir + "PD001", dir + "PD002"}) engine::DeleteTableFiles(base);
  RemoveDir(dir);
  return 0;
}
