#pragma once
// The start-up sequence without the window: reading Money's parameters into the host context,
// creating the add-on's directories, and the access-rights gate. Each step reports its own failure
// through the dialogs port and returns false.
#include <string>
#include <vector>

#include "app/access_gate.h"
#include "app/command_line.h"
#include "platform/ports.h"

namespace vorlend {

inline constexpr const char* kIncompleteParametersText =
    "Doplněk byl spuštěn s neúplným parametrem - pravděpodobně ho spouštíte jako samostatný program, "
    "nikoliv jako zásuvný modul Money přímo z plochy.";
inline constexpr const char* kMoneyVersionErrorText = "Nastala chyba při zjišťování verze Money.";
inline constexpr const char* kNoRightsText =
    "Litujeme, ale pro spuštění tohoto doplňku nemáte potřebná přístupová práva. Chcete-li využívat "
    "tento doplněk, požádejte administrátora o nastavení práv k funkci \"Uzamčení dokladů\"";

bool ReadHostContext(const StartupParams& params, Dialogs& dialogs, HostContext& ctx);
bool EnsureDirectory(const std::string& path, Dialogs& dialogs);
// The add-on's own folders of the agenda (settings, temporary work), made where missing; false after
// the message. The window makes them right after reading the context; the batch tool first checks
// what it was asked to do, so that a command line it cannot act on writes nothing.
bool EnsureAddonFolders(const HostContext& ctx, Dialogs& dialogs);
// The agenda's trade name from its settings store, or "---".
std::string ReadAgendaName(const std::string& agendaDir);

// Parsing, ReadHostContext and the two directories, in this order; false after the message.
bool PrepareHostContext(const std::vector<std::string>& args, Dialogs& dialogs, HostContext& ctx);

}  // namespace vorlend
