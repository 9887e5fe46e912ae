#include "gui/help/frmAbout.h"

#include "gui/help/WebLink.h"
#include "gui/main/ProgramIcon.h"
#include "gui/widgets/LoadResStrings.h"
#include "gui/widgets/Twips.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStringList>

namespace {

// Client area and control positions in twips.
constexpr int ClientWidth = 6300;
constexpr int ClientHeight = 4155;
constexpr int SeparatorTop = 2520;

QPointer<frmAbout> &current()
{
    static QPointer<frmAbout> box;
    return box;
}

std::function<QDateTime()> &clockHook()
{
    static std::function<QDateTime()> now;
    return now;
}

QDateTime now()
{
    return clockHook() ? clockHook()() : QDateTime::currentDateTime();
}

// The maker's name and contact lines; the first one carries the year.
QString makerLines(const QDateTime &when)
{
    return QStringList{QStringLiteral("Copyright \u00A9 ") + when.toString(QStringLiteral("yyyy")) +
                           QStringLiteral(" Pell"),
                       QStringLiteral("All rights reserved."),
                       QStringLiteral("E-mail: support@example.com"),
                       QStringLiteral("Telephone: +1 555 0100")}
        .join(QLatin1Char('\n'));
}

// The labels without a string id keep this font: the desktop's own family at 8.25 points.
QFont designFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(8.25);
    return font;
}

QLabel *label(QWidget *parent, const QRect &twips, const char *tag)
{
    auto *control = new QLabel(parent);
    control->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    control->setWordWrap(true);
    if (tag)
        control->setProperty("Tag", QString::fromLatin1(tag));
    return control;
}

QFrame *line(QWidget *parent, int top, const QColor &colour)
{
    auto *control = new QFrame(parent);
    control->setGeometry(Twips::rect(84, top, ClientWidth - 2 * 84, Twips::PerPixel));
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, colour);
    control->setPalette(palette);
    control->setAutoFillBackground(true);
    return control;
}

void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

frmAbout::frmAbout(QWidget *owner) : QDialog(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window may be hidden behind the notification-area icon: closing the About box
    // must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setProperty("Tag", QStringLiteral("2142"));
    setWindowTitle(QStringLiteral("About Kestrel"));
    setWindowIcon(ProgramIcon::icon());
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    picIcon = new QLabel(this);
    picIcon->setGeometry(Twips::rect(240, 240, 540, 540));
    picIcon->setPixmap(ProgramIcon::icon().pixmap(32, 32));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setBackgroundRole(QPalette::Button);
    picIcon->setAutoFillBackground(true);

    lblTitle = label(this, QRect(1050, 240, 4935, 300), "2143");
    lblTitle->setText(QStringLiteral("TCP/IP Data Logger"));
    lblVersion = label(this, QRect(1050, 600, 4935, 255), nullptr);
    lblVersion->setFont(designFont());
    lblDescription = label(this, QRect(1050, 915, 4935, 1125), nullptr);
    lblDescription->setFont(designFont());

    Label4 = label(this, QRect(1050, 2100, 4935, 285), nullptr);
    Label4->setText(QString::fromLatin1(WebLink::WebAddress));
    QFont link = designFont();
    link.setBold(true);
    link.setUnderline(true);
    Label4->setFont(link);
    QPalette blue = Label4->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label4->setPalette(blue);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->installEventFilter(this);

    Line1[0] = line(this, SeparatorTop + Twips::PerPixel, Qt::white);
    Line1[1] = line(this, SeparatorTop, QColor(128, 128, 128));

    lblDisclaimer = label(this, QRect(255, 2700, 4470, 1335), "1102");
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setGeometry(Twips::rect(4860, 2760, 1260, 375));
    cmdOK->setProperty("Tag", QStringLiteral("1207"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    current() = this;
    Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load()
{
    LoadResource::LoadResStrings(this);
    lblDescription->setText(makerLines(now()));
    lblVersion->setText(QStringLiteral("Kestrel"));
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::reject()
{
    cmdOK_Click();
}

void frmAbout::Label4_Click()
{
    WebLink::open();
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label4->rect().contains(mouse->position().toPoint())) {
            Label4_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

frmAbout *frmAbout::openBox()
{
    frmAbout *box = current();
    return box && box->isVisible() ? box : nullptr;
}

void frmAbout::showModal(QWidget *owner)
{
    // One About box at a time: an open one comes to the front instead.
    if (frmAbout *box = openBox()) {
        bringForward(box);
        return;
    }
    auto *box = new frmAbout(owner);
    box->exec();
}

void frmAbout::showModeless()
{
    // While a modal window of the program is open it stays in charge; it comes to the front.
    QWidget *open = openBox();
    if (!open)
        open = QApplication::activeModalWidget();
    if (open) {
        bringForward(open);
        return;
    }
    bringForward(new frmAbout);
}

void frmAbout::setClock(std::function<QDateTime()> c)
{
    clockHook() = std::move(c);
}
