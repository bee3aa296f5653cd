#include "java/JavaPathDialog.h"

#include "res/resource.h"

BEGIN_MESSAGE_MAP(JavaPathDialog, CDialog)
END_MESSAGE_MAP()

JavaPathDialog::JavaPathDialog(CWnd* parent) : CDialog(IDD_JAVA_NOT_FOUND, parent) {}
void JavaPathDialog::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_JAVA_PATH, pathEdit); }
BOOL JavaPathDialog::OnInitDialog() { CDialog::OnInitDialog(); pathEdit.SetWindowText(path.c_str()); return TRUE; }
void JavaPathDialog::OnOK() { path = pathEdit.GetWindowText(); CDialog::OnOK(); }
void JavaPathDialog::OnBrowse() {}
void JavaPathDialog::OnDownloadJava() {}
