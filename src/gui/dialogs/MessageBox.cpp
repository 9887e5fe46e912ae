#include "gui/dialogs/MessageBox.h"

#include <QMessageBox>
#include <QPointer>

namespace MessageBox {

namespace {
Answerer &answerer()
{
    static Answerer instance;
    return instance;
}
} // namespace

void information(QWidget *owner, const QString &title, const QString &text)
{
    if (answerer()) {
        answerer()(title, text);
        return;
    }
    // On the heap: if the owner goes away while the box is open, the box goes with it.
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box->exec();
    delete box;
}

void setAnswerer(Answerer a)
{
    answerer() = std::move(a);
}

} // namespace MessageBox
