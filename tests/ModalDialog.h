#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// Modal dialogs run their own event loop (exec()). A test calls whenModal() before the code that
// opens the dialog: as soon as a dialog of the given type is the application's modal widget,
// `act` runs on it from inside that loop, as a user would. It waits up to a minute (a loaded
// machine may be slow to show a dialog, and giving up early would leave exec() waiting); the
// returned flag tells the test whether `act` ran.
template <typename Dialog>
std::shared_ptr<bool> whenModal(std::function<void(Dialog *)> act, int timeoutMs = 60000)
{
    auto ran = std::make_shared<bool>(false);
    auto *poll = new QTimer;
    poll->setInterval(10);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, act, ran] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (dialog) {
            *ran = true;
            act(dialog);
        }
    });
    poll->start();
    return ran;
}
// Ends a dialog as a user would: "OK", "Cancel", "Escape" or "Enter" (Return, then keypad Enter)
// in `field`, or "close" as the platform closes a window. A dialog still open afterwards is
// cancelled; the result tells whether the user's way had closed it.
inline bool closeBy(const QString &how, QDialog *dialog, QPushButton *ok, QPushButton *cancel,
                    QWidget *field)
{
    if (how == "OK" || how == "Cancel")
        (how == "OK" ? ok : cancel)->click();
    else if (how == "close")
        dialog->close();
    const QList<Qt::Key> keys = how == "Escape"  ? QList<Qt::Key>{Qt::Key_Escape}
                                : how == "Enter" ? QList<Qt::Key>{Qt::Key_Return, Qt::Key_Enter}
                                                 : QList<Qt::Key>();
    for (const Qt::Key key : keys) {
        if (dialog->isVisible())
            QTest::keyClick(field, key);
    }
    const bool closed = !dialog->isVisible();
    if (!closed)
        cancel->click();
    return closed;
}
