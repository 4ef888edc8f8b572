#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/settings.h"
#include "platform/ini.h"
#include "support/temp_dir.h"

using namespace vorlend;
using vorlend::test::ReadBytes;
using vorlend::test::TempDir;
using vorlend::test::WriteBytes;

TEST(Settings, FirstRunRoundTripAndUnknownLockAction) {
  TempDir dir;
  const std::string file = dir / "Default001.ini";
  const AddonSettings first = LoadSettings(file);
  EXPECT_EQ(first.modules, (ModuleFilter{false, false, false, false, false, true, true, true}));
  EXPECT_EQ(first.action, LockAction::Unlock);

  // Every module and every action survives a round trip.
  for (std::size_t m = 0; m < kModuleCount; ++m) {
    for (LockAction action : {LockAction::Unlock, LockAction::Lock, LockAction::NoAction}) {
      AddonSettings s;
      s.modules[m] = true;
      s.action = action;
      SaveSettings(file, s);
      const AddonSettings back = LoadSettings(file);
      EXPECT_EQ(back.modules, s.modules);
      EXPECT_EQ(back.action, action);
    }
  }
  EXPECT_EQ(ReadBytes(file),
            "[SETTINGS]\r\nPokladna=0\r\nBanka=0\r\nPohledavky=0\r\nZavazky=0\r\nInterni=0\r\n"
            "Pfaktury=0\r\nVfaktury=0\r\nSkDoklady=1\r\nLockAction=2\r\n");

  // Any other number selects "no action" and is written back as 2; text keeps the defaults.
  WriteBytes(file, "[settings]\r\nlockaction=7\r\nPOKLADNA=5\r\nPfaktury=ne\r\n");
  AddonSettings odd = LoadSettings(file);
  EXPECT_EQ(odd.action, LockAction::NoAction);
  EXPECT_TRUE(odd.modules[0]);
  EXPECT_TRUE(odd.modules[5]);
  SaveSettings(file, odd);
  EXPECT_EQ(TIniFile(file).ReadString("SETTINGS", "LockAction", ""), "2");

  HostContext ctx;
  ctx.SetPaths("/DATA/AGENDA.001/", "/DATA/");
  ctx.ConfigName = SafeConfigName("A/B:C");
  ctx.AgendaExt = "001";
  EXPECT_EQ(ctx.SettingsFileName(), "/DATA/KPX/Vorlend/Setting/A_B_C001.ini");
  ctx.AgendaExt = "";
  EXPECT_EQ(ctx.SettingsFileName(), "/DATA/KPX/Vorlend/Setting/A_B_C.ini");
}
