#include "TestSupport.h"
#include "core/engine/Session.h"
#include "core/net/LocalAddresses.h"
#include "core/net/Winsock.h"
#include "core/text/LoadResource.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/session/frmDocument.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QtTest>

using LoadResource::Language;

// The session window on the offscreen platform, with real sockets on 127.0.0.1.
class tst_Document : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loadLocalizesAndOffersLocalAddresses_data();
    void loadLocalizesAndOffersLocalAddresses();
    void roleSwitchShowsTheRoleControls_data();
    void roleSwitchShowsTheRoleControls();
    void portRangeMessageWhileTyping_data();
    void portRangeMessageWhileTyping();
    void activationDisablesAndDeactivationEnables();
    void bindOnAPortInUseLeavesTheWindowInactive();
    void storedSettingsComeBackThroughTheControls();
    void typingIsLimitedButStoredTextsStayWhole();

private:
    QStringList m_messages;
};

void tst_Document::init()
{
    LoadResource::setRunningLanguage(Language::English);
    m_messages.clear();
    MessageBox::setAnswerer(
        [this](const QString &title, const QString &text) { m_messages << title + '|' + text; });
}

void tst_Document::cleanup()
{
    MessageBox::setAnswerer({});
}

void tst_Document::loadLocalizesAndOffersLocalAddresses_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("English") << int(Language::English)
                             << QStringList{"TCP/IP Port",
                                            "This PC will act as TCP/IP Client",
                                            "Remote Host IP Address",
                                            "Log Inbound TCP/IP data to file:",
                                            "Activate",
                                            "Status:",
                                            "I/O Options",
                                            "Disk File I/O"};
    QTest::newRow("Japanese") << int(Language::Japanese)
                              << QStringList{"TCP/IPポート",
                                             "このPCはTCP/IPクライアントとして動作",
                                             "リモートホストのIPアドレス",
                                             "受信TCP/IPデータをファイルに保存",
                                             "アクティブ化",
                                             "ステータス:",
                                             "I/Oオプション",
                                             "ディスクファイル I/O"};
}

void tst_Document::loadLocalizesAndOffersLocalAddresses()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    LoadResource::setRunningLanguage(Language(language));
    frmDocument window;
    QCOMPARE(window.Frame2->title(), texts[0]);
    QCOMPARE(window.TCPOption[0]->text(), texts[1]);
    QCOMPARE(window.Label2->text(), texts[2]);
    QCOMPARE(window.Label1[0]->text(), texts[3]);
    QCOMPARE(window.Command1->text(), texts[4]);
    QCOMPARE(window.StatusBar1->text(), texts[5]);
    QCOMPARE(window.Command2->text(), texts[6]);
    QCOMPARE(window.Frame1->title(), texts[7]);
    QCOMPARE(window.Command3[0]->text(), QStringLiteral("..."));
    QVERIFY(window.TCPOption[0]->isChecked());
    QVERIFY(window.Command2->isHidden());
    QVERIFY(window.txtOutFile->isHidden());

    QStringList listed;
    for (int i = 0; i < window.LocalIP->count(); ++i)
        listed << window.LocalIP->itemText(i);
    QCOMPARE(listed, LocalAddresses::all());
    QVERIFY(listed.contains(QStringLiteral("127.0.0.1")));
    QCOMPARE(window.LocalIP->currentText(), LocalAddresses::primary());
    QVERIFY(window.TCPOption[1]->isEnabled());
    QCOMPARE(window.settings().AllowMultiConnect, qint16(1));
}

void tst_Document::roleSwitchShowsTheRoleControls_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("localAddress");
    QTest::addColumn<QString>("localPort");
    QTest::newRow("English") << int(Language::English) << "Local IP Address"
                             << "Local Port";
    QTest::newRow("Japanese") << int(Language::Japanese) << "ローカルIPアドレス"
                              << "ローカルポート";
}

void tst_Document::roleSwitchShowsTheRoleControls()
{
    QFETCH(int, language);
    QFETCH(QString, localAddress);
    QFETCH(QString, localPort);
    LoadResource::setRunningLanguage(Language(language));
    frmDocument window;
    const QString remoteAddress = window.Label2->text();
    const QString remotePort = window.Label3->text();
    window.TCPOption[1]->click();
    QVERIFY(window.IPAddress->isHidden());
    QVERIFY(!window.LocalIP->isHidden());
    QVERIFY(!window.Command2->isHidden());
    QCOMPARE(window.Label2->text(), localAddress);
    QCOMPARE(window.Label3->text(), localPort);
    QCOMPARE(window.settings().TCPOption, qint16(1));
    QVERIFY(!window.session()->isActive());

    window.TCPOption[0]->click();
    QVERIFY(!window.IPAddress->isHidden());
    QVERIFY(window.LocalIP->isHidden());
    QVERIFY(window.Command2->isHidden());
    QCOMPARE(window.Label2->text(), remoteAddress);
    QCOMPARE(window.Label3->text(), remotePort);
}

void tst_Document::portRangeMessageWhileTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("messages");
    QTest::newRow("70000") << "70000" << 1;
    QTest::newRow("65535") << "65535" << 0;
    QTest::newRow("-5") << "-5" << 0;
    QTest::newRow("99999") << "99999" << 1;
}

void tst_Document::portRangeMessageWhileTyping()
{
    QFETCH(QString, typed);
    QFETCH(int, messages);
    frmDocument window;
    window.PortNumber->clear();
    QTest::keyClicks(window.PortNumber, typed);
    QCOMPARE(window.PortNumber->text(), typed);
    QCOMPARE(m_messages.size(), messages);
    if (messages)
        QCOMPARE(m_messages.first(),
                 QStringLiteral("Error|Port Numbers must range between 0 and 65535"));
}

void tst_Document::activationDisablesAndDeactivationEnables()
{
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    frmDocument window;
    window.setWindowTitle(QStringLiteral("TCP/IP Data Logger - 1"));
    window.IPAddress->setText(QStringLiteral("127.0.0.1"));
    window.PortNumber->setText(QString::number(peer.serverPort()));
    window.Command1->click();
    QCOMPARE(window.Command1->text(), QStringLiteral("De-Activate"));
    QCOMPARE(window.windowTitle(), QStringLiteral("TCP/IP Data Logger"));
    for (QWidget *control :
         {static_cast<QWidget *>(window.TCPOption[0]), static_cast<QWidget *>(window.TCPOption[1]),
          static_cast<QWidget *>(window.IPAddress), static_cast<QWidget *>(window.PortNumber),
          static_cast<QWidget *>(window.LocalIP), static_cast<QWidget *>(window.Command2)})
        QVERIFY(!control->isEnabled());
    QVERIFY(window.txtLogFile->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(window.StatusBar1->text(), QStringLiteral("Status: Connected"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);

    window.Command1->click();
    QCOMPARE(window.Command1->text(), QStringLiteral("Activate"));
    QCOMPARE(window.StatusBar1->text(), QStringLiteral("Status: Closed"));
    QCOMPARE(window.windowTitle(), QStringLiteral("TCP/IP Data Logger"));
    QVERIFY(window.TCPOption[1]->isEnabled());
    QVERIFY(window.PortNumber->isEnabled());
    QCOMPARE(window.session()->Winsock1(0)->State(), int(Winsock::sckClosed));
}

void tst_Document::bindOnAPortInUseLeavesTheWindowInactive()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    frmDocument window;
    window.TCPOption[1]->click();
    window.LocalIP->setEditText(QStringLiteral("127.0.0.1"));
    window.PortNumber->setText(QString::number(occupant.serverPort()));
    window.Command1->click();
    QCOMPARE(window.StatusBar1->text(), QStringLiteral("Status: Error  Address in use"));
    QCOMPARE(window.Command1->text(), QStringLiteral("Activate"));
    QVERIFY(window.PortNumber->isEnabled());
    QVERIFY(!window.isActive());
    QCOMPARE(window.session()->ActiveMode(), qint16(1));
}

void tst_Document::storedSettingsComeBackThroughTheControls()
{
    SessionSettings stored;
    stored.LogFile = QStringLiteral("/var/log/in1.txt");
    stored.OutputFile = QString();
    stored.LocalIP = QStringLiteral("127.0.0.1");
    stored.IPAddress = QStringLiteral("10.0.0.9");
    stored.PortNumber = QStringLiteral("2101");
    stored.TCPOption = 2;
    stored.AllowMultiConnect = 0;
    stored.ServerSerialOptions = 5;
    stored.ServerTCPOptions = 2;
    stored.ClientOptions = -3;
    LoadResource::setRunningLanguage(Language::Japanese);
    frmDocument window;
    window.applySettings(stored);
    QCOMPARE(window.txtLogFile->text(), stored.LogFile);
    QCOMPARE(window.LocalIP->currentText(), stored.LocalIP);
    QVERIFY(window.TCPOption[1]->isChecked());
    QVERIFY(!window.Command2->isHidden());
    QCOMPARE(window.Label2->text(), QStringLiteral("ローカルIPアドレス"));

    SessionSettings expected = stored;
    expected.TCPOption = 1;
    expected.AutoActivate = 0;
    QCOMPARE(window.settings(), expected);
}

void tst_Document::typingIsLimitedButStoredTextsStayWhole()
{
    frmDocument window;
    window.PortNumber->clear();
    QTest::keyClicks(window.PortNumber, QStringLiteral("1234567"));
    QCOMPARE(window.PortNumber->text(), QStringLiteral("12345"));
    QTest::keyClicks(window.IPAddress, QString(60, QLatin1Char('h')));
    QCOMPARE(window.IPAddress->text().size(), 50);

    // A stored port of six digits must be refused at activation, not cut to another port.
    SessionSettings stored;
    stored.TCPOption = 1;
    stored.PortNumber = QStringLiteral("123456");
    window.applySettings(stored);
    QCOMPARE(window.PortNumber->text(), QStringLiteral("123456"));
    QTest::keyClick(window.PortNumber, Qt::Key_Backspace);
    QCOMPARE(window.PortNumber->text(), QStringLiteral("12345"));
    window.PortNumber->setText(stored.PortNumber);
    window.Command1->click();
    QCOMPARE(window.StatusBar1->text(), QStringLiteral("Status: Error - Invalid Port Number"));
}

QTEST_MAIN(tst_Document)
#include "tst_document.moc"
