// The window's real message boxes: the bare titles of the four kinds with their buttons, and a
// long path that wraps inside the screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "ui/qt_ports.h"

namespace vorlend::test {

namespace {

// Runs `inspect` on the message box once it is up, then presses its button captioned `press`.
void WhenBoxShows(std::function<void(QMessageBox&)> inspect, QString press) {
  // The pending timer holds the only strong reference, so the attempts end without a leak.
  auto attempt = std::make_shared<std::function<void(int)>>();
  const std::weak_ptr<std::function<void(int)>> self = attempt;
  *attempt = [inspect, press, self](int left) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      if (left > 0) {
        if (auto again = self.lock()) QTimer::singleShot(10, [again, left] { (*again)(left - 1); });
      } else {
        ADD_FAILURE() << "no message box showed";
      }
      return;
    }
    inspect(*box);
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == press) {
        button->click();
        return;
      }
    }
    ADD_FAILURE() << "no button " << press.toStdString();
    box->done(0);
  };
  QTimer::singleShot(0, [attempt] { (*attempt)(200); });
}

QStringList Captions(const QMessageBox& box) {
  QStringList captions;
  for (QAbstractButton* button : box.buttons()) captions << button->text();
  captions.sort();
  return captions;
}

}  // namespace

TEST(MessageBoxes, CarryTheKindsBareTitleAndTheirButtons) {
  ui::QtDialogs dialogs;
  const std::pair<MsgKind, QString> kinds[] = {{MsgKind::Warning, QStringLiteral("Varování")},
                                               {MsgKind::Error, QStringLiteral("Chyba")},
                                               {MsgKind::Information, QStringLiteral("Informace")},
                                               {MsgKind::Confirmation, QStringLiteral("Dotaz")}};
  for (const auto& [kind, title] : kinds) {
    SCOPED_TRACE(title.toStdString());
    QString seen;
    QStringList buttons;
    WhenBoxShows(
        [&](QMessageBox& box) {
          seen = box.windowTitle();
          buttons = Captions(box);
        },
        QStringLiteral("OK"));
    dialogs.Message(kind, "Zpráva.");
    EXPECT_EQ(seen, title);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});

    // Only "Ano" answers yes; "Ne" is the escape.
    for (const QString& answer : {QStringLiteral("&Ano"), QStringLiteral("&Ne")}) {
      WhenBoxShows(
          [&](QMessageBox& box) {
            seen = box.windowTitle();
            buttons = Captions(box);
            EXPECT_EQ(box.escapeButton()->text(), QStringLiteral("&Ne"));
          },
          answer);
      EXPECT_EQ(dialogs.Question(kind, "Otázka ?"), answer == QStringLiteral("&Ano"));
      EXPECT_EQ(seen, title);
      EXPECT_EQ(buttons, (QStringList{QStringLiteral("&Ano"), QStringLiteral("&Ne")}));
    }
    // A question whose Ano deletes or stops something has Ne as its default: a stray Enter keeps.
    for (const QuestionId id : {QuestionId::Other, QuestionId::DeleteArchive, QuestionId::DeleteAfterRestore,
                                QuestionId::StopJob, QuestionId::GoOnDespiteUnfinished}) {
      QString byDefault;
      WhenBoxShows([&](QMessageBox& box) { byDefault = box.defaultButton()->text(); }, QStringLiteral("&Ne"));
      EXPECT_FALSE(dialogs.Ask(id, kind, "Otázka ?"));
      EXPECT_EQ(byDefault, id == QuestionId::Other ? QStringLiteral("&Ano") : QStringLiteral("&Ne"));
    }
  }
}

TEST(MessageBoxes, ALongPathWrapsAtItsSeparatorsInsideTheScreen) {
  // Numbered folders: a line may not break between "/" and a digit by the usual rules, so without
  // break points of its own the path is one unbreakable word.
  std::string path = "/srv/money";
  for (int i = 100; i < 150; ++i) path += "/" + std::to_string(i);
  path += "/PrijateFakturyPolozkyArchivZamkuNaServeruUcetniKancelare.DAT";
  const std::string text = "Chyba: nepodařilo se vytvořit soubor " + path + "\r\rDruhý odstavec <b>bez značek</b>.";

  ui::QtDialogs dialogs;
  QRect frame, available;
  QString shown, copied;
  int lineHeight = 0, labelHeight = 0;
  WhenBoxShows(
      [&](QMessageBox& box) {
        frame = box.frameGeometry();
        available = box.screen()->availableGeometry();
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        shown = label->text();
        lineHeight = label->fontMetrics().lineSpacing();
        labelHeight = label->height();
        QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QApplication::sendEvent(&box, &copy);
        copied = QGuiApplication::clipboard()->text();
      },
      QStringLiteral("OK"));
  dialogs.Message(MsgKind::Error, text);

  EXPECT_TRUE(available.contains(frame)) << "box " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                         << frame.height() << " on " << available.width() << "x" << available.height();
  // The box keeps to the width a message box takes for long text, well inside the screen.
  EXPECT_LE(frame.width(), available.width() * 3 / 4);
  EXPECT_GE(labelHeight, 5 * lineHeight);
  // Nothing of the text is lost or read as markup; the break points are invisible and stay out
  // of what the user copies.
  const QString expected = QString::fromUtf8(text.c_str()).replace(QStringLiteral("\r"), QStringLiteral("\n"));
  EXPECT_EQ(QString(shown).remove(QChar(0x200B)), expected);
  EXPECT_EQ(copied, QStringLiteral("Chyba\n\n") + expected);
}

TEST(MessageBoxes, BreakPointsNeverSplitACharacter) {
  // A long run of characters outside the basic plane: the break points fall between them.
  QString run;
  for (int i = 0; i < 60; ++i) run += QString::fromUcs4(U"\U0001F512");
  const QString broken = ui::BreakableText(run);
  EXPECT_GT(broken.count(QChar(0x200B)), 0);
  for (qsizetype i = 0; i + 1 < broken.size(); ++i) {
    if (broken.at(i).isHighSurrogate()) {
      EXPECT_TRUE(broken.at(i + 1).isLowSurrogate()) << i;
    }
  }
  EXPECT_EQ(QString(broken).remove(QChar(0x200B)), run);
}

}  // namespace vorlend::test
