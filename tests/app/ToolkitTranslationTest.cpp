// Window test of the toolkit's own texts: the standard buttons and dialogs speak Japanese.
#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTest>
#include <QTranslator>

#include "QtTestRunner.h"
#include "app/ToolkitTranslation.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

// True when the text holds a hiragana, katakana or kanji character.
bool hasJapanese(const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF)) return true;
  }
  return false;
}

}  // namespace

class ToolkitTranslationTest : public QObject {
  Q_OBJECT
 private slots:
  void standardDialogsSpeakJapanese() {
    QTranslator* translator = installToolkitTranslation(*qApp);
    QVERIFY2(translator, "the toolkit's Japanese translation (qt6-translations-l10n) is missing");
    // The rest of the test run sees the toolkit as it was.
    const auto remove = qScopeGuard([translator] {
      QCoreApplication::removeTranslator(translator);
      translator->deleteLater();
    });

    QString yes, no;
    setDialogAnswerer([&](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      if (box) {
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
      } else {
        d.reject();
      }
    });
    const int answer = ShowMessageBox(kMsgQuestion, kBtnYesNo, "終了して構いませんでしょうか？");
    setDialogAnswerer({});
    QCOMPARE(answer, int(kIdNo));
    QVERIFY2(yes.contains(QStringLiteral("はい")), qPrintable(yes));
    QVERIFY2(no.contains(QStringLiteral("いいえ")), qPrintable(no));

    QColorDialog colors;
    QVERIFY2(hasJapanese(colors.windowTitle()), qPrintable(colors.windowTitle()));

    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    auto* nameLabel = files.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
    QVERIFY(nameLabel);
    QVERIFY2(hasJapanese(nameLabel->text()), qPrintable(nameLabel->text()));
  }
};

PVRJ_REGISTER_QTEST(ToolkitTranslationTest);
#include "ToolkitTranslationTest.moc"
