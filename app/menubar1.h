#pragma once
// The program's menu bar: File (Load, Save, Quit, Abort), View, Edit (the framework's editing
// commands) and Help (Product PDF Manuals). One instance, shared by the application and the main
// window.

#include "rbframework/menu.h"

namespace korvane
{

class MenuBar1 : public rb::MenuBar
{
  public:
    // The one menu bar, made on first use.
    static MenuBar1 &instance();
    // Drops it (at the program's end).
    static void release();

    MenuBar1();

  private:
    void Untitled0(); // File
    void Untitled1(); // View
    void Untitled2(); // Edit
    void Untitled3(); // Help
};

} // namespace korvane
