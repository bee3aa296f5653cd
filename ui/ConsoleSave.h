// Saving the console's text in a file the user chooses.
#pragma once
#include "framework/FileDialog.h"

// The system calls saving depends on; tests put their own answers here.
struct ConsoleSavePlatform {
    INT_PTR (*runFileDialog)(CFileDialog& dialog); // IDOK with the chosen path in the dialog, or IDCANCEL
    int (*messageBox)(HWND owner, const char* text, const char* caption, UINT type);
};
extern ConsoleSavePlatform consoleSavePlatform;
ConsoleSavePlatform SystemConsoleSavePlatform();

// The name the file dialog offers, in the user's documents folder.
constexpr char kConsoleFileName[] = "Vantry-console.txt";

// Asks where to save (the dialog asks before a file is replaced), then writes the console's whole
// text as it is shown; a failed write is reported in a message box. 1 when saved, 0 otherwise.
int SaveConsoleOutput(HWND edit, HWND owner);
