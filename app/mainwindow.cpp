#include "mainwindow.h"

#include "menubar1.h"
#include "midilink/midiio.h"
#include "rbframework/exceptions.h"

namespace korvane
{

namespace
{

// Pages of TabPanel1.
enum Page { Connect, UpdateSW, Help, SetIP, Debug };

const QString helpText = QStringLiteral("VRQ-1\r"
                                        "Use the USB port on the VRQ-1 to program\r"
                                        "Ensure that the VRQ-1 midi port is selected\r"
                                        "Enable the Update\r"
                                        "Select the VRQ1_????.bin update file\r"
                                        "\r"
                                        "On the VRQ-1 panel you can program the \r"
                                        "\r"
                                        "1) User keys\r"
                                        "2) Speaker, Meter, Input and Output Names ");

const QString updateText = QStringLiteral(
    "1) Click Enable - The connected device will switch to software udate (Check the display or LED's)\r"
    "\r"
    "2) Click File - Then select the firmware file ????.bin (unzip if necessary)\r"
    "\r"
    "3) Click Start - You should then see the byte count and staus bar increasing.\r"
    "\r"
    "4) When \"Finished\" is displayed click on [Reset] to restart the unit.\r"
    "\r"
    "5) For Major upgrades you should then Click on Factory Defaults to reset all functions. \r"
    "\r"
    "In case of problems:\r"
    "Click [Abort], then [Reset] and try again, \r"
    "\r"
    "if this does not work\r"
    "1) Close Korvane and disconnect unit\r"
    "2) Reconnect unit in Recovery Mode (Check Product Manual for Details)\r"
    "3) Start Korvane and download fimeware ");

const QString addressNote = QStringLiteral(
    "You can read and set the IP address of any unit. Read first, If you cannot read the IP Address then "
    "read and write of the IP Address is not enabled in the unit.");

// Puts a new control in its container (a group box, a page of the tab panel, or the window) at its
// place in the focus order.
template <typename T> T *placed(T &control, rb::RectControl *container, int page, int tabIndex)
{
    if (container)
        control.Parent(*container, page);
    control.TabIndex(tabIndex);
    return &control;
}

// The design of the two keys; each replaces its font and text size when it opens.
void keyDesign(vokey &key)
{
    key.textsize = 0;
    key.litcolor = 0x80FF80;
    key.caption = QStringLiteral("Caption");
    key.Textfont = QStringLiteral("System");
    key.Bold = true;
    key.rad = 6;
    key.border = true;
}

} // namespace

MainHooks &mainHooks()
{
    return rb::window<main>();
}

main::main() : rb::Window(QStringLiteral("Korvane"), 40, 60, 528, 494)
{
    Layout();
    CreateControls();
    AddMenuHandlers();
}

void main::Layout()
{
    MenuBar(&MenuBar1::instance());
    FixedSize(true);
    CloseBox(false);
    ShownAtStart(true);
}

void main::CreateControls()
{
    _CreateControls0();
    _CreateControls1();
}

void main::_CreateControls0()
{
    TabPanel1_ = placed(add<rb::TabPanel>(QStringLiteral("TabPanel1"), 12, 0, 503, 449,
                                          QStringList{QStringLiteral("Connect"), QStringLiteral("Update S/W"),
                                                      QStringLiteral("Help"), QStringLiteral("Set IP"),
                                                      QStringLiteral("Debug")}),
                        nullptr, 0, 0);

    dlbox_ = placed(
        add<rb::GroupBox>(QStringLiteral("dlbox"), 22, 277, 484, 151, QStringLiteral("Update Firmware")),
        TabPanel1_, UpdateSW, 2);
    kenabsw_ =
        placed(add<rb::PushButton>(QStringLiteral("kenabsw"), 29, 298, 60, 18, QStringLiteral("Enable")),
               dlbox_, 0, 0);
    kenabsw_->Action = [this] { kenabsw_Action(); };
    kfile_ = placed(add<rb::PushButton>(QStringLiteral("kfile"), 103, 298, 60, 18, QStringLiteral("File")),
                    dlbox_, 0, 1);
    kfile_->Enabled(false);
    kfile_->Action = [this] { kfile_Action(); };
    KReset_ = placed(add<rb::PushButton>(QStringLiteral("KReset"), 433, 298, 60, 18, QStringLiteral("Reset")),
                     dlbox_, 0, 2);
    KReset_->Enabled(false);
    KReset_->Action = [this] { KReset_Action(); };
    kstart_ = placed(add<rb::PushButton>(QStringLiteral("kstart"), 178, 298, 60, 18, QStringLiteral("Start")),
                     dlbox_, 0, 6);
    kstart_->Enabled(false);
    kstart_->Action = [this] { kstart_Action(); };
    desc_ = placed(add<rb::Listbox>(QStringLiteral("desc"), 33, 321, 460, 43), dlbox_, 0, 9);
    Label1_ = placed(add<rb::Label>(QStringLiteral("Label1"), 29, 371, 95, 20, QStringLiteral("Byte Count")),
                     dlbox_, 0, 10);
    Label1_->TextAlign(2);
    DCount_ = placed(add<rb::Label>(QStringLiteral("DCount"), 241, 371, 98, 20, QStringLiteral("0")), dlbox_,
                     0, 11);
    DCount_->TextAlign(2);
    DCount_->Bold(true);
    pbar_ = placed(add<rb::ProgressBar>(QStringLiteral("pbar"), 30, 394, 468, 20, 100), dlbox_, 0, 0);
    pbar_->Visible(false);
    lcount_ = placed(add<rb::Label>(QStringLiteral("lcount"), 388, 371, 105, 20, QStringLiteral("0")), dlbox_,
                     0, 12);
    lcount_->TextAlign(0);
    lcount_->Bold(true);
    kfactory_ = placed(
        add<rb::PushButton>(QStringLiteral("kfactory"), 302, 298, 119, 18, QStringLiteral("Factory reset")),
        dlbox_, 0, 14);
    kfactory_->Enabled(false);
    kfactory_->Action = [this] { kfactory_Action(); };

    ProgressWheel1_ = placed(add<rb::ProgressWheel>(QStringLiteral("ProgressWheel1"), 291, 378, 18, 20),
                             TabPanel1_, Connect, 6);
    ProgressWheel1_->Visible(false);

    Label2_ =
        placed(add<rb::Label>(QStringLiteral("Label2"), 23, 48, 372, 349, helpText), TabPanel1_, Help, 0);
    Label2_->Multiline(true);

    dbugaddr_ = placed(add<rb::TextField>(QStringLiteral("dbugaddr"), 69, 71, 65, 22), TabPanel1_, Debug, 0);
    dbugaddr_->Alignment(0);
    dbugaddr_->TextChange = [this] { dbugaddr_TextChange(); };
    dbuglen_ = placed(add<rb::PopupMenu>(QStringLiteral("dbuglen"), 147, 70, 59, 20), TabPanel1_, Debug, 1);
    for (const char *row : {"Off", "1", "2", "3", "4"})
        dbuglen_->AddRow(QString::fromLatin1(row));
    dbuglen_->ListIndex(0);
    dbuglen_->Change = [this] { dbuglen_Change(); };
    Label4_ = placed(add<rb::Label>(QStringLiteral("Label4"), 46, 71, 14, 20, QStringLiteral("$")),
                     TabPanel1_, Debug, 2);

    GroupBox1_ =
        placed(add<rb::GroupBox>(QStringLiteral("GroupBox1"), 21, 27, 476, 72, QStringLiteral("Midi Port")),
               TabPanel1_, Connect, 14);
    showmidi_ = placed(add<vokey>(QStringLiteral("showmidi"), 34, 56, 450, 25), GroupBox1_, 0, 0);
    keyDesign(*showmidi_);
    showmidi_->action = [this](vokey &) { showmidi_action(); };
    showmidi_->open1 = [this](vokey &) { showmidi_open1(); };

    GroupBox5_ = placed(
        add<rb::GroupBox>(QStringLiteral("GroupBox5"), 21, 260, 405, 113, QStringLiteral("S/W Revision")),
        TabPanel1_, Connect, 17);
    corerev_ = placed(add<rb::Label>(QStringLiteral("corerev"), 43, 308, 266, 16, QStringLiteral("?.?")),
                      GroupBox5_, 0, 0);
    mainrev_ = placed(add<rb::Label>(QStringLiteral("mainrev"), 43, 286, 266, 16, QStringLiteral("?.?")),
                      GroupBox5_, 0, 1);
    kreadeprom_ =
        placed(add<rb::PushButton>(QStringLiteral("kreadeprom"), 315, 326, 71, 34, QStringLiteral("Read")),
               GroupBox5_, 0, 2);
    kreadeprom_->Action = [this] { kreadeprom_Action(); };

    // Runs for the life of the window.
    Timer1_ = &add<rb::Timer>(QStringLiteral("Timer1"), rb::Timer::ModeMultiple, 50);
    Timer1_->Action = [this] { Timer1_Action(); };
}

void main::_CreateControls1()
{
    TextArea2_ = placed(add<rb::TextArea>(QStringLiteral("TextArea2"), 22, 43, 484, 228, updateText),
                        TabPanel1_, UpdateSW, 6);

    GroupBox9_ =
        placed(add<rb::GroupBox>(QStringLiteral("GroupBox9"), 21, 309, 486, 129, QStringLiteral("Notes")),
               TabPanel1_, SetIP, 0);
    TextArea3_ = placed(add<rb::TextArea>(QStringLiteral("TextArea3"), 29, 331, 462, 100, addressNote),
                        GroupBox9_, 0, 0);
    GroupBox10_ = placed(
        add<rb::GroupBox>(QStringLiteral("GroupBox10"), 163, 60, 203, 91, QStringLiteral("IP Address")),
        TabPanel1_, SetIP, 1);
    ipaddr_ = placed(
        add<rb::TextField>(QStringLiteral("ipaddr"), 184, 103, 164, 26, QStringLiteral("000.000.000.000")),
        GroupBox10_, 0, 0);
    ipaddr_->TextSize(14);
    ipaddr_->Alignment(2);
    ipaddr_->Enabled(false);
    kreadip_ =
        placed(add<rb::PushButton>(QStringLiteral("kreadip"), 124, 199, 80, 44, QStringLiteral("Read")),
               TabPanel1_, SetIP, 2);
    kreadip_->Action = [this] { kreadip_Action(); };
    ksetip_ = placed(add<rb::PushButton>(QStringLiteral("ksetip"), 325, 198, 80, 45, QStringLiteral("Set")),
                     TabPanel1_, SetIP, 3);
    ksetip_->Enabled(false);
    ksetip_->Action = [this] { ksetip_Action(); };

    kclose_ = placed(add<rb::PushButton>(QStringLiteral("kclose"), 428, 462, 80, 20, QStringLiteral("Close")),
                     nullptr, 0, 1);
    kclose_->Action = [this] { kclose_Action(); };
    kabort_ = placed(add<vokey>(QStringLiteral("kabort"), 12, 463, 82, 20), nullptr, 0, 4);
    keyDesign(*kabort_);
    kabort_->Visible(false);
    kabort_->action = [this](vokey &) { kabort_action(); };
    kview_ =
        placed(add<rb::BevelButton>(QStringLiteral("kview"), 205, 461, 97, 22, QStringLiteral("View Comms")),
               nullptr, 0, 5);
    kview_->Action = [this] { kview_Action(); };
}

rb::MenuItem &main::menuItem(const char *name) const
{
    return rb::deref(rb::deref(MenuBar()).Lookup(QString::fromLatin1(name)));
}

rb::MenuItem &main::HelpMenu() const
{
    return menuItem("HelpMenu");
}
rb::MenuItem &main::Helppdf() const
{
    return menuItem("Helppdf");
}
rb::MenuItem &main::EditMenu() const
{
    return menuItem("EditMenu");
}
rb::MenuItem &main::EditSelectAll() const
{
    return menuItem("EditSelectAll");
}
rb::MenuItem &main::UntitledMenu0() const
{
    return menuItem("UntitledMenu0");
}
rb::MenuItem &main::EditClear() const
{
    return menuItem("EditClear");
}
rb::MenuItem &main::EditPaste() const
{
    return menuItem("EditPaste");
}
rb::MenuItem &main::EditCopy() const
{
    return menuItem("EditCopy");
}
rb::MenuItem &main::EditCut() const
{
    return menuItem("EditCut");
}
rb::MenuItem &main::UntitledMenu1() const
{
    return menuItem("UntitledMenu1");
}
rb::MenuItem &main::EditUndo() const
{
    return menuItem("EditUndo");
}
rb::MenuItem &main::ViewMenu() const
{
    return menuItem("ViewMenu");
}
rb::MenuItem &main::FileMenu() const
{
    return menuItem("FileMenu");
}
rb::MenuItem &main::FileAbort() const
{
    return menuItem("FileAbort");
}
rb::QuitMenuItem &main::FileQuit() const
{
    return rb::deref(dynamic_cast<rb::QuitMenuItem *>(&menuItem("FileQuit")));
}
rb::MenuItem &main::FileSave() const
{
    return menuItem("FileSave");
}
rb::MenuItem &main::FileLoad() const
{
    return menuItem("FileLoad");
}

void main::AddMenuHandlers()
{
    AddMenuHandler(QStringLiteral("FileAbort"), [this] { return _FileAbort_Action(); });
    AddMenuHandler(QStringLiteral("FileLoad"), [this] { return _FileLoad_Action(); });
    AddMenuHandler(QStringLiteral("FileSave"), [this] { return _FileSave_Action(); });
}

void main::Event_Open()
{
    main &self = rb::window<main>();
    self.Left(self.Left() + self.Width());

    midiio &io = rb::window<midiio>();
    io.Show();
    Show();
    io.Hide();

    kabort().offcolor = 0xFF0000;
    kabort().TextOffColor = 0xFFFFFF;
    kabort().setcaption(QStringLiteral("Abort"));

    io.Midiok();
}

} // namespace korvane
