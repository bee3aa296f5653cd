#include "Dialog.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::~CDialog()
{
    if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    templateId_ = templateId;
    parent_ = parent;
    HWND window =
        CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId), parent ? parent->m_hWnd : nullptr,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR CDialog::DoModal()
{
    return DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId_), parent_ ? parent_->m_hWnd : nullptr,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return m_hWnd && IsDialogMessageA(m_hWnd, msg); }

// Templates at 0,0 without an owner would open in the screen's corner; centre them as the
// classic framework does.
void CDialog::CenterOnScreen()
{
    RECT window, area;
    if (!GetWindowRect(m_hWnd, &window)) return;
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner)) GetWindowRect(owner, &area);
    else SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int width = window.right - window.left, height = window.bottom - window.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Only WM_INITDIALOG arrives here with our object: it subclasses the dialog, so that every later
// message goes through CWnd::WindowProc; returning FALSE leaves the rest to the dialog manager.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG) return FALSE;
    CDialog* self = reinterpret_cast<CDialog*>(lParam);
    self->SubclassWindow(window);
    self->CenterOnScreen();
    try {
        return self->OnInitDialog();
    } catch (...) {
        return TRUE;
    }
}
