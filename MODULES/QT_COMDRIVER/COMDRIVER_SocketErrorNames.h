#pragma once

#include <QAbstractSocket>
#include <QString>

// Name of a socket error enumerator, the text the socket ports report;
// empty for a value outside the table.
QString SocketErrorName(int error);
