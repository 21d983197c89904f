#pragma once
// The application object: opens the settings, shows the main window, handles what nothing else
// caught, and answers Help > Product PDF Manuals.

#include "rbframework/application.h"

namespace korvane
{

class App : public rb::Application
{
  public:
    void Event_Open() override;
    // Shows "An OutOfBounds Exception error has occurred!" for an index out of bounds; every
    // exception counts as handled and the program goes on.
    bool Event_UnhandledException(const rb::RuntimeException &e) override;
    bool _Helppdf_Action();
};

} // namespace korvane
