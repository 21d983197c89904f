#pragma once
// The plug-in entry-point table: one routine per declaration string, bound once at start-up.
// Entry 0 is the host's own ("_"); 1 to 69 belong to controls the framework supplies natively and
// stay empty; 70 to 117 are the members of the MIDI plug-in's four classes.
//
// KORVANE_PLUGIN_ENTRIES is the one list of those members. The entry numbers, the declaration
// strings that are looked up and the C signature each entry is called through all come from it,
// and each signature is checked against its declaration as the program compiles.

#include "entrysignature.h"
#include "rbframework/rbplugin.h"

#include <QString>
#include <cstdint>
#include <string_view>

// X(name, declaration, signature) for entries 70 to 117 in order: for each class its constructor,
// destructor, methods in registration order, then each property's getter and setter.
// clang-format off
#define KORVANE_PLUGIN_ENTRIES(X)                                                                            \
    X(StreamInit, "PortMidiStreamTSL.__init", void(REALobject))                                              \
    X(StreamExit, "PortMidiStreamTSL.__exit", void(REALobject))                                              \
    X(StreamClose, "PortMidiStreamTSL.Close", void(REALobject))                                              \
    X(StreamAbort, "PortMidiStreamTSL.Abort as integer", int32_t(REALobject))                                \
    X(StreamErrorText, "PortMidiStreamTSL.ErrorText(ErrorNumber as integer) as string",                      \
      REALstring(REALobject, int32_t))                                                                       \
    X(StreamSetChannelMask, "PortMidiStreamTSL.SetChannelMask(mask as integer) as integer",                  \
      int32_t(REALobject, int32_t))                                                                          \
    X(StreamSetFilter, "PortMidiStreamTSL.SetFilter(filters as integer) as integer",                         \
      int32_t(REALobject, int32_t))                                                                          \
    X(StreamPoll, "PortMidiStreamTSL.Poll as integer", int32_t(REALobject))                                  \
    X(StreamWriteSysExString, "PortMidiStreamTSL.WriteSysEx(When as integer, message as string) as integer", \
      int32_t(REALobject, int32_t, REALstring))                                                              \
    X(StreamWriteSysExBlock,                                                                                 \
      "PortMidiStreamTSL.WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer", \
      int32_t(REALobject, int32_t, REALmemoryBlock, int32_t))                                                \
    X(StreamWriteShort, "PortMidiStreamTSL.WriteShort(When as integer, message as integer) as integer",      \
      int32_t(REALobject, int32_t, int32_t))                                                                 \
    X(StreamWrite, "PortMidiStreamTSL.Write(data as PortMidiEventTSL) as integer",                           \
      int32_t(REALobject, REALobject))                                                                       \
    X(StreamRead, "PortMidiStreamTSL.Read(byref data as PortMidiEventTSL) as integer",                       \
      int32_t(REALobject, REALobject *))                                                                     \
    X(StreamOpenInput, "PortMidiStreamTSL.OpenInput(DeviceID as integer, Buffersize as integer) as integer", \
      int32_t(REALobject, int32_t, int32_t))                                                                 \
    X(StreamOpenOutput,                                                                                      \
    "PortMidiStreamTSL.OpenOutput(DeviceID as integer, Buffersize as integer, Latency as integer) as integer", \
      int32_t(REALobject, int32_t, int32_t, int32_t))                                                        \
    X(StreamChannelMaskGet, "PortMidiStreamTSL.ChannelMask.Get", int32_t(REALobject, intptr_t))              \
    X(StreamFiltersGet, "PortMidiStreamTSL.Filters.Get", int32_t(REALobject, intptr_t))                      \
    X(EventSet, "PortMidiEventTSL.Set(status as integer, data1 as integer, data2 as integer)",               \
      void(REALobject, int32_t, int32_t, int32_t))                                                           \
    X(EventSetRaw,                                                                                           \
      "PortMidiEventTSL.SetRaw(data0 as integer, data1 as integer, data2 as integer, data3 as integer)",     \
      void(REALobject, int32_t, int32_t, int32_t, int32_t))                                                  \
    X(EventStatusGet, "PortMidiEventTSL.Status.Get", int32_t(REALobject, intptr_t))                          \
    X(EventStatusSet, "PortMidiEventTSL.Status.Set", void(REALobject, intptr_t, int32_t))                    \
    X(EventData1Get, "PortMidiEventTSL.Data1.Get", int32_t(REALobject, intptr_t))                            \
    X(EventData1Set, "PortMidiEventTSL.Data1.Set", void(REALobject, intptr_t, int32_t))                      \
    X(EventData2Get, "PortMidiEventTSL.Data2.Get", int32_t(REALobject, intptr_t))                            \
    X(EventData2Set, "PortMidiEventTSL.Data2.Set", void(REALobject, intptr_t, int32_t))                      \
    X(EventRawData0Get, "PortMidiEventTSL.RawData0.Get", int32_t(REALobject, intptr_t))                      \
    X(EventRawData0Set, "PortMidiEventTSL.RawData0.Set", void(REALobject, intptr_t, int32_t))                \
    X(EventRawData1Get, "PortMidiEventTSL.RawData1.Get", int32_t(REALobject, intptr_t))                      \
    X(EventRawData1Set, "PortMidiEventTSL.RawData1.Set", void(REALobject, intptr_t, int32_t))                \
    X(EventRawData2Get, "PortMidiEventTSL.RawData2.Get", int32_t(REALobject, intptr_t))                      \
    X(EventRawData2Set, "PortMidiEventTSL.RawData2.Set", void(REALobject, intptr_t, int32_t))                \
    X(EventRawData3Get, "PortMidiEventTSL.RawData3.Get", int32_t(REALobject, intptr_t))                      \
    X(EventRawData3Set, "PortMidiEventTSL.RawData3.Set", void(REALobject, intptr_t, int32_t))                \
    X(EventWhenGet, "PortMidiEventTSL.When.Get", int32_t(REALobject, intptr_t))                              \
    X(EventWhenSet, "PortMidiEventTSL.When.Set", void(REALobject, intptr_t, int32_t))                        \
    X(EventRawMessageGet, "PortMidiEventTSL.RawMessage.Get", int32_t(REALobject, intptr_t))                  \
    X(EventRawMessageSet, "PortMidiEventTSL.RawMessage.Set", void(REALobject, intptr_t, int32_t))            \
    X(MidiInit, "PortMidiTSL.__init", void(REALobject))                                                      \
    X(MidiReInitialize, "PortMidiTSL.ReInitialize as integer", int32_t(REALobject))                          \
    X(MidiCountDevices, "PortMidiTSL.CountDevices as integer", int32_t(REALobject))                          \
    X(MidiDefaultInputDeviceID, "PortMidiTSL.DefaultInputDeviceID as integer", int32_t(REALobject))          \
    X(MidiDefaultOutputDeviceID, "PortMidiTSL.DefaultOutputDeviceID as integer", int32_t(REALobject))        \
    X(MidiDeviceInfo, "PortMidiTSL.DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL",                \
      REALobject(REALobject, int32_t))                                                                       \
    X(MidiErrorText, "PortMidiTSL.ErrorText(ErrorNumber as integer) as string",                              \
      REALstring(REALobject, int32_t))                                                                       \
    X(InfoNameGet, "PortMidiDeviceInfoTSL.Name.Get", REALstring(REALobject, intptr_t))                       \
    X(InfoInterfaceNameGet, "PortMidiDeviceInfoTSL.InterfaceName.Get", REALstring(REALobject, intptr_t))     \
    X(InfoHasInputGet, "PortMidiDeviceInfoTSL.HasInput.Get", RBBoolean(REALobject, intptr_t))                \
    X(InfoHasOutputGet, "PortMidiDeviceInfoTSL.HasOutput.Get", RBBoolean(REALobject, intptr_t))
// clang-format on

namespace korvane::entrypoints
{

constexpr int tableSize = 118;
constexpr int firstPluginEntry = 70;

// The numbers of the MIDI plug-in's entries.
#define KORVANE_ENTRY_NUMBER(name, declaration, signature) name,
enum Entry : int {
    BeforePluginEntries = firstPluginEntry - 1,
    KORVANE_PLUGIN_ENTRIES(KORVANE_ENTRY_NUMBER) EndOfTable
};
#undef KORVANE_ENTRY_NUMBER
static_assert(EndOfTable == tableSize, "the plug-in's entries end the table");

// The C signature an entry is called through.
template <Entry> struct Member;
#define KORVANE_ENTRY_MEMBER(name, declaration, signature)                                                   \
    template <> struct Member<name> {                                                                        \
        using Signature = signature;                                                                         \
    };
KORVANE_PLUGIN_ENTRIES(KORVANE_ENTRY_MEMBER)
#undef KORVANE_ENTRY_MEMBER
template <Entry E> using Signature = typename Member<E>::Signature;

// The declaration string of an entry; empty for the native controls' entries 1 to 69.
QString declaration(int entry);

// The signature of a plug-in entry as text (see entrysignature.h); empty for the other entries.
std::string_view signature(int entry);

// Looks every entry up in ascending order. Answers "" when all of 0 and 70 to 117 were found,
// otherwise the first declaration that was not.
QString bind();

// The bound routine of an entry (nil before bind()).
REALproc entry(int index);

} // namespace korvane::entrypoints
