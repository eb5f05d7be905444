#include "BACKEND/MISC/Configurations_Helpers.h"

#include <QDir>
#include <QHash>
#include <QJsonValue>

#include <cmath>
#include <limits>

#include "Traces.h"

namespace CONFIGURATIONS
{
const char* const KEY_BOX_UPDATER_CARDS = "box_updater_cards";
const char* const KEY_INFO = "info";
const char* const KEY_COMPONENTS = "components";
const char* const KEY_BACKENDS = "backends";
const char* const KEY_BACKEND_SLOT = "backend_slot";
const char* const KEY_DETAILS = "details";
const char* const KEY_TYPE = "type";
const char* const KEY_COMMUNICATION = "communication";
const char* const KEY_PARAMETERS = "parameters";
const char* const KEY_NODE_ADDRESS = "node-addr";
const char* const KEY_PORT = "port";
const char* const KEY_LOCAL_ADDRESS = "local-addr";
const char* const KEY_LOCAL_PORT = "local-port";
const char* const KEY_REMOTE_ADDRESS = "remote-addr";
const char* const KEY_REMOTE_PORT = "remote-port";
const char* const KEY_PID = "pid";
const char* const KEY_VID = "vid";
const char* const KEY_REVISIONS = "revisions";
const char* const KEY_BASICS = "basics";
const char* const KEY_REVISION = "revision";
const char* const KEY_BACKEND = "backend";
const char* const KEY_BACKEND_SLOTS = "backend_slots";
const char* const KEY_NAME = "name";
const char* const KEY_COMMUNICATION_TYPE = "communication_type";
const char* const KEY_PATH = "path";
const char* const KEY_PROGRAMMATION = "programmation";
const char* const KEY_BASE_ADDRESS = "base-addr";
const char* const KEY_JUMP_ADDRESS = "jump-addr";
const char* const KEY_END_ACTION = "end-action";
const char* const KEY_BINARY_VERIFICATION = "binary-verification";

const char* const COMPONENT_TYPE_RAM_SAMBA = "RAM_SAMBA";

namespace
{
const char* const WORK_FOLDER_NAME = "BOX_UPDATER";
const char* const EXTRACTION_FOLDER_NAME = "/PackageExtraction";

T_CONFIGURATION_KEYS Keys(std::initializer_list<const char*> mandatory,
                          std::initializer_list<const char*> optional = {})
{
    T_CONFIGURATION_KEYS table;
    for (const char* key : mandatory)
        table.insert(QString::fromLatin1(key), CONFIGURATION_KEY_MANDATORY);
    for (const char* key : optional)
        table.insert(QString::fromLatin1(key), CONFIGURATION_KEY_OPTIONAL);
    return table;
}

const QHash<QString, T_BACKEND_TYPE>& BackendTypeTable()
{
    static const QHash<QString, T_BACKEND_TYPE> table{
        {"TEST", BACKEND_TYPE_TEST}, {"DP", BACKEND_TYPE_DP},     {"HDMI", BACKEND_TYPE_HDMI},
        {"SDI", BACKEND_TYPE_SDI},   {"SYNC", BACKEND_TYPE_SYNC}, {"NO_BACK_END", BACKEND_TYPE_NO_BACK_END}};
    return table;
}
} // namespace

const T_CONFIGURATION_KEYS& RootKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_BOX_UPDATER_CARDS});
    return table;
}

const T_CONFIGURATION_KEYS& CardKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_INFO, KEY_COMPONENTS}, {KEY_BACKENDS});
    return table;
}

const T_CONFIGURATION_KEYS& InfoKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_BACKEND_SLOT, KEY_DETAILS});
    return table;
}

const T_CONFIGURATION_KEYS& DetailsKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_TYPE, KEY_COMMUNICATION});
    return table;
}

const T_CONFIGURATION_KEYS& CommunicationKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_TYPE, KEY_PARAMETERS}, {KEY_NODE_ADDRESS});
    return table;
}

const T_CONFIGURATION_KEYS& ComParametersKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_PORT});
    return table;
}

const T_CONFIGURATION_KEYS& UdpParametersKeys()
{
    static const T_CONFIGURATION_KEYS table =
        Keys({KEY_LOCAL_ADDRESS, KEY_LOCAL_PORT, KEY_REMOTE_ADDRESS, KEY_REMOTE_PORT});
    return table;
}

const T_CONFIGURATION_KEYS& UsbParametersKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_PID, KEY_VID});
    return table;
}

const T_CONFIGURATION_KEYS& CardComponentsKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_REVISIONS, KEY_BASICS});
    return table;
}

const T_CONFIGURATION_KEYS& ComponentsRevisionKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_REVISION, KEY_COMPONENTS});
    return table;
}

const T_CONFIGURATION_KEYS& BackendKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_REVISIONS, KEY_BACKEND});
    return table;
}

const T_CONFIGURATION_KEYS& BackendRevisionKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_REVISION, KEY_BACKEND_SLOTS});
    return table;
}

const T_CONFIGURATION_KEYS& BackendSlotKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_BACKEND_SLOT, KEY_COMPONENTS});
    return table;
}

const T_CONFIGURATION_KEYS& ComponentKeys()
{
    static const T_CONFIGURATION_KEYS table =
        Keys({KEY_NAME, KEY_COMMUNICATION_TYPE, KEY_PATH, KEY_PROGRAMMATION, KEY_TYPE, KEY_BASE_ADDRESS,
              KEY_JUMP_ADDRESS, KEY_END_ACTION},
             {KEY_BINARY_VERIFICATION});
    return table;
}

const T_CONFIGURATION_KEYS& VerificationKeys()
{
    static const T_CONFIGURATION_KEYS table = Keys({KEY_PATH, KEY_BASE_ADDRESS});
    return table;
}

void InitConfigurationTables()
{
    RootKeys();
    CardKeys();
    InfoKeys();
    DetailsKeys();
    CommunicationKeys();
    ComParametersKeys();
    UdpParametersKeys();
    UsbParametersKeys();
    CardComponentsKeys();
    ComponentsRevisionKeys();
    BackendKeys();
    BackendRevisionKeys();
    BackendSlotKeys();
    ComponentKeys();
    VerificationKeys();
    BackendTypeTable();
}

Bool BackendTypeFromText(const QString& text, T_BACKEND_TYPE* value)
{
    const auto found = BackendTypeTable().constFind(text);
    if (found == BackendTypeTable().constEnd())
        return false;
    if (value)
        *value = found.value();
    return true;
}

Bool CheckConfigurationKeys(const QJsonObject& object, const T_CONFIGURATION_KEYS& table, QJsonObject* values)
{
    Bool result = !table.isEmpty();
    for (auto key = table.constBegin(); key != table.constEnd(); ++key)
    {
        const auto found = object.constFind(key.key());
        if (found == object.constEnd())
        {
            if (key.value() == CONFIGURATION_KEY_MANDATORY)
            {
                TraceError(CONFIGURATIONS_FormatMissingConfigurationParameterErrorMessage(key.key()));
                result = false;
            }
        }
        else if (result && values)
        {
            values->insert(key.key(), found.value());
        }
    }
    return result;
}

Bool HexadecimalToDWord(const QString& text, DWord* value)
{
    bool ok = false;
    const uint converted = QString(text).remove(QStringLiteral("0x")).toUInt(&ok, 16);
    if (ok && value)
        *value = converted;
    return ok;
}

Bool HexadecimalToWord(const QString& text, Word* value)
{
    bool ok = false;
    const ushort converted = text.toUShort(&ok, 16);
    if (ok && value)
        *value = converted;
    return ok;
}

SByte ReadSignedByte(const QJsonValue& value)
{
    if (!value.isDouble())
        return -1;
    const double number = value.toDouble();
    if (std::floor(number) != number || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max())
        return -1;
    // Eight bits, as the file format defines these numbers.
    return static_cast<SByte>(static_cast<int>(number));
}

QString BinaryBaseFolder()
{
    QString folder = QDir::tempPath() + QLatin1Char('/') + QLatin1String(WORK_FOLDER_NAME) +
                     QLatin1String(EXTRACTION_FOLDER_NAME);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
} // namespace CONFIGURATIONS

QString CONFIGURATIONS_FormatMissingConfigurationParameterErrorMessage(const QString& key)
{
    return TRACE_POS + QStringLiteral("Error has been encountered during parsing configuration file \"") +
           key + QStringLiteral("\" is missing !");
}
