#include "app/settings.h"

#include "platform/files.h"
#include "platform/ini.h"

namespace vorlend {

namespace {
constexpr const char* kSection = "SETTINGS";
}

AddonSettings LoadSettings(const std::string& settingsFileName) {
  TIniFile ini(settingsFileName);
  AddonSettings s;
  for (std::size_t i = 0; i < kModuleCount; ++i) {
    s.modules[i] = ini.ReadBool(kSection, kModules[i].settingsKey, kModules[i].defaultChecked);
  }
  const int action = ini.ReadInteger(kSection, "LockAction", 0);
  s.action = action == 0 ? LockAction::Unlock : action == 1 ? LockAction::Lock : LockAction::NoAction;
  // The save writes LockAction last: a file that is there without it was cut short, or is in a
  // form the ini service cannot read (UTF-16 from a plain editor), and holds choices the add-on
  // cannot see. The defaults must not stand in for them.
  const bool cutShort = PathExists(settingsFileName) && ini.ReadString(kSection, "LockAction", "").empty();
  s.unreadable = IniFileUnreadable(settingsFileName) || cutShort;
  return s;
}

std::string UnreadableSettingsText(const std::string& shownFileName) {
  return "Uložené nastavení doplňku nelze načíst ze souboru " + shownFileName +
         ". Doplněk začíná s výchozím nastavením a soubor ponechá beze změny.";
}

void SaveSettings(const std::string& settingsFileName, const AddonSettings& s) {
  TIniFile ini(settingsFileName);
  for (std::size_t i = 0; i < kModuleCount; ++i) ini.WriteBool(kSection, kModules[i].settingsKey, s.modules[i]);
  ini.WriteInteger(kSection, "LockAction", static_cast<int>(s.action));
}

}  // namespace vorlend
