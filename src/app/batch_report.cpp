#include "app/batch_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "archive/operation.h"
#include "archive/save.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {

std::string Hex(const char* format, unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

// "2025, 2024" as the save writes the year filter -> {"2025", "2024"}.
std::vector<std::string> YearNames(const std::string& yearFilter) {
  std::vector<std::string> names;
  for (const std::string& part : Split(yearFilter, ',')) {
    const std::string name = Trim(part);
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : separator) + p;
  return text;
}

const char* Status(const ArchiveRow& row) {
  if (!row.damage.empty()) return "damaged";
  return row.complete ? "complete" : row.running ? "running" : "incomplete";
}

// The lock flag as a word; a value of another kind (a damaged table) as its text.
std::string LockWord(const Variant& lock) {
  if (lock.IsNull()) return "null";
  if (lock.GetKind() == Variant::Kind::Bool || lock.GetKind() == Variant::Kind::Int) {
    return lock.IntValue() != 0 ? "locked" : "unlocked";
  }
  return EscapeField(lock.ToString());
}

// "a 1, b 2" of the reasons that apply.
std::string Reasons(const std::vector<std::pair<const char*, int>>& reasons) {
  std::string text;
  for (const auto& [what, count] : reasons) {
    if (count > 0) text += (text.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(count);
  }
  return text.empty() ? text : " (" + text + ")";
}

std::string TablesText(const OperationCounts& c) {
  std::string text = "tabulky " + std::to_string(c.tablesDone) + " z " + std::to_string(c.tables);
  if (c.tablesAbsent > 0) text += " (v Money chybí " + std::to_string(c.tablesAbsent) + ")";
  return text;
}

}  // namespace

std::string SecondsText(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", seconds);
  return ReplaceAll(buf, ".", std::string(1, FormatSettings().DecimalSeparator)) + " s";
}

std::string ShellCommand(const std::vector<std::string>& words, std::size_t width) {
#ifdef _WIN32
  const char* const safe = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./\\:=,+-@";
  const auto quoted = [](const std::string& w) { return "\"" + ReplaceAll(w, "\"", "\\\"") + "\""; };
  const char* const continuation = " ^";
#else
  const char* const safe = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./:=,+-@%";
  const auto quoted = [](const std::string& w) { return "'" + ReplaceAll(w, "'", "'\\''") + "'"; };
  const char* const continuation = " \\";
#endif
  std::string text, line;
  for (const std::string& word : words) {
    const std::string shown = !word.empty() && word.find_first_not_of(safe) == std::string::npos ? word : quoted(word);
    if (!line.empty() && CharCount(line) + 1 + CharCount(shown) + 2 > width) {
      text += line + continuation + "\n";
      line = "  ";
    }
    line += (line.empty() || line == "  " ? "" : " ") + shown;
  }
  return text + line;
}

std::string EscapeField(const std::string& text) {
  std::string out;
  for (const char32_t c : Utf8ToCodePoints(text)) {
    switch (c) {
      case U'\\':
        out += "\\\\";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\n':
        out += "\\n";
        break;
      default:
        if (c < 0x20 || c == 0x7F)
          out += Hex("\\x%02X", static_cast<unsigned>(c));
        else if (c >= 0x80 && c <= 0x9F)
          out += Hex("\\u%04X", static_cast<unsigned>(c));
        else
          AppendUtf8(out, c);
    }
  }
  return out;
}

std::string IsoDateTime(const std::string& date, const std::string& time) {
  TDateTime d = 0, t = 0;
  if (!TryStrToDate(date, d)) return {};
  if (!TryStrToTime(time, t)) t = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  DecodeDate(d, year, month, day);
  DecodeTime(t, hour, minute, second, msec);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  return buf;
}

nlohmann::ordered_json ArchiveJson(const ArchiveRow& r) {
  int number = 0;
  const bool numbered = ParseInt32(r.Dir, number) && std::to_string(number) == r.Dir;
  // With an offset where the UTC time of saving is known; an archive of an earlier version has
  // only its local date and time.
  const std::string utc = LocalIsoTime(r.savedUtc);
  const std::string saved = utc.empty() ? IsoDateTime(r.MapDate, r.MapTime) : utc;
  return {
      {"number", numbered ? nlohmann::ordered_json(number) : nlohmann::ordered_json(nullptr)},
      {"dir", r.Dir},
      {"status", Status(r)},
      // A name left blank is stored as the save's placeholder text: no name for a script.
      {"name", r.MapName == kUnnamedArchiveName ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.MapName)},
      {"date", r.MapDate},
      {"time", r.MapTime},
      {"saved", saved.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(saved)},
      {"agenda", r.AgendaName},
      {"years", YearNames(r.yearFilter)},
      {"modules", r.moduleCodes},
      {"savedUtc", r.savedUtc.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.savedUtc)},
      {"sequence", r.sequence > 0 ? nlohmann::ordered_json(r.sequence) : nlohmann::ordered_json(nullptr)},
      {"complete", r.complete},
      {"damage", r.damage.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.damage)}};
}

nlohmann::ordered_json CountsJson(const OperationCounts& c) {
  return {{"tables", c.tables},       {"tablesDone", c.tablesDone},   {"tablesAbsent", c.tablesAbsent},
          {"documents", c.documents}, {"recorded", c.recorded},       {"written", c.written},
          {"changed", c.changed},     {"unusableKey", c.unusableKey}, {"gone", c.gone}};
}

void PrintJson(const nlohmann::ordered_json& document, std::ostream& out) {
  // Texts come from files anybody could have written: a byte that is no UTF-8 is replaced rather
  // than ending the output.
  out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  out.flush();
}

nlohmann::ordered_json JobJson(const char* command, const char* status) {
  return {{"schema", kBatchJsonSchema}, {"command", command}, {"status", status}};
}

void PrintArchiveList(const ArchiveList& list, bool json, std::ostream& out) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const ArchiveRow& r : list.Rows()) {
    const std::vector<std::string>& modules = r.moduleCodes;
    if (!json) {
      out << EscapeField(r.Dir) << '\t' << Status(r) << '\t' << EscapeField(r.MapName) << '\t' << EscapeField(r.MapDate)
          << '\t' << EscapeField(r.MapTime) << '\t' << EscapeField(r.yearFilter) << '\t' << Join(modules, ",") << '\n';
      continue;
    }
    rows.push_back(ArchiveJson(r));
  }
  if (json) {
    nlohmann::ordered_json doc = JobJson("list", "ok");
    doc["archives"] = std::move(rows);
    PrintJson(doc, out);
  }
  out.flush();
}

void PrintErrorJson(const char* command, const char* status, int exitStatus, const std::vector<std::string>& messages,
                    std::ostream& out) {
  nlohmann::ordered_json doc = JobJson(command, status);
  doc["exitStatus"] = exitStatus;
  doc["messages"] = messages;
  PrintJson(doc, out);
}

void PrintCheck(const std::vector<CheckedArchive>& checked, bool json, std::ostream& out) {
  bool sound = true;
  nlohmann::ordered_json archives = nlohmann::ordered_json::array();
  for (const CheckedArchive& c : checked) {
    sound = sound && c.problems.empty();
    if (json) {
      archives.push_back({{"archive", ArchiveJson(c.row)},
                          {"ok", c.problems.empty()},
                          {"records", c.records},
                          {"problems", c.problems}});
      continue;
    }
    out << "Archiv " << EscapeField(c.row.Dir) << " (\"" << EscapeField(c.row.MapName) << "\"): "
        << (c.problems.empty() ? "v pořádku, záznamů " + std::to_string(c.records) : std::string("poškozený")) << "\n";
    for (const std::string& p : c.problems) out << "  " << EscapeField(p) << "\n";
  }
  if (json) {
    nlohmann::ordered_json doc = JobJson("check", sound ? "ok" : "damaged");
    doc["archives"] = archives;
    PrintJson(doc, out);
  }
  out.flush();
}

namespace {
// The module code and the year's name of an archive table, as fields a script need not parse out
// of the Czech label.
std::pair<std::string, std::string> ModuleAndYear(const FileListRow& row) {
  const std::string code = row.FileName.substr(0, 2);
  for (const ModuleInfo& m : kModules) {
    if (code == m.code && StartsWith(row.WorkingStr, m.workingText)) {
      return {code, row.WorkingStr.substr(std::string(m.workingText).size())};
    }
  }
  return {code, std::string()};
}
}  // namespace

void PrintInspectionJson(const ArchiveRow& row, const ArchiveInspection& inspection, bool documents, std::ostream& out,
                         bool dryRun) {
  nlohmann::ordered_json doc = dryRun ? JobJson("restore", "dry-run") : JobJson("show", "ok");
  doc["archive"] = ArchiveJson(row);
  if (dryRun) {
    const TableInspection total = InspectionTotals(inspection);
    doc["counts"] = {{"recorded", total.recorded}, {"changed", total.differing}, {"gone", total.missing}};
  }
  nlohmann::ordered_json tables = nlohmann::ordered_json::array();
  for (const TableInspection& t : inspection.tables) {
    const auto [module, year] = ModuleAndYear(t.row);
    tables.push_back({{"table", t.row.WorkingStr},
                      {"module", module},
                      {"year", year},
                      {"money", StoredPathNative(t.row.MoneyFile)},
                      {"moneyTableExists", t.moneyTableExists},
                      {"recorded", t.recorded},
                      {"locked", t.locked},
                      {"differing", t.differing},
                      {"missing", t.missing}});
  }
  doc["tables"] = tables;
  if (documents) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const DocumentInspection& d : inspection.documents) {
      list.push_back({{"table", inspection.tables[d.table].row.WorkingStr},
                      {"key", d.key},
                      {"archived", LockWord(d.archived)},
                      {"now", d.exists ? LockWord(d.current) : std::string("missing")}});
    }
    doc["documents"] = list;
  }
  PrintJson(doc, out);
}

void PrintJobJson(const char* command, const char* status, const ArchiveRow* archive, const char* action,
                  const OperationCounts* counts, double seconds, const nlohmann::ordered_json& extra,
                  std::ostream& out) {
  nlohmann::ordered_json doc = JobJson(command, status);
  doc["archive"] = archive ? ArchiveJson(*archive) : nlohmann::ordered_json(nullptr);
  if (action) doc["action"] = action;
  if (counts) doc["counts"] = CountsJson(*counts);
  for (const auto& [key, value] : extra.items()) doc[key] = value;
  doc["seconds"] = seconds;
  PrintJson(doc, out);
}

void PrintInspection(const ArchiveRow& row, const Recapitulation& recap, const ArchiveInspection& inspection,
                     InspectionView view, std::ostream& out) {
  // In a Czech line the state is the window's word; the list's column keeps the word for scripts.
  const char* marker = !row.damage.empty() ? kDamagedMarker
                       : recap.complete    ? "(úplný)"
                       : row.running       ? kRunningMarker
                                           : kIncompleteMarker;
  out << "Archiv: " << EscapeField(row.Dir) << " " << marker << "\n"
      << "Název archivu: " << EscapeField(recap.Name) << "\n"
      << "Název agendy: " << EscapeField(recap.AgendaName) << "\n"
      << "Datum uložení: " << EscapeField(recap.Date) << "\n"
      << "Čas uložení: " << EscapeField(recap.Time) << "\n"
      << "Filtr roků: " << EscapeField(recap.yearFilter) << "\n"
      << "Filtr dokladů: " << EscapeField(recap.documentFilter) << "\n";
  if (!recap.complete) out << kIncompleteRecapText << "\n";

  out << "\ntabulka\tMoney\tv archivu\tzamčené\tliší se\tnejsou v Money\n";
  for (const TableInspection& t : inspection.tables) {
    out << EscapeField(t.row.WorkingStr) << '\t' << EscapeField(StoredPathNative(t.row.MoneyFile)) << '\t' << t.recorded
        << '\t' << t.locked << '\t' << t.differing << '\t' << t.missing << '\n';
  }
  const TableInspection total = InspectionTotals(inspection);
  out << "celkem\t\t" << total.recorded << '\t' << total.locked << '\t' << total.differing << '\t' << total.missing
      << '\n';

  if (view != InspectionView::Counts) {
    out << "\ntabulka\tčíslo\tv archivu\tnyní\n";
    for (const DocumentInspection& d : inspection.documents) {
      // A document Money no longer has is beyond any restore: the dry run leaves it out.
      if (view == InspectionView::DryRun && !d.exists) continue;
      out << EscapeField(inspection.tables[d.table].row.WorkingStr) << '\t' << d.key << '\t' << LockWord(d.archived)
          << '\t' << (d.exists ? LockWord(d.current) : "missing") << '\n';
    }
  }
  out.flush();
}

namespace {
// Documents left as they were, each kind with its reason; then those a failure or a stop left
// unwritten: a block that could not be committed changed nothing, and its documents are neither
// changed nor "unchanged" in the sense of the summary.
std::string UnchangedText(int documents, int changed, const std::vector<std::pair<const char*, int>>& reasons) {
  int unchanged = 0;
  for (const auto& [reason, count] : reasons) unchanged += count;
  const int unwritten = documents - changed - unchanged;
  return ", beze změny " + std::to_string(unchanged) + Reasons(reasons) +
         (unwritten > 0 ? ", nezapsáno " + std::to_string(unwritten) + " (operace skončila dřív, než se zapsaly)" : "");
}
}  // namespace

std::string SaveSummary(const OperationCounts& c, LockAction action, bool finished, double seconds) {
  const bool acted = action != LockAction::NoAction;
  return std::string(finished ? "Souhrn uložení: " : "Souhrn uložení (nedokončeno): ") + TablesText(c) + ", doklady " +
         std::to_string(c.documents) + ", zaznamenáno " + std::to_string(c.recorded) + ", změněno " +
         std::to_string(c.changed) +
         UnchangedText(c.documents, c.changed,
                       {{"bez akce", acted ? 0 : c.recorded},
                        {"stav už odpovídal", c.written - c.changed},
                        {"číslo dokladu nelze zaznamenat", c.unusableKey},
                        {"mezitím smazané", c.gone}}) +
         ", " + SecondsText(seconds) + ".";
}

std::string RestoreSummary(const OperationCounts& c, bool finished, double seconds) {
  return std::string(finished ? "Souhrn obnovení: " : "Souhrn obnovení (nedokončeno): ") + TablesText(c) +
         ", záznamy archivu " + std::to_string(c.documents) + ", změněno " + std::to_string(c.changed) +
         UnchangedText(c.documents, c.changed,
                       {{"stav už odpovídal", c.written - c.changed}, {"v Money už nejsou", c.gone}}) +
         ", " + SecondsText(seconds) + ".";
}

std::string WrapForConsole(const std::string& text, std::size_t width) {
  // Line by line: a line that fits (a printed command among them) stays as it is.
  if (text.find('\n') != std::string::npos) {
    std::string out;
    for (const std::string& line : Split(text, '\n')) out += (out.empty() ? "" : "\n") + WrapForConsole(line, width);
    return out;
  }
  std::string out, line;
  for (const std::string& word : Split(text, ' ')) {
    if (!line.empty() && CharCount(line) + 1 + CharCount(word) > width) {
      out += line + "\n";
      line = "  ";
    }
    line += (line.empty() || line == "  " ? "" : " ") + word;
  }
  return out + line;
}

}  // namespace vorlend
