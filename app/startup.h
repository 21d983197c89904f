#pragma once
// The program's entry sequence and its start-up routine.

#include "rbframework/exceptions.h"

#include <QString>

namespace korvane
{

// Start-up could not complete (the plug-in did not load or lacks a member); already reported.
class StartupFailed : public rb::RuntimeException
{
  public:
    using rb::RuntimeException::RuntimeException;
};

// The MIDI plug-in's file: plugins/ beside the program.
QString pluginPath();

// Loads the plug-in at the path and binds the entry-point table; reports a failure in a message
// box naming the path or the declaration, then throws StartupFailed.
void bindPlugin(const QString &path);

// The start-up routine the framework's initialisation runs.
void startup();

// Every module back to its initial state: the windows closed (which closes the ports), the
// application object, its menu bar and handlers dropped, the settings store emptied and the MIDI
// link's state (download, receive buffer, frames sent) forgotten. At the program's start and end,
// and between tests.
void releaseModuleState();

// The whole program: runtime, start-up, event loop, release; answers the exit code.
int programEntry(int &argc, char **argv);

} // namespace korvane
