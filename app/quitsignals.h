#pragma once

namespace korvane
{

// SIGINT and SIGTERM end the event loop like File > Quit, so the program exits cleanly when a
// session or a test stops it. Nested loops end too: a modal box that is up returns as if answered.
void quitOnTerminationSignals();

} // namespace korvane
