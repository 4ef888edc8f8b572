#include "ui/application.h"

#include "platform/locale.h"

namespace vorlend::ui {

void PrepareApplication() {
  // The application's title is the main window's own title. It is deliberately not set as Qt's
  // application display name: Qt appends that name to the title of every window, so the message
  // boxes would read "Chyba — Uložení / načtení zámků dokladů" instead of "Chyba".
  LocaleFormats formats = SystemLocaleFormats();
  NormaliseDateSeparator(formats);
  SetFormatSettings(formats);
}

}  // namespace vorlend::ui
