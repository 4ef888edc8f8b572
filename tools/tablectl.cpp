// tablectl: a table of our table component from the command line.
//   tablectl create TABLE FIELD:TYPE... [--index NAME]...
//   tablectl dump TABLE [--order INDEX]
//   tablectl set TABLE --index INDEX --key KEY [--key KEY]... FIELD=VALUE...
//   tablectl hold TABLE --index INDEX --key KEY [--key KEY]... [FIELD=VALUE...]
//   tablectl check TABLE
// Types: text, integer, boolean, double, date, untyped. Values in dump and on the command line:
// \N is Null; text escapes \\ \t \n \r \0; booleans 1/0; dates yyyy-mm-dd[ HH:MM:SS].
// `hold` takes the record's lock, prints "locked" and holds it until its standard input closes
// (or it is killed); values given to it are written and posted when it lets go.
// Exit status: 0 success, 1 failure, 2 usage error.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/bftable_engine.h"
#include "platform/console.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/text.h"

using namespace vorlend;
using engine::FieldType;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: tablectl create TABLE FIELD:TYPE... [--index NAME]...\n"
    "       tablectl dump TABLE [--order INDEX]\n"
    "       tablectl set TABLE --index INDEX --key KEY [--key KEY]... FIELD=VALUE...\n"
    "       tablectl hold TABLE --index INDEX --key KEY [--key KEY]... [FIELD=VALUE...]\n"
    "       tablectl check TABLE\n"
    "TABLE is the path without extension. Types: text, integer, boolean, double, date, untyped.\n"
    "Values: \\N is Null; text escapes \\\\ \\t \\n \\r \\0; booleans 1/0; dates yyyy-mm-dd[ HH:MM:SS].\n"
    "`hold` takes the record's lock, prints \"locked\" and holds it until its standard input closes.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

// One line that names what is wrong; nothing has been opened.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "tablectl: %s (tablectl --help shows the usage)\n", problem.c_str());
  return kExitUsage;
}

// -h or --help standing as a word of its own, not as the value of an option.
bool HelpAsked(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return true;
    if (i >= 2 && (arg == "--order" || arg == "--index" || arg == "--key")) ++i;
  }
  return false;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tablectl: %s\n", message.c_str());
  return kExitFailure;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i]) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case '0':
        out += '\0';
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

std::string FormatDouble(double d) {
  char buf[40];
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d) break;
  }
  return buf;
}

std::string FormatDate(double d) {
  int y, m, day, h, mi, s, ms;
  DecodeDate(d, y, m, day);
  DecodeTime(d, h, mi, s, ms);
  char buf[40];
  if (h == 0 && mi == 0 && s == 0 && ms == 0)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, day);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day, h, mi, s);
  return buf;
}

std::string Format(const Variant& v) {
  switch (v.GetKind()) {
    case Variant::Kind::Null:
      return "\\N";
    case Variant::Kind::String:
      return Escape(v.Text());
    case Variant::Kind::Bool:
      return v.BoolValue() ? "1" : "0";
    case Variant::Kind::Int:
      return std::to_string(v.IntValue());
    case Variant::Kind::Double:
      return FormatDouble(v.DoubleValue());
    case Variant::Kind::Date:
      return FormatDate(v.DoubleValue());
  }
  return {};
}

bool ParseDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(out);
}

bool ParseDate(const std::string& text, double& out) {
  int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &m, &d, &h, &mi, &s, &tail);
  if ((n == 3 || n == 5 || n == 6) && IsValidDate(y, m, d) && h < 24 && mi < 60 && s < 60 && h >= 0 && mi >= 0 &&
      s >= 0) {
    out = EncodeDate(y, m, d) + EncodeTime(h, mi, s);
    return true;
  }
  return ParseDouble(text, out);
}

// A command-line value as a value of the field's type.
bool ParseValue(const std::string& text, FieldType type, Variant& out) {
  if (text == "\\N") {
    out = Variant::Null();
    return true;
  }
  int i = 0;
  double d = 0;
  switch (type) {
    case FieldType::Text:
      out = Variant::FromString(Unescape(text));
      return true;
    case FieldType::Integer:
      if (!ParseInt32(text, i)) return false;
      out = Variant::FromInt(i);
      return true;
    case FieldType::Boolean:
      if (text == "1" || SameText(text, "true"))
        out = Variant::FromBool(true);
      else if (text == "0" || SameText(text, "false"))
        out = Variant::FromBool(false);
      else
        return false;
      return true;
    case FieldType::Double:
      if (!ParseDouble(text, d)) return false;
      out = Variant::FromDouble(d);
      return true;
    case FieldType::Date:
      if (!ParseDate(text, d)) return false;
      out = Variant::FromDate(d);
      return true;
    case FieldType::Untyped:
      if (ParseInt32(text, i))
        out = Variant::FromInt(i);
      else if (ParseDouble(text, d))
        out = Variant::FromDouble(d);
      else
        out = Variant::FromString(Unescape(text));
      return true;
  }
  return false;
}

int Create(const std::string& path, const std::vector<std::string>& args) {
  std::vector<engine::FieldDef> fields;
  std::vector<std::string> indexes;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--index") {
      if (++i == args.size()) return Usage("--index needs a name");
      indexes.push_back(args[i]);
      continue;
    }
    const std::size_t colon = args[i].rfind(':');
    if (colon == std::string::npos) return Usage("unexpected argument " + args[i] + " (a field is NAME:TYPE)");
    const auto type = engine::ParseFieldType(args[i].substr(colon + 1));
    if (!type) return Usage("unknown type in " + args[i]);
    fields.push_back({args[i].substr(0, colon), *type});
  }
  if (fields.empty()) return Usage("no fields");
  if (auto error = engine::CreateTable(path, fields, indexes)) return Fail(*error);
  return 0;
}

// The words after TABLE of dump, set and hold, read before the table is opened.
struct RecordArgs {
  std::string order;                  // dump: --order
  std::string index;                  // set, hold: --index
  std::vector<std::string> keys;      // set, hold: each --key
  std::vector<std::string> settings;  // set, hold: FIELD=VALUE
};

// An empty text, or the usage problem.
std::string ParseRecordArgs(const std::string& command, const std::vector<std::string>& args, RecordArgs& r) {
  const bool dump = command == "dump";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue = dump ? a == "--order" : (a == "--index" || a == "--key");
    if (takesValue) {
      if (i + 1 == args.size()) return a + " needs a value";
      const std::string& value = args[++i];
      if (a == "--order")
        r.order = value;
      else if (a == "--index")
        r.index = value;
      else
        r.keys.push_back(value);
    } else if (!dump && a.find('=') != std::string::npos && a.rfind("-", 0) != 0) {
      r.settings.push_back(a);
    } else {
      return "unexpected argument " + a;
    }
  }
  if (dump) return {};
  if (r.index.empty() || r.keys.empty()) return "--index and --key are required";
  if (command == "set" && r.settings.empty()) return "nothing to set";
  return {};
}

int Dump(TBFTable& table, const RecordArgs& r) {
  engine::Table& t = EngineTableOf(table);
  if (!r.order.empty() && !t.SetOrder(r.order)) return Fail("no index " + r.order + " in " + t.DataFile());
  std::string line;
  for (std::size_t j = 0; j < t.Fields().size(); ++j) line += (j ? "\t" : "") + t.Fields()[j].name;
  std::printf("%s\n", line.c_str());
  for (bool more = t.GoTop(); more && !t.Eof(); t.Skip(), more = !t.Eof()) {
    line.clear();
    for (std::size_t j = 0; j < t.Fields().size(); ++j) line += (j ? "\t" : "") + Format(t.Value(static_cast<int>(j)));
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  return 0;
}

struct Assignment {
  int field;
  Variant value;
};

// Seeks the record and converts the FIELD=VALUE words. Returns an exit status to end with, or -1
// when the record is current.
int FindRecord(TBFTable& table, const RecordArgs& r, std::vector<Assignment>& assignments) {
  engine::Table& t = EngineTableOf(table);
  if (!t.SetOrder(r.index)) return Fail("no index " + r.index + " in " + t.DataFile());
  const std::vector<std::string> parts = Split(t.Order(), '+');
  if (r.keys.size() > parts.size()) return Usage("more keys than the index has fields");
  std::vector<Variant> keys;
  for (std::size_t k = 0; k < r.keys.size(); ++k) {
    const engine::FieldDef& f = t.Fields()[static_cast<std::size_t>(t.FieldIndex(parts[k]))];
    Variant key;
    if (!ParseValue(r.keys[k], f.type, key))
      return Fail("not a " + std::string(engine::FieldTypeName(f.type)) + " key: " + r.keys[k]);
    keys.push_back(key);
  }
  for (const std::string& s : r.settings) {
    const std::size_t eq = s.find('=');
    const int field = t.FieldIndex(s.substr(0, eq));
    if (field < 0) return Fail("no field " + s.substr(0, eq) + " in " + t.DataFile());
    Assignment a{field, {}};
    const FieldType type = t.Fields()[static_cast<std::size_t>(field)].type;
    if (!ParseValue(s.substr(eq + 1), type, a.value))
      return Fail("not a " + std::string(engine::FieldTypeName(type)) + " value: " + s);
    assignments.push_back(a);
  }
  if (!t.Seek(keys)) return Fail("no record with that key in " + t.DataFile());
  return -1;
}

int Set(TBFTable& table, const RecordArgs& r) {
  std::vector<Assignment> assignments;
  if (const int rc = FindRecord(table, r, assignments); rc >= 0) return rc;
  engine::Table& t = EngineTableOf(table);
  if (!t.LockRecord()) return Fail(t.LastError());
  for (const Assignment& a : assignments) t.SetValue(a.field, a.value);
  if (!t.Post()) return Fail(t.LastError());
  return 0;
}

int Hold(TBFTable& table, const RecordArgs& r) {
  std::vector<Assignment> assignments;
  if (const int rc = FindRecord(table, r, assignments); rc >= 0) return rc;
  engine::Table& t = EngineTableOf(table);
  if (!t.LockRecord()) return Fail(t.LastError());
  for (const Assignment& a : assignments) t.SetValue(a.field, a.value);
  std::printf("locked\n");
  std::fflush(stdout);
  char buf[256];
  for (;;) {
    if (std::fread(buf, 1, sizeof buf, stdin) > 0) continue;
    if (!std::ferror(stdin) || errno != EINTR) break;
    std::clearerr(stdin);
  }
  if (!assignments.empty() && !t.Post()) return Fail(t.LastError());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  vorlend::ConsoleArguments arguments(argc, argv);
  argc = arguments.Count();
  argv = arguments.Argv();
  vorlend::IgnoreBrokenPipes();
  if (HelpAsked(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2) return Usage("no command");
  const std::string command = argv[1];
  if (command != "create" && command != "dump" && command != "set" && command != "hold" && command != "check") {
    return Usage("unknown command " + command);
  }
  if (argc < 3) return Usage(command + " needs a table");
  // A table path that begins with "-" is an option in the wrong place.
  if (argv[2][0] == '-') return Usage("unexpected argument " + std::string(argv[2]) + " where the table belongs");
  const std::string path = NormaliseInputPath(argv[2]);
  const std::vector<std::string> args(argv + 3, argv + argc);
  try {
    if (command == "create") return Create(path, args);
    if (command == "check") {
      if (!args.empty()) return Usage("unexpected argument " + args[0]);
      const std::string result = engine::CheckTable(path);
      std::printf("%s\n", result.c_str());
      return result == "ok" ? 0 : kExitFailure;
    }
    RecordArgs r;
    if (const std::string problem = ParseRecordArgs(command, args, r); !problem.empty()) return Usage(problem);
    TBFTable table;
    // The table component speaks the add-on's Czech; this developer tool says it in English.
    if (table.OpenTable(path) != 0) {
      return Fail(FileExists(path + ".dat") ? path + ".dat cannot be opened as a table (damaged, or not one of ours)"
                                            : "no table " + path + ".dat");
    }
    if (command == "dump") return Dump(table, r);
    if (command == "set") return Set(table, r);
    return Hold(table, r);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
