#pragma once
// The plug-in entry-point table: one routine per declaration string, bound once at start-up.
// Entry 0 is the host's own ("_"); 1 to 69 belong to controls the framework supplies natively and
// stay empty; 70 to 117 are the members of the MIDI plug-in's four classes.

#include "rbframework/rbplugin.h"

#include <QString>
#include <array>

namespace korvane::entrypoints {

constexpr int kCount = 118;
constexpr int kFirstPluginEntry = 70;

// Indexes of the MIDI plug-in's entries, in binding order.
enum Entry : int {
    StreamInit = 70, StreamExit, StreamClose, StreamAbort, StreamErrorText, StreamSetChannelMask,
    StreamSetFilter, StreamPoll, StreamWriteSysExString, StreamWriteSysExBlock, StreamWriteShort,
    StreamWrite, StreamRead, StreamOpenInput, StreamOpenOutput, StreamChannelMaskGet, StreamFiltersGet,
    EventSet, EventSetRaw, EventStatusGet, EventStatusSet, EventData1Get, EventData1Set, EventData2Get,
    EventData2Set, EventRawData0Get, EventRawData0Set, EventRawData1Get, EventRawData1Set,
    EventRawData2Get, EventRawData2Set, EventRawData3Get, EventRawData3Set, EventWhenGet, EventWhenSet,
    EventRawMessageGet, EventRawMessageSet,
    MidiInit, MidiReInitialize, MidiCountDevices, MidiDefaultInputDeviceID, MidiDefaultOutputDeviceID,
    MidiDeviceInfo, MidiErrorText,
    InfoNameGet, InfoInterfaceNameGet, InfoHasInputGet, InfoHasOutputGet,
};
static_assert(InfoHasOutputGet == kCount - 1, "the plug-in's entries end the table");

// The declaration string of an entry; empty for the native controls' entries 1 to 69.
QString declaration(int entry);

// Looks every entry up in ascending order. Answers "" when all of 0 and 70 to 117 were found,
// otherwise the first declaration that was not.
QString bind();

// The bound routine of an entry (nil before bind()).
REALproc entry(int index);

} // namespace korvane::entrypoints
