// The plug-in host with a plug-in that raises while it loads, from a destructor, and through exception
// classes of its own: each exception reaches the caller where it was raised, with its message, and
// nothing stays pending for a later, unrelated call.

#include "rbframework/dispatch.h"
#include "rbframework/pluginhost.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

rb::PluginHost &host()
{
    return rb::pluginHost();
}

const QString raisingPluginPath = QStringLiteral(KORVANE_RAISING_PLUGIN_PATH);

// The plug-in loads once per process; this is what the first load answered.
const QString &firstLoad()
{
    static const QString answer = host().load(raisingPluginPath);
    return answer;
}

const char *kindOf(const rb::RuntimeException &e)
{
    if (dynamic_cast<const rb::NilObjectException *>(&e))
        return "NilObjectException";
    if (dynamic_cast<const rb::OutOfBoundsException *>(&e))
        return "OutOfBoundsException";
    return "RuntimeException";
}

class RaisingPlugin : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        firstLoad();
        objects_ = host().liveObjects();
        strings_ = host().liveStrings();
        raiser_ = host().newObject(QStringLiteral("ProbeRaiser"));
        ASSERT_NE(raiser_, nullptr);
    }
    void TearDown() override
    {
        host().releaseObject(raiser_);
        rb::setUnhandledExceptionHandler({});
        EXPECT_FALSE(host().hasPending());
        EXPECT_EQ(host().liveObjects(), objects_);
        EXPECT_EQ(host().liveStrings(), strings_);
    }

    void call(const char *declaration, auto... args)
    {
        host().invoke<void(REALobject, decltype(args)...)>(
            host().lookupEntrypoint(QStringLiteral("ProbeRaiser.") + declaration), raiser_, args...);
    }
    // A member that raises nothing: a later call that must not see an earlier exception.
    void callNothing() { call("Nothing"); }

    REALobject raiser_ = nullptr;

  private:
    int objects_ = 0;
    int strings_ = 0;
};

TEST_F(RaisingPlugin, LoadFailsWithWhatThePlugInRaisedWhileLoading)
{
    EXPECT_EQ(firstLoad().toStdString(),
              "cannot load plug-in " + raisingPluginPath.toStdString() +
                  ": it raised an exception while loading: the probe refuses to load");
    EXPECT_FALSE(host().hasPending());
    EXPECT_NO_THROW(callNothing());
    EXPECT_EQ(host().load(raisingPluginPath).toStdString(), firstLoad().toStdString())
        << "loaded again, it answers alike";
}

TEST_F(RaisingPlugin, ADestructorsExceptionGoesToTheUnhandledPathAtTheRelease)
{
    std::vector<std::string> reported;
    rb::setUnhandledExceptionHandler([&reported](const rb::RuntimeException &e) {
        reported.push_back(kindOf(e) + (": " + e.Message().toStdString()));
        return true;
    });
    REALobject fragile = host().newObject(QStringLiteral("ProbeFragile"));
    ASSERT_NE(fragile, nullptr);
    EXPECT_NO_THROW(host().releaseObject(fragile));
    EXPECT_EQ(reported, std::vector<std::string>{"RuntimeException: raised by a destructor"});
    EXPECT_FALSE(host().hasPending());
    EXPECT_NO_THROW(callNothing());
    EXPECT_EQ(reported.size(), 1);
}

TEST_F(RaisingPlugin, ExceptionClassesDerivedFromTheFrameworksKeepTheirKindAndMessage)
{
    const struct {
        int32_t kind;
        const char *expectedKind;
        const char *message;
    } cases[] = {
        {0, "NilObjectException", "raised as ProbeNilException"},
        {1, "OutOfBoundsException", "raised as ProbeOutOfBoundsException"},
        {2, "RuntimeException", "raised as ProbeRuntimeException"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expectedKind);
        try {
            call("Raise(kind as integer)", c.kind);
            ADD_FAILURE() << "nothing raised";
        } catch (const rb::RuntimeException &e) {
            EXPECT_STREQ(kindOf(e), c.expectedKind);
            EXPECT_EQ(e.Message().toStdString(), c.message);
        }
        EXPECT_FALSE(host().hasPending());
    }
}

} // namespace
