#include "ModalDialog.h"
#include "TestSupport.h"
#include "core/app/ProgramFolder.h"
#include "gui/help/WebLink.h"
#include "gui/help/frmAbout.h"
#include "gui/main/frmMain.h"
#include "gui/tray/clsTaskBar.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

// Help, the About box and the notification-area icon, first without, then in a notification area.
class tst_Desktop : public QObject {
    Q_OBJECT

    QProcess m_trayer;
    QString m_opened;

public slots:
    void open(const QUrl &url)
    {
        const QCursor *cursor = QApplication::overrideCursor();
        m_opened += url.toString() + (cursor && cursor->shape() == Qt::WaitCursor ? " (wait)" : "");
    }

private slots:
    void helpAboutAndTheIcon_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("no notification area") << false;
        QTest::newRow("trayer's notification area") << true;
    }

    // The About box opens modal and owned from either menu, shows the year of each opening, closes
    // on Escape or Enter; its link opens the web address. Help > Index hands the help file to
    // xdg-open, whose viewer exit closes. Only while the icon is installed minimised hides.
    void helpAboutAndTheIcon()
    {
        QFETCH(bool, tray);
        const QTemporaryDir folder;
        ProgramFolder::setPath(folder.path());
        QDesktopServices::setUrlHandler("https", this, "open");
        if (tray) {
            m_trayer.start("trayer", QStringList());
            if (!m_trayer.waitForStarted())
                QSKIP("trayer is not installed (scripts/install-deps installs it)");
            QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 30000);
        }
        frmMain main;
        main.MDIForm_Load(QString());
        main.show();
        main.NewSession();
        QCOMPARE(TaskBar().icon(1) && TaskBar().icon(1)->toolTip() == "Kestrel", tray);

        const int year = tray ? 2031 : 2030;
        frmAbout::setClock([year] { return QDateTime(QDate(year, 12, 31), QTime(23, 59)); });
        QStringList seen;
        const auto shown = whenModal<frmAbout>([&](frmAbout *box) {
            seen << box->lblDescription->text().section('\n', 0, 0).right(9) << box->Label4->text()
                 << QString::number(box->parentWidget() == &main);
            QTest::mouseClick(box->Label4, Qt::LeftButton);
            QTest::keyClick(box, tray ? Qt::Key_Return : Qt::Key_Escape);
        });
        (tray ? main.mnuAbout : main.mnuHelpAbout)->trigger();
        QVERIFY(*shown && !frmAbout::openBox() && !QApplication::overrideCursor());
        QCOMPARE(seen, QStringList({QString::number(year) + " Pell", WebLink::WebAddress, "1"}));
        QCOMPARE(std::exchange(m_opened, {}), WebLink::WebAddress + QString(" (wait)"));

        main.setWindowStateCode(1);
        QCOMPARE(main.isVisible(), !tray);
        const QString viewer = folder.filePath("viewer"), opener = folder.filePath("xdg-open");
        const auto alive = [&] { // the viewer is neither gone nor a zombie
            const QByteArray stat = TestSupport::readFile(
                "/proc/" + QString(TestSupport::readFile(viewer)).section(' ', 0, 0) + "/stat");
            return !stat.isEmpty() && !stat.contains(") Z");
        };
        if (!tray) {
            QVERIFY(TestSupport::writeFile(opener, "#!/bin/sh\nsleep 300 &\necho $! \"$1\" > '" +
                                                       viewer.toUtf8() + "'\n"));
            QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner));
            qputenv("PATH", folder.path().toLocal8Bit() + ':' + qgetenv("PATH"));
            main.mnuHelpContents->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(
                QString(TestSupport::readFile(viewer)).trimmed().section(' ', 1),
                ProgramFolder::file("kestrel.chm"), 10000);
            QVERIFY(alive());
        } else {
            // Docked, the icon lies in trayer's panel, away from the origin of an undocked one.
            QTRY_VERIFY_WITH_TIMEOUT(TaskBar().icon(1)->geometry().topLeft() != QPoint(0, 0),
                                     30000);
            QWidget *icon = nullptr; // the widget that draws it
            for (QWidget *window : QApplication::topLevelWidgets())
                icon = window->inherits("QSystemTrayIconSys") ? window : icon;
            QTest::mouseClick(icon, Qt::RightButton);
            QTRY_VERIFY_WITH_TIMEOUT(main.mnuPopUp->isVisible(), 10000);
            QVERIFY(main.mnuPopUp->defaultAction() == main.mnuAbout && !main.mnuHide->isVisible());
            main.mnuPopUp->hide();
            main.mnuOpen->trigger();
            QVERIFY(main.isVisible() && main.windowStateCode() == 0);
            main.setWindowStateCode(1);
            QTest::mouseDClick(icon, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(frmAbout::openBox(), 10000);
            frmAbout *box = frmAbout::openBox();
            QVERIFY(!box->isModal() && !box->parentWidget() && !main.isVisible());
            // Only a running event loop reports the last window closed.
            QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
            connect(box, &QObject::destroyed, qApp, &QCoreApplication::quit);
            QMetaObject::invokeMethod(box->cmdOK, &QPushButton::click, Qt::QueuedConnection);
            QCOMPARE(QCoreApplication::exec(), 0);
            QCOMPARE(lastWindowClosed.size(), 0);
        }
        (tray ? main.mnuExit : main.mnuFileExit)->trigger();
        QVERIFY(!TaskBar().icon(1) && main.sessionWindows().isEmpty());
        const QByteArray saved = TestSupport::readFile(ProgramFolder::file("default.ksf"));
        QVERIFY(saved.contains("NumSessions=2\r\n") && saved.contains("WindowState=1\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(tray || !alive(), 10000);
    }
};

// On an X display of its own (Xvfb writes the free number it took). -noreset: else, while its last
// client leaves, the server refuses the next (trayer, the test).
int main(int argc, char *argv[])
{
    QProcess xvfb;
    xvfb.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }); // ends with the test
    xvfb.start("Xvfb", {"-displayfd", "1", "-noreset", "-nolisten", "tcp"});
    if (!xvfb.waitForReadyRead(30000))
        return xvfb.error() == QProcess::FailedToStart ? 77 : 1; // 77: skipped, no Xvfb
    qputenv("DISPLAY", ':' + xvfb.readAllStandardOutput().trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // without a session bus Qt speaks X11's tray protocol
    QApplication app(argc, argv);
    tst_Desktop test;
    const int status = QTest::qExec(&test, argc, argv);
    xvfb.terminate();
    return xvfb.waitForFinished() ? status : 1;
}

#include "tst_desktop.moc"
