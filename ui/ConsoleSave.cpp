#include "ui/ConsoleSave.h"

#include "framework/Handle.h"

#include <shlobj.h>

#include <new>
#include <string>

namespace {

INT_PTR SystemRunFileDialog(CFileDialog& dialog) { return dialog.DoModal(); }

int SystemMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return MessageBoxA(owner, text, caption, type);
}

// The console's text byte for byte: its lines already end in CR LF. A file cut short is removed, so
// that it cannot pass for the console's output; one that could not be opened is left as it was.
int WriteWholeFile(const char* path, const std::string& text)
{
    Handle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    bool whole = true;
    for (size_t done = 0; whole && done < text.size();) {
        DWORD chunk = text.size() - done > (1u << 20) ? (1u << 20) : static_cast<DWORD>(text.size() - done);
        DWORD written = 0;
        whole = WriteFile(file.Get(), text.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    if (whole && CloseHandle(file.Release())) return 1;
    DWORD error = GetLastError();
    file.Reset();
    DeleteFileA(path);
    SetLastError(error);
    return 0;
}

void ReportFailure(HWND owner, const char* path, DWORD error)
{
    std::string message = std::string("The console's output could not be saved in \"") + path + "\".";
    char reason[512] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                       sizeof reason, nullptr))
        message += std::string("\n\n") + reason;
    consoleSavePlatform.messageBox(owner, message.c_str(), "Vantry", MB_ICONEXCLAMATION);
}

} // namespace

ConsoleSavePlatform SystemConsoleSavePlatform() { return { &SystemRunFileDialog, &SystemMessageBox }; }
ConsoleSavePlatform consoleSavePlatform = SystemConsoleSavePlatform();

int SaveConsoleOutput(HWND edit, HWND owner)
{
    try {
        char documents[MAX_PATH] = "";
        if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
            documents[0] = '\0';
        CFileDialog dialog(FALSE, "txt", kConsoleFileName,
                           OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN,
                           "Text files (*.txt)|*.txt|All files (*.*)|*.*||");
        dialog.m_ofn.hwndOwner = owner;
        dialog.m_ofn.lpstrInitialDir = documents[0] ? documents : nullptr;
        if (consoleSavePlatform.runFileDialog(dialog) != IDOK) return 0;
        std::string path = dialog.GetPathName();

        // Taken after the dialog: what the console shows at the moment the user confirms.
        std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
        int got = GetWindowTextA(edit, &text[0], static_cast<int>(text.size()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);

        if (WriteWholeFile(path.c_str(), text)) return 1;
        ReportFailure(owner, path.c_str(), GetLastError());
    } catch (const std::bad_alloc&) {
        consoleSavePlatform.messageBox(owner, "The console's output could not be saved: out of memory.", "Vantry",
                                       MB_ICONEXCLAMATION);
    }
    return 0;
}
