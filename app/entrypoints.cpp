#include "entrypoints.h"

#include "rbframework/pluginhost.h"

namespace korvane::entrypoints {

namespace {

// The plug-in's members as it registers them, in binding order: for each class its constructor,
// destructor, methods, then each property's getter and setter.
constexpr const char *kPluginDeclarations[kCount - kFirstPluginEntry] = {
    "PortMidiStreamTSL.__init",
    "PortMidiStreamTSL.__exit",
    "PortMidiStreamTSL.Close",
    "PortMidiStreamTSL.Abort as integer",
    "PortMidiStreamTSL.ErrorText(ErrorNumber as integer) as string",
    "PortMidiStreamTSL.SetChannelMask(mask as integer) as integer",
    "PortMidiStreamTSL.SetFilter(filters as integer) as integer",
    "PortMidiStreamTSL.Poll as integer",
    "PortMidiStreamTSL.WriteSysEx(When as integer, message as string) as integer",
    "PortMidiStreamTSL.WriteSysEx(When as integer, message as memoryblock, offset as integer) as integer",
    "PortMidiStreamTSL.WriteShort(When as integer, message as integer) as integer",
    "PortMidiStreamTSL.Write(data as PortMidiEventTSL) as integer",
    "PortMidiStreamTSL.Read(byref data as PortMidiEventTSL) as integer",
    "PortMidiStreamTSL.OpenInput(DeviceID as integer, Buffersize as integer) as integer",
    "PortMidiStreamTSL.OpenOutput(DeviceID as integer, Buffersize as integer, Latency as integer) as integer",
    "PortMidiStreamTSL.ChannelMask.Get",
    "PortMidiStreamTSL.Filters.Get",
    "PortMidiEventTSL.Set(status as integer, data1 as integer, data2 as integer)",
    "PortMidiEventTSL.SetRaw(data0 as integer, data1 as integer, data2 as integer, data3 as integer)",
    "PortMidiEventTSL.Status.Get",
    "PortMidiEventTSL.Status.Set",
    "PortMidiEventTSL.Data1.Get",
    "PortMidiEventTSL.Data1.Set",
    "PortMidiEventTSL.Data2.Get",
    "PortMidiEventTSL.Data2.Set",
    "PortMidiEventTSL.RawData0.Get",
    "PortMidiEventTSL.RawData0.Set",
    "PortMidiEventTSL.RawData1.Get",
    "PortMidiEventTSL.RawData1.Set",
    "PortMidiEventTSL.RawData2.Get",
    "PortMidiEventTSL.RawData2.Set",
    "PortMidiEventTSL.RawData3.Get",
    "PortMidiEventTSL.RawData3.Set",
    "PortMidiEventTSL.When.Get",
    "PortMidiEventTSL.When.Set",
    "PortMidiEventTSL.RawMessage.Get",
    "PortMidiEventTSL.RawMessage.Set",
    "PortMidiTSL.__init",
    "PortMidiTSL.ReInitialize as integer",
    "PortMidiTSL.CountDevices as integer",
    "PortMidiTSL.DefaultInputDeviceID as integer",
    "PortMidiTSL.DefaultOutputDeviceID as integer",
    "PortMidiTSL.DeviceInfo(DeviceID as integer) as PortMidiDeviceInfoTSL",
    "PortMidiTSL.ErrorText(ErrorNumber as integer) as string",
    "PortMidiDeviceInfoTSL.Name.Get",
    "PortMidiDeviceInfoTSL.InterfaceName.Get",
    "PortMidiDeviceInfoTSL.HasInput.Get",
    "PortMidiDeviceInfoTSL.HasOutput.Get",
};

std::array<REALproc, kCount> gTable{};

} // namespace

QString declaration(int index)
{
    if (index == 0)
        return QStringLiteral("_");
    if (index >= kFirstPluginEntry && index < kCount)
        return QString::fromLatin1(kPluginDeclarations[index - kFirstPluginEntry]);
    return {};
}

QString bind()
{
    QString missing;
    for (int i = 0; i < kCount; ++i) {
        const QString decl = declaration(i);
        gTable[i] = decl.isEmpty() ? nullptr : rb::pluginHost().lookupEntrypoint(decl);
        if (!decl.isEmpty() && !gTable[i] && missing.isEmpty())
            missing = decl;
    }
    return missing;
}

REALproc entry(int index)
{
    return index >= 0 && index < kCount ? gTable[index] : nullptr;
}

} // namespace korvane::entrypoints
