// The program's entry: the static application object and WinMain.
#include "app/LauncherApp.h"

static LauncherApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, commandLine, showCommand);
}
