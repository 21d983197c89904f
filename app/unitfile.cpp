// The main window's menu commands: File > Save and File > Load of a unit text file, and File > Abort.

#include "mainwindow.h"
#include "support/vosr.h"

namespace korvane
{

bool main::_FileAbort_Action()
{
    Abort();
    return true;
}

bool main::_FileLoad_Action()
{
    Fileload();
    return true;
}

bool main::_FileSave_Action()
{
    Filesave();
    return true;
}

void main::Filesave()
{
    // The unit text file has no content of its own yet: the chosen file is created empty.
    const rb::FolderItemPtr file = vosr::saveasvotfile();
    if (!file)
        return;
    if (const rb::TextOutputStreamPtr out = file->CreateTextFile())
        out->Close();
}

void main::Fileload()
{
    // Read to its end, each line's length counted and nothing of it kept yet: a file of any size,
    // with lines of any length, is read in the memory of the stream's buffer.
    const rb::FolderItemPtr file = vosr::openvotfile();
    if (!file || !file->Exists())
        return;
    const rb::TextInputStreamPtr in = file->OpenAsTextFile();
    if (!in)
        return;
    while (!in->EOF())
        in->SkipLine();
    in->Close();
}

} // namespace korvane
