#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassProgFileWithAtmelAscii.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROTOCOL/PROG_ClassProgFileWithTBP.h"
#include "Traces.h"

CLASS_UTILS_PROG_FILE::CLASS_UTILS_PROG_FILE(CLASS_BINARY_INFORMATIONS* binary,
                                             CLASS_BINARY_INFORMATIONS* verificationBinary, SDWord protocol,
                                             T_COMPONENT_TYPE componentType, T_CARD_TYPE cardType,
                                             QObject* parent)
    : QObject(parent), m_ProgFile(nullptr), m_VerificationBinary(verificationBinary)
{
    switch (protocol)
    {
    case PROTOCOL_TBP:
        m_ProgFile = new CLASS_PROG_FILE_WITH_TBP(binary, componentType, cardType, this);
        break;
    case PROTOCOL_ATMEL_ASCII:
        m_ProgFile = new CLASS_PROG_FILE_WITH_ATMEL_ASCII(binary, this);
        break;
    default:
        TraceError(TRACE_POS + "Unrecognized file programmation protocol (" + QString::number(protocol) +
                   ")");
        break;
    }
}
