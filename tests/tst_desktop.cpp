#include "TestSupport.h"
#include "config/IniProfile.h"
#include "shell/TrayCallbackEvent.h"
#include "shell/WebLink.h"
#include "shell/basSubclass.h"
#include "shell/clsTaskBar.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"
#include "support/LoadResStrings.h"
#include "support/LoadResource.h"
#include "support/Module1.h"
#include "support/ProgramFolder.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

using LoadResource::Language;

namespace {

// Takes the place of the user's browser and help viewer: records what the desktop was asked
// to open and which cursor was shown meanwhile.
class OpenedUrls final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;
    QList<Qt::CursorShape> cursors;

public slots:
    void open(const QUrl &url)
    {
        urls << url;
        const QCursor *cursor = QApplication::overrideCursor();
        cursors << (cursor ? cursor->shape() : Qt::ArrowCursor);
    }
};

// Remembers which events reach a window after its other filters.
class EventRecorder final : public QObject {
public:
    QList<QEvent::Type> seen;
    bool eventFilter(QObject *, QEvent *event) override
    {
        seen << event->type();
        return false;
    }
};

bool processAlive(qint64 pid)
{
    const QByteArray stat = TestSupport::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat.at(end + 2) != 'Z';
}

} // namespace

// The About box, the Help menu and the notification-area icon on the offscreen platform,
// where the desktop offers no notification area.
class tst_Desktop : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aboutBoxShowsItsTextsAndTheYearOfEachOpening_data();
    void aboutBoxShowsItsTextsAndTheYearOfEachOpening();
    void aboutFromTheMenusIsModalAndOwned_data();
    void aboutFromTheMenusIsModalAndOwned();
    void webLinkOpensTheAddressUnderTheWaitCursor_data();
    void webLinkOpensTheAddressUnderTheWaitCursor();
    void helpIndexShowsTheProgramsHelpFileAndExitClosesIt_data();
    void helpIndexShowsTheProgramsHelpFileAndExitClosesIt();
    void helpIndexWithoutAnOpenerAsksTheDesktop();
    void tipIsCutTo63Characters_data();
    void tipIsCutTo63Characters();
    void iconCallsFollowTheRecord();
    void hookHandlesOnlyTheIconsCallback_data();
    void hookHandlesOnlyTheIconsCallback();
    void minimiseHidesOnlyWhileTheIconIsInstalled_data();
    void minimiseHidesOnlyWhileTheIconIsInstalled();
    void closingTheAboutBoxKeepsAHiddenProgramRunning();
    void exitFromTheIconMenuSavesLikeFileExit_data();
    void exitFromTheIconMenuSavesLikeFileExit();
    void withoutANotificationAreaTheProgramRunsWithoutIcon();

private:
    void installOpener(const QString &script);
    void installTrayIcon(frmMain &main);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_currentFolder;
    QByteArray m_path;
    OpenedUrls m_opened;
};

void tst_Desktop::init()
{
    LoadResource::setRunningLanguage(Language::English);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    ProgramFolder::setPath(m_dir->path());
    m_currentFolder = QDir::currentPath();
    m_path = qgetenv("PATH");
    m_opened.urls.clear();
    m_opened.cursors.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_opened, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opened, "open");
    frmAbout::setClock({});
    Module1::TrayIconActive = false;
}

void tst_Desktop::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    qputenv("PATH", m_path);
    QDir::setCurrent(m_currentFolder);
    if (frmAbout *box = frmAbout::openBox())
        delete box;
    TaskBar().DeleteIcon(1);
    Module1::TrayIconActive = false;
    ProgramFolder::setPath(QString());
    m_dir.reset();
}

// A program named xdg-open, first on the PATH, that stands in for the desktop's opener.
void tst_Desktop::installOpener(const QString &script)
{
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString opener = bin + QStringLiteral("/xdg-open");
    QVERIFY(TestSupport::writeFile(opener, script.toUtf8()));
    QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("PATH", bin.toLocal8Bit() + ':' + m_path);
}

// What AddToTray does on a desktop with a notification area: it remembers the window, the
// menu and its default item before it looks for the notification area, then hooks the window
// and adds the icon.
void tst_Desktop::installTrayIcon(frmMain &main)
{
    QVERIFY(
        !basSubclass::AddToTray(&main, main.mnuPopUp, QStringLiteral("Kestrel"), main.mnuAbout));
    QVERIFY(basSubclass::Hook(&main));
    TaskBar().hwnd(&main);
    TaskBar().AddIcon(main.windowIcon(), 1);
    TaskBar().ChangeTip(QStringLiteral("Kestrel"), 1);
}

void tst_Desktop::aboutBoxShowsItsTextsAndTheYearOfEachOpening_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("closeKey");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("English, Escape")
        << int(Language::English) << int(Qt::Key_Escape) << "About Kestrel"
        << "TCP/IP Data Logger";
    QTest::newRow("Japanese, Enter")
        << int(Language::Japanese) << int(Qt::Key_Return) << "Kestrelについて"
        << "TCP/IPデータロガー";
    QTest::newRow("English, keypad Enter")
        << int(Language::English) << int(Qt::Key_Enter) << "About Kestrel"
        << "TCP/IP Data Logger";
}

void tst_Desktop::aboutBoxShowsItsTextsAndTheYearOfEachOpening()
{
    QFETCH(int, language);
    QFETCH(int, closeKey);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    LoadResource::setRunningLanguage(Language(language));
    for (const int year : {2030, 2031}) {
        frmAbout::setClock([year] { return QDateTime(QDate(year, 12, 31), QTime(23, 59)); });
        frmAbout::showModeless();
        QPointer<frmAbout> box = frmAbout::openBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), caption);
        QCOMPARE(box->lblTitle->text(), title);
        QCOMPARE(box->lblVersion->text(), QStringLiteral("Kestrel"));
        const QStringList lines = box->lblDescription->text().split(QLatin1Char('\n'));
        QVERIFY(lines.size() > 1);
        QVERIFY2(lines.first().contains(QString::number(year)), qPrintable(lines.first()));
        QCOMPARE(box->Label4->text(), QString::fromLatin1(WebLink::WebAddress));
        QVERIFY(box->Label4->font().bold() && box->Label4->font().underline());
        QCOMPARE(box->lblDisclaimer->text(), LoadResource::LoadResString(1102));
        QCOMPARE(box->cmdOK->text(), QStringLiteral("&OK"));
        QTest::keyClick(box, Qt::Key(closeKey));
        QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
    }
}

void tst_Desktop::aboutFromTheMenusIsModalAndOwned_data()
{
    QTest::addColumn<bool>("fromIconMenu");
    QTest::newRow("Help > About...") << false;
    QTest::newRow("icon menu About Kestrel") << true;
}

void tst_Desktop::aboutFromTheMenusIsModalAndOwned()
{
    QFETCH(bool, fromIconMenu);
    frmMain main;
    main.show();
    bool modal = false;
    QWidget *owner = nullptr;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        if (!box)
            return;
        modal = box->isModal();
        owner = box->parentWidget();
        box->cmdOK->click();
    });
    if (fromIconMenu)
        main.mnuAbout->trigger();
    else
        main.mnuHelpAbout->trigger();
    QVERIFY(modal);
    QCOMPARE(owner, &main);
    QVERIFY(!frmAbout::openBox());
}

void tst_Desktop::webLinkOpensTheAddressUnderTheWaitCursor_data()
{
    QTest::addColumn<bool>("fromAboutBox");
    QTest::newRow("Help > Pell on the Web") << false;
    QTest::newRow("About box link") << true;
}

void tst_Desktop::webLinkOpensTheAddressUnderTheWaitCursor()
{
    QFETCH(bool, fromAboutBox);
    frmMain main;
    if (fromAboutBox) {
        frmAbout::showModeless();
        QPointer<frmAbout> box = frmAbout::openBox();
        QVERIFY(box);
        QTest::mouseClick(box->Label4, Qt::LeftButton);
        delete box;
    } else {
        main.mnuPell->trigger();
    }
    QCOMPARE(m_opened.urls, QList<QUrl>{QUrl(QString::fromLatin1(WebLink::WebAddress))});
    QCOMPARE(m_opened.cursors, QList<Qt::CursorShape>{Qt::WaitCursor});
    QVERIFY(!QApplication::overrideCursor());
}

void tst_Desktop::helpIndexShowsTheProgramsHelpFileAndExitClosesIt_data()
{
    QTest::addColumn<bool>("openerWaits");
    QTest::newRow("viewer runs under the opener") << true;
    QTest::newRow("opener leaves the viewer behind") << false;
}

void tst_Desktop::helpIndexShowsTheProgramsHelpFileAndExitClosesIt()
{
    QFETCH(bool, openerWaits);
    const QString opened = m_dir->filePath(QStringLiteral("opened.txt"));
    const QString viewer = m_dir->filePath(QStringLiteral("viewer.pid"));
    installOpener(QStringLiteral("#!/bin/sh\nsleep 300 &\necho $! > '%1.new'\nmv '%1.new' '%1'\n"
                                 "printf '%s' \"$1\" > '%2'\n%3exit 0\n")
                      .arg(viewer, opened, openerWaits ? QStringLiteral("wait\n") : QString()));
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));

    frmMain main;
    main.show();
    QVERIFY(QDir::setCurrent(elsewhere));
    main.mnuHelpContents->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(opened),
                              ProgramFolder::file(QStringLiteral("kestrel.chm")).toUtf8(), 10000);
    const qint64 pid = TestSupport::readFile(viewer).trimmed().toLongLong();
    QVERIFY(pid > 0);
    QVERIFY(processAlive(pid));

    main.close();
    QTRY_VERIFY_WITH_TIMEOUT(!processAlive(pid), 10000);
    QVERIFY(m_opened.urls.isEmpty());
}

void tst_Desktop::helpIndexWithoutAnOpenerAsksTheDesktop()
{
    qputenv("PATH", m_dir->path().toLocal8Bit());
    frmMain main;
    main.mnuHelpContents->trigger();
    QCOMPARE(m_opened.urls,
             QList<QUrl>{QUrl::fromLocalFile(ProgramFolder::file(QStringLiteral("kestrel.chm")))});
}

void tst_Desktop::tipIsCutTo63Characters_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("expected");
    const QString seventy = QString(70, QLatin1Char('t'));
    QTest::newRow("program name") << "Kestrel"
                                  << "Kestrel";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("63 shows whole") << seventy.left(63) << seventy.left(63);
    QTest::newRow("64 is cut") << seventy.left(64) << seventy.left(63);
    QTest::newRow("70 is cut") << seventy << seventy.left(63);
    QTest::newRow("ends at a NUL")
        << QString(QStringLiteral("Kes") + QChar(0) + QStringLiteral("trel")) << "Kes";
    const QString bird = QString(62, QLatin1Char('b')) + QStringLiteral("\U0001F426x");
    QTest::newRow("no half surrogate pair") << bird << bird.left(62);
}

void tst_Desktop::tipIsCutTo63Characters()
{
    QFETCH(QString, tip);
    QFETCH(QString, expected);
    clsTaskBar taskBar;
    QSignalSpy calls(&taskBar, &clsTaskBar::notified);
    taskBar.ChangeTip(tip, 1);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).at(0).toInt(), clsTaskBar::NIM_MODIFY);
    QCOMPARE(taskBar.record().szTip, expected);
    QCOMPARE(taskBar.record().uFlags, clsTaskBar::NIF_TIP);
    QCOMPARE(taskBar.record().uID, 1);
}

// The record-based calls: AddIcon sets the callback message, DeleteAllIcons deletes icons 1 to
// nIcons and makes no call at all below 1.
void tst_Desktop::iconCallsFollowTheRecord()
{
    QWidget owner;
    clsTaskBar taskBar;
    QSignalSpy calls(&taskBar, &clsTaskBar::notified);
    QCOMPARE(taskBar.CallbackMessage(), qint16(0));
    taskBar.hwnd(&owner);
    taskBar.AddIcon(QIcon(QStringLiteral(":/kestrel/icons/kestrel-32.png")), 1);
    QCOMPARE(taskBar.CallbackMessage(), qint16(1793));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.takeFirst().at(0).toInt(), clsTaskBar::NIM_ADD);
    QCOMPARE(taskBar.record().uFlags, clsTaskBar::NIF_MESSAGE | clsTaskBar::NIF_ICON);
    QVERIFY(taskBar.icon(1));

    taskBar.DeleteAllIcons(0);
    taskBar.DeleteAllIcons(-2);
    QCOMPARE(calls.size(), 0);
    QVERIFY(taskBar.icon(1));
    taskBar.DeleteAllIcons(3);
    QCOMPARE(calls.size(), 3);
    for (const QList<QVariant> &call : std::as_const(calls))
        QCOMPARE(call.at(0).toInt(), clsTaskBar::NIM_DELETE);
    QCOMPARE(taskBar.record().uID, 3);
    QVERIFY(!taskBar.icon(1));
    QCOMPARE(taskBar.CallbackMessage(), qint16(1793));
}

void tst_Desktop::hookHandlesOnlyTheIconsCallback_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("message");
    QTest::addColumn<int>("mouseCode");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<bool>("aboutOpens");
    QTest::addColumn<bool>("menuOpens");
    const int english = int(Language::English);
    const int callback = clsTaskBar::TrayCallbackMessage;
    QTest::newRow("left double-click") << english << callback << 0x0203 << true << true << false;
    QTest::newRow("right button") << english << callback << 0x0205 << true << false << true;
    QTest::newRow("right button, Japanese")
        << int(Language::Japanese) << callback << 0x0205 << true << false << true;
    QTest::newRow("single left click") << english << callback << 0x0202 << true << false << false;
    QTest::newRow("middle button") << english << callback << 0x0208 << true << false << false;
    QTest::newRow("other message") << english << callback + 1 << 0x0203 << false << false << false;
}

void tst_Desktop::hookHandlesOnlyTheIconsCallback()
{
    QFETCH(int, language);
    QFETCH(int, message);
    QFETCH(int, mouseCode);
    QFETCH(bool, handled);
    QFETCH(bool, aboutOpens);
    QFETCH(bool, menuOpens);
    LoadResource::setRunningLanguage(Language(language));
    frmMain main;
    LoadResource::LoadResStrings(&main);
    main.show();
    EventRecorder recorder;
    main.installEventFilter(&recorder);
    installTrayIcon(main);

    QCoreApplication::postEvent(&main, new TrayCallbackEvent(message, 1, mouseCode));
    QCoreApplication::postEvent(&main, new QEvent(QEvent::User));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.seen.contains(QEvent::User), 5000);
    QCOMPARE(recorder.seen.contains(TrayCallbackEvent::eventType()), !handled);

    frmAbout *box = frmAbout::openBox();
    QCOMPARE(box != nullptr, aboutOpens);
    if (box)
        QVERIFY(!box->parentWidget() && !box->isModal());
    QCOMPARE(main.mnuPopUp->isVisible(), menuOpens);
    if (menuOpens) {
        QStringList shown;
        const QList<QAction *> items = main.mnuPopUp->actions();
        for (const QAction *item : items) {
            if (item->isVisible())
                shown << (item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        QCOMPARE(shown, (QStringList{"&Open Kestrel", "E&xit Kestrel", "-", "&About Kestrel"}));
        QCOMPARE(main.mnuPopUp->defaultAction(), main.mnuAbout);
        main.mnuPopUp->hide();
    }
    QVERIFY(basSubclass::Unhook(&main));
    QVERIFY(!basSubclass::Unhook(&main));
}

void tst_Desktop::minimiseHidesOnlyWhileTheIconIsInstalled_data()
{
    QTest::addColumn<bool>("iconInstalled");
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<bool>("visible");
    QTest::newRow("icon, minimised") << true << QList<int>{1} << false;
    QTest::newRow("icon, maximised, minimised") << true << QList<int>{2, 1} << false;
    QTest::newRow("icon, maximised") << true << QList<int>{2} << true;
    QTest::newRow("no icon, minimised") << false << QList<int>{1} << true;
    QTest::newRow("no icon, maximised") << false << QList<int>{2} << true;
}

// A hidden window comes back in the normal state through the icon's Open.
void tst_Desktop::minimiseHidesOnlyWhileTheIconIsInstalled()
{
    QFETCH(bool, iconInstalled);
    QFETCH(QList<int>, states);
    QFETCH(bool, visible);
    frmMain main;
    main.show();
    Module1::TrayIconActive = iconInstalled;
    for (const int state : states)
        main.setWindowStateCode(state);
    QCOMPARE(main.isVisible(), visible);
    QCOMPARE(main.windowStateCode(), states.constLast());
    if (!visible) {
        main.mnuOpen->trigger();
        QVERIFY(main.isVisible());
        QCOMPARE(main.windowStateCode(), 0);
    }
}

void tst_Desktop::closingTheAboutBoxKeepsAHiddenProgramRunning()
{
    frmMain main;
    main.show();
    Module1::TrayIconActive = true;
    main.setWindowStateCode(1);
    QVERIFY(!main.isVisible());
    frmAbout::showModeless();
    QPointer<frmAbout> box = frmAbout::openBox();
    QVERIFY(box);

    // The program's own event loop decides about the last window; close the box inside it.
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, this, [&] {
        box->cmdOK->click();
        QCoreApplication::exit(0);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(lastWindowClosed.size(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
}

void tst_Desktop::exitFromTheIconMenuSavesLikeFileExit_data()
{
    QTest::addColumn<bool>("fromIconMenu");
    QTest::newRow("File > Exit") << false;
    QTest::newRow("icon menu Exit Kestrel") << true;
}

void tst_Desktop::exitFromTheIconMenuSavesLikeFileExit()
{
    QFETCH(bool, fromIconMenu);
    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    main.NewSession();
    Module1::TrayIconActive = true;
    main.setWindowStateCode(1);
    QVERIFY(!main.isVisible());
    if (fromIconMenu)
        main.mnuExit->trigger();
    else
        main.mnuFileExit->trigger();

    IniProfile saved(ProgramFolder::file(QStringLiteral("default.ksf")));
    QCOMPARE(saved.readInt("Kestrel", "NumSessions", -1), 2);
    QCOMPARE(saved.readInt("Kestrel", "WindowState", -1), 1);
    QVERIFY(main.sessionWindows().isEmpty());
    QVERIFY(!Module1::TrayIconActive);
}

void tst_Desktop::withoutANotificationAreaTheProgramRunsWithoutIcon()
{
    QVERIFY(!TaskBar().Exists());
    frmMain main;
    QSignalSpy calls(&TaskBar(), &clsTaskBar::notified);
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(!Module1::TrayIconActive);
    QCOMPARE(calls.size(), 0);

    // Without the hook the icon's callback stays among the window's own events.
    EventRecorder recorder;
    main.installEventFilter(&recorder);
    QCoreApplication::postEvent(&main,
                                new TrayCallbackEvent(clsTaskBar::TrayCallbackMessage, 1, 0x0203));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.seen.contains(TrayCallbackEvent::eventType()), 5000);
    QVERIFY(!frmAbout::openBox());

    main.setWindowStateCode(1);
    QVERIFY(main.isVisible());
    main.mnuFileExit->trigger();
    QCOMPARE(IniProfile(ProgramFolder::file(QStringLiteral("default.ksf")))
                 .readInt("Kestrel", "WindowState", -1),
             1);
}

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
