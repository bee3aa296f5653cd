// A DLL named like one the launcher uses, planted beside it: loaded, it leaves loaded.txt beside
// itself. It exports what the launcher asks of the real one, so that a load never fails.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    if (reason != DLL_PROCESS_ATTACH || n == 0 || n >= MAX_PATH) return TRUE;
    std::string mark(path);
    mark.replace(mark.rfind('\\') + 1, std::string::npos, "loaded.txt");
    CloseHandle(CreateFileA(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetExtendedTcpTable(void*, DWORD*, BOOL, ULONG, int, ULONG)
{
    return ERROR_NOT_SUPPORTED;
}
