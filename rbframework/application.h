#pragma once
// The application object and the runtime routines of the program's entry:
//   RuntimeInit, RuntimeSetExceptionHelper, RunFrameworkInitialization(startup),
//   RuntimeRun (raises the application's Event_Open once the loop runs), RuntimeExit.

#include "exceptions.h"

#include <exception>
#include <functional>

namespace rb
{

class MenuBar;

class Application
{
  public:
    Application() = default;
    virtual ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    // Raised once, by the event loop, before any window opens.
    virtual void Event_Open() {}
    // An exception nothing caught; answering true counts it as handled. The loop goes on either way.
    virtual bool Event_UnhandledException(const RuntimeException &) { return false; }

    rb::MenuBar *MenuBar() const { return menuBar_; }
    void MenuBar(rb::MenuBar *bar) { menuBar_ = bar; }

  private:
    rb::MenuBar *menuBar_ = nullptr;
};

// The registered application object, nil before RuntimeRegisterAppObject.
Application *app();

// Creates the QApplication unless one exists already (tests make their own). argc must outlive it.
void RuntimeInit(int &argc, char **argv);
// Routes every exception that escapes an event handler to the application's Event_UnhandledException.
void RuntimeSetExceptionHelper();
// Runs the start-up routine; answers the exception it raised, nil when none.
std::exception_ptr RunFrameworkInitialization(std::function<void()> startup);
void RuntimeRegisterAppObject(Application *application); // nil unregisters
// Hands an uncaught exception to the application; answers whether it was handled.
bool RuntimeUnhandledException(const RuntimeException &e);
// Runs the event loop until Quit, raising the application's Event_Open first (then showing the
// windows designed visible that it left unopened); answers the exit code.
int RuntimeRun();
void Quit(int code = 0); // before RuntimeRun: the loop then does not run at all
int RuntimeExit();       // the exit code

} // namespace rb
