// The three ways Korwipe is run; each returns the process exit code.
#pragma once

#include "wipe/os/os.h"

// Set when a matched file or directory could not be erased; never cleared.
// It decides whether a form ends with its failure line.
extern bool anyEraseFailed;

// One argument: a file name (erased alone) or a pattern (every regular file
// it matches; argument.wild). An argument the file functions' text could not
// hold as typed (not exact, osArguments) names nothing.
int runFileForm(const OsArgument& argument);

// "-d" with a directory name or pattern (null when "-d" stands alone):
// collects the matched directories, asks once, erases them on yes. An
// argument that is not exact matches nothing.
int runDirectoryForm(const OsArgument* pattern);

// Asks whether to erase the selected directory (directories when plural)
// and reads single keys from the console until y, Y, n or N. Returns 1 for
// yes, 0 for no, -1 when no key can be read at all.
int askConfirmation(bool plural);
