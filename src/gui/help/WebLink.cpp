#include "gui/help/WebLink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

namespace WebLink {

void open()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebAddress)));
    QApplication::restoreOverrideCursor();
}

} // namespace WebLink
