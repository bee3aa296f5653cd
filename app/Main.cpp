// The program's entry: the static application object and WinMain.
#include "app/LauncherApp.h"
#include "framework/SystemDlls.h"

static LauncherApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    LoadDllsFromTheSystemFolderOnly(); // before anything loads a DLL by name
    return AfxWinMain(instance, commandLine, showCommand);
}
