#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every message box of the program goes through here, so that a test can answer it instead of
// a user.
namespace MessageBox {

// Shows a modal message box with an OK button only.
void information(QWidget *owner, const QString &title, const QString &text);

// A test installs an answerer: it receives the title and the text instead of a box being shown.
using Answerer = std::function<void(const QString &title, const QString &text)>;
void setAnswerer(Answerer answerer);

} // namespace MessageBox
