#include "support/ConsoleHost.h"

#include "ui/Messages.h"

ConsoleHost::ConsoleHost(size_t cap, bool shown)
{
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &ConsoleHost::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VantryTestConsoleHost";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    window = CreateWindowA("VantryTestConsoleHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                           GetModuleHandleA(nullptr), this);
    edit = CreateWindowA("EDIT", "",
                         WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                             ES_AUTOHSCROLL | ES_READONLY,
                         0, 0, 580, 360, window, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (shown) ShowWindow(window, SW_SHOWNOACTIVATE);
    output.Attach(edit, window, cap);
}

ConsoleHost::~ConsoleHost()
{
    output.Close();
    DestroyWindow(window);
}

std::string ConsoleHost::Text()
{
    MSG msg;
    while (PeekMessageA(&msg, window, WM_CONSOLE_FLUSH, WM_CONSOLE_FLUSH, PM_REMOVE) ||
           PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE))
        DispatchMessageA(&msg);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

void ConsoleHost::Selection(DWORD& start, DWORD& end) const
{
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
}

int ConsoleHost::FirstVisibleLine() const { return static_cast<int>(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0)); }

LRESULT CALLBACK ConsoleHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<ConsoleHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && (message == WM_CONSOLE_FLUSH || (message == WM_TIMER && wParam == ConsoleOutput::kFlushTimer))) {
        self->output.Flush();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
