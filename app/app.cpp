#include "app.h"

#include "mainwindow.h"
#include "rbframework/dialogs.h"
#include "support/config.h"
#include "support/vosr.h"

namespace korvane
{

void App::Event_Open()
{
    config::initconfig(QStringLiteral("korvane"));
    rb::window<main>().Show();
}

bool App::Event_UnhandledException(const rb::RuntimeException &e)
{
    if (dynamic_cast<const rb::OutOfBoundsException *>(&e))
        rb::MsgBox(QStringLiteral("An OutOfBounds Exception error has occurred!"));
    return true;
}

bool App::_Helppdf_Action()
{
    vosr::openpdffile();
    return true;
}

} // namespace korvane
