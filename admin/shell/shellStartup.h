#pragma once
// What TwinlaneAdmin needs before its main window may exist.

// Binds the discovery library (beside the program, then on the system's
// library path). On failure shows a message box naming the library and the
// loader's reason and returns false: the program must then end with a
// non-zero exit code and create no window.
bool BindDiscoveryLibrary();

// Exit code of a start without the discovery library.
constexpr int ExitNoDiscoveryLibrary = 3;
