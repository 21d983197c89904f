// tessel loaded by a host that says it does not run inside a built application: the classes are
// registered all the same, PortMidi is left alone until the device list is first used.

#include "tessel_client.h"

#include <portmidi.h>

using namespace tesseltest;

namespace
{

class OutsideRuntime : public ::testing::Environment
{
  public:
    void SetUp() override { loadTessel(false); }
};
::testing::Environment *const outsideRuntime = ::testing::AddGlobalTestEnvironment(new OutsideRuntime);

} // namespace

TEST(OutsideRuntime, ClassesRegisteredButPortMidiNotInitialised)
{
    ASSERT_FALSE(host().inRuntime());
    EXPECT_EQ(initCountAfterLoad(), 0);
    std::vector<std::string> names;
    for (const auto *c : host().registeredClasses())
        names.push_back(c->name);
    EXPECT_EQ(names, (std::vector<std::string>{"PortMidiStreamTSL", "PortMidiEventTSL", "PortMidiTSL",
                                               "PortMidiDeviceInfoTSL"}));
    for (const std::string &d : programDeclarations())
        EXPECT_NE(host().lookupEntrypoint(QString::fromStdString(d)), nullptr) << d;
}

TEST(OutsideRuntime, CountDevicesStillAnswers)
{
    const int objects = host().liveObjects();
    EXPECT_GE(countDevices(), 0);
    EXPECT_FALSE(deviceInfo(-1));
    Obj s = make("PortMidiStreamTSL");
    EXPECT_EQ(openInput(s, countDevices()), pmInvalidDeviceId);
    s = Obj();
    EXPECT_EQ(host().liveObjects(), objects);
}
