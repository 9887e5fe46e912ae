#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/ProgramFolder.h"
#include "core/config/ConfigFile.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/FileDialog.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmServerOptions.h"
#include "gui/main/frmMain.h"
#include "gui/session/frmDocument.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

// The main window's menu commands on a real main window whose program folder is a temporary one.
class tst_Menus : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_asked = false;

    QString file(const QString &name) const { return m_dir->filePath(name); }

    // The sessions stored in a file of the folder; -1 when there is no such file.
    int stored(const QString &n) const
    {
        return QFile::exists(file(n)) ? int(ConfigFile::read(file(n), {}).Sessions.size()) : -1;
    }

    // Opens and closes a menu as a user would, so that its about-to-show handler runs.
    static QList<QAction *> openMenu(QMenu *menu)
    {
        menu->popup(QPoint());
        menu->hide();
        return menu->actions();
    }

    // The session windows as the Window menu lists them, the checked one marked "*".
    static QStringList windowList(frmMain &main)
    {
        QStringList list;
        for (const QAction *item : openMenu(main.mnuWindow).mid(5))
            list << item->text().section(' ', 1) + (item->isChecked() ? "*" : "");
        return list;
    }

    static void choose(std::initializer_list<QAction *> commands)
    {
        for (QAction *command : commands)
            command->trigger();
    }

    static void start(frmMain &main, int count)
    {
        main.MDIForm_Load(QString());
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        for (int i = 1; i < count; ++i)
            main.mnuFileNew->trigger();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ProgramFolder::setPath(m_dir->path());
        m_asked = false;
        MessageBox::setAnswerer([this](const QString &, const QString &) { m_asked = true; });
        FileDialog::setScriptedAnswers({}); // an unexpected file dialog is cancelled
    }

    // New numbers on; the Window menu lists the windows, checks the active one and activates the
    // one chosen; Close is greyed only without a window.
    void newCloseAndTheWindowList()
    {
        frmMain main;
        start(main, 3);
        const QString c = QStringLiteral("TCP/IP Data Logger - %1");
        QCOMPARE(windowList(main), QStringList({c.arg(1), c.arg(2), c.arg(3) + "*"}));
        openMenu(main.mnuWindow)[5]->trigger();
        QCOMPARE(windowList(main), QStringList({c.arg(1) + "*", c.arg(2), c.arg(3)}));
        main.mnuFileClose->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(main.sessionWindows().size(), 2, 2000);
        main.mnuFileNew->trigger();
        QCOMPARE(windowList(main), QStringList({c.arg(2), c.arg(3), c.arg(4) + "*"}));
        for (int left = 2; left >= 0; --left) {
            main.mnuFileClose->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(main.sessionWindows().size(), left, 2000);
            openMenu(main.mnuFile);
            QCOMPARE(main.mnuFileClose->isEnabled(), left > 0);
        }
    }

    void saveWritesTheFileOfTheLastOpenOrSaveAs_data()
    {
        QTest::addColumn<bool>("fileOnCommandLine");
        QTest::newRow("started without a file") << false;
        QTest::newRow("started with a file") << true;
    }

    void saveWritesTheFileOfTheLastOpenOrSaveAs()
    {
        QFETCH(bool, fileOnCommandLine);
        const QString a = file("a.ksf");
        Configuration two;
        two.Sessions = {SessionSettings(), SessionSettings()};
        QVERIFY(ConfigFile::write(a, two));
        const QByteArray written = TestSupport::readFile(a);
        frmMain main;
        main.MDIForm_Load(fileOnCommandLine ? a : QString());
        const int n = fileOnCommandLine ? 2 : 1;
        // Save right after start-up asks for a name; cancelled, then typed without extension.
        FileDialog::setScriptedAnswers(
            {QString(), "named", a, "b", QString(), QString(), "a", "missing"});
        choose({main.mnuFileSave, main.mnuFileSave});
        QCOMPARE(main.CurrentFile(), file("named.ksf"));
        QVERIFY(!QFile::exists(file("named")) && TestSupport::readFile(a) == written);
        choose({main.mnuFileNew, main.mnuFileSave}); // without a question now
        // Open A and Save As B, each followed by New and Save; Open and Save As cancelled.
        choose({main.mnuFileOpen, main.mnuFileNew, main.mnuFileSave, main.mnuFileSaveAs,
                main.mnuFileNew, main.mnuFileSave, main.mnuFileOpen, main.mnuFileSaveAs});
        QCOMPARE(main.CurrentFile(), file("b.ksf"));
        // Open of "a", completed with the extension Save As left, and of a missing file, refused.
        choose({main.mnuFileOpen, main.mnuFileOpen});
        QCOMPARE(main.CurrentFile(), a);
        QCOMPARE(FileDialog::scriptedAnswersLeft(), 0);
        // Exit while a session window's dialog runs, as when the desktop session ends.
        main.sessionWindows()[0]->TCPOption[1]->click();
        whenModal<frmServerOptions>([&main](QWidget *) { main.mnuFileExit->trigger(); });
        main.sessionWindows()[0]->Command2->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            main.sessionWindows().isEmpty() && !QApplication::activeModalWidget(), 5000);
        QCOMPARE(QList<int>({stored("named.ksf"), stored("a.ksf"), stored("b.ksf"),
                             stored("default.ksf")}),
                 QList<int>({n + 1, 3, 4, 3}));
    }

    void openReplacesActiveSessionsWithoutActivating_data()
    {
        QTest::addColumn<int>("windowState");
        QTest::newRow("maximised") << 2;
        QTest::newRow("minimised") << 1;
    }

    // Open closes active sessions without asking, applies the window state, activates nothing.
    void openReplacesActiveSessionsWithoutActivating()
    {
        QFETCH(int, windowState);
        const quint16 port = TestSupport::freePort();
        QVERIFY(port != 0);
        SessionSettings server;
        server.LocalIP = QStringLiteral("127.0.0.1");
        server.PortNumber = QString::number(port);
        server.TCPOption = 1;
        server.AutoActivate = 1;
        Configuration config;
        config.Sessions = {server, SessionSettings()};
        QVERIFY(ConfigFile::write(file("active.ksf"), config));
        frmMain main;
        main.MDIForm_Load(file("active.ksf"));
        QTcpServer probe;
        QVERIFY(main.sessionWindows()[0]->isActive() &&
                !probe.listen(QHostAddress::LocalHost, port));
        config.WindowState = windowState;
        QVERIFY(ConfigFile::write(file("active.ksf"), config));
        FileDialog::setScriptedAnswers({file("active.ksf")});
        main.mnuFileOpen->trigger();
        QVERIFY(!m_asked);
        QCOMPARE(main.sessionWindows().size(), 2);
        QVERIFY(!main.sessionWindows()[0]->isActive() && !main.sessionWindows()[1]->isActive());
        QVERIFY(probe.listen(QHostAddress::LocalHost, port));
        QCOMPARE(main.sessionWindows()[0]->settings().PortNumber, QString::number(port));
        QCOMPARE(main.windowStateCode(), windowState);
    }

    void arrangeCommandsPlaceTheWindows_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("Cascade") << 0;
        QTest::newRow("Tile Horizontal") << 1;
        QTest::newRow("Tile Vertical") << 2;
    }

    void arrangeCommandsPlaceTheWindows()
    {
        QFETCH(int, command);
        frmMain main;
        start(main, 3);
        QList<QRect> placed;
        for (QMdiSubWindow *sub : main.mdiArea()->subWindowList())
            sub->setGeometry(50, 40, 200, 150);
        QList<QAction *>({main.mnuWindowCascade, main.mnuWindowTileHorizontal,
                          main.mnuWindowTileVertical})[command]
            ->trigger();
        for (QMdiSubWindow *sub : main.mdiArea()->subWindowList())
            placed << sub->geometry();
        std::sort(placed.begin(), placed.end(), [](const QRect &a, const QRect &b) {
            return a.left() + a.top() < b.left() + b.top();
        });
        const QRect space = main.mdiArea()->viewport()->rect();
        QRegion covered;
        for (int i = 0; i < 3; ++i) {
            const QRect &r = placed[i];
            if (command == 0) { // each a step down and right, at a session window's size
                QVERIFY(i == 0 ||
                        (r.left() > placed[i - 1].left() && r.top() > placed[i - 1].top()));
                QVERIFY(r.width() >= 7320 / 15 && r.height() >= 3930 / 15 &&
                        r.intersects(placed[0]));
            } else { // equal shares of the whole space, one above another or side by side
                const QSize share(space.width() / (command == 1 ? 1 : 3),
                                  space.height() / (command == 1 ? 3 : 1));
                QVERIFY(qAbs(r.width() - share.width()) <= 1 &&
                        qAbs(r.height() - share.height()) <= 1);
                QVERIFY(!covered.intersects(r));
                covered += r;
            }
        }
        QCOMPARE(covered, command == 0 ? QRegion() : QRegion(space));
    }
};

QTEST_MAIN(tst_Menus)
#include "tst_menus.moc"
