#include "gui/main/ProgramIcon.h"

namespace ProgramIcon {

QIcon icon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/kestrel/icons/kestrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace ProgramIcon
