#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include "Types.h"

// What the simulated device keeps: the content of each component programmed
// through its boot loader (by COMPONENT_ID), the resident boot loader (content
// programmed without a component, by address), and the RAM written through the
// SAM-BA monitor (volatile, lost at reset and never saved).
//
// Flash as a device has it: a programming erases its target (0xFF) and each
// block is stored as it is written, so an interrupted one leaves what was
// written and erased bytes after it. A resident boot loader erased and not yet
// wholly written again is torn: the micro then starts only its ROM monitor.
//
// State file (JSON): {"format": "qrn207-sim-state", "components": [{"id", "name",
// "address", "size", "sha1", "data"}], "resident": [{"address", "size", "sha1",
// "data"}], "resident_torn": bool}, addresses as "0x" + 8 hexadecimal digits,
// data in base64.
class CLASS_SIM_DEVICE_MEMORY
{
public:
    struct T_SEGMENT
    {
        DWord Address = 0;
        QByteArray Data;
    };

    // Content of a check is read over at most this many bytes (the largest FPGA image),
    // SAM-BA RAM holds at most this many.
    static constexpr DWord MAX_CONTENT_SIZE = 64 * 1024 * 1024;
    static constexpr Byte ERASED_BYTE = 0xFF;
    // The RAM boot loader, loaded by the resident one into RAM.
    static constexpr Byte RAM_COMPONENT_ID = 0x00;
    static constexpr Byte FPGA_COMPONENT_ID = 0x10;

    // A missing file is an empty device; an unreadable or malformed one is an error.
    Bool Load(const QString& path, QString& error);
    // Writes the state file atomically; without a path it does nothing.
    Bool Save(QString& error) const;
    void SetPath(const QString& path) { m_Path = path; }
    QString Path() const { return m_Path; }

    void StoreComponent(Byte componentId, DWord address, const QByteArray& data);
    void StoreResident(DWord address, const QByteArray& data);
    // Erases what a programming of size bytes replaces; the resident one stays torn until Mend.
    void EraseComponent(Byte componentId, DWord address, DWord size);
    void EraseResident(DWord address, DWord size);
    // Writes data at offset into the content being programmed.
    void WriteComponent(Byte componentId, DWord offset, const QByteArray& data);
    void WriteResident(DWord address, const QByteArray& data);
    Bool ResidentTorn() const { return m_ResidentTorn; }
    void MendResident() { m_ResidentTorn = false; }
    // What power loss takes: the RAM, and the RAM boot loader loaded there.
    void LosePower();
    Bool HasComponent(Byte componentId) const { return m_Components.contains(componentId); }
    T_SEGMENT Component(Byte componentId) const { return m_Components.value(componentId); }
    QList<T_SEGMENT> ResidentSegments() const { return m_Resident; }
    // True when a resident segment overlaps [address, address + size).
    Bool OverlapsResident(DWord address, DWord size) const;

    // size bytes of a component's content, erased bytes past its end.
    QByteArray ReadComponent(Byte componentId, DWord size) const;
    // size bytes of the micro's address space: micro components (ids below 0x10),
    // then the resident boot loader, then SAM-BA RAM; erased bytes elsewhere.
    QByteArray ReadAddress(DWord address, DWord size) const;

    // Returns false (and writes nothing) once the RAM would exceed MAX_CONTENT_SIZE.
    Bool WriteRam(DWord address, const QByteArray& data);
    QByteArray ReadRam(DWord address, DWord size) const { return ReadAddress(address, size); }
    void ClearRam();
    Bool RamHoldsAddress(DWord address) const;

    static QString ComponentName(Byte componentId);

private:
    static void Overlay(QByteArray& target, DWord address, const T_SEGMENT& segment);

    QString m_Path;
    QMap<Byte, T_SEGMENT> m_Components;
    QList<T_SEGMENT> m_Resident;
    QList<T_SEGMENT> m_Ram;
    Bool m_ResidentTorn = false;
    DWord m_RamBytes = 0;
};
