#pragma once
// The fixed texts of the wizard's window, by the name of the control that shows them, character
// for character as every window of the add-on shows them. The texts a page fills in itself (the
// agenda's name, the recapitulation, the progress) come from the model; the module check boxes'
// captions from the module table.
#include <cstring>

namespace vorlend {

struct ControlText {
  const char* name;
  const char* text;
};

inline constexpr const char* kWarningOtherStationsText =
    "Zkontrolujte prosím, zda na ostatních stanicích nejsou otevřené doklady v modulech, ve kterých bude "
    "program měnit stav zámků.";
inline constexpr const char* kStartHintText = "Akci spustíte tlačítkem Start.";
inline constexpr const char* kBackToStartText = "Zpět na první stránku";
inline constexpr const char* kTipText = "Tip: další doplňky k Money si můžete";
inline constexpr const char* kDownloadText = "stáhnout zde";
inline constexpr const char* kNextText = "Další >>";
inline constexpr const char* kPrevText = "<< Zpět";
inline constexpr const char* kEndText = "Konec";
inline constexpr const char* kStartText = "Start";

inline constexpr ControlText kControlTexts[] = {
    // The header.
    {"Label23", "© Vorlend, všechna práva vyhrazena"},
    // The first page.
    {"Label1", "Název agendy:"},
    {"Label2", "Jakou akci chcete provést ?"},
    {"RadioButton1", "aktuální stav zámků dokladů uložit do databáze a zároveň odemknout nebo uzamknout doklady"},
    {"Label3", "(tuto volbu použijte, pokud potřebujete provést např. přepočet pořizovacích cen zásob)"},
    {"RadioButton2", "vrátit zámky dokladů do původního stavu"},
    {"btnNext1", kNextText},
    {"btnKonec1", kEndText},
    // The save's options.
    {"Label4",
     "V seznamu označte účetní roky a ve filtru doklady, které bude program procházet. Poslední volba určuje, zda "
     "se mají doklady zároveň odemknout nebo uzamknout. Jestliže budete provádět přepočet pořizovacích cen zásob, "
     "postačí filtrovat jen přijaté faktury, vystavené faktury a skladové doklady (ostatní doklady jsou vždy "
     "neskladové)."},
    {"GroupBox1", "Filtr dokladů"},
    {"GroupBox2", "Zámky na dokladech"},
    {"rbAllUnlock", "všechny doklady zároveň odemknout"},
    {"rbAllLock", "všechny doklady zároveň uzamknout"},
    {"rbAllNoAction", "neprovádět žádnou akci"},
    {"btnPrev2", kPrevText},
    {"btnNext2", kNextText},
    {"btnKonec2", kEndText},
    // The archive's name.
    {"Label5", "Do políčka můžete zadat libovolný název, pod kterým se archiv zámků dokladů uloží (není povinné)."},
    {"Label6", "Název archivu:"},
    {"Label7", kWarningOtherStationsText},
    {"Label8", kStartHintText},
    {"btnPrev3", kPrevText},
    {"btnNext3", kStartText},
    {"btnKonec3", kEndText},
    // The progress.
    {"Label9", "Pracuji, prosím čekejte..."},
    {"lblZavreni", "Doplněk se zavře, jakmile operace skončí."},
    {"btnPrerusit", "Přerušit"},
    // The save finished.
    {"Label11",
     "Operace byla dokončena. Nyní můžete v Money provést požadovanou činnost (např. přepočet pořizova- cích cen "
     "zásob). Budete-li chtít vrátit zámky dokladů do původního stavu, znovu spusťte tento program."},
    {"Label13", kTipText},
    {"lblTarvellWebPage1", kDownloadText},
    {"Label10", kBackToStartText},
    {"btnKonec5", kEndText},
    // A job failed or was stopped.
    {"Label14", "V průběhu operace došlo k chybě nebo byla stornována."},
    {"Label12", kBackToStartText},
    {"btnKonec6", kEndText},
    // The archives.
    {"Label15",
     "Ze seznamu vyberte požadovaný archiv, podle kterého program obnoví zámky dokladů do původního stavu ."},
    {"btnDelete", "Smazat"},
    {"btnPrev4", kPrevText},
    {"btnNext4", kNextText},
    {"btnkonec7", kEndText},
    // The recapitulation.
    {"Label16", "Obnovení zámků dokladů - rekapitulace:"},
    {"Label17", "Název archivu:"},
    {"Label18", "Název agendy:"},
    {"Label19", "Datum uložení:"},
    {"Label20", "Čas uložení:"},
    {"Label21", "Filtr roků:"},
    {"Label24", "Filtr dokladů:"},
    {"Label25", kWarningOtherStationsText},
    {"Label26", kStartHintText},
    {"lblPorovnat", "Porovnat s Money"},
    {"btnPrev5", kPrevText},
    {"btnNext5", kStartText},
    {"btnkonec8", kEndText},
    // The restore finished.
    {"Label27", "Operace byla dokončena."},
    {"Label28", kTipText},
    {"lblTarvellWebPage2", kDownloadText},
    {"Label22", kBackToStartText},
    {"btnKonec9", kEndText},
};

// The column titles of the two grids.
inline constexpr const char* kYearColumnTitles[] = {" ", "Roky"};
inline constexpr const char* kArchiveColumnTitles[] = {"Název archivu", "Datum uložení", "Čas uložení"};

// "Porovnat s Money": the dialog's title, its columns (the longer in two lines, so the tables'
// names keep their width), the total row and the button.
inline constexpr const char* kComparisonTitle = "Porovnání archivu s Money";
inline constexpr const char* kComparisonColumnTitles[] = {"Doklady", "V archivu", "Zamčené", "Liší se\nod Money",
                                                          "Nejsou\nv Money"};
inline constexpr const char* kComparisonTotalText = "Celkem";
inline constexpr const char* kComparisonCloseText = "Zavřít";

// The fixed text of the named control; "" for a control whose text is not fixed.
inline const char* FixedText(const char* name) {
  for (const ControlText& t : kControlTexts) {
    if (std::strcmp(t.name, name) == 0) return t.text;
  }
  return "";
}

}  // namespace vorlend
