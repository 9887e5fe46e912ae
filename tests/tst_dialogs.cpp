#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/engine/Session.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/FileDialog.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmOptions.h"
#include "gui/dialogs/frmServerOptions.h"
#include "gui/session/frmDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using LoadResource::Language;
using Codes = QList<int>;

namespace {

template <typename... Values> void row(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

// Fixed in size, without minimize and maximize buttons, and no visible text cut off.
void checkFixedLayout(const QDialog &dialog)
{
    QVERIFY(dialog.minimumSize() == dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint));
    for (const QWidget *control : dialog.findChildren<QWidget *>()) {
        if ((control->inherits("QLabel") || control->inherits("QCheckBox") ||
             control->inherits("QRadioButton")) &&
            control->isVisibleTo(&dialog))
            QVERIFY(control->sizeHint().width() <= control->width());
    }
}

} // namespace

// The option dialogs, the file dialog and the session window's small handlers, as real widgets
// on the offscreen platform; files in temporary folders, sockets on 127.0.0.1.
class tst_Dialogs : public QObject {
    Q_OBJECT

    QStringList m_messages;

private slots:
    void init()
    {
        LoadResource::setRunningLanguage(Language::English);
        FileDialog::stopScripting();
        m_messages.clear();
        MessageBox::setAnswerer([this](const QString &title, const QString &text) {
            m_messages << title + '|' + text;
        });
    }

    // The real dialog shows what it is given and never asks before overwriting; cancel keeps all.
    void platformDialogOffersTheFiltersAndRules()
    {
        FileDialog dialog;
        dialog.FileName = QDir::temp().filePath("start.ksf");
        dialog.Filter = QStringLiteral("Kestrel Files (*.KSF)|*.ksf|All Files (*.*)|*.*");
        dialog.FilterIndex = 2;
        dialog.DefaultExt = QStringLiteral("ksf");
        QStringList seen;
        whenModal<QFileDialog>([&seen](QFileDialog *shown) {
            auto *nameBox = shown->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            seen << shown->nameFilters() << shown->selectedNameFilter()
                 << shown->directory().absolutePath() << (nameBox ? nameBox->text() : "")
                 << shown->defaultSuffix() << QString::number(shown->fileMode())
                 << QString::number(shown->acceptMode())
                 << QString::number(shown->testOption(QFileDialog::DontConfirmOverwrite));
            shown->reject();
        });
        QVERIFY(!dialog.ShowSave());
        QCOMPARE(seen, QStringList({"Kestrel Files (*.KSF) (*.ksf *.KSF)", "All Files (*.*) (*.*)",
                                    "All Files (*.*)", QDir::temp().absolutePath(), "start.ksf",
                                    "ksf", QString::number(QFileDialog::AnyFile),
                                    QString::number(QFileDialog::AcceptSave), "1"}));
        QCOMPARE(dialog.FileName, QDir::temp().filePath("start.ksf"));
    }

    // The dialogs fit their texts in either language; in Japanese no design-time text is left.
    void dialogsShowTheirTextsUncut()
    {
        for (const Language language : {Language::English, Language::Japanese}) {
            LoadResource::setRunningLanguage(language);
            checkFixedLayout(frmServerOptions());
            checkFixedLayout(frmOptions());
        }
        frmServerOptions s;
        QCOMPARE(QStringList({s.windowTitle(), s.chkMultiClients->text(), s.Frame1->title(),
                              s.OptionTCP[0]->text(), s.OptionTCP[1]->text(),
                              s.OptionTCP[2]->text(), s.Command1->text(), s.Command2->text()}),
                 QStringList({"サーバ I/Oオプション", "複数のクライアントからの接続を許可",
                              "受信TCP/IPデータオプション",
                              "全てのクライアントから受信したTCP/IPデータをファイルに保存",
                              "全てのクライアントマシンから受信したTCP/IPデータを無視する",
                              "最初に接続したクライアントマシンから受信したTCP/IPデータのみを保存",
                              "&OK", "キャンセル(&C)"}));
        frmOptions o;
        QCOMPARE(QStringList({o.windowTitle(), o.Check1->text(), o.Frame1->title(),
                              o.Label1->text(), o.Command1->text(), o.Command2->text(),
                              o.Command3->text(), o.Label2->text()}),
                 QStringList({"Kestrel オプション", "全てのエラーをErrorLog.txtファイルに保存",
                              "エラー発生時に外部プログラムを起動:", "コマンドライン:", "表示...",
                              "&OK", "キャンセル(&C)", "TCP/IPパケットの最大バイト数"}));
        QVERIFY(s.Frame2->isHidden() && o.Label2->isHidden() && o.Combo1->isHidden());
    }

    void ioOptionsShowTheCodesAndTakeThemOnlyOnOk_data()
    {
        QTest::addColumn<Codes>("stored"); // AllowMultiConnect, ServerSerialOptions and
        QTest::addColumn<QString>("how");  // ServerTCPOptions; none: a new session's
        QTest::addColumn<Codes>("shown");  // the box, the inbound and the outbound option
        QTest::addColumn<Codes>("after");  // the session's codes, then AllowMultiConnect as left
        row("new session, OK", Codes(), "OK", Codes{1, 0, 0}, Codes{0, 0, 2, 0});
        row("single, first client, OK", Codes{0, 2, 2}, "OK", Codes{0, 2, 2}, Codes{1, 2, 2, 1});
        row("out of range, OK", Codes{5, 7, 9}, "OK", Codes{1, 0, -1}, Codes{0, 7, 2, 0});
        row("negative, OK", Codes{-3, -2, -1}, "OK", Codes{1, 0, -1}, Codes{0, -2, 2, 0});
        row("Cancel", Codes{1, 2, 0}, "Cancel", Codes{1, 0, 2}, Codes{1, 2, 0, -1});
        row("Escape", Codes{5, 7, 9}, "Escape", Codes{1, 0, -1}, Codes{5, 7, 9, -1});
        row("platform close", Codes{5, 7, 9}, "close", Codes{1, 0, -1}, Codes{5, 7, 9, 5});
        row("Enter does nothing", Codes{1, 2, 0}, "Enter", Codes{1, 0, 2}, Codes{1, 2, 0, -1});
    }

    // I/O Options of a session window; the user toggles the box and picks the third option.
    void ioOptionsShowTheCodesAndTakeThemOnlyOnOk()
    {
        QFETCH(Codes, stored);
        QFETCH(QString, how);
        frmDocument window;
        window.TCPOption[1]->click();
        SessionSettings settings = window.session()->settings();
        if (!stored.isEmpty()) {
            settings.AllowMultiConnect = qint16(stored[0]);
            settings.ServerSerialOptions = qint16(stored[1]);
            settings.ServerTCPOptions = qint16(stored[2]);
            window.session()->setSettings(settings);
        }
        Module1::AllowMultiConnect = 0; // whatever the variables held before
        Codes shown;
        bool closed = false;
        whenModal<frmServerOptions>([&](frmServerOptions *d) {
            shown = {d->chkMultiClients->isChecked(), -1, -1};
            for (int i = 0; i < 3; ++i) {
                shown[1] = d->OptionTCP[size_t(i)]->isChecked() ? i : shown[1];
                shown[2] = d->OptionSerial[size_t(i)]->isChecked() ? i : shown[2];
            }
            d->chkMultiClients->click();
            d->OptionTCP[2]->click();
            closed = closeBy(how, d, d->Command1, d->Command2, d->OptionTCP[2]);
            QCOMPARE(d->result(), int(how == "OK" ? QDialog::Accepted : QDialog::Rejected));
        });
        window.Command2->click();
        QTEST(shown, "shown");
        QCOMPARE(closed, how != "Enter");
        const SessionSettings after = window.session()->settings();
        QTEST(Codes({after.AllowMultiConnect, after.ServerSerialOptions, after.ServerTCPOptions,
                     Module1::AllowMultiConnect}),
              "after");
        QVERIFY(!QApplication::activeModalWidget());
    }

    void optionsTakeTheirValuesOnlyOnOk_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("logErrors");
        QTest::addColumn<QString>("browse");  // the answer to Browse; none: not pressed
        QTest::addColumn<QString>("command"); // OnErrorRunApp afterwards; %1 is the folder
        QTest::addColumn<int>("packetSize");
        QTest::addColumn<QString>("packetTyped"); // into the hidden box; empty: as loaded
        QTest::addColumn<int>("packetAfter");
        const QString typed = QStringLiteral("  /opt/alert  --now ");
        row("0, box set, full path", "OK", 0, "alert.sh", "%1/alert.sh", 0, "", 2000);
        row("20000, quoted", "OK", 7, "my alert.sh", "\"%1/my alert.sh\"", 20000, "", 2000);
        row("10001, Enter, Browse cancelled", "Enter", 1, "", typed, 10001, "", 2000);
        row("-5, Browse refuses a missing file", "OK", 0, "gone.sh", typed, -5, "", 2000);
        row("1", "OK", 0, QString(), typed, 1, "", 1);
        row("10000", "OK", 0, QString(), typed, 10000, "", 10000);
        row("half to even below", "OK", 0, QString(), typed, 2000, "2500.5", 2500);
        row("half to even above", "OK", 0, QString(), typed, 2000, "2501.5", 2502);
        row("leading number", "OK", 0, QString(), typed, 2000, " 12 bytes", 12);
        row("beyond 32 bits", "OK", 0, QString(), typed, 2000, "99999999999", 2000);
        row("Cancel after Browse", "Cancel", 0, "alert.sh", "before.sh", 0, "", 0);
        row("Escape", "Escape", 1, QString(), "before.sh", 0, "", 0);
        row("platform close", "close", 7, QString(), "before.sh", 20000, "5", 20000);
    }

    // Modal as from the menu; the user toggles the box, types a command, perhaps browses.
    void optionsTakeTheirValuesOnlyOnOk()
    {
        QFETCH(QString, how);
        QFETCH(int, logErrors);
        QFETCH(QString, browse);
        QFETCH(QString, command);
        QFETCH(int, packetSize);
        QFETCH(QString, packetTyped);
        QTemporaryDir folder;
        QVERIFY(TestSupport::writeFile(folder.filePath("alert.sh"), "#!/bin/sh\n"));
        QVERIFY(TestSupport::writeFile(folder.filePath("my alert.sh"), "#!/bin/sh\n"));
        command.replace("%1", folder.path());
        Module1::LogErrors = logErrors;
        Module1::OnErrorRunApp = QStringLiteral("before.sh");
        Module1::PacketSize = packetSize;
        frmOptions dialog;
        dialog.CommonDialog1.FileName = folder.filePath("x"); // the folder the user looks into
        whenModal<frmOptions>([&](frmOptions *d) {
            d->Check1->click();
            if (!packetTyped.isEmpty())
                d->Combo1->setEditText(packetTyped);
            d->Text1->clear();
            QTest::keyClicks(d->Text1, QStringLiteral("  /opt/alert  --now "));
            if (!browse.isNull()) {
                FileDialog::setScriptedAnswers({browse});
                d->Command1->click();
            }
            QVERIFY(closeBy(how, d, d->Command2, d->Command3, d->Text1));
        });
        const bool taken = dialog.exec() == QDialog::Accepted;
        QCOMPARE(taken, how == "OK" || how == "Enter");
        QCOMPARE(Module1::LogErrors, taken ? int(logErrors == 0) : logErrors);
        QCOMPARE(Module1::OnErrorRunApp, command);
        QTEST(Module1::PacketSize, "packetAfter");
        QCOMPARE(dialog.CommonDialog1.Filter,
                 browse.isNull() ? "" : "Programs (*.EXE)|*.EXE|All Files (*.*)|*.*");
        if (taken && !browse.isEmpty() && QFile::exists(folder.filePath(browse)))
            QCOMPARE(QProcess::splitCommand(command), QStringList{folder.filePath(browse)});
    }

    // A server session browses for its files and lists its clients on a double-click.
    void serverSessionBrowsesAndListsItsClients()
    {
        LoadResource::setRunningLanguage(Language::Japanese);
        const quint16 port = TestSupport::freePort();
        QVERIFY(port != 0);
        QTemporaryDir folder;
        frmDocument window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto doubleClickFrame2 = [&window] {
            QTest::mouseDClick(window.Frame2, Qt::LeftButton, {},
                               QPoint(4, window.Frame2->height() - 4));
        };
        doubleClickFrame2();
        QVERIFY(m_messages.isEmpty());
        window.TCPOption[1]->click();
        doubleClickFrame2();
        QCOMPARE(m_messages, QStringList{"Connected Clients:|"});

        FileDialog::setScriptedAnswers({folder.filePath("in.log"), folder.filePath("out.txt")});
        window.Command3_Click(0);
        QCOMPARE(window.focusWidget(), static_cast<QWidget *>(window.txtLogFile));
        window.Command3_Click(1);
        QCOMPARE(window.CommonDialog1.Filter, "Text Files (*.TXT)|*.txt|All Files (*.*)|*.*");
        QCOMPARE(window.session()->settings().LogFile, folder.filePath("in.log"));
        QCOMPARE(window.session()->settings().OutputFile, folder.filePath("out.txt"));

        window.LocalIP->setEditText(QStringLiteral("127.0.0.1"));
        window.PortNumber->setText(QString::number(port));
        window.Command1->click();
        QVERIFY(window.isActive());
        QTcpSocket first;
        QTcpSocket second;
        first.connectToHost(QHostAddress::LocalHost, port);
        second.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(window.session()->NumConnected(), 2, 5000);
        doubleClickFrame2();
        QCOMPARE(m_messages.value(1), "Connected Clients:|127.0.0.1\r\n127.0.0.1\r\n");
        // The listening element itself is never listed; a departed client no longer is.
        first.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(window.session()->NumConnected(), 1, 5000);
        doubleClickFrame2();
        QCOMPARE(m_messages.value(2), "Connected Clients:|127.0.0.1\r\n");
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
