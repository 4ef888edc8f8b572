#include "app/command_line.h"

#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {
// Where the closing marker `token` first stands in `text`, compared without regard to case, as a
// byte position of `text` itself. An argument need not be valid UTF-8 (a path in Windows-1250
// bytes): a search in a case-folded copy would then count positions in a text of another length.
std::size_t FindClosingMarker(const std::string& text, const std::string& token) {
  if (token.empty() || text.size() < token.size()) return std::string::npos;
  for (std::size_t i = 0; i + token.size() <= text.size(); ++i) {
    if (text[i] == token[0] && SameText(std::string_view(text).substr(i, token.size()), token)) return i;
  }
  return std::string::npos;
}
}  // namespace

StartupParams ParseCommandLine(const std::vector<std::string>& args) {
  std::string rest;
  for (const auto& a : args) rest += a + " ";
  StartupParams params;
  while (!rest.empty()) {
    const std::size_t q = rest.find('?');
    const std::size_t e = rest.find('=');
    if (q == std::string::npos || e == std::string::npos || q > e) break;
    const std::string token = rest.substr(q, e - q);
    rest.erase(0, e + 1);
    const std::size_t close = FindClosingMarker(rest, token);
    if (close == std::string::npos) break;
    StartupParam p;
    p.Name = CutToChars(UpperCase(token.substr(1)), 255);
    p.Value = CutToChars(rest.substr(0, close), 255);
    params.push_back(std::move(p));
    rest.erase(0, close + token.size());
  }
  return params;
}

bool FindParam(const StartupParams& params, const std::string& name, std::string& value) {
  for (const auto& p : params) {
    if (SameText(p.Name, name)) {
      value = p.Value;
      return true;
    }
  }
  return false;
}

namespace {
// The agenda-level path ("/DATA/AGENDA.001", letter case kept) or empty; both levels share the
// first three steps. The ROK and AGENDA prefixes are tested in upper case.
std::string AgendaPathWithoutSeparator(const std::string& currentYearDir) {
  std::string p = Trim(currentYearDir);
  while (!p.empty() && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  std::size_t slash = p.find_last_of("/\\");
  if (slash == std::string::npos || !StartsWith(UpperCase(p.substr(slash + 1)), "ROK")) return {};
  p.erase(slash);
  slash = p.find_last_of("/\\");
  if (slash == std::string::npos || !StartsWith(UpperCase(p.substr(slash + 1)), "AGENDA")) return {};
  return p;
}
}  // namespace

bool DeriveAgendaPaths(const std::string& currentYearDir, std::string& agendaPath, std::string& dataPath) {
  const std::string agenda = AgendaPathWithoutSeparator(currentYearDir);
  if (agenda.empty()) return false;
  agendaPath = agenda + "/";
  dataPath = agenda.substr(0, agenda.find_last_of("/\\") + 1);
  return true;
}

std::string SafeConfigName(const std::string& value) {
  std::string name = value;
  for (char& c : name) {
    if (std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos) c = '_';
  }
  return Trim(name).empty() ? std::string("Default") : name;
}

bool MoneyVersionConverts(const std::string& versionText) {
  std::string number;
  for (char c : versionText) {
    if (c == ' ') break;
    if ((c >= '0' && c <= '9') || c == ',' || c == '.') number.push_back(c);
  }
  const char sep = FormatSettings().DecimalSeparator;
  for (char& c : number) {
    if (c == '.') c = sep;
  }
  double value = 0;
  // A fixed-point number with four decimal places holds about 9.2e14.
  return TryStrToFloat(number, value) && value < 922337203685477.0 && value > -922337203685477.0;
}

}  // namespace vorlend
