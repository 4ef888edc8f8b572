#include "vercheck/kpx_ver_checker.h"

#include <cstdio>
#include <vector>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace vorlend {

namespace {

const char* const kStateSection = "KPXVERCHECKER";
const char* const kVersionFilePath = "/download/kpxver.dat";
constexpr int kRecheckAfterDays = 60;

const char* const kParagraphBreak = "\r\r";

const char* const kTextNotCompatible =
    "Aktuálně nainstalovaná verze Money není kompatibilní s tímto doplňkem, což může mít za následek "
    "nepředvídatelné chování celého programu (v krajním případě i poškození databáze).";
const char* const kTextRecommendUpgrade =
    "Doporučujeme vám co nejdříve provést upgrade na vyšší verzi doplňku, která je kompatibilní i s "
    "novějšími verzemi Money.";
const char* const kTextOfferDownload =
    "Přejete si nyní přesměrovat na internetové stránky, kde je možné novou verzi stáhnout?";
const char* const kTextOfferFreeDownload =
    "Novou verzi tohoto doplňku si můžete bezplatně stáhnout z internetových stránek, přejete si nyní "
    "na tyto stránky přesměrovat?";
const char* const kTextContactUs =
    "Informujte se, prosím, na naší e-mailové adrese, za jakých podmínek můžete vyšší verzi získat.  "
    "Kontaktní e-mail: ";
const char* const kTextEndAddon = "Přejete si nyní tento doplněk ukončit?";

// Digits only: the fields of a check date are plain decimal numbers.
bool ReadDigits(const std::u32string& text, std::size_t first, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = first; i < first + count; ++i) {
    const char32_t c = text[i];
    if (c < U'0' || c > U'9') return false;
    value = value * 10 + static_cast<int>(c - U'0');
  }
  return true;
}

std::string JoinParagraphs(const std::vector<std::string>& paragraphs) {
  std::string text;
  for (const auto& paragraph : paragraphs) {
    if (!text.empty()) text += kParagraphBreak;
    text += paragraph;
  }
  return text;
}

}  // namespace

TDateTime ParseCheckDate(const std::string& text) {
  const std::u32string chars = Utf8ToCodePoints(text);
  if (chars.size() != 10) return 0;
  int year = 0, month = 0, day = 0;
  if (!ReadDigits(chars, 0, 4, year) || !ReadDigits(chars, 5, 2, month) || !ReadDigits(chars, 8, 2, day)) return 0;
  if (!IsValidDate(year, month, day)) return 0;
  return EncodeDate(year, month, day);
}

std::string FormatCheckDate(TDateTime date) {
  int year = 0, month = 0, day = 0;
  DecodeDate(date, year, month, day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

TKPXVerChecker::TKPXVerChecker(std::string addonCode, std::string addonVersion, TDateTime addonBuildDate,
                               std::string stateFileName, std::string moneyVersion, bool alwaysOfferDownload,
                               Dialogs& dialogs, Shell& shell)
    : AddonCode(std::move(addonCode)),
      AddonVersion(std::move(addonVersion)),
      AddonBuildDate(addonBuildDate),
      StateFileName(std::move(stateFileName)),
      MoneyVersion(std::move(moneyVersion)),
      AlwaysOfferDownload(alwaysOfferDownload),
      m_dialogs(dialogs),
      m_shell(shell) {}

bool TKPXVerChecker::CheckVersion() {
  ReadState();

  if (!NoCheckForMoneyVer.empty() && (NoCheckForMoneyVer == "*" || NoCheckForMoneyVer == MoneyVersion)) return true;

  // Due when Money's version differs from the one last found compatible, or from the 61st day on.
  if (LastCheckMoneyVersion == MoneyVersion && LastCheckDate + kRecheckAfterDays >= Today()) return true;

  // An unreachable server must never stop the user's work: no message, nothing remembered.
  if (!FetchVersionFile()) return true;

  if (LatestVersion.empty()) return true;
  if (Wait) return true;

  // Versions are compared as texts: a lower published version is a difference all the same.
  if (LatestVersion == AddonVersion) {
    SaveState();
    return true;
  }

  return !AskUser();
}

void TKPXVerChecker::ReadState() {
  TIniFile ini(StateFileName);
  LastCheckMoneyVersion = ini.ReadString(kStateSection, "LastCheckMoneyVersion", "");
  LastCheckDate = ParseCheckDate(ini.ReadString(kStateSection, "LastCheckDate", ""));
  NoCheckForMoneyVer = ini.ReadString(kStateSection, "NOCHECKFORMONEYVER", "");
}

bool TKPXVerChecker::FetchVersionFile() {
  const std::string localFile = TempDirectory() + NewGuidText();
  const std::string url = m_versionFileUrl.empty() ? VendorBaseUrl() + kVersionFilePath : m_versionFileUrl;

  const bool downloaded = DownloadToFile(url, localFile, m_limits);
  if (downloaded) {
    TIniFile ini(localFile);
    LatestVersion = ini.ReadString(AddonCode, "VER", "");
    LatestBuildDate = ParseCheckDate(ini.ReadString(AddonCode, "BUILDDATE", ""));
    Wait = ini.ReadBool(AddonCode, "WAIT", false);
    HomePage = ini.ReadString(AddonCode, "HOMEPAGE", "");
  }
  // Also after a failed download, which may have left part of a body behind.
  if (FileExists(localFile)) DeleteFile(localFile);
  return downloaded;
}

void TKPXVerChecker::SaveState() {
  TIniFile ini(StateFileName);
  try {
    ini.WriteString(kStateSection, "LastCheckDate", FormatCheckDate(Today()));
    ini.WriteString(kStateSection, "LastCheckMoneyVersion", MoneyVersion);
  } catch (const IniWriteError&) {
    // The add-on is current; a state that cannot be remembered only means the check runs again
    // next time. Turning it into an error would lock the user out of the wizard.
  }
}

bool TKPXVerChecker::AskUser() {
  std::vector<std::string> paragraphs{kTextNotCompatible, kTextRecommendUpgrade};
  const bool offerDownload = AddonBuildDate >= LatestBuildDate || AlwaysOfferDownload;
  if (offerDownload) {
    paragraphs.emplace_back(AlwaysOfferDownload ? kTextOfferDownload : kTextOfferFreeDownload);
  } else {
    paragraphs.emplace_back(std::string(kTextContactUs) + kVendorContactEmail);
    paragraphs.emplace_back(kTextEndAddon);
  }

  const bool yes = m_dialogs.Question(MsgKind::Warning, JoinParagraphs(paragraphs));
  // The address comes from the network: only a web page is handed to the shell, never a file or
  // another program.
  if (yes && offerDownload && IsWebAddress(HomePage)) m_shell.OpenUrl(HomePage);
  return yes;
}

}  // namespace vorlend
