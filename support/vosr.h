#pragma once
// Helpers the program shares: hex text of bytes, splitting typed text, the file choosers and the
// captions of unit command keys. No state: every dialog and file type is made for its call.

#include "rbframework/folderitem.h"
#include "rbframework/memoryblock.h"
#include "rbframework/text.h"

#include <cstdint>

namespace korvane::vosr
{

rb::String byte2hex(uint8_t value);                             // two uppercase digits
rb::String mb2hex(const rb::MemoryBlock &mb, int32_t count);    // "F0 7E " for the first count bytes
rb::String mb2hex(const rb::MemoryBlockPtr &mb, int32_t count); // NilObjectException for nil

// Return the text before the first blank (point, trimmed) and leave the text after it in s;
// without one, return all of s and leave s empty.
rb::String splitspace2(rb::String &s);
rb::String splitdot(rb::String &s);
// splitspace2 over a view, which copies nothing: taking a long text apart costs its length.
QStringView splitspace2(QStringView &s);

rb::FolderItemPtr openbinfile(); // nil when cancelled
void openpdffile();              // opens the chosen PDF with the system's application, or says it cannot
// The name ends up holding ".vot"; nil when cancelled. Replacing a file of the final name is asked
// about; declined, the dialog shows again.
rb::FolderItemPtr saveasvotfile();
rb::FolderItemPtr openvotfile(); // nil when cancelled

rb::String cmd2caption(int32_t cmd); // "???" for a number without a key caption

} // namespace korvane::vosr
