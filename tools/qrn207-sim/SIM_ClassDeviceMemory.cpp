#include "SIM_ClassDeviceMemory.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace
{
const char* const STATE_FORMAT = "qrn207-sim-state";

QString AddressText(DWord address)
{
    return QStringLiteral("0x%1").arg(address, 8, 16, QLatin1Char('0'));
}

Bool ReadSegment(const QJsonObject& object, CLASS_SIM_DEVICE_MEMORY::T_SEGMENT& segment, QString& error)
{
    const QString addressText = object.value(QStringLiteral("address")).toString();
    bool ok = false;
    const QWord address =
        addressText.startsWith(QLatin1String("0x")) ? addressText.mid(2).toULongLong(&ok, 16) : 0;
    if (!ok || address > 0xFFFFFFFFu)
    {
        error = QStringLiteral("bad address \"%1\"").arg(addressText);
        return false;
    }
    const QJsonValue data = object.value(QStringLiteral("data"));
    if (!data.isString())
    {
        error = QStringLiteral("missing data at address %1").arg(addressText);
        return false;
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || DWord(decoded.decoded.size()) > CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE)
    {
        error = QStringLiteral("bad or oversized base64 data at address %1").arg(addressText);
        return false;
    }
    segment.Address = DWord(address);
    segment.Data = decoded.decoded;
    return true;
}

QJsonObject WriteSegment(const CLASS_SIM_DEVICE_MEMORY::T_SEGMENT& segment)
{
    QJsonObject object;
    object.insert(QStringLiteral("address"), AddressText(segment.Address));
    object.insert(QStringLiteral("size"), segment.Data.size());
    object.insert(
        QStringLiteral("sha1"),
        QString::fromLatin1(QCryptographicHash::hash(segment.Data, QCryptographicHash::Sha1).toHex()));
    object.insert(QStringLiteral("data"), QString::fromLatin1(segment.Data.toBase64()));
    return object;
}

// Removes from segments whatever overlaps [address, address + size).
void RemoveOverlapping(QList<CLASS_SIM_DEVICE_MEMORY::T_SEGMENT>& segments, DWord address, DWord size)
{
    const QWord begin = address;
    const QWord end = begin + size;
    for (int i = segments.size() - 1; i >= 0; --i)
    {
        const QWord segmentBegin = segments[i].Address;
        const QWord segmentEnd = segmentBegin + QWord(segments[i].Data.size());
        if (segmentBegin < end && begin < segmentEnd)
            segments.removeAt(i);
    }
}
} // namespace

QString CLASS_SIM_DEVICE_MEMORY::ComponentName(Byte componentId)
{
    switch (componentId)
    {
    case 0x00:
        return QStringLiteral("RAM");
    case 0x01:
        return QStringLiteral("APP");
    case 0x10:
        return QStringLiteral("FPGA_0");
    case 0x20:
        return QStringLiteral("EDID_0");
    case 0x40:
        return QStringLiteral("HDCP_0");
    default:
        return QStringLiteral("COMPONENT_0x%1").arg(componentId, 2, 16, QLatin1Char('0'));
    }
}

Bool CLASS_SIM_DEVICE_MEMORY::Load(const QString& path, QString& error)
{
    m_Path = path;
    m_Components.clear();
    m_Resident.clear();
    m_ResidentTorn = false;
    ClearRam();
    if (path.isEmpty() || !QFile::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
    {
        error = QStringLiteral("Cannot open the state file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QString prefix = QStringLiteral("Bad state file \"%1\": ").arg(path);
    if (document.isNull())
    {
        error = prefix + parseError.errorString() + QStringLiteral(" at offset ") +
                QString::number(parseError.offset);
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(STATE_FORMAT))
    {
        error = prefix + QStringLiteral("\"format\" is not \"%1\"").arg(QLatin1String(STATE_FORMAT));
        return false;
    }
    QString segmentError;
    for (const QJsonValue& value : root.value(QStringLiteral("components")).toArray())
    {
        const QJsonObject object = value.toObject();
        const int id = object.value(QStringLiteral("id")).toInt(-1);
        T_SEGMENT segment;
        if (id < 0 || id > 255)
        {
            error = prefix + QStringLiteral("component without a valid \"id\" (0 to 255)");
            return false;
        }
        if (!ReadSegment(object, segment, segmentError))
        {
            error = prefix + QStringLiteral("component %1: ").arg(id) + segmentError;
            return false;
        }
        m_Components.insert(Byte(id), segment);
    }
    for (const QJsonValue& value : root.value(QStringLiteral("resident")).toArray())
    {
        T_SEGMENT segment;
        if (!ReadSegment(value.toObject(), segment, segmentError))
        {
            error = prefix + QStringLiteral("resident: ") + segmentError;
            return false;
        }
        RemoveOverlapping(m_Resident, segment.Address, DWord(segment.Data.size()));
        m_Resident.append(segment);
    }
    m_ResidentTorn = root.value(QStringLiteral("resident_torn")).toBool();
    return true;
}

Bool CLASS_SIM_DEVICE_MEMORY::Save(QString& error) const
{
    if (m_Path.isEmpty())
        return true;
    QJsonArray components;
    for (auto it = m_Components.constBegin(); it != m_Components.constEnd(); ++it)
    {
        QJsonObject object = WriteSegment(it.value());
        object.insert(QStringLiteral("id"), int(it.key()));
        object.insert(QStringLiteral("name"), ComponentName(it.key()));
        components.append(object);
    }
    QJsonArray resident;
    for (const T_SEGMENT& segment : m_Resident)
        resident.append(WriteSegment(segment));
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(STATE_FORMAT));
    root.insert(QStringLiteral("components"), components);
    root.insert(QStringLiteral("resident"), resident);
    if (m_ResidentTorn)
        root.insert(QStringLiteral("resident_torn"), true);

    QSaveFile file(m_Path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit())
    {
        error = QStringLiteral("Cannot write the state file \"%1\": %2").arg(m_Path, file.errorString());
        return false;
    }
    return true;
}

void CLASS_SIM_DEVICE_MEMORY::StoreComponent(Byte componentId, DWord address, const QByteArray& data)
{
    T_SEGMENT segment;
    segment.Address = address;
    segment.Data = data;
    m_Components.insert(componentId, segment);
}

void CLASS_SIM_DEVICE_MEMORY::StoreResident(DWord address, const QByteArray& data)
{
    RemoveOverlapping(m_Resident, address, DWord(data.size()));
    T_SEGMENT segment;
    segment.Address = address;
    segment.Data = data;
    m_Resident.append(segment);
}

void CLASS_SIM_DEVICE_MEMORY::EraseComponent(Byte componentId, DWord address, DWord size)
{
    StoreComponent(componentId, address, QByteArray(int(qMin(size, MAX_CONTENT_SIZE)), char(ERASED_BYTE)));
}

void CLASS_SIM_DEVICE_MEMORY::EraseResident(DWord address, DWord size)
{
    StoreResident(address, QByteArray(int(qMin(size, MAX_CONTENT_SIZE)), char(ERASED_BYTE)));
    m_ResidentTorn = true;
}

void CLASS_SIM_DEVICE_MEMORY::WriteComponent(Byte componentId, DWord offset, const QByteArray& data)
{
    auto it = m_Components.find(componentId);
    if (it == m_Components.end() || QWord(offset) + QWord(data.size()) > QWord(it->Data.size()))
        return;
    std::copy(data.constBegin(), data.constEnd(), it->Data.begin() + offset);
}

void CLASS_SIM_DEVICE_MEMORY::WriteResident(DWord address, const QByteArray& data)
{
    for (T_SEGMENT& segment : m_Resident)
    {
        if (address >= segment.Address &&
            QWord(address) + QWord(data.size()) <= QWord(segment.Address) + QWord(segment.Data.size()))
        {
            std::copy(data.constBegin(), data.constEnd(), segment.Data.begin() + (address - segment.Address));
            return;
        }
    }
}

void CLASS_SIM_DEVICE_MEMORY::LosePower()
{
    m_Components.remove(RAM_COMPONENT_ID);
    ClearRam();
}

Bool CLASS_SIM_DEVICE_MEMORY::OverlapsResident(DWord address, DWord size) const
{
    const QWord begin = address;
    const QWord end = begin + qMax<QWord>(size, 1);
    for (const T_SEGMENT& segment : m_Resident)
    {
        const QWord segmentBegin = segment.Address;
        const QWord segmentEnd = segmentBegin + QWord(qMax(segment.Data.size(), 1));
        if (segmentBegin < end && begin < segmentEnd)
            return true;
    }
    return false;
}

QByteArray CLASS_SIM_DEVICE_MEMORY::ReadComponent(Byte componentId, DWord size) const
{
    size = qMin(size, MAX_CONTENT_SIZE);
    QByteArray result = m_Components.value(componentId).Data.left(int(size));
    if (DWord(result.size()) < size)
        result.append(QByteArray(int(size) - result.size(), char(ERASED_BYTE)));
    return result;
}

void CLASS_SIM_DEVICE_MEMORY::Overlay(QByteArray& target, DWord address, const T_SEGMENT& segment)
{
    const QWord begin = qMax<QWord>(address, segment.Address);
    const QWord end = qMin<QWord>(QWord(address) + QWord(target.size()),
                                  QWord(segment.Address) + QWord(segment.Data.size()));
    if (begin >= end)
        return;
    std::copy(segment.Data.constBegin() + (begin - segment.Address),
              segment.Data.constBegin() + (end - segment.Address), target.begin() + (begin - address));
}

QByteArray CLASS_SIM_DEVICE_MEMORY::ReadAddress(DWord address, DWord size) const
{
    size = qMin(size, MAX_CONTENT_SIZE);
    QByteArray result(static_cast<int>(size), static_cast<char>(ERASED_BYTE));
    for (auto it = m_Components.constBegin(); it != m_Components.constEnd(); ++it)
    {
        if (it.key() < 0x10)
            Overlay(result, address, it.value());
    }
    for (const T_SEGMENT& segment : m_Resident)
        Overlay(result, address, segment);
    for (const T_SEGMENT& segment : m_Ram)
        Overlay(result, address, segment);
    return result;
}

Bool CLASS_SIM_DEVICE_MEMORY::WriteRam(DWord address, const QByteArray& data)
{
    if (QWord(m_RamBytes) + QWord(data.size()) > MAX_CONTENT_SIZE)
        return false;
    T_SEGMENT segment;
    segment.Address = address;
    segment.Data = data;
    m_Ram.append(segment);
    m_RamBytes += DWord(data.size());
    return true;
}

void CLASS_SIM_DEVICE_MEMORY::ClearRam()
{
    m_Ram.clear();
    m_RamBytes = 0;
}

Bool CLASS_SIM_DEVICE_MEMORY::RamHoldsAddress(DWord address) const
{
    for (const T_SEGMENT& segment : m_Ram)
    {
        if (address >= segment.Address &&
            QWord(address) < QWord(segment.Address) + QWord(segment.Data.size()))
            return true;
    }
    return false;
}
