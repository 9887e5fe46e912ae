#pragma once

#include <QDateTime>
#include <QDialog>
#include <array>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

// The About box: the program's icon, name and title, the maker's lines with the current year,
// the link to the maker's web site and the legal notice. Each opening builds it anew and
// closing it destroys it, so its load steps run at every opening.
class frmAbout final : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget *owner = nullptr);
    ~frmAbout() override;

    // Modal, owned by `owner`; returns when the box has been closed.
    static void showModal(QWidget *owner);
    // Modeless, without owner.
    static void showModeless();
    // The About box that is open; null when there is none.
    static frmAbout *openBox();

    // The clock the maker's lines take the year from; tests fix it.
    static void setClock(std::function<QDateTime()> clock);

    void Form_Load();
    void cmdOK_Click();
    void Label4_Click();

    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *Label4;
    std::array<QFrame *, 2> Line1;
    QLabel *lblDisclaimer;
    QPushButton *cmdOK;

public slots:
    // Escape and the window's close button close the box as OK does.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
