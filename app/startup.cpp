#include "startup.h"

#include "app.h"
#include "mainwindow.h"
#include "menubar1.h"
#include "midilink/entrypoints.h"
#include "midilink/midisr.h"
#include "quitsignals.h"
#include "rbframework/application.h"
#include "rbframework/dialogs.h"
#include "rbframework/dispatch.h"
#include "rbframework/folderitem.h"
#include "rbframework/pluginhost.h"
#include "rbframework/window.h"
#include "support/config.h"

#include <cstdio>
#include <memory>

namespace korvane
{

namespace
{

std::unique_ptr<App> &application()
{
    static std::unique_ptr<App> app;
    return app;
}

[[noreturn]] void fail(const QString &message)
{
    // On standard error too: where no one can see the box, that is the only report.
    std::fprintf(stderr, "Korvane: %s\n", qPrintable(message));
    rb::MsgBox(message);
    throw StartupFailed(message);
}

} // namespace

QString pluginPath()
{
    auto folder = rb::deref(rb::GetFolderItem(QString()));
    return rb::deref(rb::deref(folder.Child(QStringLiteral("plugins"))).Child(QStringLiteral("libtessel.so")))
        .NativePath();
}

void bindPlugin(const QString &path)
{
    const QString loadError = rb::pluginHost().load(path);
    if (!loadError.isEmpty())
        fail(QStringLiteral("The MIDI plug-in could not be loaded: %1").arg(loadError));
    const QString missing = entrypoints::bind();
    if (!missing.isEmpty())
        fail(QStringLiteral("The MIDI plug-in does not provide \"%1\".").arg(missing));
}

void startup()
{
    // The framework's external classes: the plug-in registers its classes as it loads.
    bindPlugin(pluginPath());
    // No file types to register: the file choosers make their own.

    application() = std::make_unique<App>();
    application()->MenuBar(&MenuBar1::instance());
    rb::RuntimeRegisterAppObject(application().get());
    rb::MenuBar::handle(QStringLiteral("Helppdf"), [] { return application()->_Helppdf_Action(); });
    rb::window<main>();
}

void releaseModuleState()
{
    // The windows first: their Close handlers may still reach the rest.
    rb::closeAllWindows();
    rb::MenuBar::clearHandlers();
    rb::RuntimeRegisterAppObject(nullptr);
    application().reset();
    MenuBar1::release();
    rb::setUnhandledExceptionHandler({});
    config::release();
    midisr::release();
    // Kept for the life of the process: the entry-point table, bound to the plug-in, which loads
    // once; the pipe that turns termination signals into Quit; constant texts and tables.
}

int programEntry(int &argc, char **argv)
{
    rb::RuntimeInit(argc, argv);
    releaseModuleState();
    rb::RuntimeSetExceptionHelper();
    // Before start-up, so that a signal also ends a start-up message box that waits for a click.
    quitOnTerminationSignals();
    if (rb::RunFrameworkInitialization(startup))
        return 1;
    rb::RuntimeRun();
    releaseModuleState();
    return rb::RuntimeExit();
}

} // namespace korvane
