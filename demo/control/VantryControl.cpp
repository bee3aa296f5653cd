// vantry-control: works the running launcher's console from outside, as a user would.
//   vantry-control text                 prints the console's text
//   vantry-control wait-ready SECONDS   waits until "Go to Vantry" is enabled (the server is ready)
//   vantry-control press BUTTON         exit, hide, goto, help, log or javadoc
//   vantry-control where CONTROL        prints the centre of a button or of the console text ("text") on
//                                       the screen: "x y"
//   vantry-control show                 a click on the tray icon
//   vantry-control hold-desktop         keeps Wine's desktop up until ended (see scripts/wine-env.sh)
//   vantry-control desktop-held         waits (up to a minute) until hold-desktop holds it
// Exit status 0 on success, 1 when the console is not found or the wait ran out.
#include "kit/Windows.h"
#include "res/resource.h"
#include "ui/Messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Made by hold-desktop once its window holds Wine's desktop.
const char kDesktopHeld[] = "Local\\VantryDesktopHeld";

int ButtonId(const char* name)
{
    struct {
        const char* name;
        int id;
    } const buttons[] = {
        { "exit", IDCANCEL },     { "hide", IDC_HIDE },    { "goto", IDC_GOTO },
        { "help", IDC_HELP_DOC }, { "log", IDC_VIEW_LOG }, { "javadoc", IDC_JAVADOC },
    };
    for (const auto& b : buttons)
        if (std::strcmp(b.name, name) == 0) return b.id;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: vantry-control text | wait-ready SECONDS | press BUTTON | where CONTROL | show | "
                             "hold-desktop | desktop-held\n");
        return 2;
    }
    std::string command = argv[1];
    if (command == "hold-desktop") {
        // Wine closes its desktop a second after its last program has gone, and the next program
        // that opens a window starts it anew: a window of this process keeps it up.
        CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        HANDLE held = CreateEventA(nullptr, TRUE, TRUE, kDesktopHeld);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        if (held) CloseHandle(held);
        return 0;
    }
    if (command == "desktop-held") {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
            if (HANDLE held = OpenEventA(SYNCHRONIZE, FALSE, kDesktopHeld)) {
                CloseHandle(held);
                return 0;
            }
        }
        return 1;
    }
    DWORD limit = command == "wait-ready" && argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) * 1000 : 10000;
    DWORD start = GetTickCount();
    HWND console = nullptr;
    while (!(console = FindConsole(0)) && GetTickCount() - start < limit) Sleep(200);
    if (!console) {
        std::fprintf(stderr, "vantry-control: no Vantry console is running\n");
        return 1;
    }
    if (command == "text") {
        std::string text = ConsoleText(console);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (command == "wait-ready") {
        while (!IsWindowEnabled(GetDlgItem(console, IDC_GOTO))) {
            if (GetTickCount() - start >= limit || !IsWindow(console)) return 1;
            Sleep(200);
        }
        return 0;
    }
    if (command == "press" && argc > 2 && ButtonId(argv[2])) {
        // BM_CLICK presses the button as the mouse would; the launcher may end while handling it.
        SendMessageTimeoutA(GetDlgItem(console, ButtonId(argv[2])), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        return 0;
    }
    if (command == "where" && argc > 2) {
        int id = std::strcmp(argv[2], "text") == 0 ? IDC_CONSOLE : ButtonId(argv[2]);
        RECT rect = {};
        if (!id || !GetWindowRect(GetDlgItem(console, id), &rect)) return 1;
        std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        return 0;
    }
    if (command == "show") {
        PostMessageA(console, WM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
        return 0;
    }
    std::fprintf(stderr, "vantry-control: unknown command\n");
    return 2;
}
