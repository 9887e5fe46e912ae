#include "ModalDialog.h"
#include "TestSupport.h"
#include "config/frmOptions.h"
#include "config/frmServerOptions.h"
#include "session/Session.h"
#include "session/frmDocument.h"
#include "shell/FileDialog.h"
#include "shell/MessageBox.h"
#include "support/LoadResource.h"
#include "support/Module1.h"

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

namespace {

const QString KsfFilter = QStringLiteral("Kestrel Files (*.KSF)|*.ksf|All Files (*.*)|*.*");

// Fixed in size, without minimize and maximize buttons, at the designed client area or wider
// where a text needs more room, with no text cut off.
bool isFixedDialog(const QDialog &dialog, const QSize &designed)
{
    if (dialog.minimumSize() != dialog.maximumSize() || dialog.height() != designed.height() ||
        dialog.width() < designed.width() ||
        (dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)))
        return false;
    const QList<QWidget *> controls = dialog.findChildren<QWidget *>();
    return std::all_of(controls.begin(), controls.end(), [&](const QWidget *control) {
        const bool hasText = qobject_cast<const QLabel *>(control) ||
                             qobject_cast<const QCheckBox *>(control) ||
                             qobject_cast<const QRadioButton *>(control);
        return !hasText || !control->isVisibleTo(&dialog) ||
               control->sizeHint().width() <= control->width();
    });
}

// The controls that Tab visits, in order, starting at `first`.
QList<QWidget *> focusOrder(QWidget *first, const QList<QWidget *> &controls)
{
    QList<QWidget *> order;
    QWidget *widget = first;
    do {
        if (controls.contains(widget))
            order << widget;
        widget = widget->nextInFocusChain();
    } while (widget != first);
    return order;
}

int checkedIndex(const std::array<QRadioButton *, 3> &buttons)
{
    for (int i = 0; i < 3; ++i) {
        if (buttons[size_t(i)]->isChecked())
            return i;
    }
    return -1;
}

void setServerCodes(qint16 multi, qint16 serial, qint16 tcp)
{
    Module1::AllowMultiConnect = multi;
    Module1::ServerSerialOptions = serial;
    Module1::ServerTCPOptions = tcp;
}

QPoint blankSpotOf(QGroupBox *frame)
{
    return QPoint(4, frame->height() - 4);
}

} // namespace

// The option dialogs, the file dialog and the session window's small handlers, as real widgets
// on the offscreen platform; files in temporary folders, sockets on 127.0.0.1.
class tst_Dialogs : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void scriptedFileNamesFollowTheDialogRules_data();
    void scriptedFileNamesFollowTheDialogRules();
    void platformDialogOffersTheFiltersAndRules_data();
    void platformDialogOffersTheFiltersAndRules();

    void serverDialogLooksAsDesigned_data();
    void serverDialogLooksAsDesigned();
    void serverDialogShowsTheCodes_data();
    void serverDialogShowsTheCodes();
    void ioOptionsCarryTheCodesBackOnlyOnOk_data();
    void ioOptionsCarryTheCodesBackOnlyOnOk();

    void optionsDialogLooksAsDesigned_data();
    void optionsDialogLooksAsDesigned();
    void packetSizeOnOk_data();
    void packetSizeOnOk();
    void optionsKeepEverythingUnlessOk_data();
    void optionsKeepEverythingUnlessOk();
    void browseForTheErrorProgram_data();
    void browseForTheErrorProgram();

    void browseForTheSessionFiles_data();
    void browseForTheSessionFiles();
    void clientsListOfAServerSession();
    void clientsListFollowsTheSelectedRole();

private:
    QStringList m_messages;
    QTemporaryDir m_dir;
};

void tst_Dialogs::init()
{
    LoadResource::setRunningLanguage(Language::English);
    m_messages.clear();
    MessageBox::setAnswerer(
        [this](const QString &title, const QString &text) { m_messages << title + '|' + text; });
    Module1::OnErrorRunApp.clear();
    Module1::LogErrors = 0;
    Module1::PacketSize = 0;
    setServerCodes(1, 0, 0);
}

void tst_Dialogs::cleanup()
{
    MessageBox::setAnswerer({});
    FileDialog::stopScripting();
}

void tst_Dialogs::scriptedFileNamesFollowTheDialogRules_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("defaultExt");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected"); // relative to the folder; empty: no file chosen

    const auto row = [](const char *name, bool save, int flags, const char *ext, const char *typed,
                        const char *expected) {
        QTest::newRow(name) << save << flags << QString(ext) << QString(typed) << QString(expected);
    };
    row("save adds the extension", true, 4, "ksf", "name", "name.ksf");
    row("save keeps an extension", true, 4, "ksf", "name.txt", "name.txt");
    row("save in a subfolder", true, 4, "ksf", "sub/name", "sub/name.ksf");
    row("save cancelled", true, 4, "ksf", "", "");
    row("open an existing file", false, 4100, "", "old.ksf", "old.ksf");
    row("open completes the extension", false, 4100, "ksf", "old", "old.ksf");
    row("open refuses a missing file", false, 4100, "", "gone.ksf", "");
    row("open may name a new file", false, 4, "", "new.txt", "new.txt");
    row("open refuses a folder", false, 4, "", "sub", "");
}

void tst_Dialogs::scriptedFileNamesFollowTheDialogRules()
{
    QFETCH(bool, save);
    QFETCH(int, flags);
    QFETCH(QString, defaultExt);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    QVERIFY(TestSupport::writeFile(folder.filePath("old.ksf"), "[Kestrel]\r\n"));
    QVERIFY(QDir(folder.path()).mkdir("sub"));

    FileDialog dialog;
    const QString before = folder.filePath("start.ksf");
    dialog.FileName = before;
    dialog.Flags = flags;
    dialog.DefaultExt = defaultExt;
    dialog.Filter = KsfFilter;
    FileDialog::setScriptedAnswers({typed});
    const bool chosen = save ? dialog.ShowSave() : dialog.ShowOpen();
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 0);
    QCOMPARE(chosen, !expected.isEmpty());
    QCOMPARE(dialog.FileName, expected.isEmpty() ? before : folder.filePath(expected));
}

void tst_Dialogs::platformDialogOffersTheFiltersAndRules_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("pickFilter"); // 0: cancel
    QTest::addColumn<int>("fileMode");

    QTest::newRow("save over an existing file") << true << 4 << 1 << int(QFileDialog::AnyFile);
    QTest::newRow("open an existing file") << false << 4100 << 2 << int(QFileDialog::ExistingFile);
    QTest::newRow("open cancelled") << false << 4100 << 0 << int(QFileDialog::ExistingFile);
}

// The real dialog, answered through its own widgets.
void tst_Dialogs::platformDialogOffersTheFiltersAndRules()
{
    QFETCH(bool, save);
    QFETCH(int, flags);
    QFETCH(int, pickFilter);
    QFETCH(int, fileMode);
    QTemporaryDir folder;
    const QString existing = folder.filePath("old.ksf");
    QVERIFY(TestSupport::writeFile(existing, "[Kestrel]\r\n"));

    QWidget owner;
    FileDialog dialog(&owner);
    dialog.FileName = folder.filePath("start.ksf");
    dialog.Filter = KsfFilter;
    dialog.FilterIndex = 1;
    dialog.DefaultExt = QStringLiteral("ksf");
    dialog.Flags = flags;

    QStringList offered;
    bool asksBeforeOverwrite = true;
    bool stayedOpen = false;
    whenModal<QFileDialog>([&](QFileDialog *shown) {
        auto *nameBox = shown->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        offered = shown->nameFilters();
        offered << shown->selectedNameFilter().left(21) << shown->directory().absolutePath()
                << (nameBox ? nameBox->text() : QString()) << shown->defaultSuffix()
                << QString::number(shown->fileMode()) << QString::number(shown->acceptMode());
        asksBeforeOverwrite = !shown->testOption(QFileDialog::DontConfirmOverwrite);
        if (nameBox && pickFilter != 0 && !asksBeforeOverwrite) {
            shown->selectNameFilter(shown->nameFilters().at(pickFilter - 1));
            nameBox->setText(existing);
            static_cast<QDialog *>(shown)->accept();
        }
        // Whatever happened, the dialog must not stay open behind the test.
        stayedOpen = pickFilter != 0 && shown->isVisible();
        if (shown->isVisible())
            shown->reject();
    });
    const bool chosen = save ? dialog.ShowSave() : dialog.ShowOpen();

    QCOMPARE(
        offered,
        QStringList({"Kestrel Files (*.KSF) (*.ksf *.KSF)", "All Files (*.*) (*.*)",
                     "Kestrel Files (*.KSF)", QFileInfo(folder.path()).absoluteFilePath(),
                     "start.ksf", "ksf", QString::number(fileMode),
                     QString::number(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen)}));
    QVERIFY(!stayedOpen);
    QVERIFY(!asksBeforeOverwrite);
    QCOMPARE(chosen, pickFilter != 0);
    QCOMPARE(dialog.FileName, chosen ? existing : folder.filePath("start.ksf"));
    QCOMPARE(dialog.FilterIndex, chosen ? pickFilter : 1);
}

void tst_Dialogs::serverDialogLooksAsDesigned_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("English") << int(Language::English)
                             << QStringList{"Server I/O Options",
                                            "Allow multiple client connections",
                                            "Inbound TCO/IP data options:",
                                            "Log inbound TCP/IP data from all clients to file.",
                                            "Ignore inbound TCP/IP data from all clients.",
                                            "Log inbound TCP/IP data from first connected "
                                            "client only.",
                                            "&OK",
                                            "&Cancel"};
    QTest::newRow("Japanese")
        << int(Language::Japanese)
        << QStringList{"サーバ I/Oオプション",
                       "複数のクライアントからの接続を許可",
                       "受信TCP/IPデータオプション",
                       "全てのクライアントから受信したTCP/IPデータをファイルに保存",
                       "全てのクライアントマシンから受信したTCP/IPデータを無視する",
                       "最初に接続したクライアントマシンから受信したTCP/IPデータのみを保存",
                       "&OK",
                       "キャンセル(&C)"};
}

void tst_Dialogs::serverDialogLooksAsDesigned()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    LoadResource::setRunningLanguage(Language(language));
    frmServerOptions dialog;
    QCOMPARE(QStringList({dialog.windowTitle(), dialog.chkMultiClients->text(),
                          dialog.Frame1->title(), dialog.OptionTCP[0]->text(),
                          dialog.OptionTCP[1]->text(), dialog.OptionTCP[2]->text(),
                          dialog.Command1->text(), dialog.Command2->text()}),
             texts);
    QVERIFY(isFixedDialog(dialog, QSize(358, 249)));
    QVERIFY(dialog.Frame2->isHidden());
    QVERIFY(!dialog.Command1->isDefault() && !dialog.Command1->autoDefault());
    QVERIFY(!dialog.Command2->isDefault() && !dialog.Command2->autoDefault());
    const QList<QWidget *> tabOrder = {
        dialog.chkMultiClients, dialog.OptionTCP[0],    dialog.OptionTCP[1],
        dialog.OptionTCP[2],    dialog.OptionSerial[0], dialog.OptionSerial[1],
        dialog.OptionSerial[2], dialog.Command1,        dialog.Command2};
    QCOMPARE(focusOrder(dialog.chkMultiClients, tabOrder), tabOrder);
}

void tst_Dialogs::serverDialogShowsTheCodes_data()
{
    QTest::addColumn<int>("multi");
    QTest::addColumn<int>("serial");
    QTest::addColumn<int>("tcp");
    QTest::addColumn<bool>("boxShown");
    QTest::addColumn<int>("tcpShown");
    QTest::addColumn<int>("serialShown");
    QTest::addColumn<QList<int>>("afterOk"); // multi, serial, tcp

    QTest::newRow("new session") << 1 << 0 << 0 << true << 0 << 0 << QList<int>{1, 0, 0};
    QTest::newRow("single, first client") << 0 << 2 << 2 << false << 2 << 2 << QList<int>{0, 2, 2};
    QTest::newRow("ignore inbound") << 1 << 1 << 1 << true << 1 << 1 << QList<int>{1, 1, 1};
    QTest::newRow("codes out of range") << 5 << 7 << 9 << true << 0 << -1 << QList<int>{1, 7, 0};
    QTest::newRow("negative codes") << -3 << -2 << -1 << true << 0 << -1 << QList<int>{1, -2, 0};
}

void tst_Dialogs::serverDialogShowsTheCodes()
{
    QFETCH(int, multi);
    QFETCH(int, serial);
    QFETCH(int, tcp);
    QFETCH(bool, boxShown);
    QFETCH(int, tcpShown);
    QFETCH(int, serialShown);
    QFETCH(QList<int>, afterOk);
    setServerCodes(qint16(multi), qint16(serial), qint16(tcp));
    frmServerOptions dialog;
    QCOMPARE(dialog.chkMultiClients->isChecked(), boxShown);
    QCOMPARE(checkedIndex(dialog.OptionTCP), tcpShown);
    QCOMPARE(checkedIndex(dialog.OptionSerial), serialShown);
    QCOMPARE(QList<int>({Module1::AllowMultiConnect, Module1::ServerSerialOptions,
                         Module1::ServerTCPOptions}),
             QList<int>({multi, serial, tcp}));
    dialog.Command1->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QList<int>({Module1::AllowMultiConnect, Module1::ServerSerialOptions,
                         Module1::ServerTCPOptions}),
             afterOk);
}

void tst_Dialogs::ioOptionsCarryTheCodesBackOnlyOnOk_data()
{
    QTest::addColumn<QString>("closedBy");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("multiAfter"); // AllowMultiConnect as the dialog leaves it
    QTest::newRow("OK") << "OK" << true << 0;
    QTest::newRow("Cancel") << "Cancel" << false << -1;
    QTest::newRow("Escape") << "Escape" << false << -1;
    QTest::newRow("platform close") << "close" << false << 1;
    QTest::newRow("Enter does nothing, then Cancel") << "Enter" << false << -1;
}

// The session window's I/O Options button with the dialog that it opens, answered by a user.
void tst_Dialogs::ioOptionsCarryTheCodesBackOnlyOnOk()
{
    QFETCH(QString, closedBy);
    QFETCH(bool, taken);
    QFETCH(int, multiAfter);
    frmDocument window;
    window.TCPOption[1]->click();
    SessionSettings stored = window.session()->settings();
    stored.AllowMultiConnect = 1;
    stored.ServerSerialOptions = 2;
    stored.ServerTCPOptions = 0;
    window.session()->setSettings(stored);
    Module1::AllowMultiConnect = 0; // whatever the variables held before

    bool stillOpenAfterEnter = false;
    whenModal<frmServerOptions>([&](frmServerOptions *dialog) {
        dialog->chkMultiClients->click();
        dialog->OptionTCP[2]->click();
        if (closedBy == "OK") {
            dialog->Command1->click();
        } else if (closedBy == "Cancel") {
            dialog->Command2->click();
        } else if (closedBy == "Escape") {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else if (closedBy == "close") {
            dialog->close();
        } else {
            QTest::keyClick(dialog->chkMultiClients, Qt::Key_Return);
            QTest::keyClick(dialog->OptionTCP[2], Qt::Key_Enter);
            stillOpenAfterEnter = dialog->isVisible();
            dialog->Command2->click();
        }
    });
    window.Command2->click();

    const SessionSettings after = window.session()->settings();
    QCOMPARE(after.AllowMultiConnect, qint16(taken ? 0 : 1));
    QCOMPARE(after.ServerTCPOptions, qint16(taken ? 2 : 0));
    QCOMPARE(after.ServerSerialOptions, qint16(2));
    QCOMPARE(Module1::AllowMultiConnect, multiAfter);
    QCOMPARE(stillOpenAfterEnter, closedBy == "Enter");
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_Dialogs::optionsDialogLooksAsDesigned_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("English") << int(Language::English)
                             << QStringList{"Kestrel Options",
                                            "Log all errors to file: ErrorLog.txt",
                                            "Run external program when errors occur:",
                                            "Command Line:",
                                            "Browse...",
                                            "&OK",
                                            "&Cancel",
                                            "Max bytes per TCP/IP packet"};
    QTest::newRow("Japanese") << int(Language::Japanese)
                              << QStringList{"Kestrel オプション",
                                             "全てのエラーをErrorLog.txtファイルに保存",
                                             "エラー発生時に外部プログラムを起動:",
                                             "コマンドライン:",
                                             "表示...",
                                             "&OK",
                                             "キャンセル(&C)",
                                             "TCP/IPパケットの最大バイト数"};
}

void tst_Dialogs::optionsDialogLooksAsDesigned()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    LoadResource::setRunningLanguage(Language(language));
    Module1::PacketSize = 4000;
    frmOptions dialog;
    QCOMPARE(QStringList({dialog.windowTitle(), dialog.Check1->text(), dialog.Frame1->title(),
                          dialog.Label1->text(), dialog.Command1->text(), dialog.Command2->text(),
                          dialog.Command3->text(), dialog.Label2->text()}),
             texts);
    QVERIFY(isFixedDialog(dialog, QSize(336, 231)));
    QCOMPARE(dialog.width(), 336); // the longer command-line label fits in its frame
    QVERIFY(dialog.Label2->isHidden() && dialog.Combo1->isHidden());
    QVERIFY(dialog.Combo1->isEditable());
    QStringList entries;
    for (int i = 0; i < dialog.Combo1->count(); ++i)
        entries << dialog.Combo1->itemText(i);
    QCOMPARE(entries, QStringList({"50", "100", "200", "500", "1000", "2000", "4000"}));
    QCOMPARE(dialog.Combo1->currentText(), QStringLiteral("4000"));
    QVERIFY(dialog.Command2->isDefault());
    const QList<QWidget *> tabOrder = {dialog.Check1,   dialog.Text1,    dialog.Command1,
                                       dialog.Command2, dialog.Command3, dialog.Combo1};
    QCOMPARE(focusOrder(dialog.Check1, tabOrder), tabOrder);
}

void tst_Dialogs::packetSizeOnOk_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("boxText"); // empty: as loaded
    QTest::addColumn<int>("afterOk");
    QTest::newRow("0 before any file") << 0 << "" << 2000;
    QTest::newRow("20000") << 20000 << "" << 2000;
    QTest::newRow("10001") << 10001 << "" << 2000;
    QTest::newRow("-5") << -5 << "" << 2000;
    QTest::newRow("1") << 1 << "" << 1;
    QTest::newRow("10000") << 10000 << "" << 10000;
    QTest::newRow("half to even below") << 2000 << "2500.5" << 2500;
    QTest::newRow("half to even above") << 2000 << "2501.5" << 2502;
    QTest::newRow("leading number") << 2000 << " 12 bytes" << 12;
    QTest::newRow("no number") << 2000 << "many" << 2000;
    QTest::newRow("beyond 32 bits") << 2000 << "99999999999" << 2000;
}

void tst_Dialogs::packetSizeOnOk()
{
    QFETCH(int, stored);
    QFETCH(QString, boxText);
    QFETCH(int, afterOk);
    Module1::PacketSize = stored;
    frmOptions dialog;
    QCOMPARE(dialog.Combo1->currentText(), QString::number(stored));
    if (!boxText.isEmpty())
        dialog.Combo1->setEditText(boxText);
    dialog.Command2->click();
    QCOMPARE(Module1::PacketSize, afterOk);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void tst_Dialogs::optionsKeepEverythingUnlessOk_data()
{
    QTest::addColumn<QString>("closedBy");
    QTest::addColumn<int>("storedLogErrors");
    QTest::addColumn<bool>("boxShown");
    QTest::addColumn<bool>("taken");
    QTest::newRow("OK sets the box") << "OK" << 0 << false << true;
    QTest::newRow("OK clears the box") << "OK" << 1 << true << true;
    QTest::newRow("OK on any non-zero value") << "OK" << 7 << true << true;
    QTest::newRow("Enter") << "Enter" << 0 << false << true;
    QTest::newRow("Cancel") << "Cancel" << 0 << false << false;
    QTest::newRow("Escape") << "Escape" << 1 << true << false;
    QTest::newRow("platform close") << "close" << 7 << true << false;
}

// Driven modally, as the Options menu shows it; the user toggles the box and types a command.
void tst_Dialogs::optionsKeepEverythingUnlessOk()
{
    QFETCH(QString, closedBy);
    QFETCH(int, storedLogErrors);
    QFETCH(bool, boxShown);
    QFETCH(bool, taken);
    Module1::LogErrors = storedLogErrors;
    Module1::OnErrorRunApp = QStringLiteral("before.sh");
    Module1::PacketSize = 0;

    bool shown = false;
    whenModal<frmOptions>([&](frmOptions *dialog) {
        shown = dialog->Check1->isChecked();
        dialog->Check1->click();
        dialog->Text1->setFocus();
        dialog->Text1->selectAll();
        QTest::keyClicks(dialog->Text1, QStringLiteral("  /opt/alert  --now "));
        if (closedBy == "OK")
            dialog->Command2->click();
        else if (closedBy == "Enter")
            QTest::keyClick(dialog->Text1, Qt::Key_Return);
        else if (closedBy == "Cancel")
            dialog->Command3->click();
        else if (closedBy == "Escape")
            QTest::keyClick(dialog->Text1, Qt::Key_Escape);
        else
            dialog->close();
    });
    frmOptions dialog;
    dialog.exec();

    QCOMPARE(shown, boxShown);
    QCOMPARE(Module1::LogErrors, taken ? (boxShown ? 0 : 1) : storedLogErrors);
    QCOMPARE(Module1::OnErrorRunApp,
             taken ? QStringLiteral("  /opt/alert  --now ") : QStringLiteral("before.sh"));
    QCOMPARE(Module1::PacketSize, taken ? 2000 : 0);
}

void tst_Dialogs::browseForTheErrorProgram_data()
{
    QTest::addColumn<QString>("answer");   // relative to a temporary folder; empty: cancel
    QTest::addColumn<QString>("expected"); // the same, or the unchanged command line
    QTest::newRow("chosen") << "alert.sh"
                            << "%1/alert.sh";
    QTest::newRow("blanks are quoted") << "my alert.sh"
                                       << "\"%1/my alert.sh\"";
    QTest::newRow("cancelled") << ""
                               << "run.sh --old";
    QTest::newRow("missing file refused") << "gone.sh"
                                          << "run.sh --old";
}

void tst_Dialogs::browseForTheErrorProgram()
{
    QFETCH(QString, answer);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    QVERIFY(TestSupport::writeFile(folder.filePath("alert.sh"), "#!/bin/sh\n"));
    QVERIFY(TestSupport::writeFile(folder.filePath("my alert.sh"), "#!/bin/sh\n"));
    Module1::OnErrorRunApp = QStringLiteral("run.sh --old");
    frmOptions dialog;
    dialog.CommonDialog1.FileName = folder.filePath("x"); // the folder the user looks into
    FileDialog::setScriptedAnswers({answer});
    dialog.Command1->click();
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 0);
    QCOMPARE(dialog.CommonDialog1.Flags, 4100);
    QCOMPARE(dialog.CommonDialog1.Filter,
             QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*"));
    QCOMPARE(dialog.Text1->text(), expected.arg(folder.path()));
    dialog.Command2->click();
    QCOMPARE(Module1::OnErrorRunApp, expected.arg(folder.path()));
    if (!answer.isEmpty() && QFile::exists(folder.filePath(answer)))
        QCOMPARE(QProcess::splitCommand(Module1::OnErrorRunApp),
                 QStringList{folder.filePath(answer)});
}

void tst_Dialogs::browseForTheSessionFiles_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("answer");
    QTest::newRow("log file chosen") << 0 << "in.log";
    QTest::newRow("log file cancelled") << 0 << "";
    QTest::newRow("outbound file chosen") << 1 << "out.txt";
    QTest::newRow("outbound file cancelled") << 1 << "";
}

void tst_Dialogs::browseForTheSessionFiles()
{
    QFETCH(int, index);
    QFETCH(QString, answer);
    QTemporaryDir folder;
    frmDocument window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QLineEdit *box = index == 0 ? window.txtLogFile : window.txtOutFile;
    const QString before = folder.filePath("before.txt");
    box->setText(before);
    FileDialog::setScriptedAnswers({answer});
    window.Command3_Click(index);
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 0);
    QCOMPARE(window.CommonDialog1.Filter,
             QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
    QCOMPARE(window.CommonDialog1.Flags & FileDialog::FileMustExist, 0);
    const QString expected = answer.isEmpty() ? before : folder.filePath(answer);
    QCOMPARE(box->text(), expected);
    QCOMPARE(index == 0 ? window.session()->settings().LogFile
                        : window.session()->settings().OutputFile,
             expected);
    if (index == 0)
        QCOMPARE(window.focusWidget(), static_cast<QWidget *>(box));
}

void tst_Dialogs::clientsListOfAServerSession()
{
    const quint16 port = TestSupport::freePort();
    QVERIFY(port != 0);
    frmDocument window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.TCPOption[1]->click();
    window.LocalIP->setEditText(QStringLiteral("127.0.0.1"));
    window.PortNumber->setText(QString::number(port));
    window.txtLogFile->setText(m_dir.filePath("in.log"));
    window.Command1->click();
    QVERIFY(window.isActive());

    QTcpSocket first;
    QTcpSocket second;
    first.connectToHost(QHostAddress::LocalHost, port);
    second.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(window.session()->NumConnected(), 2, 5000);

    QTest::mouseDClick(window.Frame2, Qt::LeftButton, {}, blankSpotOf(window.Frame2));
    QCOMPARE(m_messages,
             QStringList{QStringLiteral("Connected Clients:|127.0.0.1\r\n127.0.0.1\r\n")});

    // The listening element itself is never listed; a departed client no longer is.
    first.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(window.session()->NumConnected(), 1, 5000);
    QTest::mouseDClick(window.Frame2, Qt::LeftButton, {}, blankSpotOf(window.Frame2));
    QCOMPARE(m_messages.value(1), QStringLiteral("Connected Clients:|127.0.0.1\r\n"));
}

void tst_Dialogs::clientsListFollowsTheSelectedRole()
{
    LoadResource::setRunningLanguage(Language::Japanese);
    frmDocument window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseDClick(window.Frame2, Qt::LeftButton, {}, blankSpotOf(window.Frame2));
    QVERIFY(m_messages.isEmpty());

    window.TCPOption[1]->click();
    QVERIFY(!window.isActive());
    QTest::mouseDClick(window.Frame2, Qt::LeftButton, {}, blankSpotOf(window.Frame2));
    QCOMPARE(m_messages, QStringList{QStringLiteral("Connected Clients:|")});
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
