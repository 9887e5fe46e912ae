#include "ModalDialog.h"
#include "TestSupport.h"
#include "config/ConfigFile.h"
#include "config/frmOptions.h"
#include "config/frmServerOptions.h"
#include "session/frmDocument.h"
#include "shell/FileDialog.h"
#include "shell/MessageBox.h"
#include "shell/frmMain.h"
#include "support/LoadResource.h"
#include "support/Module1.h"
#include "support/ProgramFolder.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

SessionSettings serverSession(quint16 port, const QString &log, int autoActivate)
{
    SessionSettings s;
    s.LogFile = log;
    s.LocalIP = QStringLiteral("127.0.0.1");
    s.PortNumber = QString::number(port);
    s.TCPOption = 1;
    s.AutoActivate = qint16(autoActivate);
    return s;
}

int storedSessions(const QString &file)
{
    if (!QFile::exists(file))
        return -1;
    return int(ConfigFile::read(file, {}).Sessions.size());
}

QStringList captions(const frmMain &main)
{
    QStringList list;
    const QList<frmDocument *> windows = main.sessionWindows();
    for (const frmDocument *window : windows)
        list << window->windowTitle();
    return list;
}

bool portIsFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, port);
}

// Opens the menu as a user would, so that its about-to-show handler runs, and closes it again.
QList<QAction *> openMenu(QMenu *menu)
{
    menu->popup(QPoint(0, 0));
    const QList<QAction *> items = menu->actions();
    menu->hide();
    return items;
}

QList<QRect> geometries(const frmMain &main)
{
    QList<QRect> list;
    const auto windows = main.mdiArea()->subWindowList(QMdiArea::CreationOrder);
    for (const QMdiSubWindow *sub : windows)
        list << sub->geometry();
    return list;
}

} // namespace

// The main window's menu commands on a real main window whose program folder is a temporary one.
class tst_Menus : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void closeIsGreyedWithoutSessionWindows();
    void newNumbersOnAfterClosedWindows();
    void saveAsksForANameUntilOneWasChosen_data();
    void saveAsksForANameUntilOneWasChosen();
    void saveWritesTheFileOfTheLastOpenOrSaveAs();
    void openReplacesActiveSessionsWithoutActivating_data();
    void openReplacesActiveSessionsWithoutActivating();
    void optionsCommandShowsTheOptionsDialog();
    void windowListNamesEverySessionWindow();
    void arrangeCommandsPlaceTheWindows_data();
    void arrangeCommandsPlaceTheWindows();
    void arrangeIconsLinesUpMinimisedWindows();
    void exitWhileASessionDialogIsOpen_data();
    void exitWhileASessionDialogIsOpen();

private:
    QString file(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_messages;
};

void tst_Menus::init()
{
    LoadResource::setRunningLanguage(LoadResource::Language::English);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setPath(m_dir->path());
    Module1::OnErrorRunApp.clear();
    Module1::LogErrors = 0;
    Module1::PacketSize = 0;
    m_messages.clear();
    MessageBox::setAnswerer(
        [this](const QString &title, const QString &text) { m_messages << title + '|' + text; });
    FileDialog::setScriptedAnswers({});
}

void tst_Menus::cleanup()
{
    FileDialog::stopScripting();
    MessageBox::setAnswerer({});
}

void tst_Menus::closeIsGreyedWithoutSessionWindows()
{
    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    openMenu(main.mnuFile);
    QVERIFY(main.mnuFileClose->isEnabled());

    main.mnuFileClose->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(main.sessionWindows().isEmpty(), 2000);
    openMenu(main.mnuFile);
    QVERIFY(!main.mnuFileClose->isEnabled());

    main.mnuFileNew->trigger();
    openMenu(main.mnuFile);
    QVERIFY(main.mnuFileClose->isEnabled());
}

void tst_Menus::newNumbersOnAfterClosedWindows()
{
    frmMain main;
    main.MDIForm_Load(QString());
    main.mnuFileNew->trigger();
    main.mnuFileNew->trigger();
    QCOMPARE(captions(main), QStringList({"TCP/IP Data Logger - 1", "TCP/IP Data Logger - 2",
                                          "TCP/IP Data Logger - 3"}));
    main.mnuFileClose->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(main.sessionWindows().size(), 2, 2000);
    main.mnuFileNew->trigger();
    QCOMPARE(captions(main), QStringList({"TCP/IP Data Logger - 1", "TCP/IP Data Logger - 2",
                                          "TCP/IP Data Logger - 4"}));
    QCOMPARE(main.mdiArea()->activeSubWindow()->widget(), main.sessionWindows().constLast());
}

void tst_Menus::saveAsksForANameUntilOneWasChosen_data()
{
    QTest::addColumn<bool>("fileOnCommandLine");
    QTest::newRow("started without a file") << false;
    QTest::newRow("started with a file") << true;
}

void tst_Menus::saveAsksForANameUntilOneWasChosen()
{
    QFETCH(bool, fileOnCommandLine);
    const QString started = file("started.ksf");
    Configuration two;
    two.Sessions = {SessionSettings(), SessionSettings()};
    QVERIFY(ConfigFile::write(started, two));
    const QByteArray startedContent = TestSupport::readFile(started);

    frmMain main;
    main.MDIForm_Load(fileOnCommandLine ? started : QString());
    QCOMPARE(main.CurrentFile(), QString());

    FileDialog::setScriptedAnswers({QString()});
    main.mnuFileSave->trigger();
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 0); // Save As asked, the user cancelled
    QCOMPARE(main.CurrentFile(), QString());
    QCOMPARE(TestSupport::readFile(started), startedContent);

    // A name typed without extension, in the folder that the dialog opens in.
    FileDialog::setScriptedAnswers({QStringLiteral("named")});
    main.mnuFileSave->trigger();
    QCOMPARE(main.CurrentFile(), file("named.ksf"));
    QCOMPARE(storedSessions(file("named.ksf")), fileOnCommandLine ? 2 : 1);
    QVERIFY(!QFile::exists(file("named")));
    QCOMPARE(TestSupport::readFile(started), startedContent);

    FileDialog::setScriptedAnswers({QStringLiteral("unused")});
    main.mnuFileNew->trigger();
    main.mnuFileSave->trigger();
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 1);
    QCOMPARE(storedSessions(file("named.ksf")), fileOnCommandLine ? 3 : 2);
}

void tst_Menus::saveWritesTheFileOfTheLastOpenOrSaveAs()
{
    const QString a = file("a.ksf");
    Configuration one;
    one.Sessions = {SessionSettings()};
    QVERIFY(ConfigFile::write(a, one));

    frmMain main;
    main.MDIForm_Load(QString());
    QCOMPARE(storedSessions(file("default.ksf")), -1);

    FileDialog::setScriptedAnswers({a});
    main.mnuFileOpen->trigger();
    QCOMPARE(main.CurrentFile(), a);
    main.mnuFileNew->trigger();
    main.mnuFileSave->trigger();
    QCOMPARE(storedSessions(a), 2);

    FileDialog::setScriptedAnswers({file("b")});
    main.mnuFileSaveAs->trigger();
    QCOMPARE(main.CurrentFile(), file("b.ksf"));
    QCOMPARE(storedSessions(file("b.ksf")), 2);
    main.mnuFileNew->trigger();
    main.mnuFileSave->trigger();
    QCOMPARE(storedSessions(file("b.ksf")), 3);
    QCOMPARE(storedSessions(a), 2);

    // Cancel in either dialog changes nothing, after earlier choices too.
    FileDialog::setScriptedAnswers({QString(), QString()});
    main.mnuFileOpen->trigger();
    main.mnuFileSaveAs->trigger();
    QCOMPARE(FileDialog::scriptedAnswersLeft(), 0);
    QCOMPARE(main.CurrentFile(), file("b.ksf"));
    QCOMPARE(main.sessionWindows().size(), 3);

    // The dialog keeps its settings: it opens at the last name, and the extension that
    // Save As set still completes a name typed in Open.
    QCOMPARE(main.dlgCommonDialog.FileName, file("b.ksf"));
    FileDialog::setScriptedAnswers({QStringLiteral("a")});
    main.mnuFileOpen->trigger();
    QCOMPARE(main.CurrentFile(), a);
    QCOMPARE(main.sessionWindows().size(), 2);

    // A name that does not exist is refused by Open.
    FileDialog::setScriptedAnswers({file("missing.ksf")});
    main.mnuFileOpen->trigger();
    QCOMPARE(main.CurrentFile(), a);

    main.mnuFileNew->trigger();
    main.mnuFileExit->trigger();
    QCOMPARE(storedSessions(file("default.ksf")), 3);
    QCOMPARE(storedSessions(a), 2);
    QCOMPARE(storedSessions(file("b.ksf")), 3);
}

void tst_Menus::openReplacesActiveSessionsWithoutActivating_data()
{
    QTest::addColumn<int>("windowState");
    QTest::newRow("maximised") << 2;
    QTest::newRow("minimised") << 1;
    QTest::newRow("normal") << 0;
}

void tst_Menus::openReplacesActiveSessionsWithoutActivating()
{
    QFETCH(int, windowState);
    const quint16 running = TestSupport::freePort();
    const quint16 stored = TestSupport::freePort();
    QVERIFY(running != 0 && stored != 0 && running != stored);
    Configuration config;
    config.WindowState = windowState;
    config.Sessions = {serverSession(stored, file("stored.log"), 1), SessionSettings()};
    QVERIFY(ConfigFile::write(file("active.ksf"), config));

    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    frmDocument *window = main.sessionWindows().constFirst();
    window->applySettings(serverSession(running, file("running.log"), 0));
    window->Command1_Click();
    QVERIFY(window->isActive());
    QVERIFY(!portIsFree(running));

    FileDialog::setScriptedAnswers({file("active.ksf")});
    main.mnuFileOpen->trigger();

    QVERIFY(m_messages.isEmpty());
    QCOMPARE(main.sessionWindows().size(), 2);
    QVERIFY(portIsFree(running));
    for (const frmDocument *opened : main.sessionWindows())
        QVERIFY(!opened->isActive());
    QVERIFY(portIsFree(stored));
    QCOMPARE(main.sessionWindows().constFirst()->settings().PortNumber, QString::number(stored));
    QCOMPARE(main.windowStateCode(), windowState);
}

void tst_Menus::optionsCommandShowsTheOptionsDialog()
{
    frmMain main;
    main.MDIForm_Load(QString());
    QCOMPARE(Module1::PacketSize, 0);
    QWidget *owner = nullptr;
    whenModal<frmOptions>([&](frmOptions *dialog) {
        owner = dialog->parentWidget();
        dialog->Check1->click();
        dialog->Command2->click();
    });
    main.mnuOptions->trigger();
    QCOMPARE(owner, static_cast<QWidget *>(&main));
    QCOMPARE(Module1::PacketSize, 2000);
    QCOMPARE(Module1::LogErrors, 1);
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_Menus::windowListNamesEverySessionWindow()
{
    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.mnuFileNew->trigger();
    main.mnuFileNew->trigger();

    const QList<QAction *> items = openMenu(main.mnuWindow);
    QCOMPARE(items.mid(0, 4),
             QList<QAction *>({main.mnuWindowCascade, main.mnuWindowTileHorizontal,
                               main.mnuWindowTileVertical, main.mnuWindowArrangeIcons}));
    QVERIFY(items.value(4) && items[4]->isSeparator());
    const QList<QAction *> list = items.mid(5);
    QCOMPARE(list.size(), 3);
    const QStringList expected = captions(main);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(list[i]->text().endsWith(expected[i]), qPrintable(list[i]->text()));
        QCOMPARE(list[i]->isChecked(), i == 2);
    }

    list[0]->trigger();
    QCOMPARE(main.mdiArea()->activeSubWindow()->widget(), main.sessionWindows().constFirst());
    const QList<QAction *> again = openMenu(main.mnuWindow).mid(5);
    QCOMPARE(again.size(), 3);
    QVERIFY(again[0]->isChecked() && !again[2]->isChecked());
}

void tst_Menus::arrangeCommandsPlaceTheWindows_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("Cascade") << "Cascade";
    QTest::newRow("Tile Horizontal") << "TileHorizontal";
    QTest::newRow("Tile Vertical") << "TileVertical";
}

void tst_Menus::arrangeCommandsPlaceTheWindows()
{
    QFETCH(QString, command);
    frmMain main;
    main.MDIForm_Load(QString());
    main.resize(900, 700);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.mnuFileNew->trigger();
    main.mnuFileNew->trigger();
    for (QMdiSubWindow *sub : main.mdiArea()->subWindowList())
        sub->setGeometry(50, 40, 200, 150);

    if (command == "Cascade")
        main.mnuWindowCascade->trigger();
    else if (command == "TileHorizontal")
        main.mnuWindowTileHorizontal->trigger();
    else
        main.mnuWindowTileVertical->trigger();

    const QSize space = main.mdiArea()->viewport()->size();
    const QSize designed(7320 / 15, 3930 / 15);
    QList<QRect> placed = geometries(main);
    QCOMPARE(placed.size(), 3);
    std::sort(placed.begin(), placed.end(), [](const QRect &a, const QRect &b) {
        return a.top() + a.left() < b.top() + b.left();
    });
    for (int i = 0; i < 3; ++i) {
        const QRect &r = placed[i];
        if (command == "Cascade") {
            // Each window a step down and to the right of the previous one, at the size of a
            // session window, all overlapping.
            QVERIFY(i == 0 || (r.left() > placed[i - 1].left() && r.top() > placed[i - 1].top()));
            QVERIFY(r.width() >= designed.width() && r.height() >= designed.height());
            QVERIFY(r.intersects(placed[0]));
        } else if (command == "TileHorizontal") {
            QCOMPARE(r.left(), 0);
            QCOMPARE(r.width(), space.width());
            QVERIFY(qAbs(r.height() - space.height() / 3) <= 1);
            QCOMPARE(r.top(), i == 0 ? 0 : placed[i - 1].bottom() + 1);
        } else {
            QCOMPARE(r.top(), 0);
            QCOMPARE(r.height(), space.height());
            QVERIFY(qAbs(r.width() - space.width() / 3) <= 1);
            QCOMPARE(r.left(), i == 0 ? 0 : placed[i - 1].right() + 1);
        }
    }
}

void tst_Menus::arrangeIconsLinesUpMinimisedWindows()
{
    frmMain main;
    main.MDIForm_Load(QString());
    main.resize(900, 700);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.mnuFileNew->trigger();
    main.mnuFileNew->trigger();
    const auto subs = main.mdiArea()->subWindowList(QMdiArea::CreationOrder);
    subs[0]->showMinimized();
    subs[2]->showMinimized();
    subs[0]->move(300, 100);
    subs[2]->move(120, 260);
    const QRect restored = subs[1]->geometry();

    main.mnuWindowArrangeIcons->trigger();

    const int bottom = main.mdiArea()->viewport()->height();
    QCOMPARE(subs[0]->geometry().bottom() + 1, bottom);
    QCOMPARE(subs[2]->geometry().bottom() + 1, bottom);
    QCOMPARE(subs[0]->x(), 0);
    QCOMPARE(subs[2]->x(), subs[0]->width());
    QCOMPARE(subs[1]->geometry(), restored);
}

void tst_Menus::exitWhileASessionDialogIsOpen_data()
{
    QTest::addColumn<bool>("browse");
    QTest::newRow("I/O Options") << false;
    QTest::newRow("Browse") << true;
}

// Shutdown (a signal or the end of the desktop session) may come while a dialog of a session
// window runs; the window goes away under the dialog and the program must not fall over.
void tst_Menus::exitWhileASessionDialogIsOpen()
{
    QFETCH(bool, browse);
    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    main.mnuFileNew->trigger();
    frmDocument *window = main.sessionWindows().constFirst();
    window->TCPOption[1]->click();

    bool shown = false;
    const auto exit = [&](QWidget *) {
        shown = true;
        main.mnuFileExit_Click();
    };
    if (browse) {
        FileDialog::stopScripting();
        whenModal<QFileDialog>(exit);
        window->Command3[0]->click();
    } else {
        whenModal<frmServerOptions>(exit);
        window->Command2->click();
    }
    QVERIFY(shown);
    // Shutdown waits until the dialog has closed and its handler has returned.
    QTRY_VERIFY_WITH_TIMEOUT(main.sessionWindows().isEmpty(), 5000);
    QCOMPARE(storedSessions(file("default.ksf")), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 2000);
}

QTEST_MAIN(tst_Menus)
#include "tst_menus.moc"
