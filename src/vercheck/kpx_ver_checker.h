#pragma once
// Asks the vendor's web server which version of the add-on is current, at most once per Money
// version and 60-day period while the add-on is up to date, and warns the user when the published
// version differs from the add-on's own.
#include <string>

#include "platform/datetime.h"
#include "platform/ports.h"
#include "vercheck/url_download.h"

namespace vorlend {

// Where a user whose add-on is too old for a free upgrade asks about the conditions.
inline constexpr const char* kVendorContactEmail = "podpora@vendor.example";

// "yyyy-mm-dd": exactly 10 characters, year from characters 1-4, month from 6-7, day from 9-10,
// the separators not examined. Anything that is not a valid calendar date gives 0 (no date).
TDateTime ParseCheckDate(const std::string& text);
std::string FormatCheckDate(TDateTime date);

class TKPXVerChecker {
public:
  // The dialogs and the shell must outlive the checker.
  TKPXVerChecker(std::string addonCode, std::string addonVersion, TDateTime addonBuildDate, std::string stateFileName,
                 std::string moneyVersion, bool alwaysOfferDownload, Dialogs& dialogs, Shell& shell);

  // True when the add-on may go on, false when the user has chosen to end it.
  bool CheckVersion();

  // The version file's address; VendorBaseUrl() + "/download/kpxver.dat" unless set.
  void SetVersionFileUrl(std::string url) { m_versionFileUrl = std::move(url); }
  void SetDownloadLimits(const DownloadLimits& limits) { m_limits = limits; }

private:
  void ReadState();
  bool FetchVersionFile();
  void SaveState();
  bool AskUser();

  // Identity of the add-on and the paths, as constructed.
  std::string AddonCode;
  std::string AddonVersion;
  TDateTime AddonBuildDate;
  std::string StateFileName;
  std::string MoneyVersion;
  bool AlwaysOfferDownload;

  // From the vendor's version file.
  std::string LatestVersion;
  TDateTime LatestBuildDate = 0;
  bool Wait = false;
  std::string HomePage;

  // From the state file.
  std::string LastCheckMoneyVersion;
  TDateTime LastCheckDate = 0;
  std::string NoCheckForMoneyVer;

  Dialogs& m_dialogs;
  Shell& m_shell;
  std::string m_versionFileUrl;
  DownloadLimits m_limits;
};

}  // namespace vorlend
