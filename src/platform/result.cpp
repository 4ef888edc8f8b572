#include "platform/result.h"

#include "platform/files.h"

namespace vorlend {

Result Result::Failed(std::string message) {
  Result failed(ResultKind::Failed, std::move(message));
  failed.m_noSpaceFolder = TakeNoSpaceFolder();
  return failed;
}

std::string Result::Text() const {
  if (IsOk() || ByUser()) return {};
  if (m_noSpaceFolder.empty()) return m_message;
  return m_message + "\r\rNa disku není dost místa pro " + m_noSpaceFolder +
         ". Uvolněte na disku místo a akci spusťte znovu.";
}

void SayFailure(const Result& result, Dialogs& dialogs) {
  if (const std::string text = result.Text(); !text.empty()) dialogs.Message(MsgKind::Error, text);
}

void ForgetNotedFullDisk() {
  TakeNoSpaceFolder();
}

}  // namespace vorlend
