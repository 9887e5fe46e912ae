#pragma once

#include "gui/dialogs/FileDialog.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The program-wide options: the error log switch, the program to run on errors, the arrival
// index switch and the packet size (kept hidden). The dialog edits the global options of Module1
// directly: OK stores the controls, Cancel and any other way of closing keep the options as they
// were.
class frmOptions final : public QDialog {
    Q_OBJECT

public:
    explicit frmOptions(QWidget *parent = nullptr);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    QLabel *Label2;
    QComboBox *Combo1;
    QCheckBox *Check1;
    QGroupBox *Frame1;
    QLabel *Label1;
    QLineEdit *Text1;
    QPushButton *Command1;
    QCheckBox *Check2;
    QPushButton *Command2;
    QPushButton *Command3;
    FileDialog CommonDialog1;

private:
    void buildControls();
    void Form_Load();
};
