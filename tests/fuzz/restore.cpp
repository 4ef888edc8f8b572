// The restore over a damaged or hostile file list: the input is the archive's info.tab, and
// RestoreLocks runs against a small real agenda.
//
// The fixture: agenda AGENDA.001 with the years ROK.001 (POKLKNIH, SKSEZDOK) and ROK.002
// (POKLKNIH), every document unlocked; archive 1 with the tables PD001, SD001, PD002, an empty
// one and a damaged one whose key is no whole number. Outside them, bait that a restore must never
// touch: another archive, another agenda, a table in the data directory and one beside it.
//
// Properties:
// - every table the process opens while the restore runs lies inside the agenda or archive 1
//   (every SQLite open is watched), and no file outside them changes;
// - a failure is reported in exactly one message and leaves every document as it was (the whole
//   archive is read and every table opened before the first change); no question is asked;
// - a success without any message leaves each listed document with the value of the last row
//   that names it, every other document as it was; the archive's tables never change.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "archive/file_list.h"
#include "archive/restore.h"
#include "engine/table_files.h"
#include "fuzz_support.h"
#include "host/bftable.h"
#include "platform/files.h"
#include "platform/text.h"

using namespace vorlend;
using vorlend::fuzz::Printable;
namespace fs = std::filesystem;

namespace {

struct Record {
  Variant key;
  Variant lock;
};

struct ArchiveTable {
  std::string name;
  std::vector<Record> records;
  bool damaged = false;  // the key field is a double
};

struct MoneyTable {
  std::string relative;  // to the agenda, "/" as separator
  std::string keyField;
  std::vector<std::int32_t> keys;
};

const std::vector<MoneyTable> kMoney = {
    {"ROK.001/POKLKNIH", "Cislo", {1, 2, 3, 4, 5, 6}},
    {"ROK.001/SKSEZDOK", "CDokladu", {1, 2, 3, 4}},
    {"ROK.002/POKLKNIH", "Cislo", {10, 11, 12}},
};

Variant B(bool b) {
  return Variant::FromBool(b);
}
Variant I(std::int32_t i) {
  return Variant::FromInt(i);
}

const std::vector<ArchiveTable> kArchive = {
    {"PD001", {{I(1), B(true)}, {I(2), B(false)}, {I(3), B(true)}, {I(99), B(true)}, {I(6), Variant::Null()}}},
    {"SD001", {{I(1), B(true)}, {I(4), B(true)}, {I(7), B(true)}}},
    {"PD002", {{I(12), B(true)}, {I(10), B(true)}}},
    {"EMPTY1", {}},
    {"XD001", {{Variant::FromDouble(2.5), B(true)}}, true},
};

std::string LockText(const Variant& v) {
  if (v.IsNull()) return "Null";
  bool b = false;
  return v.ToBool(b) ? (b ? "1" : "0") : "?";
}

using State = std::map<std::string, std::map<std::int32_t, std::string>>;  // table -> key -> lock

struct Fixture {
  std::string sandbox, data, agenda, archive;
  std::string canonicalAgenda, canonicalArchive;
  HostContext ctx;
  State baseline;
  std::map<std::string, std::string> outside;  // every other path -> size and modification time
};

void Must(const std::optional<std::string>& error) {
  if (error) throw std::runtime_error(*error);
}

void MakeMoneyTable(const std::string& path, const std::string& keyField, const std::vector<std::int32_t>& keys) {
  using engine::FieldType;
  Must(engine::CreateTable(
      path, {{keyField, FieldType::Integer}, {"Uzamceni", FieldType::Boolean}, {"Partner", FieldType::Text}},
      {keyField}));
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("open " + path);
  for (std::int32_t key : keys) {
    t.AppendBlank();
    t.SetValue(keyField, I(key));
    t.SetValue("Uzamceni", B(false));
    t.SetValue("Partner", Variant::FromString("Odběratel " + std::to_string(key)));
    if (t.Post() != 0) throw std::runtime_error("post " + path);
  }
}

void MakeArchiveTable(const std::string& path, const ArchiveTable& a) {
  using engine::FieldType;
  Must(engine::CreateTable(
      path, {{"ID", a.damaged ? FieldType::Double : FieldType::Integer}, {"Lock", FieldType::Boolean}}, {"ID"}));
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("open " + path);
  for (const Record& r : a.records) {
    t.AppendBlank();
    t.SetValue("ID", r.key);
    t.SetValue("Lock", r.lock);
    if (t.Post() != 0) throw std::runtime_error("post " + path);
  }
}

std::map<std::int32_t, std::string> ReadMoney(const std::string& path, const std::string& keyField) {
  std::map<std::int32_t, std::string> out;
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("open " + path);
  if (t.RecCount() > 0 && t.GoTop() == 0) {
    while (!t.IsEof()) {
      std::int32_t key = 0;
      t.Value(keyField).ToInt(key);
      out[key] = LockText(t.Value("Uzamceni"));
      t.Skip();
    }
  }
  return out;
}

State ReadState(const Fixture& f) {
  State s;
  for (const MoneyTable& m : kMoney) s[m.relative] = ReadMoney(f.agenda + m.relative, m.keyField);
  return s;
}

void ResetState(const Fixture& f) {
  for (const MoneyTable& m : kMoney) {
    TBFTable t;
    if (t.OpenTable(f.agenda + m.relative) != 0 || t.SetOrder(m.keyField) != 0) throw std::runtime_error("reset");
    for (std::int32_t key : m.keys) {
      if (t.Seek1(I(key)) != kSeekFound || t.LockRecord() != 0) throw std::runtime_error("reset");
      t.EditRecord();
      t.SetValue("Uzamceni", B(false));
      if (t.Post() != 0) throw std::runtime_error("reset");
    }
  }
}

bool Inside(const std::string& path, const std::string& dir) {
  return path.compare(0, dir.size(), dir) == 0;
}

// Everything in the sandbox outside the agenda and archive 1: its size and modification time.
std::map<std::string, std::string> Outside(const Fixture& f) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(f.sandbox); it != fs::recursive_directory_iterator(); ++it) {
    const std::string p = it->path().string();
    if (Inside(p + "/", f.agenda) || Inside(p + "/", f.archive)) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    ::lstat(p.c_str(), &st);
    out[p] =
        std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return out;
}

Fixture* g_fixture = nullptr;
bool g_watching = false;
std::string g_input;  // for the report of a broken property

const Fixture& TheFixture() {
  if (g_fixture) return *g_fixture;
  auto* f = new Fixture;
  f->sandbox = fuzz::Sandbox();
  f->data = f->sandbox + "DATA/";
  f->agenda = f->data + "AGENDA.001/";
  for (const MoneyTable& m : kMoney) {
    ForceDirectories(ExtractFilePath(f->agenda + m.relative));
    MakeMoneyTable(f->agenda + m.relative, m.keyField, m.keys);
  }
  f->ctx.SetPaths(f->agenda, f->data);
  f->ctx.AgendaExt = "001";
  f->archive = f->ctx.ArchiveRoot() + "1/";
  ForceDirectories(f->archive);
  for (const ArchiveTable& a : kArchive) MakeArchiveTable(f->archive + a.name, a);
  // Bait: another archive of the same agenda, another agenda, a table in the data directory and
  // one beside the data directory.
  ForceDirectories(f->ctx.ArchiveRoot() + "2");
  MakeArchiveTable(f->ctx.ArchiveRoot() + "2/PD001", kArchive[0]);
  ForceDirectories(f->data + "AGENDA.002/ROK.001");
  MakeMoneyTable(f->data + "AGENDA.002/ROK.001/POKLKNIH", "Cislo", {1, 2, 3});
  MakeMoneyTable(f->data + "POKLKNIH", "Cislo", {1, 2, 3});
  ForceDirectories(f->sandbox + "OUTSIDE");
  MakeMoneyTable(f->sandbox + "OUTSIDE/POKLKNIH", "Cislo", {1, 2, 3});
  MakeArchiveTable(f->sandbox + "OUTSIDE/PD001", kArchive[0]);
  f->canonicalAgenda = fs::weakly_canonical(f->agenda).string();
  f->canonicalArchive = fs::weakly_canonical(f->archive).string();
  if (f->canonicalAgenda.back() != '/') f->canonicalAgenda += "/";
  if (f->canonicalArchive.back() != '/') f->canonicalArchive += "/";
  f->baseline = ReadState(*f);
  f->outside = Outside(*f);
  g_fixture = f;
  return *f;
}

std::string Describe(const State& s) {
  std::string out;
  for (const auto& [table, locks] : s) {
    out += table + ":";
    for (const auto& [key, lock] : locks) out += " " + std::to_string(key) + "=" + lock;
    out += "\n";
  }
  return out;
}

const ArchiveTable* FindArchiveTable(const std::string& fileName) {
  for (const ArchiveTable& a : kArchive) {
    if (SameText(a.name, fileName)) return &a;
  }
  return nullptr;
}

const MoneyTable* FindMoneyTable(const std::string& moneyFile) {
  std::string path = moneyFile;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  for (const MoneyTable& m : kMoney) {
    if (SameText(m.relative, path)) return &m;
  }
  return nullptr;
}

bool HasControlCharacters(const FileList& rows) {
  for (const FileListRow& r : rows) {
    for (const std::string* v : {&r.FileName, &r.MoneyFile}) {
      for (char c : *v) {
        if (static_cast<unsigned char>(c) < 0x20) return true;
      }
    }
  }
  return false;
}

// The documents after a restore that succeeded: rows in order, each archived key that exists in
// its Money table given the archived value.
State ExpectedAfterSuccess(const State& baseline, const FileList& rows) {
  State s = baseline;
  for (const FileListRow& row : rows) {
    const ArchiveTable* a = FindArchiveTable(row.FileName);
    const MoneyTable* m = FindMoneyTable(row.MoneyFile);
    if (!a || !m) continue;
    for (const Record& r : a->records) {
      std::int32_t key = 0;
      if (r.key.ToInt(key) && s[m->relative].count(key)) s[m->relative][key] = LockText(r.lock);
    }
  }
  return s;
}

}  // namespace

extern "C" int __real_sqlite3_open_v2(const char* filename, sqlite3** db, int flags, const char* vfs);

// Every database the process opens while a restore runs must lie inside the agenda or the archive.
extern "C" int __wrap_sqlite3_open_v2(const char* filename, sqlite3** db, int flags, const char* vfs) {
  if (g_watching && g_fixture) {
    // A URI ("file:PATH?immutable=1", a table read as it stands) names its file in the path part,
    // with "%", "?" and "#" escaped.
    std::string path = filename;
    if ((flags & SQLITE_OPEN_URI) && path.rfind("file:", 0) == 0) {
      path = path.substr(5, path.find('?') == std::string::npos ? std::string::npos : path.find('?') - 5);
      for (std::size_t at = path.find('%'); at != std::string::npos && at + 2 < path.size();
           at = path.find('%', at + 1)) {
        path.replace(at, 3, 1, static_cast<char>(std::stoi(path.substr(at + 1, 2), nullptr, 16)));
      }
    }
    std::error_code ec;
    const std::string canonical = fs::weakly_canonical(path, ec).string();
    FUZZ_CHECK(!ec && (Inside(canonical, g_fixture->canonicalAgenda) || Inside(canonical, g_fixture->canonicalArchive)),
               "the restore opened " + Printable(filename) + " (" + Printable(canonical) + ")\ninfo.tab " +
                   Printable(g_input));
  }
  return __real_sqlite3_open_v2(filename, db, flags, vfs);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Fixture& f = TheFixture();
  g_input.assign(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(WriteFileAtomic(f.archive + "info.tab", g_input), "the sandbox takes no file");

  fuzz::CountingDialogs dialogs;
  fuzz::QuietProgress progress;
  TBFTable money, lock;
  FileList list;
  RestoreJob job{f.ctx, dialogs, progress, money, lock, list};
  g_watching = true;
  const Result restored = RestoreLocks(job, f.archive);
  SayFailure(restored, dialogs);
  const int result = restored.IsOk() ? 0 : -1;
  g_watching = false;
  FUZZ_CHECK(!money.IsOpen() && !lock.IsOpen(), "a table was left open\ninfo.tab " + Printable(g_input));

  std::string messages;
  for (const auto& m : dialogs.messages) messages += "message: " + m + "\n";
  const std::string detail = "info.tab " + Printable(g_input) + "\nresult " + std::to_string(result) + "\n" + messages;
  FUZZ_CHECK(dialogs.questions.empty(), detail + "question: " + dialogs.questions.front());
  FUZZ_CHECK(result == 0 || result == -1, detail);
  FUZZ_CHECK(dialogs.messages.size() == (result == 0 ? 0u : 1u), detail);

  const State state = ReadState(f);
  if (result != 0) {
    FUZZ_CHECK(state == f.baseline, detail + "a failed restore changed documents:\n" + Describe(state));
  } else {
    const FileList rows = DecodeFileList(g_input);
    if (!HasControlCharacters(rows)) {
      const State want = ExpectedAfterSuccess(f.baseline, rows);
      FUZZ_CHECK(state == want, detail + "documents:\n" + Describe(state) + "expected:\n" + Describe(want));
    }
  }
  if (state != f.baseline) ResetState(f);

  FUZZ_CHECK(Outside(f) == f.outside, detail + "a file outside the agenda and the archive changed");
  for (const ArchiveTable& a : kArchive) {
    if (a.damaged) continue;
    TBFTable t;
    FUZZ_CHECK(t.OpenTable(f.archive + a.name) == 0 && t.RecCount() == static_cast<int>(a.records.size()),
               detail + "archive table " + a.name + " changed");
  }
  return 0;
}
