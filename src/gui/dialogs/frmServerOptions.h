#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

// The server I/O options of a session. The dialog takes the codes from the transfer variables
// of Module1 when it loads and puts them back there on OK; Cancel leaves -1 in
// AllowMultiConnect. Closing it any other way changes nothing.
class frmServerOptions final : public QDialog {
    Q_OBJECT

public:
    explicit frmServerOptions(QWidget *parent = nullptr);

    void Command1_Click();
    void Command2_Click();

    QCheckBox *chkMultiClients;
    QGroupBox *Frame1;
    std::array<QRadioButton *, 3> OptionTCP;
    QGroupBox *Frame2;
    std::array<QRadioButton *, 3> OptionSerial;
    QPushButton *Command1;
    QPushButton *Command2;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void Form_Load();
};
