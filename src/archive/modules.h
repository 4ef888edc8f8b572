#pragma once
// The eight document modules, in the order every save, catalogue and restore handles them.
#include <array>
#include <string>

namespace vorlend {

struct ModuleInfo {
  const char* code;         // "PD": begins the archive table's name, key in section FILTER
  const char* checkBox;     // object name of the filter check box
  const char* caption;      // caption of the filter check box
  const char* settingsKey;  // key in the add-on settings file
  bool defaultChecked;      // ticked on the first run
  const char* moneyTable;   // Money table in the year directory
  const char* keyField;     // "Cislo", "CDokladu" for stock documents
  const char* workingText;  // progress and conflict texts, ends in a blank
  const char* recapText;    // recapitulation text, ends in a comma and a blank
};

inline constexpr std::size_t kModuleCount = 8;
extern const std::array<ModuleInfo, kModuleCount> kModules;

using ModuleFilter = std::array<bool, kModuleCount>;

// A save walks at least one module; the text when none is chosen.
inline bool AnyModuleChosen(const ModuleFilter& filter) {
  for (const bool chosen : filter) {
    if (chosen) return true;
  }
  return false;
}
inline constexpr const char* kNoModuleText = "Ve filtru dokladů musíte vybrat alespoň jeden modul.";

enum class LockAction { Unlock = 0, Lock = 1, NoAction = 2 };

// The key field of an archive table: "CDokladu" when its name begins with exactly "SD".
std::string KeyFieldForFileName(const std::string& fileName);

}  // namespace vorlend
