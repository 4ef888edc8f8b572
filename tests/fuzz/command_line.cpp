// Money's command line and the host context derived from it.
//
// The first byte chooses the form of the rest:
// - arguments: NUL bytes separate the program's arguments, and "$DATA" in them stands for the
//   fixture's data directory (agendas AGENDA.001 with ROK.001 and ROK.002 and a trade name, and
//   Agenda with Rok.5 and no AGENDA.INI). Parsed names are upper case and no name or value is
//   longer than 255 characters; both forms of every derived directory agree; a version text
//   without a digit before its first blank never passes; ReadHostContext reports a failure in
//   exactly one message and a success in none, and after a success the agenda directory is the
//   year directory's real parent, the data directory the agenda's, the trade name that of that
//   agenda, and the settings file lies in the settings directory whatever the configuration name;
// - groups: well-formed ?NAME=value?NAME groups, values of any bytes, parse back to exactly
//   those names (upper case) and values, cut to 255 characters, and the first of a name wins.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "app/command_line.h"
#include "app/startup.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

using namespace vorlend;
using vorlend::fuzz::Printable;
namespace fs = std::filesystem;

namespace {

struct Fixture {
  std::string data;  // without a trailing separator
  std::string agenda1, agenda2;
};

const char* const kTradeName = "Pekárna Škvor s.r.o.";

const Fixture& TheFixture() {
  static const Fixture kFixture = [] {
    Fixture x;
    x.data = fuzz::Sandbox() + "DATA";
    x.agenda1 = x.data + "/AGENDA.001";
    x.agenda2 = x.data + "/Agenda";
    ForceDirectories(x.agenda1 + "/ROK.001");
    ForceDirectories(x.agenda1 + "/ROK.002");
    ForceDirectories(x.agenda2 + "/Rok.5");
    TIniFile ini(x.agenda1 + "/AGENDA.INI");
    ini.WriteString("Údaje o firmě", "Název-obchodní", kTradeName);
    return x;
  }();
  return kFixture;
}

std::string Describe(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) s += Printable(a) + " ";
  return s;
}

bool Equivalent(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(ResolvePath(a), ResolvePath(b), ec) && !ec;
}

void CheckDerivations(const std::string& value, const std::string& context) {
  std::string agendaPath, dataPath;
  if (!DeriveAgendaPaths(value, agendaPath, dataPath)) return;
  const std::string detail =
      context + "value " + Printable(value) + ": " + Printable(agendaPath) + " " + Printable(dataPath);
  // The agenda's folder, with its separator, inside the data folder, which ends in one.
  FUZZ_CHECK(!agendaPath.empty() && agendaPath.back() == '/', detail);
  FUZZ_CHECK(StartsWith(agendaPath, dataPath) && dataPath.size() < agendaPath.size(), detail);
  FUZZ_CHECK(dataPath.empty() || dataPath.back() == '/' || dataPath.back() == '\\', detail);
  FUZZ_CHECK(StartsWithText(ExtractFileName(ExcludeTrailingPathDelimiter(agendaPath)), "AGENDA"), detail);
}

void CheckVersion(const std::string& value, const std::string& context) {
  const bool converts = MoneyVersionConverts(value);
  bool digit = false;
  for (char c : value) {
    if (c == ' ') break;
    digit |= c >= '0' && c <= '9';
  }
  FUZZ_CHECK(digit || !converts, context + "version " + Printable(value));
}

void CheckHostContext(const StartupParams& params, const std::string& context) {
  const Fixture& f = TheFixture();
  fuzz::CountingDialogs dialogs;
  HostContext ctx;
  const bool ok = ReadHostContext(params, dialogs, ctx);
  std::string messages;
  for (const auto& m : dialogs.messages) messages += "message: " + m + "\n";
  const std::string detail = context + (ok ? "accepted\n" : "refused\n") + messages + "year " +
                             Printable(ctx.CurrentYearDir) + "\nagenda " + Printable(ctx.AgendaPath) + "\ndata " +
                             Printable(ctx.DataPath) + "\nconfig " + Printable(ctx.ConfigName) + "\next " +
                             Printable(ctx.AgendaExt) + "\nname " + Printable(ctx.AgendaName);
  FUZZ_CHECK(dialogs.questions.empty() && dialogs.messages.size() == (ok ? 0u : 1u), detail);
  if (!ok) return;

  FUZZ_CHECK(DirectoryExists(ctx.CurrentYearDir) && ctx.CurrentYearDir.back() == '/', detail);
  FUZZ_CHECK(Equivalent(ctx.AgendaPath, ctx.CurrentYearDir + ".."), detail);
  FUZZ_CHECK(Equivalent(ctx.DataPath, ctx.AgendaPath + ".."), detail);
  FUZZ_CHECK(ctx.AgendaDir == UpperCase(ctx.AgendaPath) && ctx.DataDir == UpperCase(ctx.DataPath), detail);
  if (Equivalent(ctx.AgendaPath, f.agenda1)) FUZZ_CHECK(ctx.AgendaName == kTradeName && ctx.AgendaExt == "001", detail);
  if (Equivalent(ctx.AgendaPath, f.agenda2)) FUZZ_CHECK(ctx.AgendaName == "---" && ctx.AgendaExt.empty(), detail);
  FUZZ_CHECK(ctx.AgendaExt.find_first_of("/\\") == std::string::npos, detail);

  // Whatever the configuration name, the settings file stays in the settings directory.
  FUZZ_CHECK(!Trim(ctx.ConfigName).empty() && ctx.ConfigName.find_first_of("\"*/:<>?\\|") == std::string::npos, detail);
  FUZZ_CHECK(ExtractFilePath(ctx.SettingsFileName()) == ctx.SettingsDir(),
             detail + "\nsettings " + Printable(ctx.SettingsFileName()));
  FUZZ_CHECK(StartsWith(ctx.SettingsDir(), ctx.DataPath), detail);
}

void RunArguments(const std::string& bytes) {
  const Fixture& f = TheFixture();
  std::vector<std::string> args;
  for (std::string& a : Split(bytes, '\0')) args.push_back(ReplaceAll(std::move(a), "$DATA", f.data));
  const std::string context = "arguments " + Describe(args) + "\n";

  const StartupParams params = ParseCommandLine(args);
  for (const StartupParam& p : params) {
    FUZZ_CHECK(p.Name == UpperCase(p.Name), context + "name " + Printable(p.Name));
    FUZZ_CHECK(CharCount(p.Name) <= 255 && CharCount(p.Value) <= 255,
               context + Printable(p.Name) + "=" + Printable(p.Value));
    CheckDerivations(p.Value, context);
    CheckVersion(p.Value, context);
  }
  for (const std::string& a : args) CheckDerivations(a, context);
  CheckHostContext(params, context);
}

void RunGroups(FuzzedDataProvider& in) {
  std::vector<std::string> args;
  StartupParams want;
  const int count = in.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < count; ++i) {
    const std::string name = fuzz::ConsumeText(in, 300);
    const std::string value = fuzz::ConsumeText(in, 300);
    // A well-formed group: the name (Money's names are plain ASCII) is valid UTF-8 and holds no
    // "?" or "=", and the value does not hold the closing marker.
    if (name.find_first_of("?=") != std::string::npos || CodePointsToUtf8(Utf8ToCodePoints(name)) != name) continue;
    if (UpperCase(value).find(UpperCase("?" + name)) != std::string::npos) continue;
    args.push_back("?" + name + "=" + value + "?" + name);
    want.push_back({CutToChars(UpperCase(name), 255), CutToChars(value, 255)});
  }
  const std::string context = "arguments " + Describe(args) + "\n";
  const StartupParams got = ParseCommandLine(args);
  FUZZ_CHECK(got.size() == want.size(), context + "rows " + std::to_string(got.size()));
  for (std::size_t i = 0; i < got.size(); ++i) {
    FUZZ_CHECK(got[i].Name == want[i].Name && got[i].Value == want[i].Value,
               context + "row " + std::to_string(i) + ": " + Printable(got[i].Name) + "=" + Printable(got[i].Value));
    std::string value;
    FUZZ_CHECK(FindParam(got, want[i].Name, value), context);
    for (const StartupParam& p : want) {
      if (SameText(p.Name, want[i].Name)) {
        FUZZ_CHECK(value == p.Value, context + "lookup of " + Printable(want[i].Name) + " gave " + Printable(value));
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    RunArguments(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  } else {
    FuzzedDataProvider in(data + 1, size - 1);
    RunGroups(in);
  }
  return 0;
}
