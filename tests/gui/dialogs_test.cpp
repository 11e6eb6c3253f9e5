// The small dialogs and the desktop services: the PIN dialog, the about box,
// the message boxes and the opener.
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "app/about_dlg.h"
#include "app/dialog_pin.h"
#include "app/qt_opener.h"
#include "app/qt_prompt.h"

namespace {

// Runs `answer` on the modal widget that the next exec() opens.
void AnswerNextModal(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal != nullptr);
    answer(modal);
  });
}

}  // namespace

class UrlRecorder : public QObject {
  Q_OBJECT

 public slots:
  void open(const QUrl& url) { urls << url; }

 public:
  QList<QUrl> urls;
};

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void PinDialogLooksAsItShould() {
    CDialogPIN dialog;
    QVERIFY(dialog.pinText.empty());
    QCOMPARE(dialog.windowTitle(), QString());
    QCOMPARE(dialog.pinField()->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.pinField()->text().isEmpty());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(!(flags & Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & Qt::WindowSystemMenuHint));
    QVERIFY(flags & Qt::WindowTitleHint);
    QCOMPARE(dialog.okButton()->text(), QString("OK"));
    QVERIFY(dialog.okButton()->isDefault());
    QCOMPARE(dialog.cancelButton()->text(), QString("Cancel"));
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    QCOMPARE(labels, QStringList{"PIN:"});
  }

  void PinDialogKeepsOrEmptiesTheText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");  // ok, enter, cancel, escape
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("kept");
    QTest::newRow("OK") << "123456"
                        << "ok" << int(QDialog::Accepted) << "123456";
    QTest::newRow("Enter") << "4321"
                           << "enter" << int(QDialog::Accepted) << "4321";
    QTest::newRow("OK, empty") << ""
                               << "ok" << int(QDialog::Accepted) << "";
    QTest::newRow("OK, not ASCII")
        << QString::fromUtf8("p\xC3\xAFn \xE2\x82\xAC") << "ok" << int(QDialog::Accepted)
        << QString::fromUtf8("p\xC3\xAFn \xE2\x82\xAC");
    QTest::newRow("Cancel") << "123456"
                            << "cancel" << int(QDialog::Rejected) << "";
    QTest::newRow("Escape") << "123456"
                            << "escape" << int(QDialog::Rejected) << "";
  }

  void PinDialogKeepsOrEmptiesTheText() {
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(QString, kept);
    CDialogPIN dialog;
    dialog.pinText = "left over";  // Cancel must empty whatever is there
    AnswerNextModal([&](QWidget*) {
      dialog.pinField()->setText(typed);
      if (how == "ok") QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
      if (how == "cancel") QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
      if (how == "enter") QTest::keyClick(dialog.pinField(), Qt::Key_Return);
      if (how == "escape") QTest::keyClick(dialog.pinField(), Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(dialog.pinText, kept.toStdString());
  }

  void AboutBox() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QString("About Quillmark"));
    QCOMPARE(about.findChild<QLabel*>("aboutText")->text(), QString("Quillmark, Version 1.0"));
    QVERIFY(!about.findChild<QLabel*>("aboutIcon")->pixmap().isNull());
    QCOMPARE(about.okButton()->text(), QString("OK"));
    AnswerNextModal([&](QWidget*) { QTest::mouseClick(about.okButton(), Qt::LeftButton); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
  }

  void MessageBoxesCarryCaptionIconAndOwner() {
    QWidget owner;
    QtPrompt prompt(&owner);
    struct Case {
      PromptIcon icon;
      bool owned;
      QMessageBox::Icon shown;
    };
    for (const Case& c : {Case{PromptIcon::kWarning, true, QMessageBox::Warning},
                          Case{PromptIcon::kError, true, QMessageBox::Critical},
                          Case{PromptIcon::kWarning, false, QMessageBox::Warning}}) {
      QString title;
      QString text;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      QWidget* parent = &owner;
      int buttons = 0;
      AnswerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        parent = box->parentWidget();
        buttons = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
      });
      prompt.Message("PIN cannot be empty!", c.icon, c.owned);
      QCOMPARE(title, QString("Quillmark"));
      QCOMPARE(text, QString("PIN cannot be empty!"));
      QCOMPARE(icon, c.shown);
      QCOMPARE(parent, c.owned ? &owner : nullptr);
      QCOMPARE(buttons, 1);
    }
  }

  void ConfirmAnswersOkOrCancel() {
    QtPrompt prompt;
    for (bool pressOk : {true, false}) {
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      AnswerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        icon = box->icon();
        box->button(pressOk ? QMessageBox::Ok : QMessageBox::Cancel)->click();
      });
      QCOMPARE(prompt.Confirm("Fetch?"), pressOk);
      QCOMPARE(icon, QMessageBox::Warning);
    }
  }

  void AskPinUsesThePinDialog() {
    QtPrompt prompt;
    for (bool pressOk : {true, false}) {
      // Shares its characters with the field's text: it shows whether the
      // field's own copy of the PIN was overwritten.
      QString fieldText;
      AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CDialogPIN*>(modal);
        QVERIFY(dialog != nullptr);
        QTest::keyClicks(dialog->pinField(), "2468");
        fieldText = dialog->pinField()->text();
        QTest::keyClick(dialog->pinField(), pressOk ? Qt::Key_Return : Qt::Key_Escape);
      });
      std::string pin = "stale";
      QCOMPARE(prompt.AskPin(&pin), pressOk);
      QCOMPARE(pin, pressOk ? std::string("2468") : std::string());
      QCOMPARE(fieldText.size(), 4);
      QCOMPARE(fieldText, QString(4, QChar(u'\0')));
    }
  }

  void WipePinOverwritesBothCopies() {
    CDialogPIN dialog;
    QTest::keyClicks(dialog.pinField(), "135790");
    const QString fieldText = dialog.pinField()->text();
    dialog.OnBnClickedOk();
    QCOMPARE(dialog.pinText, std::string("135790"));
    const char* kept = dialog.pinText.data();
    dialog.WipePin();
    QVERIFY(dialog.pinText.empty());
    QVERIFY(dialog.pinField()->text().isEmpty());
    QVERIFY(!dialog.pinField()->isUndoAvailable());
    QCOMPARE(fieldText, QString(6, QChar(u'\0')));
    // Short strings live inside the string object: the old bytes are zero.
    QCOMPARE(std::string(kept, 6), std::string(6, '\0'));
  }

  void OpenerHandsAddressesAndFilesToTheDesktop() {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("https", &recorder, "open");
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    QtOpener opener;
    opener.OpenUrl("https://example.org/fido-mds-explorer/?aaguid=00010203-0405");
    opener.OpenFile("/tmp/f1d0abc.cer");
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.urls.size(), 2);
    QCOMPARE(recorder.urls[0].toString(),
             QString("https://example.org/fido-mds-explorer/?aaguid=00010203-0405"));
    QCOMPARE(recorder.urls[1], QUrl::fromLocalFile("/tmp/f1d0abc.cer"));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
