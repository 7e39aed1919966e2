#pragma once
// The discovery library devscan, bound when the program starts: the
// library beside the program first, then the one on the system's library
// path. Nothing here is linked against it.
#include "devscan/devscan.h"

#include <QString>

struct TDevscanFunctions {
    int (*setSearchOpt)(int waitMs, int repeats) = nullptr;
    int (*enumSearch)(int interfaceIndex, DscEnumCallback callback) = nullptr;
};

// The bound functions; both null until BindDevscan succeeds.
extern TDevscanFunctions Devscan;

// The library's file name on this platform ("libdevscan.so").
QString DevscanLibraryName();

enum TDevscanBindResult : int {
    dbOk = 0,
    dbNotFound = 1, // neither beside the program nor on the library path
    dbMissingFunction = 2, // opened, but a function is not exported
};

// Opens the library (programDir first, then the system's path) and resolves
// dsc_SetSearchOpt and dsc_EnumSearch. The library stays loaded for the
// rest of the process.
TDevscanBindResult BindDevscan(const QString& programDir);
// Why the last BindDevscan failed: the library and the loader's reason.
QString DevscanBindErrorText();
bool DevscanBound();
