#pragma once
// The main window "Korvane": a fixed 528 x 494 window with the tabs Connect, Update S/W, Help,
// Set IP and Debug, and below them the Abort key, "View Comms" and Close. It drives the firmware
// download, sends the unit's single commands and shows the link state. One instance,
// rb::window<main>(), made on first use.

#include "midilink/mainhooks.h"
#include "midilink/midisr.h"
#include "rbframework/controls.h"
#include "rbframework/folderitem.h"
#include "rbframework/listbox.h"
#include "rbframework/menu.h"
#include "rbframework/popupmenu.h"
#include "rbframework/timer.h"
#include "rbframework/window.h"
#include "support/vokey.h"

#include <cstdint>
#include <optional>

namespace korvane
{

class main : public rb::Window, public MainHooks
{
  public:
    main();

    rb::FolderItemPtr f;   // the firmware image chosen with File; nil when none (or cancelled)
    int32_t enabdelay = 0; // ticks of Timer1 until Enable and the revision Read come back

    // Controls, in creation order.
    rb::TabPanel &TabPanel1() const { return *TabPanel1_; }
    rb::GroupBox &dlbox() const { return *dlbox_; }
    rb::PushButton &kenabsw() const { return *kenabsw_; }
    rb::PushButton &kfile() const { return *kfile_; }
    rb::PushButton &KReset() const { return *KReset_; }
    rb::PushButton &kstart() const { return *kstart_; }
    rb::Listbox &desc() const { return *desc_; }
    rb::Label &Label1() const { return *Label1_; }
    rb::Label &DCount() const override { return *DCount_; }
    rb::ProgressBar &pbar() const override { return *pbar_; }
    rb::Label &lcount() const { return *lcount_; }
    rb::PushButton &kfactory() const { return *kfactory_; }
    rb::ProgressWheel &ProgressWheel1() const { return *ProgressWheel1_; }
    rb::Label &Label2() const { return *Label2_; }
    rb::TextField &dbugaddr() const { return *dbugaddr_; }
    rb::PopupMenu &dbuglen() const { return *dbuglen_; }
    rb::Label &Label4() const { return *Label4_; }
    rb::GroupBox &GroupBox1() const { return *GroupBox1_; }
    vokey &showmidi() const { return *showmidi_; }
    rb::GroupBox &GroupBox5() const { return *GroupBox5_; }
    rb::Label &corerev() const override { return *corerev_; }
    rb::Label &mainrev() const override { return *mainrev_; }
    rb::PushButton &kreadeprom() const { return *kreadeprom_; }
    rb::Timer &Timer1() const { return *Timer1_; }
    rb::TextArea &TextArea2() const { return *TextArea2_; }
    rb::GroupBox &GroupBox9() const { return *GroupBox9_; }
    rb::TextArea &TextArea3() const { return *TextArea3_; }
    rb::GroupBox &GroupBox10() const { return *GroupBox10_; }
    rb::TextField &ipaddr() const override { return *ipaddr_; }
    rb::PushButton &kreadip() const { return *kreadip_; }
    rb::PushButton &ksetip() const override { return *ksetip_; }
    rb::PushButton &kclose() const { return *kclose_; }
    vokey &kabort() const { return *kabort_; }
    rb::BevelButton &kview() const { return *kview_; }

    // The menu bar's items, looked up by name.
    rb::MenuItem &HelpMenu() const;
    rb::MenuItem &Helppdf() const;
    rb::MenuItem &EditMenu() const;
    rb::MenuItem &EditSelectAll() const;
    rb::MenuItem &UntitledMenu0() const;
    rb::MenuItem &EditClear() const;
    rb::MenuItem &EditPaste() const;
    rb::MenuItem &EditCopy() const;
    rb::MenuItem &EditCut() const;
    rb::MenuItem &UntitledMenu1() const;
    rb::MenuItem &EditUndo() const;
    rb::MenuItem &ViewMenu() const;
    rb::MenuItem &FileMenu() const;
    rb::MenuItem &FileAbort() const;
    rb::QuitMenuItem &FileQuit() const;
    rb::MenuItem &FileSave() const;
    rb::MenuItem &FileLoad() const;

    // Handlers of the controls' events.
    void kenabsw_Action();
    void kfile_Action();
    void KReset_Action();
    void kstart_Action();
    void kfactory_Action();
    void dbugaddr_TextChange();
    void dbuglen_Change();
    void showmidi_action();
    void showmidi_open1();
    void kreadeprom_Action();
    void Timer1_Action();
    void kreadip_Action();
    void ksetip_Action();
    void kclose_Action();
    void kabort_action();
    void kview_Action();

    void AddMenuHandlers();
    void Event_Open() override;
    bool _FileAbort_Action();
    bool _FileLoad_Action();
    bool _FileSave_Action();

    // The firmware download. rxdatarq: the next block, or the empty block and the finishing step.
    void rxdatarq() override;
    void Downdone();       // the finishing step: "Finished" and three beeps
    void File2stream();    // opens f from its start as the firmware stream
    void Timer();          // one tick of the re-enable countdown
    void Setenabdelay();   // Enable off, countdown from 10
    void Abort() override; // stops the download: "Aborted"

    // Unit commands and link state.
    // The Debug tab's request: data length + 1, 0xA0, the command, the data. Nothing sends it.
    QByteArray vos3cmd(uint8_t command, const QByteArray &data);
    void setmidiok(bool ok) override;

    // File > Save and File > Load of a unit text file.
    void Filesave();
    void Fileload();

  private:
    void Layout();
    void CreateControls();
    void _CreateControls0();
    void _CreateControls1();
    rb::MenuItem &menuItem(const char *name) const;
    // The end of a download, finished or aborted: the buttons switched back, the image closed, the
    // progress bar and the Abort key hidden, the position label showing the outcome.
    void endDownload(const QString &position);
    // Enable during a download: the unit has begun a new image, so the download starts over from
    // the image's first byte once the unit has handled the Enable (given as its frame, none when it
    // did not go out). Without the Enable sent or the image reopened from its start, the download
    // ends as Abort ends it.
    void startOver(std::optional<midisr::FrameId> enable);
    // Reads the held image whole, which the unit then gets, whatever becomes of the file meanwhile.
    // False, the download ended as Abort ends it and the file named in a message, when it cannot be
    // read whole.
    bool takeImage();
    // The revision Read, the address Read and Set: off while a download runs, so that nothing but
    // the download's blocks goes out to the unit and every answer is its blocks'.
    void unitCommandsAvailable(bool available);

    rb::TabPanel *TabPanel1_;
    rb::GroupBox *dlbox_;
    rb::PushButton *kenabsw_;
    rb::PushButton *kfile_;
    rb::PushButton *KReset_;
    rb::PushButton *kstart_;
    rb::Listbox *desc_;
    rb::Label *Label1_;
    rb::Label *DCount_;
    rb::ProgressBar *pbar_;
    rb::Label *lcount_;
    rb::PushButton *kfactory_;
    rb::ProgressWheel *ProgressWheel1_;
    rb::Label *Label2_;
    rb::TextField *dbugaddr_;
    rb::PopupMenu *dbuglen_;
    rb::Label *Label4_;
    rb::GroupBox *GroupBox1_;
    vokey *showmidi_;
    rb::GroupBox *GroupBox5_;
    rb::Label *corerev_;
    rb::Label *mainrev_;
    rb::PushButton *kreadeprom_;
    rb::Timer *Timer1_;
    rb::TextArea *TextArea2_;
    rb::GroupBox *GroupBox9_;
    rb::TextArea *TextArea3_;
    rb::GroupBox *GroupBox10_;
    rb::TextField *ipaddr_;
    rb::PushButton *kreadip_;
    rb::PushButton *ksetip_;
    rb::PushButton *kclose_;
    vokey *kabort_;
    rb::BevelButton *kview_;
};

} // namespace korvane
