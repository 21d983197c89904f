#include "portselectors.h"

#include "miditimer.h"
#include "rbframework/dialogs.h"
#include "rbframework/text.h"
#include "support/config.h"

namespace korvane
{

namespace
{

constexpr int bufferSize = 100; // events, both directions
constexpr int latencyMs = 0;    // output time stamps are ignored: every message goes out at once

void raise(const std::function<void()> &event)
{
    if (event)
        event();
}

} // namespace

PortSelector::PortSelector(rb::Window &window, QString name, int left, int top, int width, int height)
    : rb::PopupMenu(window, std::move(name), left, top, width, height)
{
}

void PortSelector::Refresh()
{
    PortMidiTSL midi;
    const int last = midi.CountDevices() - 1;

    DeleteAllRows();
    AddRow(QStringLiteral("Select"));
    ListIndex(0);

    for (int device = 0; device <= last; ++device) {
        const PortMidiDeviceInfoPtr info = midi.DeviceInfo(device);
        if (!info || !listed(*info))
            continue;
        AddRow(rb::Str(device) + ":" + info->Name() + " - " + info->InterfaceName());
    }

    const QString saved = config::getstring(settingKey());
    for (int row = 1; row < ListCount(); ++row)
        if (rb::Same(List(row), saved))
            ListIndex(row);
}

void PortSelector::Event_Open()
{
    Refresh();
}

void PortSelector::Event_Change()
{
    const miditimer::Hold changing;
    changeStarts();
    if (stream)
        stream->Close();
    const int row = ListIndex();
    if (row >= 1) {
        stream = std::make_shared<PortMidiStreamTSL>();
        const QString text = List(row);
        // The device number is the text before the first ":"; a name may hold ":" too.
        const int device = int(rb::Val(rb::Left(text, rb::InStr(text, QStringLiteral(":")))));
        const int answer = open(*stream, device);
        openAttempted();
        portopen = answer == 0;
        if (answer == 0) {
            config::putstring(settingKey(), text);
        } else {
            ListIndex(0);
            rb::MsgBox(failurePrefix() + rb::Str(answer));
        }
    }
    raise(change1);
}

void PortSelector::Event_Close()
{
    if (stream)
        stream->Close();
}

midiin::midiin(rb::Window &window, QString name, int left, int top, int width, int height)
    : PortSelector(window, std::move(name), left, top, width, height)
{
}

int midiin::open(PortMidiStreamTSL &s, int device)
{
    return s.OpenInput(device, bufferSize);
}
QString midiin::settingKey() const
{
    return QStringLiteral("Minport");
}
QString midiin::failurePrefix() const
{
    return QStringLiteral("bad input port ");
}
void midiin::changeStarts()
{
    raise(threadkill);
}
void midiin::openAttempted()
{
    raise(threadrun);
}

midiout::midiout(rb::Window &window, QString name, int left, int top, int width, int height)
    : PortSelector(window, std::move(name), left, top, width, height)
{
}

int midiout::open(PortMidiStreamTSL &s, int device)
{
    return s.OpenOutput(device, bufferSize, latencyMs);
}
QString midiout::settingKey() const
{
    return QStringLiteral("Moutport");
}
QString midiout::failurePrefix() const
{
    return QStringLiteral("open midi output error:");
}

midiout::Written midiout::outlong(const rb::MemoryBlockPtr &message)
{
    if (!stream)
        return Written::Nothing;
    ++writes;
    const int answer = stream->WriteSysEx(0, message, 0);
    if (answer != 0)
        rb::MsgBox(QStringLiteral("outlong error:") + rb::Str(answer));
    return answer == 0 ? Written::Whole : Written::Refused;
}

} // namespace korvane
