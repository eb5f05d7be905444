#pragma once

#include <QString>
#include <QStringList>

// What differs between Windows, where the program ships, and the other
// systems it is built and tested on. Nothing else in the program asks.
namespace Platform
{
// Path of an external program ("openssl", "7z"): under "WINDOWS_BINARIES/"
// below the working folder on Windows, found on PATH elsewhere ("7z" falls
// back to "7zz"). Empty when it cannot be found.
QString ExternalProgram(const QString& name);

// Whether a USB port may be asked to reconnect on its own (refused on Windows).
bool UsbAutoReconnectionAllowed();

// Lets a run that shows no window (quiet mode, help, version, a refused
// command line) start on a machine without a display. Call before the
// application object exists.
void PrepareHeadlessStart(bool showsWindow);

// Chooses the event loop of every thread. Call before the application object exists.
void PrepareEventLoops();
} // namespace Platform
