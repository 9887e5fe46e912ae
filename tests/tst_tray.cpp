#include "core/app/Module1.h"
#include "core/app/ProgramFolder.h"
#include "core/config/IniProfile.h"
#include "gui/help/frmAbout.h"
#include "gui/main/frmMain.h"
#include "gui/tray/clsTaskBar.h"

#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QtTest>

namespace {

// The X window that holds `window`, and the root window, as xwininfo reports them.
struct WindowParents {
    QString root;
    QString parent;
};

WindowParents parentsOf(WId window)
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"),
                   {QStringLiteral("-tree"), QStringLiteral("-id"), QString::number(window)});
    if (!xwininfo.waitForFinished(5000))
        return {};
    const QString out = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
    const QRegularExpression root(QStringLiteral("Root window id: (0x[0-9a-f]+)"));
    const QRegularExpression parent(QStringLiteral("Parent window id: (0x[0-9a-f]+)"));
    return {root.match(out).captured(1), parent.match(out).captured(1)};
}

// The widget that draws the icon in an XEmbed notification area.
QWidget *trayIconWindow()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->inherits("QSystemTrayIconSys"))
            return window;
    }
    return nullptr;
}

bool docked(QWidget *iconWindow)
{
    if (!iconWindow)
        return false;
    const WindowParents parents = parentsOf(iconWindow->winId());
    return !parents.parent.isEmpty() && parents.parent != parents.root;
}

} // namespace

// The notification-area icon in a real X notification area (run by with-tray-host).
class tst_Tray : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void iconIsDockedAndAnswersTheMouse();
};

void tst_Tray::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
}

void tst_Tray::iconIsDockedAndAnswersTheMouse()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    ProgramFolder::setPath(folder.path());
    frmMain main;
    main.MDIForm_Load(QString());
    main.show();
    QVERIFY(Module1::TrayIconActive);
    QSystemTrayIcon *icon = TaskBar().icon(1);
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->toolTip(), QStringLiteral("Kestrel"));
    QTRY_VERIFY_WITH_TIMEOUT(docked(trayIconWindow()), 10000);
    QWidget *iconWindow = trayIconWindow();

    QTest::mouseDClick(iconWindow, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(frmAbout::openBox(), 5000);
    QPointer<frmAbout> box = frmAbout::openBox();
    QVERIFY(!box->isModal());
    QVERIFY(!box->parentWidget());
    box->cmdOK->click();
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);

    QTest::mouseClick(iconWindow, Qt::RightButton);
    QTRY_VERIFY_WITH_TIMEOUT(main.mnuPopUp->isVisible(), 5000);
    QCOMPARE(main.mnuPopUp->defaultAction(), main.mnuAbout);
    main.mnuPopUp->hide();

    main.mnuExit->trigger();
    QVERIFY(!Module1::TrayIconActive);
    QVERIFY(!TaskBar().icon(1));
    QCOMPARE(IniProfile(ProgramFolder::file(QStringLiteral("default.ksf")))
                 .readInt("Kestrel", "NumSessions", -1),
             1);
    ProgramFolder::setPath(QString());
}

QTEST_MAIN(tst_Tray)
#include "tst_tray.moc"
