#include "menubar1.h"

#include "rbframework/exceptions.h"

#include <memory>

namespace korvane
{

namespace
{

std::unique_ptr<MenuBar1> &theBar()
{
    static std::unique_ptr<MenuBar1> bar;
    return bar;
}

struct Item {
    const char *name;
    const char *text;
    const char *shortcut; // nil for a separator, which gets none
    bool quit = false;
};

// A menu of the bar with its items, in order.
void addMenu(rb::MenuBar &bar, const char *name, const char *text, std::initializer_list<Item> items)
{
    auto menu = std::make_unique<rb::MenuItem>();
    menu->Name(QString::fromLatin1(name));
    menu->AutoEnable(true);
    menu->Text(QString::fromLatin1(text));
    menu->KeyboardShortcut(QString());
    bar.Append(std::move(menu));
    for (const Item &i : items) {
        std::unique_ptr<rb::MenuItem> item =
            i.quit ? std::make_unique<rb::QuitMenuItem>() : std::make_unique<rb::MenuItem>();
        item->Name(QString::fromLatin1(i.name));
        item->AutoEnable(true);
        item->Text(QString::fromLatin1(i.text));
        if (i.shortcut)
            item->KeyboardShortcut(QString::fromLatin1(i.shortcut));
        rb::deref(bar.Child(QString::fromLatin1(name))).Append(std::move(item));
    }
}

} // namespace

MenuBar1 &MenuBar1::instance()
{
    if (!theBar())
        theBar() = std::make_unique<MenuBar1>();
    return *theBar();
}

void MenuBar1::release()
{
    theBar().reset();
}

MenuBar1::MenuBar1()
{
    Untitled0();
    Untitled1();
    Untitled2();
    Untitled3();
}

void MenuBar1::Untitled0()
{
    addMenu(*this, "FileMenu", "&File",
            {{"FileLoad", "Load", "Cmd+l"},
             {"FileSave", "Save", "Cmd+s"},
             {"FileQuit", "&Quit", "Cmd+Q", true},
             {"FileAbort", "Abort", ""}});
}

void MenuBar1::Untitled1()
{
    addMenu(*this, "ViewMenu", "View", {});
}

void MenuBar1::Untitled2()
{
    addMenu(*this, "EditMenu", "&Edit",
            {{"EditUndo", "&Undo", "Cmd+Z"},
             {"UntitledMenu1", "-", nullptr},
             {"EditCut", "Cu&t", "Cmd+X"},
             {"EditCopy", "&Copy", "Cmd+C"},
             {"EditPaste", "&Paste", "Cmd+V"},
             {"EditClear", "&Delete", ""},
             {"UntitledMenu0", "-", nullptr},
             {"EditSelectAll", "Select &All", "Cmd+A"}});
}

void MenuBar1::Untitled3()
{
    addMenu(*this, "HelpMenu", "Help", {{"Helppdf", "Product PDF Manuals", ""}});
}

} // namespace korvane
