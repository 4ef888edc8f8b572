#include "archive/modules.h"

namespace vorlend {

const std::array<ModuleInfo, kModuleCount> kModules = {{
    {"PD", "chckPokladna", "pokladní doklady", "Pokladna", false, "POKLKNIH", "Cislo", "pokladní doklady ",
     "pokladní doklady, "},
    {"BD", "chckBanka", "bankovní doklady", "Banka", false, "BANKKNIH", "Cislo", "bankovní doklady ",
     "bankovní doklady, "},
    {"OP", "chckPohledavky", "pohledávky", "Pohledavky", false, "KNIHPOHL", "Cislo", "ostatní pohledávky ",
     "ostatní pohledávky, "},
    {"OZ", "chckZavazky", "závazky", "Zavazky", false, "KNIHZAV", "Cislo", "ostatní závazky ", "ostatní závazky, "},
    {"ID", "chckInterni", "interní doklady", "Interni", false, "INTDOKL", "Cislo", "interní doklady ",
     "interní doklady, "},
    {"PF", "chckPfaktury", "přijaté faktury", "Pfaktury", true, "PFAKTURY", "Cislo", "přijaté faktury ",
     "přijaté faktury, "},
    {"VF", "chckVfkatury", "vystavené faktury", "Vfaktury", true, "VFAKTURY", "Cislo", "vystavené faktury ",
     "vystavené faktury, "},
    {"SD", "chckSkDoklady", "skladové doklady", "SkDoklady", true, "SKSEZDOK", "CDokladu", "skladové doklady ",
     "skladové doklady, "},
}};

std::string KeyFieldForFileName(const std::string& fileName) {
  return fileName.compare(0, 2, "SD") == 0 ? "CDokladu" : "Cislo";
}

}  // namespace vorlend
