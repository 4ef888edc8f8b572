#include "platform/ports.h"

#include "platform/text.h"

namespace vorlend {

const char* MsgKindTitle(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning:
      return "Varování";
    case MsgKind::Error:
      return "Chyba";
    case MsgKind::Information:
      return "Informace";
    case MsgKind::Confirmation:
      return "Dotaz";
  }
  return "";
}

bool IsWebAddress(const std::string& url) {
  const std::string t = Trim(url);
  return (StartsWithText(t, "http://") || StartsWithText(t, "https://")) &&
         t.find_first_of(" \t\r\n") == std::string::npos;
}

}  // namespace vorlend
