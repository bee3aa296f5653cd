// Asks the user for the path of java.exe; OK takes only the path of a file.
#pragma once
#include "framework/Dialog.h"
#include "framework/FileDialog.h"

#include <string>

// Where "Download Java" points: http://<host>/j2se/1.3.
constexpr char kJavaDownloadHost[] = "java.sun.com";

// How "Browse" runs the file dialog; tests answer it instead of a user.
struct JavaPathDialogPlatform {
    INT_PTR (*runFileDialog)(CFileDialog& dialog); // IDOK or IDCANCEL
};
extern JavaPathDialogPlatform javaPathDialogPlatform;

class JavaPathDialog : public CDialog {
public:
    explicit JavaPathDialog(CWnd* parent);

    std::string path;
    CEdit pathEdit;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnBrowse();
    void OnDownloadJava();

    DECLARE_MESSAGE_MAP()
};
