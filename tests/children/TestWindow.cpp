// A windowed program for the tests: shows a window titled "Vantry test window" until it is closed
// or the number of milliseconds given as its argument has passed; exits with code 7.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    if (message == WM_TIMER) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "VantryTestWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("VantryTestWindow", "Vantry test window", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, instance, nullptr);
    ShowWindow(window, show);
    UINT milliseconds = static_cast<UINT>(std::strtoul(commandLine, nullptr, 10));
    if (milliseconds) SetTimer(window, 1, milliseconds, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return static_cast<int>(msg.wParam);
}
