#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

#include "Types.h"

// Key tables of the update configuration file and the small conversions the
// parser needs. The tables are built once and read-only afterwards.

enum T_CONFIGURATION_KEY_KIND
{
    CONFIGURATION_KEY_MANDATORY = 0,
    CONFIGURATION_KEY_OPTIONAL = 1
};

// Key text to kind; iterated in key order when an object is checked.
typedef QMap<QString, T_CONFIGURATION_KEY_KIND> T_CONFIGURATION_KEYS;

// Back-end types; only used to validate the "backend" texts of the file.
enum T_BACKEND_TYPE : SDWord
{
    BACKEND_TYPE_TEST = 0,
    BACKEND_TYPE_DP = 1,
    BACKEND_TYPE_HDMI = 2,
    BACKEND_TYPE_SDI = 3,
    BACKEND_TYPE_SYNC = 4,
    BACKEND_TYPE_NO_BACK_END = 255
};

namespace CONFIGURATIONS
{
// Keys of the file, as written in it.
extern const char* const KEY_BOX_UPDATER_CARDS;
extern const char* const KEY_INFO;
extern const char* const KEY_COMPONENTS;
extern const char* const KEY_BACKENDS;
extern const char* const KEY_BACKEND_SLOT;
extern const char* const KEY_DETAILS;
extern const char* const KEY_TYPE;
extern const char* const KEY_COMMUNICATION;
extern const char* const KEY_PARAMETERS;
extern const char* const KEY_NODE_ADDRESS;
extern const char* const KEY_PORT;
extern const char* const KEY_LOCAL_ADDRESS;
extern const char* const KEY_LOCAL_PORT;
extern const char* const KEY_REMOTE_ADDRESS;
extern const char* const KEY_REMOTE_PORT;
extern const char* const KEY_PID;
extern const char* const KEY_VID;
extern const char* const KEY_REVISIONS;
extern const char* const KEY_BASICS;
extern const char* const KEY_REVISION;
extern const char* const KEY_BACKEND;
extern const char* const KEY_BACKEND_SLOTS;
extern const char* const KEY_NAME;
extern const char* const KEY_COMMUNICATION_TYPE;
extern const char* const KEY_PATH;
extern const char* const KEY_PROGRAMMATION;
extern const char* const KEY_BASE_ADDRESS;
extern const char* const KEY_JUMP_ADDRESS;
extern const char* const KEY_END_ACTION;
extern const char* const KEY_BINARY_VERIFICATION;

// Component type text accepted beside the component type table.
extern const char* const COMPONENT_TYPE_RAM_SAMBA;

const T_CONFIGURATION_KEYS& RootKeys();
const T_CONFIGURATION_KEYS& CardKeys();
const T_CONFIGURATION_KEYS& InfoKeys();
const T_CONFIGURATION_KEYS& DetailsKeys();
const T_CONFIGURATION_KEYS& CommunicationKeys();
const T_CONFIGURATION_KEYS& ComParametersKeys();
const T_CONFIGURATION_KEYS& UdpParametersKeys();
const T_CONFIGURATION_KEYS& UsbParametersKeys();
const T_CONFIGURATION_KEYS& CardComponentsKeys();
const T_CONFIGURATION_KEYS& ComponentsRevisionKeys();
const T_CONFIGURATION_KEYS& BackendKeys();
const T_CONFIGURATION_KEYS& BackendRevisionKeys();
const T_CONFIGURATION_KEYS& BackendSlotKeys();
const T_CONFIGURATION_KEYS& ComponentKeys();
const T_CONFIGURATION_KEYS& VerificationKeys();

// Builds every table now; later lookups only read.
void InitConfigurationTables();

// True when text is one of the back-end type texts; value receives its value.
Bool BackendTypeFromText(const QString& text, T_BACKEND_TYPE* value = nullptr);

// Checks object against table: every missing mandatory key is traced, not
// only the first. Values of the table's keys go to values (when not null)
// while nothing is missing. False when a mandatory key is missing or the
// table is empty.
Bool CheckConfigurationKeys(const QJsonObject& object, const T_CONFIGURATION_KEYS& table,
                            QJsonObject* values = nullptr);

// Hexadecimal text to a number, with every "0x" removed first ("0x0x10" is 16).
Bool HexadecimalToDWord(const QString& text, DWord* value);
// Hexadecimal text of a 16-bit identifier, taken as written.
Bool HexadecimalToWord(const QString& text, Word* value);

// Signed 8-bit reading of an integer value; -1 when the value is not an integer.
SByte ReadSignedByte(const QJsonValue& value);

// "<temporary>/BOX_UPDATER/PackageExtraction/", the folder relative binary
// paths of the file are resolved against.
QString BinaryBaseFolder();
} // namespace CONFIGURATIONS

// Error text for one missing mandatory key, with its position prefix.
QString CONFIGURATIONS_FormatMissingConfigurationParameterErrorMessage(const QString& key);
