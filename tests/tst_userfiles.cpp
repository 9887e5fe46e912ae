#include "KestrelProcess.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "core/config/IniProfile.h"

#include <QTcpSocket>
#include <QtTest>

#include <grp.h>

using namespace TestSupport;

// The files Kestrel writes for its user, run for real: from a program folder that the user cannot
// write (a system-wide install) they go to the user's data folder.
class tst_UserFiles : public QObject {
    Q_OBJECT

private slots:
    void readOnlyProgramFolderKeepsFilesInTheDataFolder();
    void commandLineKeepsWordsThatQtKnows();
    void writableFileInReadOnlyFolderIsSavedInPlace();
};

namespace {

// A server session on `port` and a client session that is refused and logs the error.
QByteArray workingSet(const QString &folder, quint16 port)
{
    return QStringLiteral("[Kestrel]\r\nNumSessions=2\r\n[Session1]\r\nLogFile=%1/log.txt\r\n"
                          "LocalIP=127.0.0.1\r\nPortNumber=%2\r\nTCPOption=1\r\nAutoActivate=1\r\n"
                          "[Session2]\r\nIPAddress=127.0.0.1\r\nPortNumber=%3\r\nAutoActivate=1\r\n"
                          "LogErrors=1\r\n")
        .arg(folder)
        .arg(port)
        .arg(freePort())
        .toUtf8();
}

bool listens(quint16 port)
{
    const auto socket = connectTo(port);
    return socket->waitForConnected(1000);
}

// Starts the copied program with its home in `home`; as "nobody" when the test runs as root,
// which may write anywhere.
bool startAsUser(KestrelProcess &kestrel, const QString &home, const QStringList &arguments = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, folder] : {std::pair{"HOME", ""},
                                       {"XDG_DATA_HOME", "/data"},
                                       {"XDG_CONFIG_HOME", "/config"},
                                       {"XDG_RUNTIME_DIR", "/runtime"}})
        environment.insert(name, home + folder);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    kestrel.process().setProcessEnvironment(environment);
    kestrel.process().setWorkingDirectory(home);
    if (geteuid() == 0) {
        kestrel.process().setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(126);
        });
    }
    kestrel.process().start(kestrel.program(), arguments);
    return kestrel.process().waitForStarted(10000);
}

} // namespace

void tst_UserFiles::readOnlyProgramFolderKeepsFilesInTheDataFolder()
{
    KestrelProcess kestrel;
    QTemporaryDir home;
    PortReservation first, second;
    const QString data = home.filePath("data/Kestrel/");
    const auto errors = [&] { return readFile(data + "errorlog.txt").count("Kestrel Error:"); };
    // A working set left in the program folder is read while the data folder has none.
    QVERIFY(writeFile(kestrel.file("default.ksf"), workingSet(home.path(), first.port())));
    QVERIFY(geteuid() != 0 || ::chown(qPrintable(home.path()), 65534, 65534) == 0);
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(kestrel.folder(), readOnly));
    for (const quint16 port : {first.port(), second.port()}) {
        const qsizetype before = errors();
        QVERIFY(startAsUser(kestrel, home.path()));
        QTRY_VERIFY_WITH_TIMEOUT(listens(port) && errors() > before, 20000);
        QVERIFY(kestrel.stop(SIGTERM));
        QCOMPARE(IniProfile(data + "default.ksf").readInt("Kestrel", "NumSessions", 0), 2);
        QCOMPARE(IniProfile(data + "default.ksf").readInt("Session1", "AutoActivate", 0), 1);
        // The next start must take the session from here, not from the program folder.
        QVERIFY(IniProfile::WritePrivateProfileString(
            "Session1", "PortNumber", QString::number(second.port()), data + "default.ksf"));
    }
    QCOMPARE(QDir(kestrel.folder()).entryList(QDir::Files),
             QStringList({"default.ksf", "kestrel"}));
    QVERIFY(QFile::setPermissions(kestrel.folder(), readOnly | QFile::WriteOwner));
}

void tst_UserFiles::commandLineKeepsWordsThatQtKnows()
{
    KestrelProcess kestrel;
    PortReservation port;
    QVERIFY(writeFile(kestrel.file("a -reverse b.ksf"), workingSet(kestrel.folder(), port.port())));
    QVERIFY(kestrel.start({"a", "-reverse", "b.ksf"}));
    QTRY_VERIFY_WITH_TIMEOUT(listens(port.port()), 20000);
    QVERIFY(kestrel.stop(SIGTERM));
}

void tst_UserFiles::writableFileInReadOnlyFolderIsSavedInPlace()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("folder"), name = folder + "/set.ksf";
    QVERIFY(QDir().mkpath(folder) && writeFile(name, "[A]\r\nx=0\r\n"));
    QVERIFY(QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                            QFile::WriteOther));
    const int result = ReadOnlyFolder::run(
        folder, [&] { return IniProfile::WritePrivateProfileString("A", "x", "1", name) ? 0 : 1; });
    QCOMPARE(result, 0);
    QCOMPARE(readFile(name), QByteArray("[A]\r\nx=1\r\n"));
}

QTEST_GUILESS_MAIN(tst_UserFiles)
#include "tst_userfiles.moc"
