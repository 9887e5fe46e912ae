#pragma once

#include "core/engine/SessionSettings.h"
#include "gui/dialogs/FileDialog.h"

#include <QPointer>
#include <QWidget>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class Session;
class Shape;
class frmMonitor;

// A session window: the view and controls of one Session. It lays out and localizes the
// controls, passes the user's edits to the session and shows what the session reports.
class frmDocument final : public QWidget {
    Q_OBJECT

public:
    explicit frmDocument(QWidget *parent = nullptr);
    ~frmDocument() override;

    Session *session() const { return m_session; }
    // The designed size, which the main window's arrangements give the window.
    QSize sizeHint() const override;

    // The settings as the controls and the session hold them; AutoActivate tells whether the
    // session is active.
    SessionSettings settings() const;
    // Puts stored settings into the controls: texts, role with its controls, option codes.
    void applySettings(const SessionSettings &settings);

    void Getstatus() const;
    void UpdateStatus();
    bool isActive() const;

    // Handlers of the controls; public so that the main window and tests can run them.
    void Command1_Click();
    void TCPOption_Click(int Index);
    void PortNumber_Change();
    // I/O Options: the server codes through the server options dialog.
    void Command2_Click();
    // Browse for the log file (0) or the outbound file (1).
    void Command3_Click(int Index);
    // The list of connected clients of a server session.
    void Frame2_DblClick();
    // Opens the session's data monitor, or brings it to the front if it is open.
    frmMonitor *showMonitor();

    QGroupBox *Frame2;
    std::array<QRadioButton *, 2> TCPOption;
    QLabel *Label2;
    QLineEdit *IPAddress;
    QComboBox *LocalIP;
    QLabel *Label3;
    QLineEdit *PortNumber;
    QPushButton *Command2;
    QGroupBox *Frame1;
    std::array<QLabel *, 6> Label1{}; // elements 0 and 5 exist
    QLineEdit *txtLogFile;
    std::array<QPushButton *, 2> Command3;
    QLineEdit *txtOutFile;
    QPushButton *Command1;
    QLabel *StatusBar1;
    Shape *Shape1;
    FileDialog CommonDialog1{this};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void buildControls();
    void showRole(bool server);
    void onActiveChanged(bool active);

    Session *m_session;
    QPointer<frmMonitor> m_monitor; // a window of its own, closed with this one
};
