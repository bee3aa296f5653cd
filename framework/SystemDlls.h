// DLLs come from the system's folder only. Windows looks for a DLL that is not one of its known ones
// in the program's folder first, and whatever sits there under that name would run in the launcher.
#pragma once
#include <windows.h>

// From here on, this process's loads by name search the system's folder only (where the system
// has SetDefaultDllDirectories; elsewhere nothing changes).
void LoadDllsFromTheSystemFolderOnly();
// A DLL the program does not import at load time, from the system's folder; null when it cannot be
// loaded. It stays loaded.
HMODULE SystemDll(const char* name);
