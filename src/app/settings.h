#pragma once
// The add-on's remembered choices: the document filter and the lock action, one ini file per
// Money configuration and agenda.
#include <array>
#include <string>

#include "archive/modules.h"

namespace vorlend {

struct AddonSettings {
  ModuleFilter Modules{};            // in the module table's order
  LockAction Action = LockAction::Unlock;
};

// A missing file or key gives the defaults: received invoices, issued invoices and stock
// documents ticked, unlock all.
AddonSettings LoadSettings(const std::string& settingsFileName);
// Throws IniWriteError when the file cannot be written.
void SaveSettings(const std::string& settingsFileName, const AddonSettings& settings);

}  // namespace vorlend
