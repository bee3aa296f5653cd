#include "java/JavaPathDialog.h"

#include "framework/Foreground.h"
#include "framework/Paths.h"
#include "framework/Shell.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(JavaPathDialog, CDialog)
    ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
    ON_BN_CLICKED(IDC_DOWNLOAD_JAVA, OnDownloadJava)
END_MESSAGE_MAP()

namespace {

INT_PTR SystemRunFileDialog(CFileDialog& dialog) { return dialog.DoModal(); }

} // namespace

JavaPathDialogPlatform javaPathDialogPlatform = { &SystemRunFileDialog };

JavaPathDialog::JavaPathDialog(CWnd* parent) : CDialog(IDD_JAVA_NOT_FOUND, parent) {}

void JavaPathDialog::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_JAVA_PATH, pathEdit); }

BOOL JavaPathDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The caller keeps the answer in a path buffer; what the user types must fit it.
    pathEdit.SendMessage(EM_SETLIMITTEXT, kPathSize - 1);
    pathEdit.SetWindowText(path.c_str());
    // Owned by a hidden console ("Hide on startup"), the dialog would have no taskbar button, and at
    // log-on it opens behind other windows: the launcher would look hung.
    SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    ShowWindow(SW_SHOW); // shown now, so that a refused foreground flashes its button
    AskForTheForeground(m_hWnd);
    return TRUE;
}

void JavaPathDialog::OnOK()
{
    std::string typed = pathEdit.GetWindowText();
    // Only a file can be run: a folder would fail at the launch and be remembered, a path to nothing
    // would end the start-up. The user is told at once and can correct it, or cancel.
    if (!IsFile(typed.c_str())) {
        std::string text = typed.empty() ? std::string("Please enter the path of java.exe.")
                                         : "\"" + typed + "\" is not a file.\n\nPlease enter the path of java.exe.";
        MessageBoxA(m_hWnd, text.c_str(), "Vantry", MB_ICONEXCLAMATION);
        pathEdit.SetFocus();
        pathEdit.SendMessage(EM_SETSEL, 0, -1);
        return;
    }
    path = typed;
    CDialog::OnOK();
}

void JavaPathDialog::OnBrowse()
{
    // Owned by this dialog, so that it cannot be confirmed or browsed again behind the file dialog.
    // The default extension is what a name typed without one gets: "exe", not a pattern.
    CFileDialog dialog(TRUE, "exe", "java.exe",
                       OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON,
                       "Java program (java.exe)|java.exe||", this);
    if (javaPathDialogPlatform.runFileDialog(dialog) != IDOK) return;
    std::string chosen = dialog.GetPathName();
    // A path the launcher could not hold is refused rather than cut into another path.
    if (chosen.size() >= kPathSize) return;
    pathEdit.SetWindowText(chosen.c_str());
}

void JavaPathDialog::OnDownloadJava()
{
    std::string address = std::string("http://") + kJavaDownloadHost + "/j2se/1.3";
    ShellOpen(address.c_str());
}
