// The main window's single unit commands (factory reset, revision and address requests, setting the
// address), the link status key, View Comms, Close and the Debug tab.

#include "mainwindow.h"
#include "midilink/midiio.h"
#include "midilink/midisr.h"
#include "rbframework/application.h"
#include "rbframework/text.h"
#include "support/vosr.h"

namespace korvane
{

void main::kfactory_Action()
{
    midisr::cmd7e(midisr::cmdFactoryReset);
}

void main::kreadeprom_Action()
{
    midisr::cmd7e(midisr::cmdReadRevision);
    Setenabdelay();
}

void main::kreadip_Action()
{
    midisr::cmd7e(midisr::cmdReadAddress);
}

void main::ksetip_Action()
{
    // Four parts split at ".", each read as a number and sent as one byte; missing parts give 0.
    QString text = ipaddr().Text();
    QByteArray address;
    for (int i = 0; i < 4; ++i)
        address += char(rb::ToInt32(rb::Val(vosr::splitdot(text))) & 0xFF);
    midisr::mb7esend(midisr::cmdSetAddress, rb::MemoryBlock(address));
}

void main::showmidi_open1()
{
    showmidi().setcolor(QStringLiteral("red"));
    showmidi().lit = true;
    showmidi().setcaption(QStringLiteral("Midi Not Enabled"));
}

void main::setmidiok(bool ok)
{
    // Through the setter, so that the key's name follows at once, also while its page is not shown.
    if (ok) {
        showmidi().setcolor(QStringLiteral("Lime"));
        showmidi().setcaption(QStringLiteral("Midi OK"));
    } else {
        showmidi().setcaption(QStringLiteral("Midi Not Open - click here to select port"));
        showmidi().setcolor(QStringLiteral("Red"));
    }
    rb::window<main>().Refresh();
}

void main::showmidi_action()
{
    rb::window<midiio>().togvisible();
    showmidi().SetFocus();
}

void main::kview_Action()
{
    rb::window<midiio>().togvisible();
    kview().SetFocus();
}

void main::kclose_Action()
{
    rb::Quit(0);
}

void main::dbugaddr_TextChange()
{
    if (dbuglen().ListIndex() != 0)
        dbuglen().ListIndex(0);
}

void main::dbuglen_Change()
{
    // The request is formed and dropped: no unit command carries it yet.
    QByteArray data(3, '\0');
    const int row = dbuglen().ListIndex();
    if (row != 0) {
        const int32_t address = rb::ToInt32(rb::Val("&h" + dbugaddr().Text()));
        data[0] = char((address / 256) & 0xFF);
        data[1] = char(address & 0xFF);
        data[2] = char(row);
    }
    vos3cmd(0x9A, data);
}

QByteArray main::vos3cmd(uint8_t command, const QByteArray &data)
{
    QByteArray request;
    request += char(data.size() + 1);
    request += char(0xA0);
    request += char(command);
    request += data;
    return request;
}

} // namespace korvane
