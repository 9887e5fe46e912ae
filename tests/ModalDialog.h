#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Modal dialogs run their own event loop (exec()). A test calls whenModal() before the code that
// opens the dialog: as soon as a dialog of the given type is the application's modal widget,
// `act` runs on it from inside that loop, as a user would. Nothing runs when no such dialog
// shows within the timeout.
template <typename Dialog> void whenModal(std::function<void(Dialog *)> act, int timeoutMs = 5000)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, act] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        if (dialog)
            act(dialog);
    });
    poll->start();
}
