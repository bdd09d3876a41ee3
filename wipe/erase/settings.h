// The one machine-wide setting: how many times each file is overwritten.
#pragma once

// 0 = automatic (chosen by the file's length), 1 to 5 = that many passes.
// 0 until loadSettings has run.
extern int overwritePasses;

// The setting a first byte of config.cfg gives: the byte when it is at most
// 5, else 0. firstByte is -1 when the file has no byte (or cannot be read).
int settingFromByte(int firstByte);

// Reads the first byte of the named file; -1 when it cannot be opened or is
// empty. The file is only read, never changed.
int readFirstByte(const char* path);

// Sets overwritePasses from config.cfg; a missing, unreadable, empty or
// invalid file silently gives 0. Never reports anything.
void loadSettings();
