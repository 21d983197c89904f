// The device list and the unit's behaviour taken from the environment, as when the library is
// preloaded under the program (the test's environment names them; nothing is set in code).

#include "simmidi.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <portmidi.h>
#include <vector>

namespace
{

TEST(SimEnvironment, DevicesAndUnitComeFromTheEnvironment)
{
    ASSERT_EQ(Pm_Initialize(), pmNoError);
    struct Expected {
        const char *name;
        const char *interf;
        bool input;
    };
    // KORVANE_SIM_DEVICES=in:Keys:ALSA,unit:lag:2:blocks-only:any-device:silent-after:2,out:Synth,bogus,in:,out:Pad:
    const Expected expected[] = {{"Keys", "ALSA", true},
                                 {"Simulated Unit In", "Simulated", true},
                                 {"Simulated Unit Out", "Simulated", false},
                                 {"Synth", "Simulated", false},
                                 {"Pad", "Simulated", false}};
    ASSERT_EQ(Pm_CountDevices(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < Pm_CountDevices(); ++i) {
        SCOPED_TRACE(i);
        const PmDeviceInfo *info = Pm_GetDeviceInfo(i);
        EXPECT_STREQ(info->name, expected[i].name);
        EXPECT_STREQ(info->interf, expected[i].interf);
        EXPECT_EQ(info->input != 0, expected[i].input);
    }

    // The unit is wired between the pair, acknowledges firmware blocks only, takes frames for any
    // device byte, lags two polls and falls silent after two frames.
    PortMidiStream *in = nullptr;
    PortMidiStream *out = nullptr;
    ASSERT_EQ(Pm_OpenInput(&in, 1, nullptr, 100, nullptr, nullptr), pmNoError);
    ASSERT_EQ(Pm_OpenOutput(&out, 2, nullptr, 100, nullptr, nullptr, 0), pmNoError);
    std::vector<unsigned char> enable{0xF0, 0x7E, 0x7F, 0x09, 0x00, 0xF7};
    ASSERT_EQ(Pm_WriteSysEx(out, 0, enable.data()), pmNoError);
    for (int poll = 0; poll < 10; ++poll)
        EXPECT_EQ(Pm_Poll(in), 0) << "the enable is not acknowledged, poll " << poll;
    std::vector<unsigned char> block{0xF0, 0x7E, 0x00, 0x04, 0x01, 0x41, 0x00, 0xF7};
    ASSERT_EQ(Pm_WriteSysEx(out, 0, block.data()), pmNoError);
    EXPECT_EQ(Pm_Poll(in), 0);
    EXPECT_EQ(Pm_Poll(in), 0);
    EXPECT_EQ(Pm_Poll(in), 1);
    PmEvent e{};
    ASSERT_EQ(Pm_Read(in, &e, 1), 1);
    EXPECT_EQ(static_cast<std::uint32_t>(e.message), 0x7F7F7EF0u);
    ASSERT_EQ(Pm_Read(in, &e, 1), 1);

    ASSERT_EQ(Pm_WriteSysEx(out, 0, block.data()), pmNoError);
    for (int poll = 0; poll < 10; ++poll)
        EXPECT_EQ(Pm_Poll(in), 0) << "poll " << poll;
    EXPECT_EQ(sim::unitCommands().size(), 3u);
    EXPECT_EQ(sim::unitImage(), (std::vector<std::uint8_t>{0x41, 0x41}));
    Pm_Close(in);
    Pm_Close(out);
    Pm_Terminate();
}

} // namespace
