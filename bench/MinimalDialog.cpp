// The least a program can do to show a console like the launcher's: a modeless dialog with text
// in an edit control, built the same way. The benchmark's start-up limit.
#include <windows.h>

#include <cstring>

namespace {

// With "focus" on its command line the dialog takes the keyboard focus as it is made, as the
// launcher's console does; else only once it shows.
bool takeFocus = false;

INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return takeFocus ? TRUE : FALSE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) PostQuitMessage(0);
    (void)window;
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    takeFocus = commandLine && std::strstr(commandLine, "focus") != nullptr;
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(1), nullptr, &Proc, 0);
    SetDlgItemTextA(dialog, 100, "Vantry is starting...\r\nPlease wait...\r\n");
    ShowWindow(dialog, SW_SHOW);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
