#include "java/JavaPathDialog.h"

#include "framework/Foreground.h"
#include "framework/Paths.h"
#include "framework/Shell.h"
#include "res/resource.h"

#include <algorithm>

namespace {

// The combo box writes the chosen line into its edit after telling of the choice; the path goes in
// after that.
constexpr UINT WM_SHOW_CHOSEN_PATH = WM_APP + 1;

INT_PTR SystemRunFileDialog(CFileDialog& dialog) { return dialog.DoModal(); }

} // namespace

// clang-format off
BEGIN_MESSAGE_MAP(JavaPathDialog, CDialog)
    ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
    ON_BN_CLICKED(IDC_DOWNLOAD_JAVA, OnDownloadJava)
    { WM_COMMAND, CBN_SELCHANGE, IDC_JAVA_PATH, AFX_VOID(OnJavaChosen), nullptr },
    { WM_SHOW_CHOSEN_PATH, 0, 0, AFX_VOID(ShowChosenPath), nullptr },
END_MESSAGE_MAP()
// clang-format on

JavaPathDialogPlatform javaPathDialogPlatform = { &SystemRunFileDialog };

JavaPathDialog::JavaPathDialog(CWnd* parent) : CDialog(IDD_JAVA_NOT_FOUND, parent) {}

JavaPathDialog::JavaPathDialog(CWnd* parent, UINT templateId) : CDialog(templateId, parent) {}

void FillJavaChoices(HWND combo, const std::vector<InstalledJava>& javas)
{
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    HDC dc = GetDC(combo);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(combo, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (size_t i = 0; i < javas.size(); ++i) {
        std::string label = JavaLabel(javas[i]);
        LRESULT item = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
        SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
        SIZE size = {};
        GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, font);
    ReleaseDC(combo, dc);
    // Paths are long: the open list may be wider than the box, so that whole lines show.
    SendMessageA(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + GetSystemMetrics(SM_CXVSCROLL) + 8), 0);
}

const InstalledJava* ChosenJava(HWND combo, const std::vector<InstalledJava>& javas)
{
    LRESULT item = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR) return nullptr;
    size_t index = static_cast<size_t>(SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(item), 0));
    return index < javas.size() ? &javas[index] : nullptr;
}

void JavaPathDialog::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_JAVA_PATH, pathBox);
    // What is typed, shown and read is the drop-down's edit field.
    pathEdit.m_hWnd = FindWindowExA(pathBox.m_hWnd, nullptr, "Edit", nullptr);
}

BOOL JavaPathDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The caller keeps the answer in a path buffer; what the user types must fit it.
    pathEdit.SendMessage(EM_SETLIMITTEXT, kPathSize - 1);
    FillJavaChoices(pathBox.m_hWnd, javas);
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

void JavaPathDialog::OnJavaChosen() { PostMessage(WM_SHOW_CHOSEN_PATH); }

void JavaPathDialog::ShowChosenPath()
{
    const InstalledJava* chosen = ChosenJava(pathBox.m_hWnd, javas);
    if (chosen) pathEdit.SetWindowText(chosen->path.c_str());
}

void JavaPathDialog::OnDownloadJava()
{
    std::string address = std::string("http://") + kJavaDownloadHost + "/j2se/1.3";
    ShellOpen(address.c_str());
}
