#include "ui/ConsoleFind.h"

#include "framework/Text.h"
#include "framework/Wnd.h"
#include "res/resource.h"
#include "ui/ConsoleSave.h"

#include <commctrl.h>
#include <dlgs.h>
#include <windowsx.h>

#include <new>

namespace {

UINT SystemTrackPopupMenu(HMENU menu, int x, int y, HWND owner)
{
    return static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr));
}

int SystemMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return MessageBoxA(owner, text, caption, type);
}

std::wstring WindowTextW(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring Widen(const char* text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

void Lower(std::wstring& text)
{
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
}

constexpr UINT_PTR kSubclassId = 1;

} // namespace

ConsoleFindPlatform SystemConsoleFindPlatform() { return { &SystemTrackPopupMenu, &SystemMessageBox }; }
ConsoleFindPlatform consoleFindPlatform = SystemConsoleFindPlatform();

size_t FindInText(const std::wstring& text, const std::wstring& what, size_t from, bool matchCase)
{
    if (what.empty() || from > text.size()) return std::wstring::npos;
    if (matchCase) return text.find(what, from);
    // Lowered a character at a time, so that every offset stays the console's own.
    std::wstring lowText = text, lowWhat = what;
    Lower(lowText);
    Lower(lowWhat);
    return lowText.find(lowWhat, from);
}

ConsoleFind::~ConsoleFind()
{
    CloseFindBox();
    if (edit_ && IsWindow(edit_)) RemoveWindowSubclass(edit_, &ConsoleFind::EditProc, kSubclassId);
}

void ConsoleFind::Attach(HWND edit, HWND window)
{
    edit_ = edit;
    window_ = window;
    findMessage_ = RegisterWindowMessageA(FINDMSGSTRINGA);
    // The text control's own menu (Undo, Cut, Paste...) is not the console's.
    SetWindowSubclass(edit, &ConsoleFind::EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK ConsoleFind::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<ConsoleFind*>(data);
    if (message == WM_CONTEXTMENU) {
        self->ShowMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    }
    if (message == self->findMessage_ && message != 0) {
        self->OnFindMessage(*reinterpret_cast<const FINDREPLACEA*>(lParam));
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, &ConsoleFind::EditProc, kSubclassId);
        self->edit_ = nullptr;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

bool ConsoleFind::InFindBoxOrConsole(HWND window) const
{
    if (!window) return false;
    if (box_ && (window == box_ || IsChild(box_, window))) return true;
    return window == window_ || IsChild(window_, window);
}

BOOL ConsoleFind::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && InFindBoxOrConsole(msg->hwnd) && GetKeyState(VK_MENU) >= 0) {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0;
        if (msg->wParam == 'F' && ctrl) {
            OpenFindBox();
            return TRUE;
        }
        if (msg->wParam == VK_F3 && !ctrl) {
            FindNext();
            return TRUE;
        }
    }
    // The box is no child of the console: the console's dialog keyboard never sees its keys, Esc
    // and Tab included.
    if (box_ && (msg->hwnd == box_ || IsChild(box_, msg->hwnd))) return IsDialogMessageA(box_, msg);
    return FALSE;
}

void ConsoleFind::OpenFindBox()
{
    if (!box_) {
        find_ = {};
        find_.lStructSize = sizeof find_;
        // The box tells what the user asks for to the text control, whose subclass this is; it is
        // owned by the console window all the same (a child cannot own a window).
        find_.hwndOwner = edit_;
        find_.Flags = FR_DOWN | FR_HIDEUPDOWN | FR_HIDEWHOLEWORD | (matchCase_ ? FR_MATCHCASE : 0);
        find_.lpstrFindWhat = what_;
        find_.wFindWhatLen = sizeof what_;
        box_ = FindTextA(&find_);
        if (!box_) return;
    }
    SetActiveWindow(box_);
    HWND field = GetDlgItem(box_, edt1);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
}

void ConsoleFind::CloseFindBox()
{
    if (box_ && IsWindow(box_)) DestroyWindow(box_);
    box_ = nullptr;
}

void ConsoleFind::OnFindMessage(const FINDREPLACEA& find)
{
    if (find.Flags & FR_DIALOGTERM) {
        box_ = nullptr;
        return;
    }
    if (find.Flags & FR_FINDNEXT) {
        matchCase_ = (find.Flags & FR_MATCHCASE) != 0;
        FindNext();
    }
}

// Down from the caret (the end of what is selected, so that a found text is passed over next time),
// then from the top. The console's output goes on meanwhile: it keeps the selection where its text is.
void ConsoleFind::FindNext()
{
    if (!what_[0]) {
        OpenFindBox();
        return;
    }
    try {
        std::wstring text = WindowTextW(edit_), what = Widen(what_);
        DWORD start = 0, end = 0;
        SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        size_t at = FindInText(text, what, end, matchCase_);
        if (at == std::wstring::npos) at = FindInText(text, what, 0, matchCase_);
        if (at != std::wstring::npos) {
            SendMessageA(edit_, EM_SETSEL, at, static_cast<LPARAM>(at + what.size()));
            SendMessageA(edit_, EM_SCROLLCARET, 0, 0);
            return;
        }
    } catch (const std::bad_alloc&) {
        // The console holds at most a megabyte; without room for a copy of it there is no search.
    }
    char message[sizeof what_ + 32] = "Cannot find \"";
    AppendText(message, what_);
    AppendText(message, "\".");
    consoleFindPlatform.messageBox(box_ ? box_ : window_, message, "Vantry", MB_ICONINFORMATION);
}

void ConsoleFind::ShowMenu(int x, int y)
{
    HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_CONSOLE_MENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    DWORD start = 0, end = 0;
    SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EnableMenuItem(popup, ID_CONSOLE_COPY, MF_BYCOMMAND | (start != end ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(popup, ID_CONSOLE_FIND_NEXT, MF_BYCOMMAND | (what_[0] ? MF_ENABLED : MF_GRAYED));
    if (x == -1 && y == -1) {
        // From the keyboard (Shift+F10, the menu key): at the caret, or the text's corner.
        LRESULT at = SendMessageA(edit_, EM_POSFROMCHAR, end, 0);
        POINT point = { at == -1 ? 0 : GET_X_LPARAM(at), at == -1 ? 0 : GET_Y_LPARAM(at) };
        ClientToScreen(edit_, &point);
        x = point.x;
        y = point.y;
    }
    UINT command = consoleFindPlatform.trackPopupMenu(popup, x, y, window_);
    DestroyMenu(menu);
    switch (command) {
    case ID_CONSOLE_COPY: SendMessageA(edit_, WM_COPY, 0, 0); break;
    case ID_CONSOLE_SELECT_ALL: SendMessageA(edit_, EM_SETSEL, 0, -1); break;
    case ID_CONSOLE_FIND: OpenFindBox(); break;
    case ID_CONSOLE_FIND_NEXT: FindNext(); break;
    case ID_CONSOLE_SAVE: SaveConsoleOutput(edit_, window_); break;
    case ID_CONSOLE_CLEAR: SetWindowTextA(edit_, ""); break; // the file keeps everything
    default: break;
    }
}
