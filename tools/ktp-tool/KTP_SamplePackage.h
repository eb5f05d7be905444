#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "Types.h"

// What "ktp-tool sample" writes: a small complete package tree whose single
// box card is reached on loopback, where the device simulator listens.
struct T_SAMPLE_OPTIONS
{
    Word UdpPort = 52070;  // remote port of the UDP link (127.0.0.1)
    QString SerialPort;    // when set, a serial link on that port instead of UDP
    Bool Usb = false;      // a USB link to 03EB:6124 instead (qrn207-usb-bridge emulates it)
    Bool Recovery = false; // adds the recovery steps 0 and 1 and checks the resident boot loader
    QString Version = QStringLiteral("01.00.00");
    Bool Compatible = true;
    // Steps left out of the configuration ("STEP_RAM_PROGRAM_FPGA_0", ...): a shorter update.
    QStringList Without;
    // Size in bytes of each binary, in the order of SampleBinaries(); small by default.
    QList<int> Sizes = SmallSampleSizes();

    static QList<int> SmallSampleSizes();
    // What devices carry: resident 64 KiB, RAM 32 KiB, main 1.5 MiB, FPGA 16 MiB, EDID 256 B, HDCP 1 KiB.
    static QList<int> RealSampleSizes();
};

// Index of each binary in SampleBinaries() and T_SAMPLE_OPTIONS::Sizes.
enum T_SAMPLE_BINARY_INDEX
{
    SAMPLE_RESIDENT = 0,
    SAMPLE_RAM = 1,
    SAMPLE_MAIN = 2,
    SAMPLE_FPGA = 3,
    SAMPLE_EDID = 4,
    SAMPLE_HDCP = 5
};

// "1048576", "64K", "1.5M", "64M" (binary units) as bytes; -1 when the text is no size.
int ParseSampleSize(const QString& text);

// Deterministic random bytes of a sample binary, with the escape byte 0x1B on
// both edges of every 128-byte block, so that escaping across frames is exercised.
QByteArray SampleContent(int size, quint32 seed);

// Writes the tree under folder (created when missing). False with error set
// when a file cannot be written.
Bool WriteSamplePackage(const QString& folder, const T_SAMPLE_OPTIONS& options, QString& error);

// The tree's binaries, relative to the folder, in the order the update uses them.
QStringList SampleBinaries();
