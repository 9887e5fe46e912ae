#include "KestrelProcess.h"
#include "TestSupport.h"
#include "core/config/IniProfile.h"

#include <QtTest>
#include <csignal>
#include <unistd.h>

using namespace TestSupport;

// Kestrel run for real from a program folder that its user may not write (a system-wide install).
class tst_UserFiles : public QObject {
    Q_OBJECT

private slots:
    // As "nobody" (root may write anywhere): the second start reads what the first saved in the
    // data folder (its port); the third, a file whose name holds a word Qt knows (-reverse).
    void readOnlyProgramFolderKeepsFilesInTheDataFolder()
    {
        KestrelProcess kestrel;
        QTemporaryDir home;
        PortReservation first, second, refused; // `refused` is bound but never listens
        const QString data = home.filePath("data/Kestrel/");
        const auto errors = [&] { return readFile(data + "errorlog.txt").count("Kestrel Error:"); };
        const QByteArray set =
            QString("[Kestrel]\nNumSessions=2\n[Session1]\nLogFile=%1/log\n"
                    "LocalIP=127.0.0.1\nPortNumber=%2\nTCPOption=1\nAutoActivate=1\n"
                    "[Session2]\nIPAddress=127.0.0.1\nPortNumber=%3\nAutoActivate=1\n"
                    "LogErrors=1\n")
                .arg(home.path(), QString::number(first.port()), QString::number(refused.port()))
                .toUtf8();
        const QStringList named = {home.filePath("a"), "-reverse", "b.ksf"};
        QVERIFY(writeFile(kestrel.file("default.ksf"), set) && writeFile(named.join(' '), set));
        QVERIFY(geteuid() != 0 || ::chown(qPrintable(home.path()), 65534, 65534) == 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        kestrel.process().setProcessEnvironment(environment);
        // Left as root, it would write its program folder and fail the checks below.
        kestrel.process().setChildProcessModifier(
            [] { (void)(geteuid() == 0 && setgid(65534) == 0 && setuid(65534) == 0); });
        QVERIFY(QFile::setPermissions(kestrel.folder(), QFileDevice::Permissions(0x5505))); // r-x
        for (int start = 0; start < 3; ++start) {
            const quint16 port = start == 1 ? second.port() : first.port();
            const qsizetype n = errors();
            kestrel.process().start(kestrel.program(), start == 2 ? named : QStringList());
            QTRY_VERIFY_WITH_TIMEOUT(connectTo(port)->waitForConnected(1000) && errors() > n,
                                     20000);
            QVERIFY(kestrel.stop(SIGTERM));
            QVERIFY(IniProfile::WritePrivateProfileString(
                "Session1", "PortNumber", QString::number(second.port()), data + "default.ksf"));
        }
        QCOMPARE(QDir(kestrel.folder()).entryList(QDir::Files).join(' '), "default.ksf kestrel");
        QVERIFY(QFile::setPermissions(kestrel.folder(), QFileDevice::Permissions(0x7705)));
    }
};

QTEST_GUILESS_MAIN(tst_UserFiles)
#include "tst_userfiles.moc"
