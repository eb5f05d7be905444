#include "BACKEND/MISC/MISC_ClassConfigurationParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <memory>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "Traces.h"

using namespace CONFIGURATIONS;

// The walk of the file is split in several functions, but its messages are
// those of the file parsing and of the component entry, and say so.
#define PARSING_POS TracePosition(__FILE__, "ParsingConfigurationsFile", __LINE__)
#define COMPONENT_POS TracePosition(__FILE__, "ParsingComponentEntry", __LINE__)

namespace
{
QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString InvalidComponentsMessage(const CLASS_CARD* card)
{
    return QStringLiteral("Invalid component parameters for components in card named ") +
           Quoted(card->GetName());
}

QString InvalidRevisionMessage(SByte revision, const CLASS_CARD* card)
{
    return QStringLiteral("Revision value is invalid (") + QString::number(revision) +
           QStringLiteral(") for components in card named ") + Quoted(card->GetName());
}

Bool IsReadableFile(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isReadable();
}

QString Text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

QJsonArray Array(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toArray();
}

QJsonObject Object(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toObject();
}
} // namespace

CLASS_CONFIGURATION_PARSER::CLASS_CONFIGURATION_PARSER(CLASS_CARDS_MANAGER* cardsManager,
                                                       const QList<CLASS_COMMUNICATION_CONF*>& communications,
                                                       Bool fullForce, Bool forceWithoutResident,
                                                       QObject* parent)
    : QObject(parent), m_FullForce(fullForce), m_ForceWithoutResident(forceWithoutResident),
      m_CardsManager(cardsManager), m_Communications(communications)
{
    InitConfigurationTables();
}

CLASS_CONFIGURATION_PARSER::~CLASS_CONFIGURATION_PARSER()
{
    ClearBinaries();
}

void CLASS_CONFIGURATION_PARSER::ClearBinaries()
{
    qDeleteAll(m_Binaries);
    m_Binaries.clear();
}

Bool CLASS_CONFIGURATION_PARSER::CheckConfigurationKeys(const QJsonObject& object,
                                                        const T_CONFIGURATION_KEYS& table)
{
    return CONFIGURATIONS::CheckConfigurationKeys(object, table);
}

QString CLASS_CONFIGURATION_PARSER::ResolveBinaryPath(const QString& baseFolder, const QString& path)
{
    if (path.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(path))
        return path;
    // Cleaned, so that two spellings of one file share one registry entry.
    return QDir::cleanPath(QDir(baseFolder).absolutePath() + QLatin1Char('/') + path);
}

Bool CLASS_CONFIGURATION_PARSER::ParsingConfigurationsFile(const QString& path)
{
    const QString baseFolder = BinaryBaseFolder();

    QFile file(path);
    if (!file.exists())
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot find the configuration file at: ") + path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot open the configuration file at: ") + path +
                   QStringLiteral(" because: ") + file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    file.close();

    if (document.isEmpty())
    {
        // The reader also flags a blank file; that one is reported as empty.
        if (parseError.error != QJsonParseError::NoError && !data.trimmed().isEmpty())
            TraceError(TRACE_POS +
                       QStringLiteral("Updater configuration file has encountered "
                                      "JSON parsing error (") +
                       parseError.errorString() + QStringLiteral("at offset ") +
                       QString::number(parseError.offset) + QStringLiteral(") at: ") + path);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Updater configuration file is empty or is not valid at: ") + path);
        return false;
    }

    const QJsonObject root = document.object();
    if (!CheckConfigurationKeys(root, RootKeys()))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot found root item") +
                   QLatin1String(KEY_BOX_UPDATER_CARDS) + QStringLiteral(" in the configuration file at: ") +
                   path);
        return false;
    }

    Bool result = true;
    const QJsonArray cards = Array(root, KEY_BOX_UPDATER_CARDS);
    for (const QJsonValue& card : cards)
    {
        if (!ParsingCard(card.toObject(), path, baseFolder))
            result = false;
    }
    return result;
}

Bool CLASS_CONFIGURATION_PARSER::ParsingCard(const QJsonObject& cardObject, const QString& path,
                                             const QString& baseFolder)
{
    // A nested object that lacks a key is only reported and skipped.
    if (!CheckConfigurationKeys(cardObject, CardKeys()))
        return true;
    const QJsonObject info = Object(cardObject, KEY_INFO);
    if (!CheckConfigurationKeys(info, InfoKeys()))
        return true;
    const SByte slotCount = ReadSignedByte(info.value(QLatin1String(KEY_BACKEND_SLOT)));

    Bool result = true;
    const QJsonArray details = Array(info, KEY_DETAILS);
    for (const QJsonValue& detailsValue : details)
    {
        const QJsonObject detailsEntry = detailsValue.toObject();
        if (!CheckConfigurationKeys(detailsEntry, DetailsKeys()))
            continue;

        const QString typeText = Text(detailsEntry, KEY_TYPE);
        CLASS_CARD* card = m_CardsManager->AddCard(CardTypeFromText(typeText));
        if (!card)
        {
            TraceError(PARSING_POS + QStringLiteral("Card type ") + Quoted(typeText) +
                       QStringLiteral(" is not added to list"));
            return false;
        }
        if (!card->IsValid())
        {
            TraceError(PARSING_POS + QStringLiteral("Card named ") + Quoted(card->GetName()) +
                       QStringLiteral(" is not initialized!"));
            return false;
        }

        const QJsonArray communications = Array(detailsEntry, KEY_COMMUNICATION);
        for (const QJsonValue& communication : communications)
        {
            if (!ParsingCommunicationsEntry(communication.toObject(), card))
            {
                TraceError(PARSING_POS + QStringLiteral("Error(s) has been encoutered during ") +
                           Quoted(QStringLiteral("communications")) +
                           QStringLiteral(" parsing in the configuration file at: ") + path);
                result = false;
                break;
            }
        }

        const QJsonObject components = Object(cardObject, KEY_COMPONENTS);
        if (CheckConfigurationKeys(components, CardComponentsKeys()) &&
            !ParsingCardComponents(components, card, baseFolder))
            result = false;

        if (!ParsingBackends(Array(cardObject, KEY_BACKENDS), slotCount, card, baseFolder))
            result = false;
    }
    return result;
}

Bool CLASS_CONFIGURATION_PARSER::ParsingCardComponents(const QJsonObject& components, CLASS_CARD* card,
                                                       const QString& baseFolder)
{
    Bool result = true;
    if (!ParsingComponentList(Array(components, KEY_BASICS), card, baseFolder))
    {
        TraceError(PARSING_POS + InvalidComponentsMessage(card));
        result = false;
    }

    const QJsonArray revisions = Array(components, KEY_REVISIONS);
    for (const QJsonValue& revisionValue : revisions)
    {
        const QJsonObject revisionEntry = revisionValue.toObject();
        if (!CheckConfigurationKeys(revisionEntry, ComponentsRevisionKeys()))
            continue;
        const SByte revision = ReadSignedByte(revisionEntry.value(QLatin1String(KEY_REVISION)));
        if (revision < 0)
        {
            TraceError(PARSING_POS + InvalidRevisionMessage(revision, card));
            return false;
        }
        if (!ParsingComponentList(Array(revisionEntry, KEY_COMPONENTS), card, baseFolder))
        {
            TraceError(PARSING_POS + InvalidComponentsMessage(card));
            result = false;
        }
    }
    return result;
}

Bool CLASS_CONFIGURATION_PARSER::ParsingBackends(const QJsonArray& backends, SByte slotCount,
                                                 CLASS_CARD* card, const QString& baseFolder)
{
    Bool result = true;
    for (const QJsonValue& backendValue : backends)
    {
        const QJsonObject backend = backendValue.toObject();
        if (!CheckConfigurationKeys(backend, BackendKeys()))
            continue;
        const QString backendText = Text(backend, KEY_BACKEND);
        if (backendText.isEmpty() || !BackendTypeFromText(backendText))
        {
            TraceError(PARSING_POS +
                       (backendText.isEmpty() ? QStringLiteral("BackEnd is invalid ")
                                              : QStringLiteral("BackEnd is not recognized ")) +
                       Quoted(backendText) + QStringLiteral(" for backends in card named ") +
                       Quoted(card->GetName()));
            return false;
        }

        const QJsonArray revisions = Array(backend, KEY_REVISIONS);
        for (const QJsonValue& revisionValue : revisions)
        {
            const QJsonObject revisionEntry = revisionValue.toObject();
            if (!CheckConfigurationKeys(revisionEntry, BackendRevisionKeys()))
                continue;
            const SByte revision = ReadSignedByte(revisionEntry.value(QLatin1String(KEY_REVISION)));
            if (revision < 0)
            {
                TraceError(PARSING_POS + InvalidRevisionMessage(revision, card));
                result = false;
                break;
            }

            const QJsonArray slotEntries = Array(revisionEntry, KEY_BACKEND_SLOTS);
            for (const QJsonValue& slotValue : slotEntries)
            {
                const QJsonObject slotEntry = slotValue.toObject();
                if (!CheckConfigurationKeys(slotEntry, BackendSlotKeys()))
                    continue;
                const SByte slot = ReadSignedByte(slotEntry.value(QLatin1String(KEY_BACKEND_SLOT)));
                if (slot < 0)
                {
                    TraceError(PARSING_POS + QStringLiteral("BackEnd slot value is invalid (") +
                               QString::number(slot) + QStringLiteral(") for components in card named ") +
                               Quoted(card->GetName()));
                    result = false;
                    break;
                }
                if (slot >= slotCount)
                {
                    TraceError(PARSING_POS + QStringLiteral("BackEnd slot value is out-of-range (") +
                               QString::number(slot) + QStringLiteral(") for components in card named ") +
                               Quoted(card->GetName()) + QStringLiteral(" who have only ") +
                               QString::number(slotCount) + QStringLiteral(" inside!"));
                    result = false;
                    break;
                }
                if (!ParsingComponentList(Array(slotEntry, KEY_COMPONENTS), card, baseFolder))
                {
                    TraceError(PARSING_POS + InvalidComponentsMessage(card));
                    result = false;
                }
            }
        }
    }
    return result;
}

Bool CLASS_CONFIGURATION_PARSER::ParsingComponentList(const QJsonArray& entries, CLASS_CARD* card,
                                                      const QString& baseFolder)
{
    for (const QJsonValue& entry : entries)
    {
        if (!ParsingComponentEntry(entry.toObject(), card, baseFolder))
            return false;
    }
    return true;
}

Bool CLASS_CONFIGURATION_PARSER::ParsingCommunicationsEntry(const QJsonObject& entry, CLASS_CARD* card)
{
    if (!CheckConfigurationKeys(entry, CommunicationKeys()))
    {
        TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for one communication"));
        return false;
    }
    const SDWord nodeAddress = entry.value(QLatin1String(KEY_NODE_ADDRESS)).toInt(-1);
    const QString type = Text(entry, KEY_TYPE);
    const QJsonObject parameters = Object(entry, KEY_PARAMETERS);

    std::unique_ptr<CLASS_COMMUNICATION_CONF> configuration;
    if (type == CommunicationTypeToText(COMMUNICATION_TYPE_COM))
    {
        if (!CheckConfigurationKeys(parameters, ComParametersKeys()))
        {
            TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for one COM communication"));
            return false;
        }
        configuration.reset(new CLASS_COMMUNICATION_CONF_COM(QStringLiteral("COM_") + card->GetName(),
                                                             nodeAddress, Text(parameters, KEY_PORT)));
    }
    else if (type == CommunicationTypeToText(COMMUNICATION_TYPE_UDP))
    {
        if (!CheckConfigurationKeys(parameters, UdpParametersKeys()))
        {
            TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for one UDP communication"));
            return false;
        }
        configuration.reset(new CLASS_COMMUNICATION_CONF_UDP(
            QStringLiteral("UDP_") + card->GetName(), nodeAddress, Text(parameters, KEY_LOCAL_ADDRESS),
            parameters.value(QLatin1String(KEY_LOCAL_PORT)).toInt(0), Text(parameters, KEY_REMOTE_ADDRESS),
            parameters.value(QLatin1String(KEY_REMOTE_PORT)).toInt(0)));
    }
    else if (type == CommunicationTypeToText(COMMUNICATION_TYPE_USB))
    {
        if (!CheckConfigurationKeys(parameters, UsbParametersKeys()))
        {
            TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for one USB communication"));
            return false;
        }
        Bool converted = true;
        Word productId = 0;
        Word vendorId = 0;
        const QString pidText = Text(parameters, KEY_PID);
        const QString vidText = Text(parameters, KEY_VID);
        if (!HexadecimalToWord(pidText, &productId))
        {
            TraceError(TRACE_POS +
                       QStringLiteral("Cannot convert PID (%1) for one USB communication").arg(pidText));
            converted = false;
        }
        if (!HexadecimalToWord(vidText, &vendorId))
        {
            TraceError(TRACE_POS +
                       QStringLiteral("Cannot convert VID (%1) for one USB communcation").arg(vidText));
            converted = false;
        }
        if (!converted)
            return false;
        configuration.reset(new CLASS_COMMUNICATION_CONF_USB(QStringLiteral("USB_") + card->GetName(),
                                                             nodeAddress, productId, vendorId));
    }
    else
    {
        TraceError(TRACE_POS + QStringLiteral("Unrecognized communication type: ") + type);
        return false;
    }

    for (const CLASS_COMMUNICATION_CONF* existing : m_Communications)
    {
        if (existing && existing->GetName() == configuration->GetName())
        {
            TraceError(TRACE_POS + QStringLiteral("One communication with this name already exists: ") +
                       configuration->GetName());
            return false;
        }
    }
    // The card keeps its own copy; a link it refuses (a second one of the same
    // type) is an error of the file, not something to drop silently.
    return card->AddCommunication(configuration->GetType(), *configuration);
}

Bool CLASS_CONFIGURATION_PARSER::ParsingComponentEntry(const QJsonObject& entry, CLASS_CARD* card,
                                                       const QString& baseFolder)
{
    if (!CheckConfigurationKeys(entry, ComponentKeys()))
        return false;

    const QString name = Text(entry, KEY_NAME);
    const QString communicationType = Text(entry, KEY_COMMUNICATION_TYPE);
    const QString programmation = Text(entry, KEY_PROGRAMMATION);
    const QString path = Text(entry, KEY_PATH);
    const QString baseAddress = Text(entry, KEY_BASE_ADDRESS);
    const QString jumpAddress = Text(entry, KEY_JUMP_ADDRESS);
    const QString type = Text(entry, KEY_TYPE);
    const QString endAction = Text(entry, KEY_END_ACTION);

    if (!UpdateStepTable().Contains(name))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot recognized component ") + name +
                   QStringLiteral(" with valid name"));
        return false;
    }
    if (!name.contains(UpdateStepToText(STEP_FINAL_RESET)) &&
        type != QLatin1String(COMPONENT_TYPE_RAM_SAMBA) && !ComponentTypeTable().Contains(type))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot recognized component type ") + type);
        return false;
    }
    if (!EndActionTable().Contains(endAction))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot recognized updater end action ") + endAction);
        return false;
    }

    const QString binaryPath = ResolveBinaryPath(baseFolder, path);
    if (!path.isEmpty() && !IsReadableFile(binaryPath))
    {
        TraceError(TRACE_POS + QStringLiteral("Invalid binary file path: ") + binaryPath +
                   QStringLiteral(" for entry ") + name);
        return false;
    }

    CLASS_BINARY_INFORMATIONS* binary = nullptr;
    CLASS_BINARY_INFORMATIONS* verificationBinary = nullptr;
    if (!entry.contains(QLatin1String(KEY_BINARY_VERIFICATION)))
    {
        binary = RegisteredBinary(binaryPath, baseAddress, jumpAddress,
                                  QStringLiteral("Could not create the binary informations for the one "
                                                 "at the path: ") +
                                      binaryPath);
        if (!binary)
            return false;
    }
    else
    {
        const QJsonObject verification = Object(entry, KEY_BINARY_VERIFICATION);
        if (!CheckConfigurationKeys(verification, VerificationKeys()))
        {
            TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for component on card named: ") +
                       card->GetName());
            return false;
        }
        const QString verificationText = Text(verification, KEY_PATH);
        const QString verificationPath = ResolveBinaryPath(baseFolder, verificationText);
        if (!IsReadableFile(verificationPath))
        {
            TraceError(TRACE_POS +
                       QStringLiteral("Invalid verification binary data in the "
                                      "configuration file at: ") +
                       verificationText);
            return false;
        }
        binary = RegisteredBinary(binaryPath, baseAddress, jumpAddress,
                                  QStringLiteral("Count not create the binary information for the one at "
                                                 "the path:") +
                                      binaryPath);
        if (!binary)
            return false;
        verificationBinary = m_Binaries.value(verificationPath, nullptr);
        if (!verificationBinary)
        {
            TraceError(TRACE_POS + QStringLiteral("The verification binary at the path: ") +
                       verificationPath + QStringLiteral(" is not registered"));
            return false;
        }
    }

    if (!card->AddComponent(name, UpdateStepFromText(name), CommunicationTypeFromText(communicationType),
                            programmation, binary, verificationBinary, ComponentTypeFromText(type),
                            EndActionFromText(endAction), m_FullForce, m_ForceWithoutResident))
    {
        TraceError(TRACE_POS + QStringLiteral("Invalid parameter(s) for component: ") + name +
                   QStringLiteral(" on card named: ") + card->GetName());
        return false;
    }
    // A component that no updater can program would leave the update to end
    // in success without it: the card traced why, the file is rejected.
    return card->GetComponents().last()->HasWorkingUpdater();
}

CLASS_BINARY_INFORMATIONS* CLASS_CONFIGURATION_PARSER::RegisteredBinary(const QString& path,
                                                                        const QString& baseText,
                                                                        const QString& jumpText,
                                                                        const QString& failureText)
{
    if (CLASS_BINARY_INFORMATIONS* registered = m_Binaries.value(path, nullptr))
        return registered;
    CLASS_BINARY_INFORMATIONS* binary = nullptr;
    if (!CreateBinaryInformations(&binary, path, baseText, jumpText))
    {
        TraceError(COMPONENT_POS + failureText);
        return nullptr;
    }
    m_Binaries.insert(path, binary);
    return binary;
}

Bool CLASS_CONFIGURATION_PARSER::CreateBinaryInformations(CLASS_BINARY_INFORMATIONS** binary,
                                                          const QString& path, const QString& baseText,
                                                          const QString& jumpText)
{
    if (baseText.isEmpty())
    {
        TraceError(TRACE_POS +
                   QStringLiteral("The base address information is empty for the "
                                  "binary at the path: ") +
                   path);
        return false;
    }
    if (jumpText.isEmpty())
    {
        TraceError(TRACE_POS +
                   QStringLiteral("The jump address information is empt=y for the "
                                  "binary at the path: ") +
                   path);
        return false;
    }
    DWord base = 0;
    DWord jump = 0;
    if (!HexadecimalToDWord(baseText, &base))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot convert base address: ") + baseText +
                   QStringLiteral(" for the binary at the following path: ") + path);
        return false;
    }
    if (!HexadecimalToDWord(jumpText, &jump))
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot convert jump address: ") + jumpText +
                   QStringLiteral(" for the binary at the folowwing path: ") + path);
        return false;
    }
    *binary = new CLASS_BINARY_INFORMATIONS(path, base, jump, nullptr);
    // An unread binary would be programmed as nothing, over and over: the file is rejected here.
    if (!path.isEmpty() && !(*binary)->IsLoaded())
    {
        TraceError(TRACE_POS + QStringLiteral("Cannot read the binary at the path: \"") + path +
                   QStringLiteral("\""));
        delete *binary;
        *binary = nullptr;
        return false;
    }
    return true;
}
