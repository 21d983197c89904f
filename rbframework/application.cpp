#include "application.h"

#include "dispatch.h"
#include "window.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace rb
{

namespace
{

struct Runtime {
    Application *app = nullptr;
    QApplication *ownApplication = nullptr; // made by RuntimeInit, kept for the life of the process
    int exitCode = 0;
    bool quitRequested = false;
    bool running = false;
};

Runtime &runtime()
{
    static Runtime r;
    return r;
}

} // namespace

Application::~Application()
{
    if (runtime().app == this)
        runtime().app = nullptr;
}

Application *app()
{
    return runtime().app;
}

void RuntimeInit(int &argc, char **argv)
{
    if (!QCoreApplication::instance())
        runtime().ownApplication = new QApplication(argc, argv);
}

void RuntimeSetExceptionHelper()
{
    setUnhandledExceptionHandler([](const RuntimeException &e) { return RuntimeUnhandledException(e); });
}

std::exception_ptr RunFrameworkInitialization(std::function<void()> startup)
{
    return runCatching(startup);
}

void RuntimeRegisterAppObject(Application *application)
{
    runtime().app = application;
}

bool RuntimeUnhandledException(const RuntimeException &e)
{
    Application *a = runtime().app;
    return a && a->Event_UnhandledException(e);
}

int RuntimeRun()
{
    Runtime &r = runtime();
    if (r.quitRequested) {
        r.quitRequested = false;
        return r.exitCode;
    }
    r.exitCode = 0;
    // Raised from inside the loop, so that the application opens before any window does.
    QTimer::singleShot(0, qApp, [] {
        if (Application *a = runtime().app)
            dispatch([a] { a->Event_Open(); });
        for (Window *w : windows())
            if (w->ShownAtStart() && !w->opened())
                w->Show();
    });
    r.running = true;
    for (;;) {
        try {
            r.exitCode = QCoreApplication::exec();
            break;
        } catch (...) {
            // A handler that bypassed dispatch: hand it over like any other uncaught exception.
            dispatch([e = std::current_exception()] { std::rethrow_exception(e); });
            if (r.quitRequested)
                break;
        }
    }
    r.running = false;
    r.quitRequested = false;
    return r.exitCode;
}

void Quit(int code)
{
    Runtime &r = runtime();
    r.exitCode = code;
    r.quitRequested = true;
    QCoreApplication::exit(code);
}

int RuntimeExit()
{
    return runtime().exitCode;
}

} // namespace rb
