#pragma once
// The program's view of the MIDI plug-in's four classes. Every member, creation and release
// included, goes through its entry in the plug-in entry-point table. A plug-in exception reaches
// the caller as an rb exception once the member has returned.

#include "rbframework/memoryblock.h"
#include "rbframework/rbplugin.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace korvane
{

// One reference to a host object, dropped with the view.
class PluginObject
{
  public:
    PluginObject(const PluginObject &) = delete;
    PluginObject &operator=(const PluginObject &) = delete;
    virtual ~PluginObject();
    REALobject handle() const { return handle_; }

  protected:
    explicit PluginObject(REALobject adopted) : handle_(adopted) {}
    // A new object of the class, zero-filled, its constructor entry run when it has one.
    static REALobject create(const char *className, int constructorEntry);

  private:
    REALobject handle_;
};

class PortMidiEventTSL : public PluginObject
{
  public:
    PortMidiEventTSL();                                                // an empty event made by the host
    static std::shared_ptr<PortMidiEventTSL> adopt(REALobject object); // nil for nil

    void Set(int status, int data1, int data2);
    void SetRaw(int data0, int data1, int data2, int data3);
    int Status() const;
    void Status(int v);
    int Data1() const;
    void Data1(int v);
    int Data2() const;
    void Data2(int v);
    int RawData0() const;
    void RawData0(int v);
    int RawData1() const;
    void RawData1(int v);
    int RawData2() const;
    void RawData2(int v);
    int RawData3() const;
    void RawData3(int v);
    int When() const;
    void When(int v);
    int RawMessage() const;
    void RawMessage(int v);

  private:
    explicit PortMidiEventTSL(REALobject adopted) : PluginObject(adopted) {}
};
using PortMidiEventPtr = std::shared_ptr<PortMidiEventTSL>;

class PortMidiDeviceInfoTSL : public PluginObject
{
  public:
    static std::shared_ptr<PortMidiDeviceInfoTSL> adopt(REALobject object); // nil for nil
    QString Name() const;
    QString InterfaceName() const;
    bool HasInput() const;
    bool HasOutput() const;

  private:
    explicit PortMidiDeviceInfoTSL(REALobject adopted) : PluginObject(adopted) {}
};
using PortMidiDeviceInfoPtr = std::shared_ptr<PortMidiDeviceInfoTSL>;

class PortMidiStreamTSL : public PluginObject
{
  public:
    PortMidiStreamTSL();

    void Close();
    int Abort();
    QString ErrorText(int errorNumber);
    int SetChannelMask(int mask);
    int SetFilter(int filters);
    int Poll();
    int WriteSysEx(int when, const QByteArray &message);
    int WriteSysEx(int when, const rb::MemoryBlockPtr &message, int offset);
    int WriteShort(int when, int message);
    int Write(const PortMidiEventPtr &data);
    int Read(PortMidiEventPtr &data); // releases the event given, hands back a new one or nil
    int OpenInput(int deviceID, int bufferSize);
    int OpenOutput(int deviceID, int bufferSize, int latency);
    int ChannelMask() const;
    int Filters() const;
};
using PortMidiStreamPtr = std::shared_ptr<PortMidiStreamTSL>;

class PortMidiTSL : public PluginObject
{
  public:
    PortMidiTSL();

    int ReInitialize();
    int CountDevices();
    int DefaultInputDeviceID();
    int DefaultOutputDeviceID();
    PortMidiDeviceInfoPtr DeviceInfo(int deviceID);
    QString ErrorText(int errorNumber);
};
using PortMidiPtr = std::shared_ptr<PortMidiTSL>;

} // namespace korvane
