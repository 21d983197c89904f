// A plug-in that lacks members the program binds: start-up stops, naming the first one missing.

#include "app/startup.h"
#include "midilink/entrypoints.h"
#include "rbframework/testseam.h"

#include <gtest/gtest.h>

namespace
{

TEST(StartupWithIncompletePlugin, StopsNamingTheFirstMissingDeclaration)
{
    rb::testseam::reset();
    EXPECT_THROW(korvane::bindPlugin(QStringLiteral(KORVANE_INCOMPLETE_PLUGIN_PATH)), korvane::StartupFailed);
    ASSERT_EQ(rb::testseam::shownMessages().size(), 1);
    EXPECT_TRUE(rb::testseam::shownMessages().front().contains("\"PortMidiStreamTSL.__exit\""))
        << qPrintable(rb::testseam::shownMessages().front());
    // What the plug-in has is bound; what it lacks stays empty and is never called.
    EXPECT_NE(korvane::entrypoints::entry(korvane::entrypoints::StreamClose), nullptr);
    EXPECT_EQ(korvane::entrypoints::entry(korvane::entrypoints::StreamPoll), nullptr);
}

} // namespace
