#include "gui/dialogs/frmOptions.h"

#include "core/app/Module1.h"
#include "core/text/NumericValue.h"
#include "gui/widgets/FitText.h"
#include "gui/widgets/LoadResStrings.h"
#include "gui/widgets/PlaceControl.h"
#include "gui/widgets/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr qint32 DefaultPacketSize = 2000;
constexpr qint64 MaxPacketSize = 10000;

// The error program's text is a command line, split at blanks when it runs: a path with blanks
// goes in quotes (a quote inside them is written three times) so that it stays one program name.
QString asCommandLine(const QString &path)
{
    const bool needsQuotes = std::any_of(
        path.begin(), path.end(), [](QChar c) { return c.isSpace() || c == QLatin1Char('"'); });
    if (!needsQuotes)
        return path;
    QString quoted = path;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

frmOptions::frmOptions(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      CommonDialog1(this)
{
    setProperty("Tag", QStringLiteral("2177"));
    setWindowTitle(QStringLiteral("Kestrel Options"));
    setFixedSize(Twips::toPixels(5040), Twips::toPixels(3915));
    buildControls();
    Form_Load();
}

void frmOptions::buildControls()
{
    // The packet size is not offered to the user, but it still passes through the dialog.
    Label2 = placeControl<QLabel>(this, QStringLiteral("Max bytes per TCP/IP packet:"), "2178",
                                  Twips::rect(60, 480, 2520, 195));
    Label2->hide();
    Combo1 = new QComboBox(this);
    Combo1->setEditable(true);
    Combo1->setGeometry(Twips::rect(2640, 420, 855, 315));
    Combo1->hide();

    Check1 = placeControl<QCheckBox>(this, QStringLiteral("Log all errors to file: ErrorLog.txt"),
                                     "2179", Twips::rect(240, 1380, 4755, 315));
    Frame1 =
        placeControl<QGroupBox>(this, QStringLiteral("Run external program when errors occur:"),
                                "2180", Twips::rect(60, 1920, 4935, 1515));
    Label1 = placeControl<QLabel>(Frame1, QStringLiteral("Command Line:"), "2181",
                                  Twips::rect(240, 480, 1095, 195));
    Text1 = new QLineEdit(Frame1);
    Text1->setGeometry(Twips::rect(240, 720, 3555, 315));
    Command1 = placeControl<QPushButton>(Frame1, QStringLiteral("Browse..."), "2182",
                                         Twips::rect(3840, 720, 915, 315));
    // Below everything the dialog had before, so that nothing else moves.
    Check2 =
        placeControl<QCheckBox>(this, QStringLiteral("Keep an arrival index beside each log file"),
                                "9035", Twips::rect(240, 3525, 4755, 315));
    Check2->setToolTip(QStringLiteral("9036"));
    Command2 = placeControl<QPushButton>(this, QStringLiteral("OK"), "1207",
                                         Twips::rect(3780, 180, 1095, 375));
    Command3 = placeControl<QPushButton>(this, QStringLiteral("Cancel"), "1208",
                                         Twips::rect(3780, 600, 1095, 375));
    Command2->setDefault(true);

    const QList<QWidget *> tabOrder = {Check1, Text1, Command1, Check2, Command2, Command3, Combo1};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(Command1, &QPushButton::clicked, this, &frmOptions::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmOptions::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmOptions::Command3_Click);
}

void frmOptions::Form_Load()
{
    LoadResource::LoadResStrings(this);
    FitText::widenToTexts(this);
    Text1->setText(Module1::OnErrorRunApp);
    // Any non-zero value switches the error log on, so the box shows it set.
    Check1->setChecked(Module1::LogErrors != 0);
    Check2->setChecked(Module1::ArrivalIndex != 0);
    Combo1->addItems({QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("200"),
                      QStringLiteral("500"), QStringLiteral("1000"), QStringLiteral("2000"),
                      QStringLiteral("4000")});
    Combo1->setEditText(QString::number(Module1::PacketSize));
}

void frmOptions::Command1_Click()
{
    CommonDialog1.Flags = FileDialog::FileMustExist | FileDialog::HideReadOnly;
    CommonDialog1.Filter = QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*");
    CommonDialog1.FilterIndex = 1;
    if (CommonDialog1.ShowOpen() && !CommonDialog1.FileName.isEmpty())
        Text1->setText(asCommandLine(CommonDialog1.FileName));
}

void frmOptions::Command2_Click()
{
    Module1::OnErrorRunApp = Text1->text();
    Module1::LogErrors = Check1->isChecked() ? 1 : 0;
    Module1::ArrivalIndex = Check2->isChecked() ? 1 : 0;
    qint64 size = NumericValue::roundHalfEven(NumericValue::leading(Combo1->currentText()));
    if (size < 1 || size > MaxPacketSize)
        size = DefaultPacketSize;
    Module1::PacketSize = qint32(size);
    accept();
}

void frmOptions::Command3_Click()
{
    reject();
}
