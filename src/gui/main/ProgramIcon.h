#pragma once

#include <QIcon>

namespace ProgramIcon {

// The program's icon in every size it is drawn in (from 16 to 256 pixels).
QIcon icon();

} // namespace ProgramIcon
