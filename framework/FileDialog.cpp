#include "FileDialog.h"

#include "Text.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : m_ofn(), open_(openFileDialog), filter_(filter ? filter : ""),
      defaultExtension_(defaultExtension ? defaultExtension : ""), file_()
{
    for (char& c : filter_)
        if (c == '|') c = '\0';
    if (fileName) CopyText(file_, fileName);

    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    m_ofn.lpstrFile = file_;
    m_ofn.nMaxFile = sizeof file_;
    m_ofn.lpstrDefExt = defaultExtension_.empty() ? nullptr : defaultExtension_.c_str();
    m_ofn.Flags = flags;
}

INT_PTR CFileDialog::DoModal()
{
    BOOL chosen = open_ ? GetOpenFileNameA(&m_ofn) : GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}
