// The MIDI link end to end, with the simulated unit behind two simulated ports: the ports picked in
// the MIDI window with the mouse, the revision request answered into the main window's labels, the
// unit's address read and set, and a whole firmware image sent block by block, one block for each
// acknowledgement, as the unit receives it.

#include "midilink/midisr.h"
#include "rbframework/testseam.h"
#include "tests/common/program_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <random>

using namespace korvanetest;

namespace
{

enum MainPage { Connect = 0, UpdateSoftware = 1, SetIp = 3 };

Bytes randomImage(std::size_t size)
{
    std::mt19937 random(5000);
    Bytes image(size);
    for (std::uint8_t &b : image)
        b = std::uint8_t(random());
    return image;
}

TEST_F(ProgramTest, PortsPickedByMouseCarryCommandsAnswersAndAWholeFirmwareImage)
{
    openFirstRun();
    click(mainWindow().kview());
    chooseRow(io().midiin1(), 1);
    chooseRow(io().midiout1(), 1);
    ASSERT_TRUE(sim::isOpen(UnitIn));
    ASSERT_TRUE(sim::isOpen(UnitOut));
    EXPECT_EQ(mainWindow().showmidi().caption, "Midi OK");

    // The revision request and its answer.
    chooseTab(mainWindow().TabPanel1(), Connect);
    click(mainWindow().kreadeprom());
    EXPECT_EQ(framesSent().back(), Bytes({0xF0, 0x7E, 0x7F, 0x11, 0x00, 0xF7}));
    poll();
    EXPECT_EQ(mainWindow().corerev().Caption(), "Core 02.05 Build 00.1A HW 01.00");
    EXPECT_EQ(mainWindow().mainrev().Caption(), "Main 03.01 Build 00.2C");

    // The address read, set and read again.
    chooseTab(mainWindow().TabPanel1(), SetIp);
    click(mainWindow().kreadip());
    poll();
    EXPECT_EQ(mainWindow().ipaddr().Text(), "10.1.128.255");
    ASSERT_TRUE(mainWindow().ksetip().Enabled());
    type(mainWindow().ipaddr(), "192.168.1.20");
    click(mainWindow().ksetip());
    EXPECT_EQ(framesSent().back(), sim::packFrame(0x34, {192, 168, 1, 20}));
    poll();
    EXPECT_EQ(sim::unitAddress(), Bytes({192, 168, 1, 20}));
    type(mainWindow().ipaddr(), QString());
    click(mainWindow().kreadip());
    poll();
    EXPECT_EQ(mainWindow().ipaddr().Text(), "192.168.1.20");

    // The firmware image, chosen with File and sent with Start.
    const Bytes image = randomImage(5000);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("unit.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size())),
                  qint64(image.size()));
    }
    for (int tick = 0; tick < 10 && !mainWindow().kenabsw().Enabled(); ++tick)
        mainWindow().Timer1().fire(); // Enable comes back after the revision request
    chooseTab(mainWindow().TabPanel1(), UpdateSoftware);
    click(mainWindow().kenabsw());
    poll();
    rb::testseam::answerNextDialog(std::make_shared<rb::FolderItem>(path));
    click(mainWindow().kfile());
    ASSERT_TRUE(mainWindow().kstart().Enabled());
    const std::size_t framesBefore = framesSent().size();
    const int acksBefore = io().ackcnt;

    click(mainWindow().kstart());
    EXPECT_EQ(framesSent().size(), framesBefore + 1) << "one block, then one for each acknowledgement";
    for (int tick = 0; tick < 300 && korvane::midisr::downfw; ++tick)
        poll();
    poll(); // the acknowledgement of the end block

    ASSERT_TRUE(sim::unitImageComplete());
    EXPECT_EQ(sim::unitImage(), image);
    std::vector<Bytes> blocks;
    for (std::size_t at = 0; at < image.size(); at += 22) {
        const auto from = image.begin() + std::ptrdiff_t(at);
        blocks.push_back(sim::packFrame(
            0x04, Bytes(from, from + std::ptrdiff_t(std::min<std::size_t>(22, image.size() - at)))));
    }
    blocks.push_back(sim::packFrame(0x04, {})); // the empty block ends the image
    const std::vector<Bytes> sent = framesSent();
    EXPECT_EQ(std::vector<Bytes>(sent.begin() + std::ptrdiff_t(framesBefore), sent.end()), blocks);
    EXPECT_EQ(io().ackcnt - acksBefore, int(blocks.size()));
    EXPECT_EQ(io().ackcount().Text(), QString::number(io().ackcnt));
    EXPECT_EQ(mainWindow().lcount().Caption(), "Finished");
    EXPECT_TRUE(rb::testseam::shownMessages().isEmpty())
        << rb::testseam::shownMessages().join('|').toStdString();
    for (const sim::Command &command : sim::unitCommands())
        EXPECT_TRUE(command.valid) << command.error;
}

} // namespace
