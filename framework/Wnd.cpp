#include "Wnd.h"

CWnd::~CWnd()
{
    // A subclassed window that outlives its object must not call into freed memory.
    if (m_hWnd && oldProc_ && IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    }
}

std::string CWnd::GetWindowText() const
{
    int length = GetWindowTextLengthA(m_hWnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(m_hWnd, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = { { 0, 0, 0, nullptr, nullptr } };
    static const MessageMap map = { nullptr, entries };
    return &map;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    (void)lParam;
    UINT code = 0, id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    }
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry* e = map->entries; e->message; ++e) {
            if (e->message != message) continue;
            if (message == WM_COMMAND && (e->code != code || e->id != id)) continue;
            LRESULT result = 0;
            if (e->onVoid) (this->*e->onVoid)();
            else result = (this->*e->onResult)();
            if (pResult) *pResult = result;
            return TRUE;
        }
    }
    return FALSE;
}

void CWnd::WinHelp(DWORD_PTR, UINT) {}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::Default()
{
    if (!current_) return 0;
    return CallWindowProcA(oldProc_ ? oldProc_ : DefWindowProcA, m_hWnd, current_->message, current_->wParam,
                           current_->lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg = {};
    msg.hwnd = m_hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    const MSG* outer = current_;
    current_ = &msg;
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = Default();
    current_ = outer;
    return result;
}

void CWnd::SubclassWindow(HWND window)
{
    m_hWnd = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    oldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* self = reinterpret_cast<CWnd*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WNDPROC old = self->oldProc_;
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->oldProc_ = nullptr;
        self->m_hWnd = nullptr;
        return CallWindowProcA(old, window, message, wParam, lParam);
    }
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the window manager; a handler that ran out of memory loses its message.
        return 0;
    }
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    // Bound anew on every exchange: a dialog run twice has new controls the second time.
    control.m_hWnd = GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

HINSTANCE AfxGetResourceHandle() { return GetModuleHandleA(nullptr); }
