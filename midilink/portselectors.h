#pragma once
// The port selectors: popup menus listing the MIDI devices of one direction ("N:Name - Interface"
// after "Select"). Choosing a row opens that device; the row of the last device that opened is
// saved in the settings and chosen again whenever the list is rebuilt, which reopens the port.

#include "pluginclasses.h"
#include "rbframework/memoryblock.h"
#include "rbframework/popupmenu.h"

#include <cstdint>
#include <functional>

namespace korvane
{

class PortSelector : public rb::PopupMenu
{
  public:
    PortMidiStreamPtr stream; // the stream object of the port chosen last; nil until a device row is chosen
    bool portopen = false;    // the outcome of the last open attempt
    std::function<void()> change1; // raised at the end of every change

    // Rebuilds the list and chooses the saved row again.
    void Refresh();

    void Event_Open() override;
    void Event_Change() override;
    void Event_Close() override;

  protected:
    PortSelector(rb::Window &window, QString name, int left, int top, int width, int height);

    virtual bool listed(const PortMidiDeviceInfoTSL &info) const = 0; // a device of this direction
    virtual int open(PortMidiStreamTSL &s, int device) = 0;           // 0 when the port opened
    virtual QString settingKey() const = 0;
    virtual QString failurePrefix() const = 0; // of the message box
    virtual void changeStarts() {}
    virtual void openAttempted() {}
};

// The input port; the poller reads its stream.
class midiin : public PortSelector
{
  public:
    midiin(rb::Window &window, QString name, int left, int top, int width, int height);
    std::function<void()> threadkill; // at the start of every change
    std::function<void()> threadrun;  // right after every open attempt

  protected:
    bool listed(const PortMidiDeviceInfoTSL &info) const override { return info.HasInput(); }
    int open(PortMidiStreamTSL &s, int device) override;
    QString settingKey() const override;
    QString failurePrefix() const override;
    void changeStarts() override;
    void openAttempted() override;
};

// The output port; every message to the unit is written on it.
class midiout : public PortSelector
{
  public:
    midiout(rb::Window &window, QString name, int left, int top, int width, int height);

    // What became of a message handed to the port.
    enum class Written {
        Nothing, // no device row has been chosen yet
        Whole,
        Refused, // the port refused it, possibly after part of it had gone out
    };
    // Sends the block as one System Exclusive message; nothing before a device row was ever chosen.
    Written outlong(const rb::MemoryBlockPtr &message);
    uint64_t writes = 0; // messages handed to the port's stream, whatever became of them

  protected:
    bool listed(const PortMidiDeviceInfoTSL &info) const override { return info.HasOutput(); }
    int open(PortMidiStreamTSL &s, int device) override;
    QString settingKey() const override;
    QString failurePrefix() const override;
};

} // namespace korvane
