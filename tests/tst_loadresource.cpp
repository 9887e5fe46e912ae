#include "core/text/LoadResource.h"
#include "gui/widgets/LoadResStrings.h"

#include <QtTest>
#include <QtWidgets>

using LoadResource::Language;
using LoadResource::LoadResString;

Q_DECLARE_METATYPE(LoadResource::Language)

namespace {

const QString JapaneseFamily = QStringLiteral("Noto Sans CJK JP");

// The design fonts differ from the table font (8 points, not bold) so that the two are told apart.
constexpr int ApplicationPointSize = 11;
constexpr int WindowPointSize = 12;

QString textOf(const QWidget *widget)
{
    const char *property = widget->inherits("QGroupBox")   ? "title"
                           : widget->inherits("QComboBox") ? "currentText"
                                                           : "text";
    return widget->property(property).toString();
}

} // namespace

class tst_LoadResource : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void table();
    void localizesWindow_data();
    void localizesWindow();
};

void tst_LoadResource::initTestCase()
{
    QApplication::setFont(QFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(),
                                ApplicationPointSize));
    QVERIFY(QFontDatabase::hasFamily(JapaneseFamily));
}

void tst_LoadResource::table()
{
    // The font entries, the Japanese accelerator form, a misspelling kept, near twins that differ.
    const std::tuple<int, QString, QString> samples[] = {
        {20, u"Ms Sans Serif"_qs, u"ＭＳ Ｐゴシック"_qs},
        {21, u"0"_qs, u"128"_qs},
        {1208, u"&Cancel"_qs, u"キャンセル(&C)"_qs},
        {2173, u"Inbound TCO/IP data options:"_qs, u"受信TCP/IPデータオプション"_qs},
        {2182, u"Browse..."_qs, u"表示..."_qs},
        {1204, u"Browse..."_qs, u"表示"_qs}};
    for (const auto &[id, english, japanese] : samples) {
        QCOMPARE(LoadResString(id, Language::English), english);
        QCOMPARE(LoadResString(id, Language::Japanese), japanese);
    }

    // Every id has a text in both languages, and no other id has one.
    QList<int> ids = {20, 21, 1100, 1102, 1204, 1207, 1208, 2111, 2112, 2120, 2121, 4032};
    for (const auto &[from, to] : {std::pair{2102, 2108}, {2125, 2143}, {2150, 2182}, {9013, 9032}})
        for (int id = from; id <= to; ++id)
            ids << id;
    for (int id = -32768; id <= 32767; ++id) {
        const bool listed = ids.contains(id);
        QVERIFY2(LoadResource::HasResString(id) == listed &&
                     LoadResString(id, Language::English).isEmpty() != listed &&
                     LoadResString(id, Language::Japanese).isEmpty() != listed,
                 qPrintable(QString::number(id)));
    }
}

void tst_LoadResource::localizesWindow_data()
{
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("windowTag");
    QTest::addColumn<bool>("ownFont");
    QTest::addColumn<QString>("caption");
    QTest::newRow("untagged") << Language::English << u""_qs << true << u"Design caption"_qs;
    QTest::newRow("1100") << Language::English << u"1100"_qs << false << u"Kestrel"_qs;
    QTest::newRow("ja") << Language::Japanese << u"2177"_qs << true << u"Kestrel オプション"_qs;
}

void tst_LoadResource::localizesWindow()
{
    QFETCH(Language, language);
    QFETCH(QString, windowTag);
    QFETCH(bool, ownFont);
    QFETCH(QString, caption);
    LoadResource::setRunningLanguage(language);
    const bool japanese = language == Language::Japanese;
    const QString family =
        japanese ? JapaneseFamily : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();

    // Controls of every kind, each with the entry it must show (0: its design text) and whether it
    // takes the table font.
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Design caption"));
    window.setProperty("Tag", windowTag);
    if (ownFont)
        window.setFont(QFont(window.font().family(), WindowPointSize, QFont::Bold));
    auto *c = new QWidget(&window);
    window.setCentralWidget(c);
    std::vector<std::tuple<QWidget *, QString, int, bool>> controls;
    const auto add = [&](auto *widget, const char *tag, int id, bool tableFont) {
        if (tag)
            widget->setProperty("Tag", QString::fromUtf8(tag));
        controls.emplace_back(widget, textOf(widget), id, tableFont);
        return widget;
    };
    add(new QLabel("Half", c), " 2154.5 x", 2154, true); // the leading number, halves to even
    add(new QPushButton("Activate!", c), "2159", 2159, true);
    QWidget *browse = add(new QPushButton("...", c), nullptr, 0, false);
    add(new QPushButton("Missing", c), "9999", 0, true);
    QWidget *numericTip = add(new QPushButton("Tip", c), "App Description", 0, false);
    numericTip->setToolTip("2157");
    add(new QCheckBox("Log errors", c), "2179", 2179, true);
    auto *frame = add(new QGroupBox("TCP/IP Port:", c), "2150", 2150, true);
    add(new QRadioButton("Client", frame), "2151", 2151, true);
    add(new QLineEdit("10.0.0.1", c), "2155", 0, true);
    auto *combo = new QComboBox(c);
    combo->setEditable(true);
    combo->setEditText("Combo3");
    add(combo, nullptr, 0, true);
    // A window inside the window localizes itself; this one's walk leaves it alone.
    auto *mdi = new QMdiArea(c);
    auto *inner = new QLabel("Inner");
    inner->setProperty("Tag", "2159");
    mdi->addSubWindow(inner);
    QMenu *fileMenu = window.menuBar()->addMenu("2102");
    QAction *newItem = fileMenu->addAction("2103");
    QMenu *popupMenu = window.menuBar()->addMenu("Popup Menu");

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QFont design = browse->font();
    const QFont menuDesign = window.menuBar()->font();
    const QFont popupDesign = fileMenu->font();
    QCOMPARE(design.pointSize(), ownFont ? WindowPointSize : ApplicationPointSize);

    LoadResource::LoadResStrings(&window);

    QCOMPARE(window.windowTitle(), caption);
    for (const auto &[widget, designText, id, tableFont] : controls) {
        const QString text = id ? LoadResString(id) : designText;
        QCOMPARE(textOf(widget), text);
        const QFont font = widget->font();
        QVERIFY2(tableFont ? font.family() == family && font.pointSize() == 8 && !font.bold()
                           : font == design,
                 qPrintable(text + u" in "_qs + font.toString()));
    }
    if (japanese)
        QCOMPARE(QFontInfo(window.font()).family(), JapaneseFamily);
    QCOMPARE(numericTip->toolTip(), LoadResString(2157));
    QCOMPARE(inner->text(), u"Inner"_qs);
    QCOMPARE(fileMenu->title(), LoadResString(2102));
    QCOMPARE(newItem->text(), LoadResString(2103));
    QCOMPARE(popupMenu->title(), u"Popup Menu"_qs);
    QCOMPARE(window.menuBar()->font(), menuDesign);
    QCOMPARE(fileMenu->font(), popupDesign);
    // Qt's helper widgets still follow their parents' fonts.
    QVERIFY(!mdi->viewport()->testAttribute(Qt::WA_SetFont));
    QVERIFY(!combo->lineEdit()->testAttribute(Qt::WA_SetFont));
}

QTEST_MAIN(tst_LoadResource)
#include "tst_loadresource.moc"
