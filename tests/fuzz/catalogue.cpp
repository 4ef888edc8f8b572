// The catalogue and the recapitulation over a damaged or hostile description file "info".
//
// Archive 1 of the fixture gets the input as its "info" (with or without an info.tab beside it);
// archive 2 is a complete archive of the same agenda, archive 3 one of another agenda. The first
// byte chooses how "info" is made:
// - raw: the input bytes are the file. A small reader of the documented ini rules, kept apart from
//   the add-on's, says which line is MAIN/Correct, MAIN/AgendaExt and every other key; the
//   catalogue must list archive 1 exactly when that Correct reads non-zero (or an info.tab
//   stands beside it) and that AgendaExt names this agenda, and show what those keys hold;
// - written: "info" is written as the save writes it, with any text as the name, date, time,
//   agenda name and years; whatever those values hold, completeness and agenda are those written.
// Archives 2 and 3 are listed and left out as always; nothing crashes.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "archive/catalogue.h"
#include "archive/modules.h"
#include "fuzz_support.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

using namespace vorlend;
using vorlend::fuzz::Printable;

namespace {

struct Fixture {
  HostContext ctx;
  std::string root;  // archive root
  std::string one;   // archive 1, trailing separator
};

void WriteInfo(const std::string& dir, const std::string& agendaExt, const std::string& name, bool complete) {
  TIniFile info(dir + "info");
  info.WriteString("MAIN", "AgendaExt", agendaExt);
  info.WriteInteger("MAIN", "Correct", 0);
  info.WriteString("MAIN", "Name", name);
  info.WriteString("MAIN", "Date", "7.12.2026");
  info.WriteString("MAIN", "Time", "8:05:09");
  info.WriteString("MAIN", "AgendaName", "Pekárna Škvor s.r.o.");
  if (complete) info.WriteInteger("MAIN", "Correct", 1);
}

const Fixture& TheFixture() {
  static const Fixture kFixture = [] {
    Fixture x;
    const std::string data = fuzz::Sandbox() + "DATA/";
    ForceDirectories(data + "AGENDA.001");
    x.ctx.SetPaths(data + "AGENDA.001/", data);
    x.ctx.AgendaExt = "001";
    x.root = x.ctx.ArchiveRoot();
    x.one = x.root + "1/";
    ForceDirectories(x.one);
    ForceDirectories(x.root + "2");
    WriteInfo(x.root + "2/", "001", "kontrolní archiv", true);
    FUZZ_CHECK(WriteFileAtomic(x.root + "2/info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n"), "sandbox");
    ForceDirectories(x.root + "3");
    WriteInfo(x.root + "3/", "002", "jiná agenda", true);
    return x;
  }();
  return kFixture;
}

// ---- an ini reader of its own: sections in brackets, key=value lines, names compared without
// regard to case, the first match wins, values trimmed and stripped of one pair of quotes. Text
// is Windows-1250, unless the UTF-8 byte-order mark is followed by well-formed UTF-8.
std::string DecodeIniText(const std::string& bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    const std::string rest = bytes.substr(3);
    if (CodePointsToUtf8(Utf8ToCodePoints(rest)) == rest) return rest;
  }
  return Cp1250ToUtf8(bytes);
}

class ReferenceIni {
public:
  explicit ReferenceIni(const std::string& bytes) {
    const std::string text = DecodeIniText(bytes);
    std::string line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
        m_lines.push_back(line);
        line.clear();
        if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        line.push_back(text[i]);
      }
    }
  }

  std::optional<std::string> Value(const std::string& section, const std::string& key) const {
    bool inSection = false, seenSection = false;
    for (const std::string& raw : m_lines) {
      const std::string t = Trim(raw);
      if (!t.empty() && t[0] == '[') {
        if (seenSection) return std::nullopt;  // only the first section of that name counts
        const std::size_t close = t.find(']');
        inSection = SameText(Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)), section);
        seenSection = inSection;
        continue;
      }
      const std::size_t eq = raw.find('=');
      if (!inSection || eq == std::string::npos || !SameText(Trim(raw.substr(0, eq)), key)) continue;
      std::string v = Trim(raw.substr(eq + 1));
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return v;
    }
    return std::nullopt;
  }

  std::string Text(const std::string& section, const std::string& key) const {
    return Value(section, key).value_or("");
  }

  // Decimal in 32 bits with an optional sign, or 0x with one to eight hexadecimal digits.
  bool True(const std::string& section, const std::string& key) const {
    const auto v = Value(section, key);
    if (!v) return false;
    const std::string s = Trim(*v);
    if (s.size() > 2 && s.size() <= 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      std::uint32_t n = 0;
      for (std::size_t i = 2; i < s.size(); ++i) {
        const char c = s[i];
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        n = n * 16 +
            static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
      }
      return n != 0;
    }
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i == s.size()) return false;
    long long n = 0;
    for (; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      n = n * 10 + (s[i] - '0');
      if (n > 2147483648LL) return false;
    }
    if (s[0] != '-' && n > 2147483647LL) return false;
    return n != 0;
  }

private:
  std::vector<std::string> m_lines;
};

struct Expected {
  bool listed = false;
  bool complete = false;
  std::string name, date, time, agendaName, years, filter;
};

std::string FilterText(const bool (&checked)[kModuleCount]) {
  std::string filter;
  for (std::size_t m = 0; m < kModuleCount; ++m) {
    if (checked[m]) filter += kModules[m].recapText;
  }
  filter = Trim(filter);
  if (!filter.empty()) filter.pop_back();
  return filter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Fixture& f = TheFixture();
  const bool raw = data[0] & 1;
  const bool withFileList = data[0] & 2;
  DeleteFile(f.one + "info");
  if (withFileList) {
    FUZZ_CHECK(WriteFileAtomic(f.one + "info.tab", "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n"), "sandbox");
  } else
    DeleteFile(f.one + "info.tab");

  Expected want;
  std::string described;
  if (raw) {
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    FUZZ_CHECK(WriteFileAtomic(f.one + "info", bytes), "sandbox");
    const ReferenceIni ref(bytes);
    want.complete = ref.True("MAIN", "Correct");
    want.listed = (want.complete || withFileList) && UpperCase(ref.Text("MAIN", "AgendaExt")) == "001";
    want.name = ref.Text("MAIN", "Name");
    want.date = ref.Text("MAIN", "Date");
    want.time = ref.Text("MAIN", "Time");
    want.agendaName = ref.Text("MAIN", "AgendaName");
    want.years = ref.Text("YEARS", "List");
    bool checked[kModuleCount];
    for (std::size_t m = 0; m < kModuleCount; ++m) checked[m] = ref.True("FILTER", kModules[m].code);
    want.filter = FilterText(checked);
    described = "info " + Printable(bytes);
  } else {
    FuzzedDataProvider in(data + 1, size - 1);
    const int extChoice = in.ConsumeIntegralInRange(0, 3);
    const bool complete = in.ConsumeBool();
    const std::string ext = extChoice == 0   ? "001"
                            : extChoice == 1 ? " 001"
                            : extChoice == 2 ? "002"
                                             : fuzz::ConsumeText(in, 8);
    const std::string name = fuzz::ConsumeText(in, 80);
    const std::string date = fuzz::ConsumeText(in, 20);
    const std::string time = fuzz::ConsumeText(in, 20);
    const std::string agendaName = fuzz::ConsumeText(in, 60);
    const std::string years = fuzz::ConsumeText(in, 40);
    TIniFile info(f.one + "info");
    info.WriteString("MAIN", "AgendaExt", ext);
    info.WriteInteger("MAIN", "Correct", 0);
    info.WriteString("MAIN", "Name", name);
    info.WriteString("MAIN", "Date", date);
    info.WriteString("MAIN", "Time", time);
    info.WriteString("MAIN", "AgendaName", agendaName);
    bool checked[kModuleCount] = {};
    // A save that ended writes the years, the filter and then Correct; an interrupted one did not.
    const bool ended = in.ConsumeBool();
    if (ended) {
      info.WriteString("YEARS", "List", years);
      for (std::size_t m = 0; m < kModuleCount; ++m) {
        checked[m] = in.ConsumeBool();
        info.WriteBool("FILTER", kModules[m].code, checked[m]);
      }
      if (complete) info.WriteInteger("MAIN", "Correct", 1);
      want.years = fuzz::ExpectedIniRead(years);
    }
    want.complete = ended && complete;
    want.listed = (want.complete || withFileList) && UpperCase(fuzz::ExpectedIniRead(ext)) == "001";
    want.name = fuzz::ExpectedIniRead(name);
    want.date = fuzz::ExpectedIniRead(date);
    want.time = fuzz::ExpectedIniRead(time);
    want.agendaName = fuzz::ExpectedIniRead(agendaName);
    want.filter = FilterText(checked);
    described = "written: AgendaExt " + Printable(ext) + ", name " + Printable(name) + ", date " + Printable(date) +
                ", time " + Printable(time) + ", agenda name " + Printable(agendaName) + ", years " + Printable(years);
  }

  ArchiveList list;
  FUZZ_CHECK(LoadArchiveList(f.ctx, list).IsOk(), described);
  const ArchiveRow* one = nullptr;
  int controls = 0;
  for (const ArchiveRow& row : list.Rows()) {
    FUZZ_CHECK(row.Dir == "1" || row.Dir == "2", described + "\nlisted " + Printable(row.Dir));
    if (row.Dir == "1") {
      FUZZ_CHECK(!one, described);
      one = &row;
    } else {
      ++controls;
      FUZZ_CHECK(row.complete && row.MapName == "kontrolní archiv", described);
    }
  }
  FUZZ_CHECK(controls == 1, described);
  FUZZ_CHECK((one != nullptr) == want.listed,
             described + "\nlisted: " + (one ? "yes" : "no") + ", expected complete " + (want.complete ? "1" : "0"));
  if (one) {
    FUZZ_CHECK(one->complete == want.complete, described);
    FUZZ_CHECK(one->MapName == CutToChars(want.name, 50), described + "\nname " + Printable(one->MapName));
    FUZZ_CHECK(one->MapDate == CutToChars(want.date, 15), described + "\ndate " + Printable(one->MapDate));
    FUZZ_CHECK(one->MapTime == CutToChars(want.time, 10), described + "\ntime " + Printable(one->MapTime));
    FUZZ_CHECK(one->AgendaName == CutToChars(want.agendaName, 50), described);
    FUZZ_CHECK(ArchiveHold(f.ctx, *one, LockMode::Shared).Held(), described);
    bool incomplete = false;
    for (const ArchiveRow& row : IncompleteArchives(f.ctx)) incomplete |= row.Dir == "1";
    FUZZ_CHECK(incomplete == !want.complete, described);
  }

  Recapitulation recap;
  ShowRecapitulation(f.root + "1", recap);
  FUZZ_CHECK(recap.complete == want.complete, described);
  FUZZ_CHECK(recap.Name == want.name && recap.Date == want.date && recap.Time == want.time &&
                 recap.AgendaName == want.agendaName,
             described + "\nrecapitulation " + Printable(recap.Name) + " " + Printable(recap.Date) + " " +
                 Printable(recap.Time) + " " + Printable(recap.AgendaName));
  FUZZ_CHECK(recap.yearFilter == want.years, described + "\nyears " + Printable(recap.yearFilter));
  FUZZ_CHECK(recap.documentFilter == want.filter, described + "\nfilter " + Printable(recap.documentFilter));
  return 0;
}
