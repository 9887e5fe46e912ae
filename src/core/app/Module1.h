#pragma once

#include <QString>
#include <QtGlobal>

// Program-wide state shared by the session windows, the option dialogs and the configuration
// reader and writer.
namespace Module1 {

// Global options, edited in the options dialog and stored in configuration files.
extern QString OnErrorRunApp; // command line started on every session error; empty = none
extern qint32 LogErrors;      // non-zero: append every error to errorlog.txt
extern qint32 PacketSize;     // bytes per outbound packet; 0 until a file with sessions was read
extern qint32 ArrivalIndex;   // non-zero: every logged arrival gets a line in "<log file>.idx"

// Transfer variables: a session's option codes on their way between the session, the server
// options dialog and the configuration reader and writer. -1 in AllowMultiConnect after the
// server options dialog means Cancel.
extern qint16 AllowMultiConnect;
extern qint16 ServerSerialOptions;
extern qint16 ServerTCPOptions;
extern qint16 ClientOptions;

// True while the notification-area icon and the main window's hook are installed.
extern bool TrayIconActive;

} // namespace Module1
