#include "shell/MessageBox.h"

#include <QMessageBox>

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
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

void setAnswerer(Answerer a)
{
    answerer() = std::move(a);
}

} // namespace MessageBox
