// A DLL named like one the launcher uses, planted beside it: when loaded it leaves loaded.txt beside
// itself. Exports the function the launcher asks of the real one, so that a load never fails.
#include <windows.h>

#include <cstring>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH - 16);
    if (n == 0 || n >= MAX_PATH - 16) return TRUE;
    char* slash = std::strrchr(path, '\\');
    std::memcpy(slash ? slash + 1 : path, "loaded.txt", sizeof "loaded.txt");
    HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetExtendedTcpTable(void*, DWORD*, BOOL, ULONG, int, ULONG)
{
    return ERROR_NOT_SUPPORTED;
}
