#include "midiio.h"

#include "mainhooks.h"
#include "midisr.h"
#include "rbframework/exceptions.h"
#include "rbframework/text.h"
#include "support/vosr.h"

#include <QRegularExpression>

namespace korvane
{

namespace
{

// The byte a typed token stands for: the low 8 bits of the hexadecimal number that its leading
// digits make, reading stopping at the first other character ("1F7" gives F7, "7G" gives 07, "G7"
// gives 00). Only the last two of those digits are read: Val's double would round away the low bits
// of a long token.
int tokenByte(QStringView token)
{
    static const QRegularExpression leadingDigits(QStringLiteral("^[0-9A-Fa-f]*"));
    return rb::ToInt32(rb::Val("&h" + rb::Right(leadingDigits.match(token).captured(), 2)));
}

} // namespace

midiio::midiio() : rb::Window(QStringLiteral("Select Midi Input and Output Ports"), 0, 0, 756, 438)
{
    Resizable(true);
    CloseBox(false);
    MinimizeButton(true);
    MaximizeButton(false);
    Placement(PlacementMainScreen);
    ShownAtStart(true);

    GroupBox1_ = &add<rb::GroupBox>(QStringLiteral("GroupBox1"), 5, 0, 320, 59, QStringLiteral("Midi Input"));
    GroupBox1_->TextSize(12);
    GroupBox1_->TabIndex(0);
    midiin1_ = &add<midiin>(QStringLiteral("midiin1"), 10, 27, 310, 20);
    midiin1_->Parent(*GroupBox1_);
    midiin1_->TabIndex(0);
    GroupBox2_ =
        &add<rb::GroupBox>(QStringLiteral("GroupBox2"), 333, 0, 320, 59, QStringLiteral("Midi Output"));
    GroupBox2_->TextSize(12);
    GroupBox2_->TabIndex(1);
    midiout1_ = &add<midiout>(QStringLiteral("midiout1"), 338, 27, 310, 19);
    midiout1_->Parent(*GroupBox2_);
    midiout1_->TabIndex(0);
    krefresk_ = &add<rb::PushButton>(QStringLiteral("krefresk"), 282, 60, 95, 20, QStringLiteral("Refresh"));
    krefresk_->TabIndex(2);
    khide_ = &add<rb::PushButton>(QStringLiteral("khide"), 670, 393, 80, 20, QStringLiteral("Hide"));
    khide_->TabIndex(3);
    eListin_ = &add<rb::Listbox>(QStringLiteral("eListin"), 5, 88, 581, 124, QStringLiteral("Input Events"));
    eListin_->TabIndex(4);
    eListout_ =
        &add<rb::Listbox>(QStringLiteral("eListout"), 5, 224, 745, 141, QStringLiteral("Output Events"));
    eListout_->TabIndex(5);
    kclear_ = &add<rb::PushButton>(QStringLiteral("kclear"), 591, 393, 65, 20, QStringLiteral("Clear"));
    kclear_->TabIndex(6);
    GroupBox7_ = &add<rb::GroupBox>(QStringLiteral("GroupBox7"), 5, 374, 572, 44,
                                    QStringLiteral("Test Midi TX String"));
    GroupBox7_->TabIndex(17);
    midistring_ = &add<rb::TextField>(QStringLiteral("midistring"), 15, 392, 436, 22);
    midistring_->Parent(*GroupBox7_);
    midistring_->TabIndex(0);
    sendmidi_ = &add<rb::PushButton>(QStringLiteral("sendmidi"), 474, 394, 80, 18, QStringLiteral("Send"));
    sendmidi_->Parent(*GroupBox7_);
    sendmidi_->TabIndex(1);
    GroupBox8_ = &add<rb::GroupBox>(QStringLiteral("GroupBox8"), 664, 0, 86, 59, QStringLiteral("Ack Count"));
    GroupBox8_->TabIndex(19);
    ackcount_ = &add<rb::Label>(QStringLiteral("ackcount"), 684, 27, 46, 20, QStringLiteral("0"));
    ackcount_->Parent(*GroupBox8_);
    ackcount_->TabIndex(0);
    miditimer1_ = &add<miditimer>(QStringLiteral("miditimer1"), rb::Timer::ModeOff, 50);
    eListblk_ =
        &add<rb::Listbox>(QStringLiteral("eListblk"), 591, 88, 159, 124, QStringLiteral("Input Blocks"));
    eListblk_->TabIndex(20);

    midiin1_->threadkill = [this] { midiin1_threadkill(); };
    midiin1_->threadrun = [this] { midiin1_threadrun(); };
    midiin1_->change1 = [this] { midiin1_change1(); };
    midiout1_->change1 = [this] { midiout1_change1(); };
    krefresk_->Action = [this] { krefresk_Action(); };
    khide_->Action = [this] { khide_Action(); };
    kclear_->Action = [this] { kclear_Action(); };
    sendmidi_->Action = [this] { sendmidi_Action(); };
    miditimer1_->newdata = [this](const rb::MemoryBlock &packet) { miditimer1_newdata(packet); };
}

void midiio::midiin1_threadkill()
{
    miditimer1().Mode(rb::Timer::ModeOff);
}
void midiio::midiin1_threadrun()
{
    miditimer1().Mode(rb::Timer::ModeMultiple);
}
void midiio::midiin1_change1()
{
    portChanged();
}
void midiio::midiout1_change1()
{
    portChanged();
}

void midiio::portChanged()
{
    // The download cannot go on over a port that has been closed: an answer on its way is lost, or
    // the next block goes to another device.
    if (midisr::downfw)
        mainHooks().Abort();
    Midiok();
}
void midiio::krefresk_Action()
{
    Refreshmidi();
}

void midiio::khide_Action()
{
    Midiok();
    setvisible(false);
}

void midiio::kclear_Action()
{
    eListin().DeleteAllRows();
    eListout().DeleteAllRows();
}

void midiio::sendmidi_Action()
{
    const QString text = midistring().Text();
    if (text.isEmpty())
        return;
    // Tokens are separated by single blanks; each gives one byte. An empty token gives 0x00.
    QByteArray bytes;
    for (QStringView rest(text); !rest.isEmpty();)
        bytes += char(tokenByte(vosr::splitspace2(rest)));
    // Bytes the unit may take as a frame would come in the middle of the download's blocks, and the
    // unit's answers could no longer be told apart: the download ends as Abort ends it.
    if (midisr::downfw && midisr::unitFrameIn(bytes))
        mainHooks().Abort();
    outlong(std::make_shared<rb::MemoryBlock>(bytes));
}

void midiio::miditimer1_newdata(const rb::MemoryBlock &packet)
{
    Showpacket(packet);
    midisr::parsemidimb3(packet);
}

void midiio::Event_Resized()
{
    eListin().Width(Width() - 12);
    eListout().Width(Width() - 12);
}

std::optional<midisr::FrameId> midiio::outlong(const rb::MemoryBlockPtr &message)
{
    if (fvisible)
        eListout().InsertRow(0, "Output: Long Data " + vosr::mb2hex(message, rb::deref(message).Size()));
    // Every message goes out here, hand-typed ones too, so the record of what the unit was sent is kept
    // here; no answer is read before the frame is in it, not even during the box of a refused write.
    const miditimer::Hold writing;
    const midiout::Written written = midiout1().outlong(message);
    if (written == midiout::Written::Nothing)
        return std::nullopt;
    return midisr::recordSent(*message, written == midiout::Written::Whole);
}

void midiio::setvisible(bool visible)
{
    fvisible = visible;
    if (visible)
        Show();
    else
        Hide();
}

void midiio::togvisible()
{
    setvisible(!fvisible);
}

void midiio::incack()
{
    ++ackcnt;
    ackcount().Text(rb::Str(ackcnt));
}

void midiio::Midiok()
{
    MainHooks &w = mainHooks();
    bool ok = midiin1().portopen;
    if (ok)
        ok = midiout1().portopen;
    w.setmidiok(ok);
}

void midiio::Refreshmidi()
{
    PortMidiTSL midi;
    midi.ReInitialize();
    midiin1().Refresh();
    midiout1().Refresh();
    Midiok();
}

void midiio::Showpacket(const rb::MemoryBlock &packet)
{
    if (!fvisible)
        return;
    const QString text = vosr::mb2hex(packet, 4);
    if (packet.Byte(0) == 0xF0)
        eListblk().DeleteAllRows();
    eListblk().AddRow(text);
}

} // namespace korvane
