// Dialogs from resource templates, modeless (Create) or modal (DoModal).
#pragma once
#include "Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : templateId_(templateId), parent_(parent) {}
    ~CDialog() override;

    BOOL Create(UINT templateId, CWnd* parent = nullptr); // modeless; the template decides visibility
    INT_PTR DoModal();                                    // runs its own message loop until EndDialog
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog(); // runs the data exchange
    virtual void OnOK();         // data exchange, then EndDialog(IDOK)
    virtual void OnCancel();     // EndDialog(IDCANCEL)
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL PreTranslateMessage(MSG* msg) override; // the dialog manager's keyboard handling

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CenterOnScreen();

    UINT templateId_;
    CWnd* parent_;
};
