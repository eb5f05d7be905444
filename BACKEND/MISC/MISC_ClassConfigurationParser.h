#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include "BACKEND/MISC/Configurations_Helpers.h"
#include "Types.h"

class CLASS_BINARY_INFORMATIONS;
class CLASS_CARD;
class CLASS_CARDS_MANAGER;
class CLASS_COMMUNICATION_CONF;

// Reads the update configuration file into the cards manager: cards, a copy
// of each link in its card, one component with its updater per component
// entry, and a registry of the binaries loaded. It does not stop at the first
// error: every error is traced and makes the result false, and reading goes on
// with the next entry, so one run reports as much as it can.
class CLASS_CONFIGURATION_PARSER : public QObject
{
    Q_OBJECT
public:
    // communications: existing links whose names the file may not reuse; only
    // read.
    CLASS_CONFIGURATION_PARSER(CLASS_CARDS_MANAGER* cardsManager,
                               const QList<CLASS_COMMUNICATION_CONF*>& communications, Bool fullForce,
                               Bool forceWithoutResident, QObject* parent = nullptr);
    ~CLASS_CONFIGURATION_PARSER() override;

    // True when no error was found. Cards and components added before an
    // error stay in the model; a false result means the update must not run.
    Bool ParsingConfigurationsFile(const QString& path);
    // Deletes every registered binary.
    void ClearBinaries();

    // Absolute binary path (or the empty path) to its object.
    const QHash<QString, CLASS_BINARY_INFORMATIONS*>& GetBinaries() const { return m_Binaries; }

    // Empty for an empty path, path itself when absolute, else resolved below
    // baseFolder.
    static QString ResolveBinaryPath(const QString& baseFolder, const QString& path);

private:
    static Bool CheckConfigurationKeys(const QJsonObject& object, const T_CONFIGURATION_KEYS& table);
    Bool ParsingCommunicationsEntry(const QJsonObject& entry, CLASS_CARD* card);
    Bool ParsingComponentEntry(const QJsonObject& entry, CLASS_CARD* card, const QString& baseFolder);
    static Bool CreateBinaryInformations(CLASS_BINARY_INFORMATIONS** binary, const QString& path,
                                         const QString& baseText, const QString& jumpText);

    // Reads every card object of the root array.
    Bool ParsingCard(const QJsonObject& cardObject, const QString& path, const QString& baseFolder);
    // Components of a card: basics then every revision.
    Bool ParsingCardComponents(const QJsonObject& components, CLASS_CARD* card, const QString& baseFolder);
    Bool ParsingBackends(const QJsonArray& backends, SByte slotCount, CLASS_CARD* card,
                         const QString& baseFolder);
    // Parses a list of component entries; stops at the first failure.
    Bool ParsingComponentList(const QJsonArray& entries, CLASS_CARD* card, const QString& baseFolder);
    // Registered object for path, created and registered when absent.
    CLASS_BINARY_INFORMATIONS* RegisteredBinary(const QString& path, const QString& baseText,
                                                const QString& jumpText, const QString& failureText);

    const Bool m_FullForce;
    const Bool m_ForceWithoutResident;
    CLASS_CARDS_MANAGER* const m_CardsManager;
    const QList<CLASS_COMMUNICATION_CONF*>& m_Communications;
    QHash<QString, CLASS_BINARY_INFORMATIONS*> m_Binaries;
};
