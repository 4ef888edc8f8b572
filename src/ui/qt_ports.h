#pragma once
// The ports of platform/ports.h on Qt: message boxes, the progress page's controls, the browser.
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/job_progress.h"
#include "archive/report.h"
#include "platform/ports.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace vorlend::ui {

// Converts the core's UTF-8 text.
inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
  return text.toStdString();
}

// Each CR (or CR LF) becomes a line break: Qt would draw a lone CR as a blank.
QString MessageBoxText(const std::string& text);
// The text with invisible break points after path separators and in long unbroken runs, so a
// message box can wrap a long path instead of growing past the screen.
QString BreakableText(const QString& text);

class QtDialogs : public Dialogs {
public:
  // The boxes are centred on `owner` while it is visible.
  explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}
  void SetOwner(QWidget* owner) { m_owner = owner; }

  void Message(MsgKind kind, const std::string& text) override;
  bool Question(MsgKind kind, const std::string& text) override;
  // "Ne" is the default button of a question whose "Ano" deletes or stops something.
  bool Ask(QuestionId id, MsgKind kind, const std::string& text) override;

private:
  bool Asked(MsgKind kind, const std::string& text, bool anoByDefault);
  QPointer<QWidget> m_owner;
};

class QtProgress : public Progress {
public:
  // `begin` runs when the long work begins (the window shows its progress page).
  QtProgress(QLabel* text, QProgressBar* bar, std::function<void()> begin = {});

  void SetText(const std::string& text) override;
  void SetMaximum(int maximum) override;
  void SetPosition(int position) override;
  void ProcessMessages() override;
  void Begin() override;

  // The whole job under the bar (JobProgress): "Tabulka i z n, celkem p %, zbývá asi …", in
  // `overall`.
  void SetOverallLabel(QLabel* overall);
  void JobBegins(const std::vector<int>& tableDocuments);
  void TableBegins(int number, int count);
  void TableEnds();

private:
  void ShowOverall();
  QPointer<QLabel> m_text;
  QPointer<QProgressBar> m_bar;
  QPointer<QLabel> m_overall;
  std::function<void()> m_begin;
  JobProgress m_job;
};

// Hands the tables a save, a restore or a comparison goes through to the window's progress.
class QtObserver : public OperationObserver {
public:
  explicit QtObserver(QtProgress& progress) : m_progress(progress) {}
  void JobBegins(const std::vector<int>& tableDocuments) override { m_progress.JobBegins(tableDocuments); }
  void TableBegins(int number, int count) override { m_progress.TableBegins(number, count); }
  void TableEnds() override { m_progress.TableEnds(); }
  void LockConflict(const std::string&, std::int32_t) override {}

private:
  QtProgress& m_progress;
};

class QtShell : public Shell {
public:
  bool OpenUrl(const std::string& url) override;
};

}  // namespace vorlend::ui
