#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include "Types.h"

// Which received frame a fault hits: the Nth one (1-based) carrying a TBP
// command name, or the Nth one of any command when the name is empty.
struct T_SIM_FAULT_TARGET
{
    Bool Enabled = false;
    QString Command;
    DWord Occurrence = 1;
};

struct T_SIM_FAULTS
{
    T_SIM_FAULT_TARGET LoseAck; // the node acknowledgement of that message is not sent
    T_SIM_FAULT_TARGET BadCrc;  // the reply to that message leaves with a corrupted CRC-8
    T_SIM_FAULT_TARGET Error;   // the reply is a boot-loader ERROR with ErrorCode
    Byte ErrorCode = 0;
    Bool Silence = false; // nothing is answered once SilenceAfter frames were received
    DWord SilenceAfter = 0;
    Bool Split = false;            // every reply leaves in two chunks...
    DWord SplitGapMs = 30;         // ...this far apart
    Bool RefuseReset = false;      // "SYrst0" instead of "SYrst1"
    Bool ResetLeadingByte = false; // a stray line end before the reset answer
    DWord WrongSha = 0;            // 0: never; else the Nth SHA_STATUS carries a wrong digest
    Bool StaleResident = false;    // the first check of the resident boot loader mismatches
    T_SIM_FAULT_TARGET PowerCut;   // the power fails once that command was taken in
};

// How long the device's flash takes (0: at once).
struct T_SIM_TIMING
{
    static constexpr DWord ERASE_UNIT_BYTES = 128000;
    DWord EraseMsPerUnit = 1500; // after START_SEND of any component but an FPGA image
    DWord WriteUsPerBlock = 0;   // per DATA_FILE block
};

struct T_SIM_LINK_REQUEST
{
    enum T_KIND
    {
        UDP,
        PTY
    };
    T_KIND Kind = UDP;
    Word UdpPort = 0;    // 0: any free port
    QString PtyLinkPath; // empty: no symbolic link
    Bool Samba = false;  // the link also answers the SAM-BA monitor's commands
};

struct T_SIM_OPTIONS
{
    QList<T_SIM_LINK_REQUEST> Links;
    QHostAddress UdpBindAddress = QHostAddress(QHostAddress::LocalHost);
    QString StatePath;
    QString LogPath;
    Byte NodeAddress = 1;
    DWord ShaBlockSize = 1024;
    DWord BufferFullEvery = 0; // 0: the buffer is never full
    DWord DeviceVersion = 0x010000;
    T_SIM_FAULTS Faults;
    T_SIM_TIMING Timing;
};

// Command line of the simulator. ParseSimOptions fills options and returns
// true, or returns false with a message naming the option and the cause.
// helpText receives the usage when "--help" was given (options untouched).
class CLASS_SIM_OPTIONS
{
public:
    static Bool Parse(const QStringList& arguments, T_SIM_OPTIONS& options, QString& error,
                      QString& helpText);

    // "DATA_FILE", "DATA_FILE:3" or "3".
    static Bool ParseFaultTarget(const QString& text, T_SIM_FAULT_TARGET& target, QString& error);
    // "66051", "0x010203" or "1.2.3".
    static Bool ParseDeviceVersion(const QString& text, DWord& version);
};
