#pragma once

#include <QCommandLineParser>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "Types.h"

extern const char* const APPLICATION_VERSION;
extern const char* const PROGRAM_NAME;

// What the command line asks for, handed on to the chosen mode.
struct T_STARTUP_OPTIONS
{
    Bool FullForce = false;
    Bool ForceWithoutBootResident = false;
    Bool Quiet = false;
    Bool PackageGiven = false;
    QString PackagePath;
    QString ConfigurationFile;
    // Which of several matching USB devices to use (serial number or
    // bus-port path); --list-devices only lists them.
    QString UsbDevice;
    Bool ListDevices = false;
};

// A mode's start: builds what the mode needs and returns its owner, kept
// alive until the event loop has returned.
using T_MODE_START = std::function<std::unique_ptr<QObject>(const T_STARTUP_OPTIONS&)>;

// Temporary folder + "/BOX_UPDATER/PackageExtraction/CONF/components.json".
QString DefaultConfigurationFile();

// Adds the program's options (help and version first) to a parser.
void AddStartupOptions(QCommandLineParser& parser);

// Reads the start-up options out of a parser that has processed the command line.
T_STARTUP_OPTIONS ReadStartupOptions(const QCommandLineParser& parser);

// Prints the USB devices 03EB:6124 (the device's identifiers, those of the
// version query) with their bus-port path and serial number. Exit code: 0,
// 1 when there is none, 2 when USB cannot be used.
int ListUsbDevices();

// Whether the command line asks for the window (false for quiet mode, help,
// version and a command line the parser refuses).
Bool ShowsWindow(int argc, char** argv);

// The whole start-up: application object, command line, type aliases, main
// thread name, tracing, then the mode's start and the event loop. Returns the
// event loop's result. A mode without a start exits with 1.
int RunApplication(int argc, char** argv, const T_MODE_START& windowMode, const T_MODE_START& quietMode);
