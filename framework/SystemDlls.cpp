#include "framework/SystemDlls.h"

void LoadDllsFromTheSystemFolderOnly()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto set = kernel32 ? reinterpret_cast<SetDirectories>(
                              reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                        : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE SystemDll(const char* name) { return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }
