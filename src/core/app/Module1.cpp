#include "core/app/Module1.h"

namespace Module1 {

QString OnErrorRunApp;
qint32 LogErrors = 0;
qint32 PacketSize = 0;
qint32 ArrivalIndex = 0;

qint16 AllowMultiConnect = 0;
qint16 ServerSerialOptions = 0;
qint16 ServerTCPOptions = 0;
qint16 ClientOptions = 0;

bool TrayIconActive = false;

} // namespace Module1
