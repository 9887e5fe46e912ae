#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/config/IniProfile.h"
#include "core/text/LoadResource.h"
#include "gui/help/WebLink.h"
#include "gui/help/frmAbout.h"
#include "gui/main/frmMain.h"
#include "gui/tray/basSubclass.h"
#include "gui/tray/clsTaskBar.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QtTest>

using LoadResource::Language;

// The About box, Help and the notification-area icon, offscreen without a notification area.
class tst_Desktop : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_path;
    QStringList m_opened; // what the desktop was asked to open, marked when under the wait cursor

public slots:
    void open(const QUrl &url)
    {
        const QCursor *cursor = QApplication::overrideCursor();
        m_opened << url.toString() + (cursor && cursor->shape() == Qt::WaitCursor ? " (wait)" : "");
    }

private slots:
    void init()
    {
        LoadResource::setRunningLanguage(Language::English);
        m_dir = std::make_unique<QTemporaryDir>();
        ProgramFolder::setPath(m_dir->path());
        m_path = qgetenv("PATH");
        m_opened.clear();
        for (const char *scheme : {"https", "file"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
        Module1::TrayIconActive = false;
    }

    void cleanup()
    {
        for (const char *scheme : {"https", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
        qputenv("PATH", m_path);
        delete frmAbout::openBox();
    }

    void aboutBoxShowsItsTextsAndTheYearOfEachOpening_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("fromIconMenu");
        QTest::addColumn<int>("closeKey");
        QTest::addColumn<QStringList>("texts"); // caption and title
        QTest::newRow("English, Help > About, Escape")
            << int(Language::English) << false << int(Qt::Key_Escape)
            << QStringList{"About Kestrel", "TCP/IP Data Logger"};
        QTest::newRow("Japanese, icon menu, Enter")
            << int(Language::Japanese) << true << int(Qt::Key_Return)
            << QStringList{"Kestrelについて", "TCP/IPデータロガー"};
    }

    // Modal and owned from either menu, closed by Enter or Escape; its link opens the web site.
    void aboutBoxShowsItsTextsAndTheYearOfEachOpening()
    {
        QFETCH(int, language);
        QFETCH(bool, fromIconMenu);
        QFETCH(int, closeKey);
        QFETCH(QStringList, texts);
        LoadResource::setRunningLanguage(Language(language));
        frmMain main;
        main.show();
        for (const int year : {2030, 2031}) {
            frmAbout::setClock([year] { return QDateTime(QDate(year, 12, 31), QTime(23, 59)); });
            QStringList seen;
            whenModal<frmAbout>([&](frmAbout *box) {
                const QFont link = box->Label4->font();
                seen << box->windowTitle() << box->lblTitle->text() << box->lblVersion->text()
                     << box->lblDescription->text().section('\n', 0, 0).right(9)
                     << QString::number(box->lblDescription->text().count('\n') > 0)
                     << box->Label4->text() << QString::number(link.bold() && link.underline())
                     << box->lblDisclaimer->text() << box->cmdOK->text()
                     << QString::number(box->parentWidget() == &main);
                QTest::mouseClick(box->Label4, Qt::LeftButton);
                QTest::keyClick(box, Qt::Key(closeKey));
            });
            (fromIconMenu ? main.mnuAbout : main.mnuHelpAbout)->trigger();
            QCOMPARE(seen, texts + QStringList({"Kestrel", QString::number(year) + " Pell", "1",
                                                WebLink::WebAddress, "1",
                                                LoadResource::LoadResString(1102), "&OK", "1"}));
            QVERIFY(!frmAbout::openBox());
        }
        QCOMPARE(m_opened, QStringList(2, WebLink::WebAddress + QString(" (wait)")));
    }

    // Help > Index hands the help file to the desktop's opener, or with none to the desktop as the
    // web address; an xdg-open on the PATH starts a viewer and ends, and exit closes the viewer.
    void helpAndWebGoThroughTheDesktop()
    {
        qputenv("PATH", m_dir->path().toLocal8Bit());
        frmMain main;
        main.show();
        main.mnuHelpContents->trigger();
        main.mnuPell->trigger();
        const QString help = ProgramFolder::file("kestrel.chm");
        QCOMPARE(m_opened, QStringList({QUrl::fromLocalFile(help).toString(),
                                        WebLink::WebAddress + QString(" (wait)")}));
        QVERIFY(!QApplication::overrideCursor());
        const auto alive = [](qint64 pid) {
            const QByteArray stat = TestSupport::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
            const int end = stat.lastIndexOf(')');
            return end > 0 && stat.size() > end + 2 && stat.at(end + 2) != 'Z';
        };
        const QString opener = m_dir->filePath("xdg-open");
        const QString viewer = m_dir->filePath("viewer.pid");
        const QString script = "#!/bin/sh\nsleep 300 &\necho $! > '%1.new'\nmv '%1.new' '%1'\n"
                               "printf '%s' \"$1\" > '%2'\n";
        QVERIFY(
            TestSupport::writeFile(opener, script.arg(viewer, m_dir->filePath("opened")).toUtf8()));
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner));
        qputenv("PATH", m_dir->path().toLocal8Bit() + ':' + m_path);
        main.mnuHelpContents->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::readFile(m_dir->filePath("opened")), help.toUtf8(),
                                  10000);
        const qint64 pid = TestSupport::readFile(viewer).trimmed().toLongLong();
        QVERIFY(pid > 0 && alive(pid));
        main.close();
        QTRY_VERIFY_WITH_TIMEOUT(!alive(pid), 10000);
        QCOMPARE(m_opened.size(), 2);
    }

    // AddIcon sets the callback message, ChangeTip cuts the tip to 63 characters, DeleteAllIcons
    // deletes icons 1 to n and below 1 makes no call.
    void iconCallsFollowTheRecord()
    {
        clsTaskBar taskBar;
        QSignalSpy calls(&taskBar, &clsTaskBar::notified);
        QCOMPARE(taskBar.CallbackMessage(), qint16(0));
        taskBar.AddIcon(QIcon(QStringLiteral(":/kestrel/icons/kestrel-32.png")), 1);
        QCOMPARE(taskBar.CallbackMessage(), qint16(1793));
        QCOMPARE(taskBar.record().uFlags, clsTaskBar::NIF_MESSAGE | clsTaskBar::NIF_ICON);
        QVERIFY(taskBar.icon(1));
        const QString bird = QString(62, QLatin1Char('b')) + QStringLiteral("\U0001F426x");
        const QList<QPair<QString, QString>> tips = {
            {QString(63, 't'), QString(63, 't')},
            {QString(70, 't'), QString(63, 't')},
            {QStringLiteral("Kes") + QChar(0) + QStringLiteral("trel"), "Kes"},
            {bird, bird.left(62)}};
        for (const auto &[tip, shown] : tips) {
            taskBar.ChangeTip(tip, 1);
            QCOMPARE(taskBar.record().szTip, shown);
            QCOMPARE(taskBar.record().uFlags, clsTaskBar::NIF_TIP);
        }
        taskBar.DeleteAllIcons(0);
        taskBar.DeleteAllIcons(-2);
        taskBar.DeleteAllIcons(3);
        QList<int> operations;
        for (const QList<QVariant> &call : std::as_const(calls))
            operations << call.at(0).toInt();
        QCOMPARE(operations, QList<int>({0, 1, 1, 1, 1, 2, 2, 2})); // add, modify, delete
        QVERIFY(taskBar.record().uID == 3 && !taskBar.icon(1));
    }

    void minimiseHidesOnlyWhileTheIconIsInstalled_data()
    {
        QTest::addColumn<bool>("icon"); // the flag AddToTray sets where it installed the icon
        QTest::addColumn<bool>("exitFromIconMenu");
        QTest::newRow("no notification area") << false << false;
        QTest::newRow("icon, File > Exit") << true << false;
        QTest::newRow("icon, icon menu Exit Kestrel") << true << true;
    }

    // Without a notification area there is no icon and no hook. With the icon minimised hides,
    // maximised not; the icon's menu, the same in every language, opens the window normal and
    // exits as File > Exit does. Closing the About box of a hidden program does not end it.
    void minimiseHidesOnlyWhileTheIconIsInstalled()
    {
        QFETCH(bool, icon);
        QFETCH(bool, exitFromIconMenu);
        LoadResource::setRunningLanguage(Language::Japanese);
        QSignalSpy calls(&TaskBar(), &clsTaskBar::notified);
        frmMain main;
        main.MDIForm_Load(QString());
        main.show();
        main.NewSession();
        QVERIFY(!TaskBar().Exists() && !Module1::TrayIconActive && calls.isEmpty() &&
                !basSubclass::Unhook(&main));
        QStringList items;
        for (const QAction *item : main.mnuPopUp->actions()) {
            if (item->isVisible())
                items << (item->isSeparator() ? "-" : item->text());
        }
        QCOMPARE(items, QStringList({"&Open Kestrel", "E&xit Kestrel", "-", "&About Kestrel"}));
        Module1::TrayIconActive = icon;
        main.setWindowStateCode(2);
        QVERIFY(main.isVisible());
        main.setWindowStateCode(1);
        QCOMPARE(main.isVisible(), !icon);
        if (icon) {
            main.mnuOpen->trigger();
            QVERIFY(main.isVisible() && main.windowStateCode() == 0);
            main.setWindowStateCode(1);
            QVERIFY(!main.isVisible());

            frmAbout::showModeless();
            QPointer<frmAbout> box = frmAbout::openBox();
            QVERIFY(box);
            QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
            QTimer::singleShot(0, this, [&] { // inside the program's own event loop
                box->cmdOK->click();
                QCoreApplication::exit(0);
            });
            QObject watchdog;
            QTimer::singleShot(5000, &watchdog, [] { QCoreApplication::exit(1); });
            QCOMPARE(QCoreApplication::exec(), 0);
            QCOMPARE(lastWindowClosed.size(), 0);
            QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
        }
        (exitFromIconMenu ? main.mnuExit : main.mnuFileExit)->trigger();
        IniProfile saved(ProgramFolder::file(QStringLiteral("default.ksf")));
        QCOMPARE(saved.readInt("Kestrel", "NumSessions", -1), 2);
        QCOMPARE(saved.readInt("Kestrel", "WindowState", -1), 1);
        QVERIFY(main.sessionWindows().isEmpty() && !Module1::TrayIconActive);
    }
};

QTEST_MAIN(tst_Desktop)
#include "tst_desktop.moc"
