#include "gui/dialogs/frmServerOptions.h"

#include "core/app/Module1.h"
#include "gui/widgets/FitText.h"
#include "gui/widgets/LoadResStrings.h"
#include "gui/widgets/PlaceControl.h"
#include "gui/widgets/Twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

frmServerOptions::frmServerOptions(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setProperty("Tag", QStringLiteral("2171"));
    setWindowTitle(QStringLiteral("Server I/O Options"));
    setFixedSize(Twips::toPixels(5370), Twips::toPixels(3735));
    buildControls();
    Form_Load();

    // Centred on the screen, not on the session window that opens it.
    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

void frmServerOptions::buildControls()
{
    chkMultiClients =
        placeControl<QCheckBox>(this, QStringLiteral("Allow multiple client connections."), "2172",
                                Twips::rect(360, 480, 4215, 255));
    Frame1 = placeControl<QGroupBox>(this, QStringLiteral("Inbound TCP/IP data options:"), "2173",
                                     Twips::rect(120, 840, 5115, 1215));
    const char *tcpTexts[] = {"Log inbound TCP/IP data from all clients to file.",
                              "Ignore inbound TCP/IP data from all clients.",
                              "Log inbound TCP/IP data from first connected client only."};
    const char *tcpTags[] = {"2174", "2175", "2176"};
    for (int i = 0; i < 3; ++i)
        OptionTCP[i] =
            placeControl<QRadioButton>(Frame1, QString::fromLatin1(tcpTexts[i]), tcpTags[i],
                                       Twips::rect(240, 240 + 300 * i, 4815, 315));

    // The outbound options belong to a feature that is not offered; the buttons stay hidden but
    // still carry the session's code through the dialog.
    Frame2 = placeControl<QGroupBox>(this, QStringLiteral("Outbound data file options:"), nullptr,
                                     Twips::rect(120, 2400, 5115, 1215));
    const char *serialTexts[] = {"Send outbound file data to all TCP/IP clients.",
                                 "Ignore outbound file data.",
                                 "Send outbound file data to first connected client only."};
    for (int i = 0; i < 3; ++i)
        OptionSerial[i] =
            placeControl<QRadioButton>(Frame2, QString::fromLatin1(serialTexts[i]), nullptr,
                                       Twips::rect(240, 240 + 300 * i, 4815, 315));
    Frame2->hide();

    Command1 = placeControl<QPushButton>(this, QStringLiteral("OK"), "1207",
                                         Twips::rect(1260, 3240, 1215, 375));
    Command2 = placeControl<QPushButton>(this, QStringLiteral("Cancel"), "1208",
                                         Twips::rect(2880, 3240, 1215, 375));
    // Enter presses no button here.
    for (QPushButton *button : {Command1, Command2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    const QList<QWidget *> tabOrder = {chkMultiClients, OptionTCP[0],    OptionTCP[1],
                                       OptionTCP[2],    OptionSerial[0], OptionSerial[1],
                                       OptionSerial[2], Command1,        Command2};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(Command1, &QPushButton::clicked, this, &frmServerOptions::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmServerOptions::Command2_Click);
}

// A code that a configuration file brought in outside the valid range shows the first inbound
// option (any non-zero multi-client code shows the box set) and is only replaced when the user
// presses OK. An invalid outbound code selects no hidden button, so OK keeps it as it is.
void frmServerOptions::Form_Load()
{
    LoadResource::LoadResStrings(this);
    FitText::widenToTexts(this);
    chkMultiClients->setChecked(Module1::AllowMultiConnect != 0);
    const qint16 serial = Module1::ServerSerialOptions;
    if (serial >= 0 && serial <= 2)
        OptionSerial[size_t(serial)]->setChecked(true);
    const qint16 tcp = Module1::ServerTCPOptions;
    OptionTCP[tcp >= 0 && tcp <= 2 ? size_t(tcp) : 0]->setChecked(true);
}

void frmServerOptions::Command1_Click()
{
    Module1::AllowMultiConnect = chkMultiClients->isChecked() ? 1 : 0;
    for (qint16 i = 0; i <= 2; ++i) {
        if (OptionTCP[size_t(i)]->isChecked())
            Module1::ServerTCPOptions = i;
        if (OptionSerial[size_t(i)]->isChecked())
            Module1::ServerSerialOptions = i;
    }
    accept();
}

void frmServerOptions::Command2_Click()
{
    Module1::AllowMultiConnect = -1;
    reject();
}

// Escape is the Cancel button. A close request of the platform reaches reject() directly and
// leaves the transfer variables alone.
void frmServerOptions::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Command2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
