// The receive side of the unit protocol: input packets are assembled into exclusive messages in a
// 128-byte buffer, and each complete message is interpreted and logged in the MIDI window.

#include "mainhooks.h"
#include "midiio.h"
#include "midisr.h"
#include "rbframework/text.h"
#include "rbframework/window.h"
#include "support/vosr.h"

namespace korvane::midisr
{

namespace
{

constexpr uint8_t realtimeFirst = 0xF8;
constexpr uint8_t universalRealtime = 0x7F; // the byte after F0 of a universal real-time message

struct Answer {
    uint8_t code;
    const char *rowEnd;
};

// The row ending of each unit answer code; any other code ends its row with a blank.
constexpr Answer answerRows[] = {
    {answerRevision, " revision data "}, {answerAddress, "IP Address "}, {0x25, " unit config "},
    {0x26, " interface config data "},   {0x2C, " midi config data "},   {0x27, " Sync Error "},
    {0x28, " System Status "},           {0x29, " Error Message "},      {0x2A, " RS422 Status "},
    {0x2B, " RS422 Rec Rdy "},           {0x2D, " Midi Rec Rdy "},       {0x2E, "Front panel LED data "},
};

QString answerRowEnd(int code)
{
    for (const Answer &a : answerRows)
        if (a.code == code)
            return QString::fromLatin1(a.rowEnd);
    return QStringLiteral(" ");
}

QString realtimeRowEnd(int subId)
{
    switch (subId) {
    case 0x01:
        return QStringLiteral(" Full Position");
    case 0x06:
        return QStringLiteral(" Midi Command");
    case 0x07:
        return QStringLiteral(" Midi Tally");
    default:
        return {};
    }
}

// The label of a channel or real-time message's row; empty for note-on, which gets none.
QString channelLabel(int status)
{
    if (status >= 0xF8)
        return QStringLiteral("realtime: ");
    switch (status & 0xF0) {
    case 0x80:
        return QStringLiteral("note off: ");
    case 0xA0:
        return QStringLiteral("poly key pressure: ");
    case 0xB0:
        return QStringLiteral("control change: ");
    case 0xC0:
        return QStringLiteral("program change: ");
    case 0xD0:
        return QStringLiteral("Channel Pressure: ");
    case 0xE0:
        return QStringLiteral("Pitch Wheel: ");
    default:
        return {};
    }
}

void insertInputRow(const QString &row)
{
    rb::window<midiio>().eListin().InsertRow(0, row);
}

// Stores one byte of the current message and interprets the buffer at an F7. The buffer is never
// written past its end: a message longer than the buffer loses its F7 and is not interpreted, and
// bytes that follow a finished message stop at the end.
void store(int byte)
{
    rb::MemoryBlock &buffer = *sysxmb;
    if (byte == sysexEnd)
        sysxComplete = true;
    if (sysxlen >= buffer.Size())
        return;
    buffer.Byte(sysxlen, byte);
    ++sysxlen;
    if (byte == sysexEnd)
        parsesysx(buffer, sysxlen);
}

// A message has begun and no F7 has ended it yet.
bool messageOpen()
{
    return sysxmb && !sysxComplete;
}

// A new receive buffer in place of the old one, whatever that held.
void startMessage()
{
    sysxmb = std::make_shared<rb::MemoryBlock>(sysxSize);
    sysxlen = 0;
    sysxComplete = false;
}

void showRevision(const rb::MemoryBlock &m)
{
    auto p = [&m](int offset) { return vosr::byte2hex(uint8_t(m.Byte(offset))); };
    MainHooks &w = mainHooks();
    w.corerev().Caption("Core " + p(7) + "." + p(8) + " Build " + p(9) + "." + p(10) + " HW " + p(5) + "." +
                        p(6));
    if (m.Byte(4) == 6)
        w.mainrev().Caption(QString());
    else
        w.mainrev().Caption("Main " + p(11) + "." + p(12) + " Build " + p(13) + "." + p(14));
}

void showAddress(const rb::MemoryBlock &m)
{
    MainHooks &w = mainHooks();
    w.ipaddr().Text(rb::Str(m.Byte(5)) + "." + rb::Str(m.Byte(6)) + "." + rb::Str(m.Byte(7)) + "." +
                    rb::Str(m.Byte(8)));
    w.ipaddr().Enabled(true);
    // Set stays off while a download runs.
    w.ksetip().Enabled(!downfw);
}

} // namespace

void parsemidimb3(const rb::MemoryBlock &packet)
{
    const int first = packet.Byte(0);
    // PortMidi packs the real-time bytes that arrive during a message into the message's own
    // packets, at any place in them, the first included.
    if (first < 0x80 || first == sysexStart || (first >= realtimeFirst && messageOpen()))
        sysxdata(packet);
    else
        parsemidi(packet);
}

void sysxdata(const rb::MemoryBlock &packet)
{
    for (int i = 0; i < 4; ++i) {
        const int byte = packet.Byte(i);
        // A real-time byte is not part of the message: it is shown as a message of its own.
        if (byte >= realtimeFirst) {
            rb::MemoryBlock realtime(4);
            realtime.Byte(0, byte);
            parsemidi(realtime);
            continue;
        }
        // Every F0 begins a new message. PortMidi packs the F0 that follows an unfinished message
        // into that message's last packet, so it need not be a packet's first byte.
        if (byte == sysexStart)
            startMessage();
        if (sysxmb)
            store(byte);
    }
}

void parsesyscommon(const rb::MemoryBlock &packet)
{
    // F7 completes the message with that one byte; F1 to F6 are ignored.
    if (packet.Byte(0) == sysexEnd && sysxmb)
        store(sysexEnd);
}

void parsesysx(rb::MemoryBlock &message, int32_t count)
{
    const bool shown = rb::window<midiio>().fvisible;
    // The row shows the message as received, before any unpacking; it is made only to be shown.
    const auto received = [&message, count] { return "parsesysx: " + vosr::mb2hex(message, count); };
    switch (message.Byte(1)) {
    case 0x00:
        return;
    case unitMessage: {
        const int code = message.Byte(3);
        if (code == answerAck || code == answerNak) {
            const std::optional<FrameId> block = unanswered.acknowledged();
            const bool downloadsBlock = downfw && block && block == download.blockOut;
            if (downloadsBlock)
                download.blockOut.reset();
            if (code == answerNak) {
                // A block the unit refused leaves a hole in its image: the download cannot finish.
                if (downloadsBlock)
                    mainHooks().Abort();
                else
                    sendDueBlock();
                return;
            }
            // The next block goes out before the acknowledgement is counted.
            sendDueBlock();
            rb::window<midiio>().incack();
            return;
        }
        const QString row = shown ? received() + answerRowEnd(code) : QString();
        m72h8(message);
        if (code == answerRevision) {
            unanswered.requestAnswered(UnansweredFrames::Frame::RevisionRequest);
            showRevision(message);
        } else if (code == answerAddress) {
            unanswered.requestAnswered(UnansweredFrames::Frame::AddressRequest);
            showAddress(message);
        }
        if (shown)
            insertInputRow(row);
        sendDueBlock();
        return;
    }
    case universalRealtime:
        if (shown)
            insertInputRow(received() + realtimeRowEnd(message.Byte(3)));
        return;
    default:
        if (shown)
            insertInputRow(received());
        return;
    }
}

void parsemidi(const rb::MemoryBlock &packet)
{
    const int status = packet.Byte(0);
    if (status >= 0xF0 && status <= 0xF7) {
        parsesyscommon(packet);
        return;
    }
    const QString label = channelLabel(status);
    // These rows are written whether or not the MIDI window is shown, while the list itself is visible.
    midiio &io = rb::window<midiio>();
    if (!label.isEmpty() && io.eListin().Visible())
        insertInputRow(label + vosr::mb2hex(packet, 4));
}

} // namespace korvane::midisr
