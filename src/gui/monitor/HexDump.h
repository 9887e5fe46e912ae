#pragma once

#include <QString>

struct MonitoredArrival;

// An arrival as lines of text: a heading with its time, peer and size, then 16 bytes a line as
// offset, hex and text, where bytes outside printable ASCII show as '.'.
namespace HexDump {

QString heading(const MonitoredArrival &arrival);
QString lines(const MonitoredArrival &arrival);

} // namespace HexDump
