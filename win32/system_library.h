// DLLs outside the KnownDLLs are loaded from the system folder only: an installer runs from a
// downloads folder, where anyone can leave a DLL of the same name beside it.
#pragma once

#include <windows.h>

namespace win32 {

// Restricts the process's DLL search to the system folder where the system offers it
// (SetDefaultDllDirectories); elsewhere takes the current folder out of it (SetDllDirectoryW).
void RestrictDllSearchToSystemFolder();

// Loads `name` (a bare file name) from the system folder, never from the program's folder or
// the current folder. Returns null when it is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// comctl32's InitCommonControls, taken from the system folder's comctl32.dll, so that the
// progress bar class exists. Does nothing when the DLL cannot be loaded.
void InitCommonControlsFromSystem();

}  // namespace win32
