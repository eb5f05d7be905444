#include "COMDRIVER_SocketErrorNames.h"

#include <QHash>

QString SocketErrorName(int error)
{
    static const QHash<int, QString> names = {
        {QAbstractSocket::UnknownSocketError, QStringLiteral("UnknownSocketError")},
        {QAbstractSocket::ConnectionRefusedError, QStringLiteral("ConnectionRefusedError")},
        {QAbstractSocket::RemoteHostClosedError, QStringLiteral("RemoteHostClosedError")},
        {QAbstractSocket::HostNotFoundError, QStringLiteral("HostNotFoundError")},
        {QAbstractSocket::SocketAccessError, QStringLiteral("SocketAccessError")},
        {QAbstractSocket::SocketResourceError, QStringLiteral("SocketResourceError")},
        {QAbstractSocket::SocketTimeoutError, QStringLiteral("SocketTimeoutError")},
        {QAbstractSocket::DatagramTooLargeError, QStringLiteral("DatagramTooLargeError")},
        {QAbstractSocket::NetworkError, QStringLiteral("NetworkError")},
        {QAbstractSocket::AddressInUseError, QStringLiteral("AddressInUseError")},
        {QAbstractSocket::SocketAddressNotAvailableError, QStringLiteral("SocketAddressNotAvailableError")},
        {QAbstractSocket::UnsupportedSocketOperationError, QStringLiteral("UnsupportedSocketOperationError")},
        {QAbstractSocket::UnfinishedSocketOperationError, QStringLiteral("UnfinishedSocketOperationError")},
        {QAbstractSocket::ProxyAuthenticationRequiredError,
         QStringLiteral("ProxyAuthenticationRequiredError")},
        {QAbstractSocket::SslHandshakeFailedError, QStringLiteral("SslHandshakeFailedError")},
        {QAbstractSocket::ProxyConnectionRefusedError, QStringLiteral("ProxyConnectionRefusedError")},
        {QAbstractSocket::ProxyConnectionClosedError, QStringLiteral("ProxyConnectionClosedError")},
        {QAbstractSocket::ProxyConnectionTimeoutError, QStringLiteral("ProxyConnectionTimeoutError")},
        {QAbstractSocket::ProxyNotFoundError, QStringLiteral("ProxyNotFoundError")},
        {QAbstractSocket::ProxyProtocolError, QStringLiteral("ProxyProtocolError")},
        {QAbstractSocket::OperationError, QStringLiteral("OperationError")},
        {QAbstractSocket::SslInternalError, QStringLiteral("SslInternalError")},
        {QAbstractSocket::SslInvalidUserDataError, QStringLiteral("SslInvalidUserDataError")},
        {QAbstractSocket::TemporaryError, QStringLiteral("TemporaryError")},
    };
    return names.value(error);
}
