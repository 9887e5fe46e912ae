#include "gui/session/frmDocument.h"

#include "core/app/Module1.h"
#include "core/engine/Session.h"
#include "core/text/LoadResource.h"
#include "core/text/NumericValue.h"
#include "gui/dialogs/MessageBox.h"
#include "gui/dialogs/frmServerOptions.h"
#include "gui/monitor/frmMonitor.h"
#include "gui/session/Shape.h"
#include "gui/session/TypedLengthValidator.h"
#include "gui/widgets/FillLocalIPList.h"
#include "gui/widgets/LoadResStrings.h"
#include "gui/widgets/PlaceControl.h"
#include "gui/widgets/Twips.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

using LoadResource::LoadResString;

namespace {

QLineEdit *textBox(QWidget *parent, const QString &text, QRect twips)
{
    auto *box = new QLineEdit(text, parent);
    box->setGeometry(twips);
    return box;
}

} // namespace

frmDocument::frmDocument(QWidget *parent) : QWidget(parent), m_session(new Session(this))
{
    buildControls();
    Form_Load();
}

frmDocument::~frmDocument()
{
    delete m_monitor;
}

QSize frmDocument::sizeHint() const
{
    return QSize(Twips::toPixels(7320), Twips::toPixels(3930));
}

void frmDocument::buildControls()
{
    resize(sizeHint());

    Frame2 = placeControl<QGroupBox>(this, QStringLiteral("TCP/IP Port:"), "2150",
                                     Twips::rect(0, 120, 3630, 3075));
    TCPOption[0] =
        placeControl<QRadioButton>(Frame2, QStringLiteral("This PC will act as TCP/IP Client"),
                                   "2151", Twips::rect(195, 345, 3360, 255));
    TCPOption[1] =
        placeControl<QRadioButton>(Frame2, QStringLiteral("This PC will act as TCP/IP Server"),
                                   "2152", Twips::rect(195, 675, 3360, 255));
    TCPOption[0]->setChecked(true);
    Label2 = placeControl<QLabel>(Frame2, QStringLiteral("Remote Host IP Address"), "2153",
                                  Twips::rect(315, 1065, 2250, 180));
    IPAddress = textBox(Frame2, QString(), Twips::rect(315, 1290, 2535, 315));
    IPAddress->setValidator(new TypedLengthValidator(50, IPAddress));
    LocalIP = new QComboBox(Frame2);
    LocalIP->setEditable(true);
    LocalIP->setEditText(QStringLiteral("Combo3"));
    LocalIP->setGeometry(Twips::rect(315, 1290, 2535, 315));
    LocalIP->hide();
    Label3 = placeControl<QLabel>(Frame2, QStringLiteral("Remote Port"), "2154",
                                  Twips::rect(315, 1635, 2250, 195));
    PortNumber = textBox(Frame2, QStringLiteral("1000"), Twips::rect(315, 1860, 2535, 285));
    PortNumber->setValidator(new TypedLengthValidator(5, PortNumber));
    Command2 = placeControl<QPushButton>(Frame2, QStringLiteral("I/O Options"), "2157",
                                         Twips::rect(990, 2520, 1370, 345));
    Command2->hide();

    Frame1 = placeControl<QGroupBox>(this, QStringLiteral("Disk File I/O"), "2170",
                                     Twips::rect(3645, 120, 3630, 3075));
    Label1[0] = placeControl<QLabel>(Frame1, QStringLiteral("Log Inbound TCP/IP data to file:"),
                                     "2158", Twips::rect(120, 480, 3285, 195));
    txtLogFile = textBox(Frame1, SessionSettings().LogFile, Twips::rect(120, 720, 3075, 285));
    Command3[0] = placeControl<QPushButton>(Frame1, QStringLiteral("..."), nullptr,
                                            Twips::rect(3240, 720, 255, 280));
    Label1[5] = placeControl<QLabel>(Frame1, QStringLiteral("Outbound TCP/IP Data File:"), nullptr,
                                     Twips::rect(120, 2280, 3090, 195));
    Label1[5]->hide();
    txtOutFile =
        textBox(Frame1, QStringLiteral("C:\\TCPSendFile.txt"), Twips::rect(120, 2520, 2500, 285));
    txtOutFile->hide();
    Command3[1] = placeControl<QPushButton>(Frame1, QStringLiteral("..."), nullptr,
                                            Twips::rect(2640, 2520, 255, 280));
    Command3[1]->hide();

    Command1 = placeControl<QPushButton>(this, QStringLiteral("Activate"), "2159",
                                         Twips::rect(2925, 3240, 1470, 345));
    StatusBar1 = placeControl<QLabel>(this, QStringLiteral("Status:"), "2161",
                                      Twips::rect(255, 3660, 7035, 255));
    Shape1 = new Shape(this);
    Shape1->setGeometry(Twips::rect(50, 3720, 135, 135));

    const QList<QWidget *> tabOrder = {TCPOption[0], TCPOption[1], IPAddress,  LocalIP,
                                       PortNumber,   Command2,     txtLogFile, Command3[0],
                                       txtOutFile,   Command3[1],  Command1};
    for (int i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(TCPOption[0], &QRadioButton::clicked, this, [this] { TCPOption_Click(0); });
    connect(TCPOption[1], &QRadioButton::clicked, this, [this] { TCPOption_Click(1); });
    connect(Command1, &QPushButton::clicked, this, &frmDocument::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDocument::Command2_Click);
    connect(Command3[0], &QPushButton::clicked, this, [this] { Command3_Click(0); });
    connect(Command3[1], &QPushButton::clicked, this, [this] { Command3_Click(1); });
    Frame2->installEventFilter(this);
    StatusBar1->installEventFilter(this);
    connect(PortNumber, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_session->setPortNumber(text);
        PortNumber_Change();
    });
    connect(IPAddress, &QLineEdit::textChanged, m_session, &Session::setIPAddress);
    connect(LocalIP, &QComboBox::editTextChanged, m_session, &Session::setLocalIP);
    connect(txtLogFile, &QLineEdit::textChanged, m_session, &Session::setLogFile);
    connect(txtOutFile, &QLineEdit::textChanged, m_session, &Session::setOutputFile);

    connect(m_session, &Session::statusChanged, StatusBar1, &QLabel::setText);
    connect(m_session, &Session::indicatorChanged, Shape1, [this](bool red) {
        Shape1->setFillColor(red ? QColor(255, 0, 0) : QColor(0, 255, 0));
    });
    connect(m_session, &Session::captionChanged, this, &QWidget::setWindowTitle);
    connect(m_session, &Session::activeChanged, this, &frmDocument::onActiveChanged);

    SessionSettings initial = m_session->settings();
    initial.LogFile = txtLogFile->text();
    initial.OutputFile = txtOutFile->text();
    initial.LocalIP = LocalIP->currentText();
    initial.IPAddress = IPAddress->text();
    initial.PortNumber = PortNumber->text();
    m_session->setSettings(initial);
}

void frmDocument::Form_Load()
{
    LoadResource::LoadResStrings(this);
    Module1::FillLocalIPList(LocalIP);
    const QString address = m_session->socketLocalIP();
    if (!address.isEmpty()) {
        LocalIP->setEditText(address);
        TCPOption[1]->setEnabled(true);
    } else {
        TCPOption[1]->setEnabled(false);
        m_session->setActiveMode(0);
    }
    SessionSettings current = m_session->settings();
    current.AllowMultiConnect = 1;
    m_session->setSettings(current);
}

void frmDocument::TCPOption_Click(int Index)
{
    showRole(Index == 1);
}

void frmDocument::showRole(bool server)
{
    TCPOption[server ? 1 : 0]->setChecked(true);
    m_session->setServerSelected(server);
    IPAddress->setVisible(!server);
    LocalIP->setVisible(server);
    Label2->setText(LoadResString(server ? 2155 : 2153));
    Label3->setText(LoadResString(server ? 2156 : 2154));
    Command2->setVisible(server);
}

void frmDocument::PortNumber_Change()
{
    if (NumericValue::leading(PortNumber->text()) > 65535)
        MessageBox::information(this, LoadResString(2167), LoadResString(2168));
}

void frmDocument::Command1_Click()
{
    m_session->Command1_Click();
}

bool frmDocument::isActive() const
{
    return m_session->isActive();
}

void frmDocument::onActiveChanged(bool active)
{
    for (QWidget *control :
         {static_cast<QWidget *>(Command2), static_cast<QWidget *>(TCPOption[1]),
          static_cast<QWidget *>(TCPOption[0]), static_cast<QWidget *>(IPAddress),
          static_cast<QWidget *>(PortNumber), static_cast<QWidget *>(LocalIP)})
        control->setEnabled(!active);
    Command1->setText(LoadResString(active ? 2160 : 2159));
}

SessionSettings frmDocument::settings() const
{
    SessionSettings current = m_session->settings();
    current.TCPOption = TCPOption[1]->isChecked() ? 1 : 0;
    current.AutoActivate = isActive() ? 1 : 0;
    return current;
}

void frmDocument::applySettings(const SessionSettings &stored)
{
    txtLogFile->setText(stored.LogFile);
    txtOutFile->setText(stored.OutputFile);
    LocalIP->setEditText(stored.LocalIP);
    IPAddress->setText(stored.IPAddress);
    PortNumber->setText(stored.PortNumber);
    showRole(stored.TCPOption != 0);
    Module1::AllowMultiConnect = stored.AllowMultiConnect;
    Module1::ServerSerialOptions = stored.ServerSerialOptions;
    Module1::ServerTCPOptions = stored.ServerTCPOptions;
    Module1::ClientOptions = stored.ClientOptions;
    UpdateStatus();
}

void frmDocument::Getstatus() const
{
    m_session->Getstatus();
}

void frmDocument::UpdateStatus()
{
    m_session->UpdateStatus();
}

// The dialogs below run nested event loops, in which shutdown may close this window: each
// handler checks that the window still exists before it goes on.
void frmDocument::Command2_Click()
{
    const SessionSettings before = m_session->settings();
    Module1::AllowMultiConnect = before.AllowMultiConnect;
    Module1::ServerSerialOptions = before.ServerSerialOptions;
    Module1::ServerTCPOptions = before.ServerTCPOptions;
    const QPointer<frmDocument> alive(this);
    const QPointer<frmServerOptions> dialog = new frmServerOptions(this);
    dialog->exec();
    if (!alive)
        return;
    delete dialog;
    if (Module1::AllowMultiConnect == -1)
        return;
    SessionSettings after = m_session->settings();
    after.AllowMultiConnect = Module1::AllowMultiConnect;
    after.ServerSerialOptions = Module1::ServerSerialOptions;
    after.ServerTCPOptions = Module1::ServerTCPOptions;
    m_session->setSettings(after);
}

void frmDocument::Command3_Click(int Index)
{
    QLineEdit *box = Index == 0 ? txtLogFile : txtOutFile;
    CommonDialog1.FileName = box->text();
    CommonDialog1.Flags = FileDialog::HideReadOnly;
    CommonDialog1.Filter = QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*");
    CommonDialog1.FilterIndex = 1;
    const QPointer<frmDocument> alive(this);
    CommonDialog1.ShowOpen();
    if (!alive)
        return;
    box->setFocus();
    if (!CommonDialog1.FileName.isEmpty())
        box->setText(CommonDialog1.FileName);
}

void frmDocument::Frame2_DblClick()
{
    if (TCPOption[0]->isChecked())
        return;
    QString text;
    const QStringList clients = m_session->connectedClients();
    for (const QString &address : clients)
        text += address + QStringLiteral("\r\n");
    MessageBox::information(this, QStringLiteral("Connected Clients:"), text);
}

bool frmDocument::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Frame2 && event->type() == QEvent::MouseButtonDblClick)
        Frame2_DblClick();
    if (watched == StatusBar1 && event->type() == QEvent::MouseButtonDblClick)
        showMonitor();
    return QWidget::eventFilter(watched, event);
}

frmMonitor *frmDocument::showMonitor()
{
    if (!m_monitor)
        m_monitor = new frmMonitor(m_session, this);
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
    return m_monitor;
}
