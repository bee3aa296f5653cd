// Asks the user for the path of java.exe; OK takes only the path of a file.
#pragma once
#include "framework/Dialog.h"
#include "framework/FileDialog.h"
#include "java/JavaSearch.h"

#include <string>

// Where "Download Java" points: http://<host>/j2se/1.3.
constexpr char kJavaDownloadHost[] = "java.sun.com";

// How "Browse" runs the file dialog; tests answer it instead of a user.
struct JavaPathDialogPlatform {
    INT_PTR (*runFileDialog)(CFileDialog& dialog); // IDOK or IDCANCEL
};
extern JavaPathDialogPlatform javaPathDialogPlatform;

// Fills a drop-down combo box with the list, one "version, vendor, bits: path" line each.
void FillJavaChoices(HWND combo, const std::vector<InstalledJava>& javas);
// The Java chosen in a combo that FillJavaChoices filled from javas, or nullptr.
const InstalledJava* ChosenJava(HWND combo, const std::vector<InstalledJava>& javas);

class JavaPathDialog : public CDialog {
public:
    explicit JavaPathDialog(CWnd* parent);

    std::string path;
    std::vector<InstalledJava> javas; // offered in the path box's list
    CWnd pathBox;                     // the drop-down combo box IDC_JAVA_PATH
    CEdit pathEdit;                   // its edit field

protected:
    JavaPathDialog(CWnd* parent, UINT templateId); // a window with the same Java row
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnBrowse();
    void OnDownloadJava();
    void OnJavaChosen();
    void ShowChosenPath();

    DECLARE_MESSAGE_MAP()
};
