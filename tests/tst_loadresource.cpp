#include "support/FillLocalIPList.h"
#include "support/LoadResStrings.h"
#include "support/LoadResource.h"
#include "support/LocalAddresses.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTextStream>
#include <QtTest>

using LoadResource::Language;

Q_DECLARE_METATYPE(LoadResource::Language)

namespace {

// Started with this argument the test program prints the running language and ends.
constexpr auto PrintLanguageArgument = "--print-running-language";

const QString JapaneseFamily = QStringLiteral("Noto Sans CJK JP");

// Every id of the string table.
const QList<int> TableIds = {
    20,   21,   1100, 1102, 1204, 1207, 1208, 2102, 2103, 2104, 2105, 2106, 2107, 2108, 2111, 2112,
    2120, 2121, 2125, 2126, 2127, 2128, 2129, 2130, 2131, 2132, 2133, 2134, 2135, 2136, 2137, 2138,
    2139, 2140, 2141, 2142, 2143, 2150, 2151, 2152, 2153, 2154, 2155, 2156, 2157, 2158, 2159, 2160,
    2161, 2162, 2163, 2164, 2165, 2166, 2167, 2168, 2169, 2170, 2171, 2172, 2173, 2174, 2175, 2176,
    2177, 2178, 2179, 2180, 2181, 2182, 4032, 9013, 9014, 9015, 9016, 9017, 9018, 9019, 9020, 9021,
    9022, 9023, 9024, 9025, 9026, 9027, 9028, 9029, 9030, 9031, 9032};

QString languageName(Language language)
{
    return language == Language::Japanese ? QStringLiteral("Japanese") : QStringLiteral("English");
}

QWidget *tagged(QWidget *widget, const char *tag)
{
    widget->setProperty("Tag", QString::fromUtf8(tag));
    return widget;
}

// The design fonts differ from the table font (8 points, not bold), so that the two are told
// apart: the application's font is 11 points, a window designed in a font of its own has 12
// points, bold.
constexpr int ApplicationPointSize = 11;
constexpr int WindowPointSize = 12;

// A main window with controls of every kind the loader knows.
struct TestWindow {
    TestWindow(const char *windowTag, bool ownFont)
    {
        window.setWindowTitle(QStringLiteral("Design caption"));
        window.setProperty("Tag", QString::fromUtf8(windowTag));
        if (ownFont)
            window.setFont(QFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(),
                                 WindowPointSize, QFont::Bold));
        auto *central = new QWidget(&window);
        window.setCentralWidget(central);

        logLabel = tagged(new QLabel(QStringLiteral("Log to:"), central), "2158");
        untaggedLabel = tagged(new QLabel(QStringLiteral("Plain"), central), "");
        wordLabel = tagged(new QLabel(QStringLiteral("Description"), central), "App Description");
        halfUpLabel = tagged(new QLabel(QStringLiteral("Half up"), central), "2153.5");
        halfDownLabel = tagged(new QLabel(QStringLiteral("Half down"), central), " 2154.5");
        trailingLabel = tagged(new QLabel(QStringLiteral("Status"), central), "2161 status");
        activate = tagged(new QPushButton(QStringLiteral("Activate!"), central), "2159");
        browse = new QPushButton(QStringLiteral("..."), central);
        missing = tagged(new QPushButton(QStringLiteral("Missing"), central), "9999");
        numericTip = tagged(new QPushButton(QStringLiteral("Tip"), central), "");
        numericTip->setToolTip(QStringLiteral("2157"));
        wordTip = tagged(new QCheckBox(QStringLiteral("Word tip"), central), "2179");
        wordTip->setToolTip(QStringLiteral("Click here"));
        combo = new QComboBox(central);
        combo->setEditable(true);
        combo->setEditText(QStringLiteral("Combo3"));
        frame = tagged(new QGroupBox(QStringLiteral("TCP/IP Port:"), central), "2150");
        client = tagged(new QRadioButton(QStringLiteral("Client"), frame), "2151");
        untaggedOption = new QRadioButton(QStringLiteral("Other"), frame);
        edit = tagged(new QLineEdit(QStringLiteral("10.0.0.1"), central), "2155");

        // A window inside the window localizes itself; this one's walk leaves it alone.
        mdi = new QMdiArea(central);
        auto *inner = new QWidget;
        innerLabel = tagged(new QLabel(QStringLiteral("Inner"), inner), "2159");
        mdi->addSubWindow(inner);

        QMenuBar *bar = window.menuBar();
        fileMenu = bar->addMenu(QStringLiteral("2102"));
        newItem = fileMenu->addAction(QStringLiteral("2103"));
        fileSeparator = fileMenu->addSeparator();
        dashItem = bar->addAction(QStringLiteral("-"));
        popupMenu = bar->addMenu(QStringLiteral("Popup Menu"));
        openItem = popupMenu->addAction(QStringLiteral("&Open Kestrel"));
        windowMenu = bar->addMenu(QStringLiteral("2131"));
    }

    QMainWindow window;
    QWidget *logLabel, *untaggedLabel, *wordLabel, *halfUpLabel, *halfDownLabel, *trailingLabel;
    QWidget *activate, *browse, *missing, *numericTip, *wordTip, *frame, *client;
    QWidget *untaggedOption, *edit, *innerLabel;
    QComboBox *combo;
    QMdiArea *mdi;
    QMenu *fileMenu, *popupMenu, *windowMenu;
    QAction *newItem, *fileSeparator, *dashItem, *openItem;
};

QString textOf(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->currentText();
    return {};
}

} // namespace

class tst_LoadResource : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void texts_data();
    void texts();
    void everyEntry_data();
    void everyEntry();
    void noOtherEntries();
    void localizesWindow_data();
    void localizesWindow();
    void languageFromLocale_data();
    void languageFromLocale();
    void fillLocalIPList_data();
    void fillLocalIPList();
};

void tst_LoadResource::initTestCase()
{
    QApplication::setFont(QFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(),
                                ApplicationPointSize));
    QVERIFY(QFontDatabase::hasFamily(JapaneseFamily));
}

void tst_LoadResource::texts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("japanese");
    QTest::newRow("face") << 20 << u"Ms Sans Serif"_qs << u"ＭＳ Ｐゴシック"_qs;
    QTest::newRow("charset") << 21 << u"0"_qs << u"128"_qs;
    QTest::newRow("main caption") << 1100 << u"Kestrel"_qs << u"Kestrel"_qs;
    QTest::newRow("legal notice")
        << 1102
        << u"Warning: this program is protected by copyright law. It is provided as is, without "
           u"warranty of any kind, and you use it at your own risk. Copying or distributing this "
           u"program, in whole or in part, without permission is prohibited."_qs
        << u"警告: このプログラムは著作権法によって保護されています。本プログラムは現状のまま"
           u"提供され、いかなる保証もなく、ご使用はお客様ご自身の責任となります。許可なく本プログ"
           u"ラムの全部または一部を複製または配布することを禁じます。"_qs;
    QTest::newRow("ok") << 1207 << u"&OK"_qs << u"&OK"_qs;
    QTest::newRow("cancel") << 1208 << u"&Cancel"_qs << u"キャンセル(&C)"_qs;
    QTest::newRow("file menu") << 2102 << u"&File"_qs << u"ファイル(&F)"_qs;
    QTest::newRow("close menu") << 2129 << u"&Close"_qs << u"閉じる(&C)"_qs;
    QTest::newRow("title") << 2143 << u"TCP/IP Data Logger"_qs << u"TCP/IPデータロガー"_qs;
    QTest::newRow("client option") << 2151 << u"This PC will act as TCP/IP Client"_qs
                                   << u"このPCはTCP/IPクライアントとして動作"_qs;
    QTest::newRow("status") << 2161 << u"Status:"_qs << u"ステータス:"_qs;
    QTest::newRow("port range") << 2168 << u"Port Numbers must range between 0 and 65535"_qs
                                << u"ポート番号は0から65535の間で指定しなければなりません"_qs;
    QTest::newRow("inbound frame")
        << 2173 << u"Inbound TCO/IP data options:"_qs << u"受信TCP/IPデータオプション"_qs;
    QTest::newRow("browse") << 2182 << u"Browse..."_qs << u"表示..."_qs;
    QTest::newRow("bad file") << 4032 << u"File is not a valid configuration file."_qs
                              << u"ファイルが正しい設定ファイルではありません。"_qs;
    QTest::newRow("to") << 9032 << u"to"_qs << u"へ"_qs;
}

void tst_LoadResource::texts()
{
    QFETCH(int, id);
    QFETCH(QString, english);
    QFETCH(QString, japanese);
    QVERIFY(LoadResource::HasResString(id));
    QCOMPARE(LoadResource::LoadResString(id, Language::English), english);
    QCOMPARE(LoadResource::LoadResString(id, Language::Japanese), japanese);
    LoadResource::setRunningLanguage(Language::Japanese);
    QCOMPARE(LoadResource::LoadResString(id), japanese);
    LoadResource::setRunningLanguage(Language::English);
    QCOMPARE(LoadResource::LoadResString(id), english);
}

void tst_LoadResource::everyEntry_data()
{
    QTest::addColumn<Language>("language");
    QTest::newRow("English") << Language::English;
    QTest::newRow("Japanese") << Language::Japanese;
}

void tst_LoadResource::everyEntry()
{
    QFETCH(Language, language);
    for (int id : TableIds) {
        QVERIFY2(LoadResource::HasResString(id), qPrintable(QString::number(id)));
        QVERIFY2(!LoadResource::LoadResString(id, language).isEmpty(),
                 qPrintable(QString::number(id)));
    }
}

void tst_LoadResource::noOtherEntries()
{
    for (int id = -32768; id <= 32767; ++id) {
        if (TableIds.contains(id))
            continue;
        QVERIFY2(!LoadResource::HasResString(id), qPrintable(QString::number(id)));
        QVERIFY(LoadResource::LoadResString(id, Language::English).isEmpty());
        QVERIFY(LoadResource::LoadResString(id, Language::Japanese).isEmpty());
    }
}

void tst_LoadResource::localizesWindow_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QByteArray>("windowTag");
    QTest::addColumn<bool>("ownFont");
    QTest::addColumn<QString>("caption");
    QTest::newRow("English, Tag 1100, own font")
        << Language::English << QByteArray("1100") << true << u"Kestrel"_qs;
    QTest::newRow("English, empty Tag, application font")
        << Language::English << QByteArray() << false << u"Design caption"_qs;
    QTest::newRow("English, Tag 2177, own font")
        << Language::English << QByteArray("2177") << true << u"Kestrel Options"_qs;
    QTest::newRow("Japanese, Tag 1100, application font")
        << Language::Japanese << QByteArray("1100") << false << u"Kestrel"_qs;
    QTest::newRow("Japanese, empty Tag, own font")
        << Language::Japanese << QByteArray() << true << u"Design caption"_qs;
    QTest::newRow("Japanese, Tag 2177, application font")
        << Language::Japanese << QByteArray("2177") << false << u"Kestrel オプション"_qs;
}

void tst_LoadResource::localizesWindow()
{
    QFETCH(Language, language);
    QFETCH(QByteArray, windowTag);
    QFETCH(bool, ownFont);
    QFETCH(QString, caption);
    LoadResource::setRunningLanguage(language);
    const QString family = language == Language::Japanese
                               ? JapaneseFamily
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    QCOMPARE(LoadResource::tableCharSet(), language == Language::Japanese ? 128 : 0);
    QCOMPARE(LoadResource::tableFont().family(), family);

    TestWindow w(windowTag.constData(), ownFont);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    const QFont design = w.browse->font();
    const QFont menuDesign = w.window.menuBar()->font();
    const QFont popupDesign = w.fileMenu->font();
    QCOMPARE(design.pointSize(), ownFont ? WindowPointSize : ApplicationPointSize);

    LoadResource::LoadResStrings(&w.window);

    const auto text = [&](int id) { return LoadResource::LoadResString(id, language); };
    QCOMPARE(w.window.windowTitle(), caption);
    const QList<QPair<QWidget *, QString>> captions = {{w.logLabel, text(2158)},
                                                       {w.untaggedLabel, u"Plain"_qs},
                                                       {w.wordLabel, u"Description"_qs},
                                                       {w.halfUpLabel, text(2154)},
                                                       {w.halfDownLabel, text(2154)},
                                                       {w.trailingLabel, text(2161)},
                                                       {w.activate, text(2159)},
                                                       {w.browse, u"..."_qs},
                                                       {w.missing, u"Missing"_qs},
                                                       {w.numericTip, u"Tip"_qs},
                                                       {w.wordTip, text(2179)},
                                                       {w.combo, u"Combo3"_qs},
                                                       {w.frame, text(2150)},
                                                       {w.client, text(2151)},
                                                       {w.untaggedOption, u"Other"_qs},
                                                       {w.edit, u"10.0.0.1"_qs},
                                                       {w.innerLabel, u"Inner"_qs}};
    for (const auto &[widget, expected] : captions)
        QCOMPARE(textOf(widget), expected);
    QCOMPARE(w.numericTip->toolTip(), text(2157));
    QCOMPARE(w.wordTip->toolTip(), u"Click here"_qs);

    QCOMPARE(w.fileMenu->title(), text(2102));
    QCOMPARE(w.newItem->text(), text(2103));
    QVERIFY(w.fileSeparator->isSeparator());
    QVERIFY(w.fileSeparator->text().isEmpty());
    QCOMPARE(w.dashItem->text(), u"-"_qs);
    QCOMPARE(w.popupMenu->title(), u"Popup Menu"_qs);
    QCOMPARE(w.openItem->text(), u"&Open Kestrel"_qs);
    QCOMPARE(w.windowMenu->title(), text(2131));

    const QList<QWidget *> tableFonted = {
        &w.window, w.logLabel, w.halfUpLabel, w.halfDownLabel, w.trailingLabel, w.activate,
        w.missing, w.wordTip,  w.combo,       w.frame,         w.client,        w.edit};
    for (QWidget *widget : tableFonted) {
        const QFont font = widget->font();
        QVERIFY2(font.family() == family && font.pointSize() == 8 && !font.bold(),
                 qPrintable(textOf(widget) + u" in "_qs + font.toString()));
    }
    if (language == Language::Japanese)
        QCOMPARE(QFontInfo(w.logLabel->font()).family(), JapaneseFamily);

    const QList<QWidget *> designFonted = {w.untaggedLabel, w.wordLabel, w.browse, w.numericTip,
                                           w.untaggedOption};
    for (QWidget *widget : designFonted)
        QVERIFY2(widget->font() == design, qPrintable(textOf(widget) + u" lost its font"_qs));
    QCOMPARE(w.window.menuBar()->font(), menuDesign);
    QCOMPARE(w.fileMenu->font(), popupDesign);

    // Qt's helper widgets still follow their parents' fonts.
    const QList<QWidget *> helpers = {w.mdi, w.mdi->viewport(), w.combo->lineEdit()};
    for (QWidget *helper : helpers)
        QVERIFY(!helper->testAttribute(Qt::WA_SetFont));
}

void tst_LoadResource::languageFromLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("language");
    QTest::newRow("Japanese") << u"ja_JP.UTF-8"_qs << u"Japanese"_qs;
    QTest::newRow("US English") << u"en_US.UTF-8"_qs << u"English"_qs;
    QTest::newRow("German") << u"de_DE.UTF-8"_qs << u"English"_qs;
    QTest::newRow("C") << u"C"_qs << u"English"_qs;
}

void tst_LoadResource::languageFromLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, language);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANGUAGE", "LC_MESSAGES", "LC_CTYPE", "LC_NUMERIC"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(u"LANG"_qs, locale);
    environment.insert(u"LC_ALL"_qs, locale);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(PrintLanguageArgument)});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), language);
}

void tst_LoadResource::fillLocalIPList_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::newRow("empty list") << QStringList();
    QTest::newRow("list with entries") << QStringList{u"first"_qs, u"0.0.0.0"_qs};
}

void tst_LoadResource::fillLocalIPList()
{
    QFETCH(QStringList, existing);
    QComboBox combo;
    combo.addItems(existing);
    Module1::FillLocalIPList(&combo);
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    QCOMPARE(items, existing + LocalAddresses::all());
    QVERIFY(items.contains(u"127.0.0.1"_qs));
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], PrintLanguageArgument) == 0) {
        QCoreApplication app(argc, argv);
        QTextStream(stdout) << languageName(LoadResource::runningLanguage()) << '\n';
        return 0;
    }
    QApplication app(argc, argv);
    tst_LoadResource test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loadresource.moc"
