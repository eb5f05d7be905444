#pragma once

#include <QObject>
#include <QString>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"

// Chooses and owns the programming file of one component: protocol 0 TBP,
// protocol 1 SAM-BA raw blocks; keeps the verification binary beside it.
class CLASS_UTILS_PROG_FILE : public QObject
{
    Q_OBJECT
public:
    static constexpr SDWord PROTOCOL_TBP = 0;
    static constexpr SDWord PROTOCOL_ATMEL_ASCII = 1;

    CLASS_UTILS_PROG_FILE(CLASS_BINARY_INFORMATIONS* binary, CLASS_BINARY_INFORMATIONS* verificationBinary,
                          SDWord protocol, T_COMPONENT_TYPE componentType, T_CARD_TYPE cardType,
                          QObject* parent = nullptr);

    const QString& GetName() const { return m_Name; }
    // Null when the protocol was not recognized.
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* GetProgFile() const { return m_ProgFile; }
    CLASS_BINARY_INFORMATIONS* GetVerificationBinary() const { return m_VerificationBinary; }

private:
    QString m_Name;
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* m_ProgFile; // child of this object
    CLASS_BINARY_INFORMATIONS* m_VerificationBinary;    // not owned
};
