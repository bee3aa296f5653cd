// The system's file-open dialog.
#pragma once
#include "Wnd.h"

#include <commdlg.h>
#include <string>

class CFileDialog {
public:
    // filter: "Name|pattern|Name|pattern||", as the classic framework takes it.
    CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                const char* filter, CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    INT_PTR DoModal(); // IDOK or IDCANCEL
    std::string GetPathName() const { return file_; }

    OPENFILENAMEA m_ofn;

private:
    BOOL open_;
    std::string filter_;
    std::string defaultExtension_;
    char file_[1024];
};
