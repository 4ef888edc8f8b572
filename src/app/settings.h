#pragma once
// The add-on's remembered choices: the document filter and the lock action, one ini file per
// Money configuration and agenda.
#include <array>
#include <string>

#include "archive/modules.h"

namespace vorlend {

struct AddonSettings {
  ModuleFilter modules{};  // in the module table's order
  LockAction action = LockAction::Unlock;
  // The file exists but cannot be read whole, or yields no lock action (cut short, or saved in a
  // form the ini service cannot read): the defaults stand in for the remembered choices, and
  // nothing may write the file (it would lose what it holds).
  bool unreadable = false;
};

// A missing file or key gives the defaults: received invoices, issued invoices and stock
// documents ticked, unlock all.
AddonSettings LoadSettings(const std::string& settingsFileName);
// Throws IniWriteError when the file cannot be written.
void SaveSettings(const std::string& settingsFileName, const AddonSettings& settings);
// The warning the window shows once when the remembered settings cannot be read.
std::string UnreadableSettingsText(const std::string& shownFileName);

}  // namespace vorlend
