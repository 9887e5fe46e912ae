#include "gui/widgets/FillLocalIPList.h"

#include "core/net/LocalAddresses.h"

#include <QComboBox>

namespace Module1 {

void FillLocalIPList(QComboBox *combo)
{
    if (!combo)
        return;
    combo->addItems(LocalAddresses::all());
}

} // namespace Module1
