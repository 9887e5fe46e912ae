#include "support/FillLocalIPList.h"

#include "support/LocalAddresses.h"

#include <QComboBox>

namespace Module1 {

void FillLocalIPList(QComboBox *combo)
{
    if (!combo)
        return;
    combo->addItems(LocalAddresses::all());
}

} // namespace Module1
