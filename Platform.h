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

// Files and folders that the program and its children create from now on are
// the running account's alone (where the system has such permissions).
void KeepNewFilesPrivate();

// Whether path belongs to the running account; owner gets the owner's name.
bool OwnedByThisAccount(const QString& path, QString* owner);

// Restricts a folder to the running account (0700). True when it is so.
bool MakeFolderPrivate(const QString& path);

// In a child process, between its start and its program: the child ends when
// the thread that started it ends, even when the program is killed.
void TieChildToParent();
} // namespace Platform
