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

// Whether the command line asks for the window (false for quiet mode, help,
// version and a command line the parser refuses).
Bool ShowsWindow(int argc, char** argv);

// The whole start-up: application object, command line, type aliases, main
// thread name, tracing, then the mode's start and the event loop. Returns the
// event loop's result. A mode without a start exits with 1.
int RunApplication(int argc, char** argv, const T_MODE_START& windowMode, const T_MODE_START& quietMode);
