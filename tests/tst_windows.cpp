#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/engine/Session.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmOptions.h"
#include "gui/dialogs/frmServerOptions.h"
#include "gui/help/frmAbout.h"
#include "gui/main/frmMain.h"
#include "gui/session/frmDocument.h"

#include <QtTest>
#include <QtWidgets>

using LoadResource::Language;
using LoadResource::LoadResString;
using Codes = QList<int>;

// Real windows on the offscreen platform; the test answers message boxes and file dialogs.
class tst_Windows : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_messages; // title|text of each message box

    QString file(const QString &name) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        LoadResource::setRunningLanguage(Language::English);
        m_dir = std::make_unique<QTemporaryDir>();
        ProgramFolder::setPath(m_dir->path());
        m_messages.clear();
        MessageBox::setAnswerer([this](const QString &title, const QString &text) {
            m_messages << title + '|' + text;
        });
        FileDialog::setScriptedAnswers({}); // an unexpected file dialog is cancelled
    }

    void textsComeFromTheTableAndFit_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << int(Language::English);
        QTest::newRow("Japanese") << int(Language::Japanese);
    }

    // No design-time text is left in any window: what has a table id shows its text, no menu item
    // is empty or its id. Every visible text shows whole, in a font that has its characters.
    void textsComeFromTheTableAndFit()
    {
        QFETCH(int, language);
        LoadResource::setRunningLanguage(Language(language));
        for (int id = -32768; id <= 32767; ++id)
            QVERIFY(!LoadResource::HasResString(id) || !LoadResString(id).isEmpty());
        frmMain main; // with a session window
        main.MDIForm_Load(QString());
        frmServerOptions serverOptions;
        frmOptions options;
        frmAbout about;
        for (QWidget *window :
             std::initializer_list<QWidget *>{&main, &serverOptions, &options, &about}) {
            window->show();
            QCOMPARE(window->windowTitle(), LoadResString(window->property("Tag").toInt()));
            for (const QWidget *control : window->findChildren<QWidget *>()) {
                const int id = control->property("Tag").toInt();
                const QString text =
                    control->property(control->inherits("QGroupBox") ? "title" : "text").toString();
                if (id != 0) // a tag the table lacks leaves the design text
                    QCOMPARE(text, LoadResString(id));
                if (text.isEmpty() || !control->isVisibleTo(window))
                    continue;
                // Wrapped labels by height, push buttons by text width, others less label margin.
                const auto *label = qobject_cast<const QLabel *>(control);
                const QRawFont font = QRawFont::fromFont(control->font()); // without fallbacks
                QVERIFY2(label && label->wordWrap()
                             ? label->heightForWidth(label->width()) <= label->height()
                         : control->inherits("QPushButton")
                             ? control->fontMetrics().horizontalAdvance(QString(text).remove('&')) <
                                   control->width()
                             : control->minimumSizeHint().width() -
                                       (control->inherits("QAbstractButton") ? 4 : 0) <=
                                   control->width(),
                         qPrintable(text));
                for (const uint character : text.toUcs4())
                    QVERIFY2(!QChar::isPrint(character) || font.supportsCharacter(character),
                             qPrintable(text));
            }
        }
        QList<QAction *> items = main.menuBar()->actions(); // the menus' titles
        for (const QMenu *menu : main.findChildren<QMenu *>())
            items << menu->actions();
        for (const QAction *item : items)
            QVERIFY2(item->isSeparator() || (!item->text().isEmpty() && !item->text().toInt()),
                     qPrintable(item->text()));
    }

    // A session window from a new client to an inactive server: the role's controls, typing the
    // port, the local addresses, Browse, a port in use, the controls greyed while active.
    void sessionWindowFromClientToServerAndBack()
    {
        LoadResource::setRunningLanguage(Language::Japanese);
        frmDocument window;
        window.show();
        const auto state = [&window] { // shown controls, labels, button, enabled controls
            QString s = QString(window.IPAddress->isVisible() ? "host" : "") +
                        (window.LocalIP->isVisible() ? "addresses" : "") +
                        (window.Command2->isVisible() ? ", options" : "") + window.Label2->text() +
                        window.Label3->text() + window.Command1->text();
            for (const QWidget *control : std::initializer_list<const QWidget *>{
                     window.TCPOption[0], window.TCPOption[1], window.IPAddress, window.PortNumber,
                     window.LocalIP, window.Command2, window.txtLogFile})
                s += control->isEnabled() ? '+' : '-';
            return s;
        };
        const QString client = "host" + LoadResString(2153) + LoadResString(2154);
        const QString server = "addresses, options" + LoadResString(2155) + LoadResString(2156);
        const QString inactive = LoadResString(2159) + "+++++++";
        QCOMPARE(state(), client + inactive);
        window.PortNumber->clear();
        QTest::keyClicks(window.PortNumber, "655356"); // five digits; 65535 is still in range
        QCOMPARE(window.PortNumber->text(), "65535");
        window.PortNumber->clear();
        QTest::keyClicks(window.PortNumber, "70000");
        QCOMPARE(m_messages, QStringList(LoadResString(2167) + '|' + LoadResString(2168)));

        window.TCPOption[1]->click();
        QCOMPARE(state(), server + inactive);
        QVERIFY(window.LocalIP->findText("127.0.0.1") >= 0 &&
                window.LocalIP->findText(window.LocalIP->currentText()) >= 0);
        FileDialog::setScriptedAnswers({file("in.log")});
        window.Command3[0]->click();
        QVERIFY(window.settings().LogFile == file("in.log") &&
                window.focusWidget() == window.txtLogFile);

        TestSupport::Peer occupant; // a port in use leaves the window inactive
        window.LocalIP->setEditText("127.0.0.1");
        window.PortNumber->setText(QString::number(occupant.port()));
        window.Command1->click();
        QCOMPARE(state(), server + inactive);
        window.PortNumber->setText("0"); // any free port
        window.Command1->click();
        QCOMPARE(state(), server + LoadResString(2160) + "------+");
        window.Command1->click();
        QCOMPARE(window.StatusBar1->text(), Session::statusWith(2162));
        QCOMPARE(state(), server + inactive);
        window.TCPOption[0]->click();
        QCOMPARE(state(), client + inactive);
    }

    void optionDialogsTakeValuesOnlyOnOk_data()
    {
        // Stored: server codes, LogErrors. Shown: box, inbound options, closed. After: server
        // codes. Browse: the answer. Command: OnErrorRunApp after (%1: the folder).
        for (const char *name : {"how", "browse", "command"})
            QTest::addColumn<QString>(name);
        for (const char *name : {"stored", "shown", "after"})
            QTest::addColumn<Codes>(name);
        const auto row = [](const char *name, const auto &...values) {
            (QTest::newRow(name) << ... << values);
        };
        row("OK, full path", "OK", "alert.sh", "%1/alert.sh", Codes{0, 2, 2, 0},
            Codes{0, 0, 0, 1, 1}, Codes{1, 2, 2});
        row("OK, out of range, quoted", "OK", "my alert.sh", "\"%1/my alert.sh\"",
            Codes{5, 7, 9, 7}, Codes{1, 1, 0, 0, 1}, Codes{0, 7, 2});
        row("Cancel after Browse", "Cancel", "alert.sh", "before.sh", Codes{1, 2, 0, 0},
            Codes{1, 1, 0, 0, 1}, Codes{1, 2, 0});
        row("Escape, Browse cancelled", "Escape", "", "before.sh", Codes{-3, -2, -1, 7},
            Codes{1, 1, 0, 0, 1}, Codes{-3, -2, -1});
    }

    // The option dialogs take the user's changes only on OK.
    void optionDialogsTakeValuesOnlyOnOk()
    {
        QFETCH(QString, how);
        QFETCH(Codes, stored);
        frmDocument window;
        window.applySettings(
            {"", "", "", "", "", 1, 0, qint16(stored[0]), qint16(stored[1]), qint16(stored[2]), 0});
        Codes shown;
        const auto serverOptions = whenModal<frmServerOptions>([&](frmServerOptions *d) {
            shown << d->chkMultiClients->isChecked() << d->OptionTCP[0]->isChecked()
                  << d->OptionTCP[1]->isChecked() << d->OptionTCP[2]->isChecked();
            d->chkMultiClients->click();
            d->OptionTCP[2]->click();
            shown << closeBy(how, d, d->Command1, d->Command2, d->OptionTCP[2]);
        });
        window.Command2->click();
        QVERIFY(*serverOptions);
        QTEST(shown, "shown");
        const SessionSettings &s = window.session()->settings();
        QTEST(Codes({s.AllowMultiConnect, s.ServerSerialOptions, s.ServerTCPOptions}), "after");

        QFETCH(QString, browse);
        QFETCH(QString, command);
        QVERIFY(browse.isEmpty() || TestSupport::writeFile(file(browse), "#!/bin/sh\n"));
        Module1::LogErrors = stored[3];
        Module1::OnErrorRunApp = "before.sh";
        Module1::PacketSize = 77;
        frmOptions dialog;
        dialog.CommonDialog1.FileName = file("x"); // the folder the user looks into
        const auto ran = whenModal<frmOptions>([&](frmOptions *d) {
            d->Check1->click();
            d->Combo1->setEditText("0"); // out of range: OK takes the default
            d->Text1->clear();
            QTest::keyClicks(d->Text1, "  /opt/alert  --now ");
            FileDialog::setScriptedAnswers({browse});
            d->Command1->click();
            QVERIFY(closeBy(how, d, d->Command2, d->Command3, d->Text1));
        });
        QCOMPARE(dialog.exec() == QDialog::Accepted, how == "OK");
        QVERIFY(*ran);
        QCOMPARE(Module1::LogErrors, how == "OK" ? int(stored[3] == 0) : stored[3]);
        QCOMPARE(Module1::OnErrorRunApp, command.replace("%1", m_dir->path()));
        QCOMPARE(Module1::PacketSize, how == "OK" ? 2000 : 77);
        // A file that must exist and does not: the dialog refuses it, the name stays.
        FileDialog &browser = dialog.CommonDialog1;
        const QString before = browser.FileName;
        browser.Flags = FileDialog::FileMustExist;
        FileDialog::setScriptedAnswers({"missing.sh"});
        QVERIFY(!browser.ShowOpen() && browser.FileName == before);
    }

    // New numbers on; the Window menu lists, checks and activates windows; Close needs a window.
    void sessionWindowsInTheMainWindow()
    {
        frmMain main;
        main.MDIForm_Load(QString());
        main.show();
        const auto windowList = [&main] {
            QStringList list; // window numbers, the checked one marked "*"
            emit main.mnuWindow->aboutToShow();
            for (const QAction *item : main.mnuWindow->actions().mid(7))
                list << item->text().section(' ', -1) + (item->isChecked() ? "*" : "");
            return list;
        };
        main.mnuFileNew->trigger();
        main.mnuFileNew->trigger();
        QCOMPARE(windowList(), QStringList({"1", "2", "3*"}));
        main.mnuWindow->actions()[7]->trigger();
        QCOMPARE(windowList(), QStringList({"1*", "2", "3"}));

        for (int left = 2; left >= 0; --left) {
            main.mnuFileClose->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(main.sessionWindows().size(), left, 2000);
            emit main.mnuFile->aboutToShow();
            QCOMPARE(main.mnuFileClose->isEnabled(), left > 0);
        }
        main.mnuFileNew->trigger(); // numbers go on after every window closed
        QCOMPARE(windowList(), QStringList("4*"));
    }

    // Save writes the file of the last Open or Save As of this run, else asks. Open replaces
    // active sessions without asking or activating; their settings come back whole.
    void openAndSave()
    {
        Configuration config;
        config.Sessions = {
            {file("in.log"), "", "127.0.0.1", "", "0", 1, 1, 0, 0, 2, 0}, // active on any port
            {"/var/log/in1.txt", "", "127.0.0.1", "127.0.0.9", "123456", 1, 0, 0, 5, 2, -3}};
        QVERIFY(ConfigFile::write(file("a.ksf"), config));
        frmMain main;
        main.MDIForm_Load(file("a.ksf"));
        const quint16 port = TestSupport::listeningPort(*main.sessionWindows()[0]->session());
        QTcpServer probe;
        QVERIFY(!probe.listen(QHostAddress::LocalHost, port));

        config.WindowState = 1;
        QVERIFY(ConfigFile::write(file("a.ksf"), config));
        FileDialog::setScriptedAnswers({"named", "a", "b", QString(), QString()});
        main.mnuFileSave->trigger();
        main.mnuFileOpen->trigger(); // the port out of range is reported at start and on Open
        QCOMPARE(m_messages, QStringList(2, LoadResString(2167) + '|' + LoadResString(2168)));
        QCOMPARE(main.windowStateCode(), 1);
        QVERIFY(probe.listen(QHostAddress::LocalHost, port));
        config.Sessions[0].AutoActivate = 0;
        QCOMPARE(main.sessionWindows()[0]->settings(), config.Sessions[0]);
        QCOMPARE(main.sessionWindows()[1]->settings(), config.Sessions[1]);
        // New and Save after Open A, after Save As B, after Open and Save As cancelled.
        for (QAction *command : {main.mnuFileNew, main.mnuFileSave, main.mnuFileSaveAs,
                                 main.mnuFileNew, main.mnuFileSave, main.mnuFileOpen,
                                 main.mnuFileSaveAs, main.mnuFileNew, main.mnuFileSave})
            command->trigger();
        QCOMPARE(int(ConfigFile::read(file("named.ksf"), {}).Sessions.size()), 2);
        QCOMPARE(int(ConfigFile::read(file("a.ksf"), {}).Sessions.size()), 3);
        QCOMPARE(int(ConfigFile::read(file("b.ksf"), {}).Sessions.size()), 5);
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_windows.moc"
