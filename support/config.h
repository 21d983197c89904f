#pragma once
// The settings store: up to 128 key/value pairs of single-line texts, kept in a table of 256
// entries (key of pair k at 2k, its value at 2k+1) and mirrored in korvane.ini in the user's
// application-data folder. The file is read once by initconfig and rewritten whole on every change.
// A line reads as UTF-8 text, or as Latin-1 when it is not valid UTF-8 (rb::LineText), and keys
// compare as that text, letter case ignored; every line the program did not change is written back
// with exactly the bytes it was read with.

#include "rbframework/text.h"

#include <QVariant>
#include <array>

namespace korvane::config
{

constexpr int entryCount = 256;
constexpr int pairCount = entryCount / 2;

extern std::array<rb::String, entryCount> parray;
extern rb::String filename; // the base name followed by ".ini"; empty until initconfig
extern bool cfound;         // whether the last findconfig found its key

// The pair holding the key (letter case ignored), or the first free pair; 0 when the store is full.
int findconfig(const rb::String &key);
rb::String getstring(const rb::String &key); // empty for an absent key
void putstring(const rb::String &key, const rb::String &value);
void putconfig(const rb::String &key, const QVariant &value);
rb::String getfont(const rb::String &key); // "Tahoma" when empty or absent
void saveconfig();
void initconfig(const rb::String &base);

// Empties the table and forgets the file name (at the program's exit, and between tests).
void release();

} // namespace korvane::config
