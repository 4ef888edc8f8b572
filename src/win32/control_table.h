#pragma once
// Every control of the Win32 window under its name, in one table: the table gives each name its
// control id, and the buttons and links the model's handler their press runs.
#include <cstring>

#include "app/wizard.h"

namespace vorlend::win32 {

struct ControlEntry {
  const char* name;
  void (Wizard::*press)() = nullptr;  // what a press of the button or link runs
};

inline constexpr ControlEntry kControlTable[] = {
    // The header, the page control and its pages.
    {"Panel1"},
    {"lblProgramVersion"},
    {"Label23"},
    {"Bevel1"},
    {"PageControl1"},
    {"TabSheet1"},
    {"TabSheet2"},
    {"TabSheet3"},
    {"TabSheet4"},
    {"TabSheet5"},
    {"TabSheet6"},
    {"TabSheet7"},
    {"TabSheet8"},
    {"TabSheet9"},
    // The first page.
    {"Label1"},
    {"lblAgendaName"},
    {"Label2"},
    {"Label3"},
    {"RadioButton1"},
    {"RadioButton2"},
    {"btnNext1", &Wizard::btnNext1Click},
    {"btnKonec1", &Wizard::CloseAddOn},
    // The save's options.
    {"Label4"},
    {"grYearName"},
    {"imgCheck"},
    {"GroupBox1"},
    {"chckPokladna"},
    {"chckBanka"},
    {"chckPohledavky"},
    {"chckZavazky"},
    {"chckInterni"},
    {"chckPfaktury"},
    {"chckVfkatury"},
    {"chckSkDoklady"},
    {"GroupBox2"},
    {"rbAllUnlock"},
    {"rbAllLock"},
    {"rbAllNoAction"},
    {"btnPrev2", &Wizard::btnPrev2Click},
    {"btnNext2", &Wizard::btnNext2Click},
    {"btnKonec2", &Wizard::CloseAddOn},
    // The archive's name.
    {"Label5"},
    {"Label6"},
    {"edtNazevMapy"},
    {"Image1"},
    {"Label7"},
    {"Label8"},
    {"btnPrev3", &Wizard::btnPrev3Click},
    {"btnNext3", &Wizard::btnNext3Click},
    {"btnKonec3", &Wizard::CloseAddOn},
    // The progress.
    {"Label9"},
    {"lblWorking"},
    {"ProgressBar1"},
    {"lblCelkem"},
    {"lblZavreni"},
    {"btnPrerusit", &Wizard::btnPrerusitClick},
    // The save finished.
    {"Label11"},
    {"Label13"},
    {"lblTarvellWebPage1", &Wizard::lblTarvellWebPage1Click},
    {"lblSouhrnUlozeni"},
    {"Label10", &Wizard::Label10Click},
    {"btnKonec5", &Wizard::CloseAddOn},
    // A job failed or was stopped.
    {"Label14"},
    {"lblSouhrnChyby"},
    {"Label12", &Wizard::Label12Click},
    {"btnKonec6", &Wizard::CloseAddOn},
    // The archives.
    {"Label15"},
    {"grInfoFiles"},
    {"btnDelete", &Wizard::btnDeleteClick},
    {"btnPrev4", &Wizard::btnPrev4Click},
    {"btnNext4", &Wizard::btnNext4Click},
    {"btnkonec7", &Wizard::CloseAddOn},
    // The recapitulation.
    {"Label16"},
    {"Label17"},
    {"lblNazevMapy"},
    {"Label18"},
    {"lblNazevArchAgendy"},
    {"Label19"},
    {"lblDatumUlozeni"},
    {"Label20"},
    {"lblCasUlozeni"},
    {"Label21"},
    {"lblFiltrRoku"},
    {"Label24"},
    {"lblFiltrDokladu"},
    {"lblNedokonceny"},
    {"Image2"},
    {"Label25"},
    {"Label26"},
    {"lblPorovnat", &Wizard::lblPorovnatClick},
    {"btnPrev5", &Wizard::btnPrev5Click},
    {"btnNext5", &Wizard::btnNext5Click},
    {"btnkonec8", &Wizard::CloseAddOn},
    // The restore finished.
    {"Label27"},
    {"Label28"},
    {"lblTarvellWebPage2", &Wizard::lblTarvellWebPage2Click},
    {"lblSouhrnObnoveni"},
    {"Label22", &Wizard::Label22Click},
    {"btnKonec9", &Wizard::CloseAddOn},
    // "Porovnat s Money".
    {"dlgPorovnani"},
    {"lblPorovnavam"},
    {"pbPorovnani"},
    {"lblPorovnaniCelkem"},
    {"lblPorovnaniVysledek"},
    {"grPorovnani"},
    {"grPorovnaniCelkem"},
    {"btnZavrit"},
};

inline constexpr int kFirstControlId = 1000;
inline constexpr int kControlCount = static_cast<int>(sizeof kControlTable / sizeof kControlTable[0]);

// The id of the named control; 0 for a name the table lacks.
inline int ControlId(const char* name) {
  for (int i = 0; i < kControlCount; ++i) {
    if (std::strcmp(kControlTable[i].name, name) == 0) return kFirstControlId + i;
  }
  return 0;
}

// The entry of a control id; null for an id that is none of the table's.
inline const ControlEntry* ControlById(int id) {
  const int index = id - kFirstControlId;
  return index >= 0 && index < kControlCount ? &kControlTable[index] : nullptr;
}

}  // namespace vorlend::win32
