// Windows with message maps, in the manner of the classic application framework: every message of a
// window goes through the virtual OnWndMsg, which looks it up in the class's message map chain;
// whatever no entry handles goes on to the window's own default processing.
#pragma once
#include <windows.h>
#include <string>

class CWnd;

using AfxVoidHandler = void (CWnd::*)();
using AfxResultHandler = LRESULT (CWnd::*)();

struct MessageMapEntry {
    UINT message;          // 0 ends a table
    UINT code;             // WM_COMMAND only: notification code (0 for BN_CLICKED and menus)
    UINT id;               // WM_COMMAND only: control or menu command id
    AfxVoidHandler onVoid; // one of the two handlers is set
    AfxResultHandler onResult;
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
};

// The macros keep the shape of the tables they write.
// clang-format off
#define DECLARE_MESSAGE_MAP()                                   \
public:                                                         \
    static const MessageMap* GetThisMessageMap();               \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(Class, Base)                                      \
    const MessageMap* Class::GetMessageMap() const { return GetThisMessageMap(); } \
    const MessageMap* Class::GetThisMessageMap()                            \
    {                                                                       \
        using ThisClass [[maybe_unused]] = Class;                                          \
        using TheBase = Base;                                               \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                   \
            { 0, 0, 0, nullptr, nullptr } };                                \
        static const MessageMap map = { TheBase::GetThisMessageMap(), entries }; \
        return &map;                                                        \
    }

#define AFX_VOID(fn) static_cast<AfxVoidHandler>(&ThisClass::fn)
#define ON_COMMAND(id, fn) { WM_COMMAND, 0, (id), AFX_VOID(fn), nullptr },
#define ON_BN_CLICKED(id, fn) { WM_COMMAND, BN_CLICKED, (id), AFX_VOID(fn), nullptr },
#define ON_WM_PAINT() { WM_PAINT, 0, 0, AFX_VOID(OnPaint), nullptr },
#define ON_WM_CLOSE() { WM_CLOSE, 0, 0, AFX_VOID(OnClose), nullptr },
#define ON_WM_QUERYDRAGICON() \
    { WM_QUERYDRAGICON, 0, 0, nullptr, static_cast<AfxResultHandler>(&ThisClass::OnQueryDragIcon) },
// clang-format on

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void SetFocus() { ::SetFocus(m_hWnd); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    std::string GetWindowText() const;
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }

    // Looks the message up in the message map chain and calls the handler; FALSE when nothing handled it.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The help hook: the application calls it on the main window for the help key.
    virtual void WinHelp(DWORD_PTR data, UINT command);
    // The main window's look at each message of the loop before it is dispatched; TRUE when it
    // has dealt with the message.
    virtual BOOL PreTranslateMessage(MSG* msg);

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

protected:
    // The default processing of the message being handled, for handlers that want it as well.
    LRESULT Default();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void SubclassWindow(HWND window);

private:
    static LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC oldProc_ = nullptr;
    const MSG* current_ = nullptr;
};

// Control wrappers: bound to a dialog's child by DDX_Control, never subclassed.
class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class CEdit : public CWnd {};

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds control to the dialog's child window id.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

HINSTANCE AfxGetResourceHandle();
