#pragma once
// What the MIDI link needs of the main window: the download's next block, the link state, and the
// controls that show the download's progress, the unit's revisions and its IP address. The main
// window implements it; the link reaches it only through mainHooks().

#include "rbframework/controls.h"

namespace korvane
{

class MainHooks
{
  public:
    virtual void rxdatarq() = 0;         // the next firmware block, or the finishing step
    virtual void Abort() = 0;            // ends the download: "Aborted"
    virtual void setmidiok(bool ok) = 0; // shows whether both ports are open
    virtual rb::ProgressBar &pbar() const = 0;
    virtual rb::Label &DCount() const = 0; // firmware bytes sent
    virtual rb::Label &corerev() const = 0;
    virtual rb::Label &mainrev() const = 0;
    virtual rb::TextField &ipaddr() const = 0;
    virtual rb::PushButton &ksetip() const = 0;

  protected:
    ~MainHooks() = default;
};

// The main window, made on first use (defined by the application).
MainHooks &mainHooks();

} // namespace korvane
