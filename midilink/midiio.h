#pragma once
// The MIDI window: the port selectors, the input poller, the traffic lists ("Input Events",
// "Output Events", "Input Blocks"), the acknowledgement counter and a field for hand-typed bytes.
// Every message to the unit goes out through outlong; every input packet comes in through the
// poller's newdata. One instance, rb::window<midiio>(), made on first use.

#include "midisr.h"
#include "miditimer.h"
#include "portselectors.h"
#include "rbframework/controls.h"
#include "rbframework/listbox.h"
#include "rbframework/memoryblock.h"
#include "rbframework/window.h"

#include <cstdint>

namespace korvane
{

class midiio : public rb::Window
{
  public:
    midiio();

    bool fvisible = false; // shown by the user (View Comms, the status key); plain Show/Hide leave it
    int32_t ackcnt = 0;    // acknowledgements from the unit since the window was made

    rb::GroupBox &GroupBox1() const { return *GroupBox1_; }
    midiin &midiin1() const { return *midiin1_; }
    rb::GroupBox &GroupBox2() const { return *GroupBox2_; }
    midiout &midiout1() const { return *midiout1_; }
    rb::PushButton &krefresk() const { return *krefresk_; }
    rb::PushButton &khide() const { return *khide_; }
    rb::Listbox &eListin() const { return *eListin_; }
    rb::Listbox &eListout() const { return *eListout_; }
    rb::PushButton &kclear() const { return *kclear_; }
    rb::GroupBox &GroupBox7() const { return *GroupBox7_; }
    rb::TextField &midistring() const { return *midistring_; }
    rb::PushButton &sendmidi() const { return *sendmidi_; }
    rb::GroupBox &GroupBox8() const { return *GroupBox8_; }
    rb::Label &ackcount() const { return *ackcount_; }
    miditimer &miditimer1() const { return *miditimer1_; }
    rb::Listbox &eListblk() const { return *eListblk_; }

    // Handlers.
    void midiin1_threadkill();
    void midiin1_threadrun();
    void midiin1_change1();
    void midiout1_change1();
    void krefresk_Action();
    void khide_Action();
    void kclear_Action();
    void sendmidi_Action();
    void miditimer1_newdata(const rb::MemoryBlock &packet);
    void Event_Resized() override;

    // Logs the message in "Output Events" (while shown) and writes it on the output port. Answers the
    // id under which it was recorded as a frame for the unit, none when it was not written or is no
    // such frame.
    std::optional<midisr::FrameId> outlong(const rb::MemoryBlockPtr &message);
    void setvisible(bool visible);
    void togvisible();
    void incack();
    // At the end of every change of a port.
    void portChanged();
    // Reports to the main window whether both ports opened at their last attempt.
    void Midiok();
    void Refreshmidi();
    // Appends the packet to "Input Blocks" (while shown), emptied first at a packet beginning F0.
    void Showpacket(const rb::MemoryBlock &packet);

  private:
    rb::GroupBox *GroupBox1_;
    midiin *midiin1_;
    rb::GroupBox *GroupBox2_;
    midiout *midiout1_;
    rb::PushButton *krefresk_;
    rb::PushButton *khide_;
    rb::Listbox *eListin_;
    rb::Listbox *eListout_;
    rb::PushButton *kclear_;
    rb::GroupBox *GroupBox7_;
    rb::TextField *midistring_;
    rb::PushButton *sendmidi_;
    rb::GroupBox *GroupBox8_;
    rb::Label *ackcount_;
    miditimer *miditimer1_;
    rb::Listbox *eListblk_;
};

} // namespace korvane
