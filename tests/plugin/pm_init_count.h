#pragma once
// Counts the calls of Pm_Initialize made anywhere in the process (the test program interposes it).
int portMidiInitCount();
