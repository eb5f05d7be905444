#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "Types.h"

class CLASS_SIM_DEVICE;

// The device side of one link. Splits the received byte stream into node
// messages (0x1B 0x02 ... 0x1B 0x03), text lines (micro reset, version query)
// and, on links flagged for it, SAM-BA monitor commands ("...#") with the raw
// bytes that follow a write command; answers each. Every buffer is bounded, so
// garbage can neither crash it nor make it grow.
class CLASS_SIM_LINK_SESSION : public QObject
{
    Q_OBJECT
public:
    // An escaped node message never exceeds this (a DATA_FILE block is 128 bytes);
    // longer input is dropped as garbage.
    static constexpr int MAX_NODE_FRAME_BYTES = 8192;
    static constexpr int MAX_TEXT_BYTES = 256;
    // SAM-BA read commands answer at most this many bytes.
    static constexpr DWord MAX_SAMBA_READ = 65536;
    // Input held while the flash is busy; beyond it bytes are lost, as a receive FIFO overflows.
    static constexpr int MAX_HELD_BYTES = 65536;

    CLASS_SIM_LINK_SESSION(CLASS_SIM_DEVICE* device, const QString& linkName, Bool samba,
                           QObject* parent = nullptr);

    QString LinkName() const { return m_LinkName; }
    Bool IsSamba() const { return m_Samba; }

    void Feed(const QByteArray& bytes);
    // The device is ready again: what came meanwhile is taken in.
    void FeedHeld();
    // The host closed the link (or another host took it over): partial input and
    // the conversation are forgotten.
    void Restart();
    int PendingBytes() const { return m_Buffer.size() + m_RawData.size(); }

    // Sends data and logs it (used by the node layer above this session too).
    void Reply(const QString& kind, const QString& command, const QByteArray& data,
               QJsonObject attributes = QJsonObject());
    void LogReceived(const QString& kind, const QString& command,
                     const QJsonObject& attributes = QJsonObject());

signals:
    // One reply, to be written to the link as a whole (or in two chunks under the split fault).
    void SIGNAL_Send(QByteArray data);
    // A received node message, whole and still escaped.
    void SIGNAL_NodeFrame(QByteArray frame);
    // Restart() was called.
    void SIGNAL_Restarted();

private:
    // Each returns false when more bytes are needed.
    Bool TakeNodeFrame();
    Bool TakeText();
    void TakeRawData();
    void DropGarbage(int count, const char* why);

    void HandleLine(const QByteArray& line);
    void HandleSambaCommand(const QByteArray& command);
    QByteArray Prompt() const;

    CLASS_SIM_DEVICE* m_Device;
    QString m_LinkName;
    Bool m_Samba;
    QByteArray m_Buffer;
    QByteArray m_Held;

    // SAM-BA monitor state of this link.
    Bool m_TerminalMode = false;
    QWord m_RawRemaining = 0;
    DWord m_RawAddress = 0;
    Bool m_RawKept = false;
    QByteArray m_RawData;
};
