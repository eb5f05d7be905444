#pragma once

#include <QString>

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
};

// Writes the tree under folder (created when missing). False with error set
// when a file cannot be written.
Bool WriteSamplePackage(const QString& folder, const T_SAMPLE_OPTIONS& options, QString& error);

// The tree's binaries, relative to the folder, in the order the update uses them.
QStringList SampleBinaries();
