// From a freshly created console to one of four outcomes: bad home directory, no Java, the server
// started at once, or the initialiser run first.
#include "app/ConsoleDialog.h"

#include "ui/Messages.h"
#include "framework/Text.h"
#include "java/JavaPathDialog.h"
#include "java/JavaSearch.h"
#include "java/Settings.h"
#include "ui/TrayZoom.h"

namespace {

const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

} // namespace

void ConsoleDialog::RunStartupSequence()
{
    CopyText(javaExePath, "Bad path: java.exe");
    CopyText(homeDir, "Bad path: Vty Home");
    LoadSettings();

    if (hideOnStartup.GetCheck() == 0) ShowConsole(m_hWnd);

    if (!FileExists(homeDir)) {
        AppendConsoleText("Bad path in HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantry\\Vantrybench\\VtyHome\r\n");
        AppendConsoleText("Exit.\r\n");
        return;
    }

    // A runtime shipped with this installation is taken first and never remembered: JavaExe is shared
    // by every installation on the machine, and another one must not run this one's runtime.
    bool bundled = FindBundledJava(homeDir, javaExePath, sizeof javaExePath);
    // Only a file can be java.exe: a folder of that name would fail every launch and be kept for ever.
    bool javaFound = bundled || IsFile(javaExePath);
    if (!javaFound) {
        if (SearchJavaInstallation(javaExePath, sizeof javaExePath, kJdkKey) == -1) {
            int jreResult = SearchJavaInstallation(javaExePath, sizeof javaExePath, kJreKey);
            JavaPathDialog dialog(this);
            if (jreResult != -1) {
                MessageBoxA(nullptr,
                            "A JRE has been found but not a JDK.\n\nVantry requires JDK 1.2 or 1.3.\n"
                            "If you have a JDK enter its path in the next window.\n\nNote:\n"
                            "The JRE can be used but some features will be missing.   ",
                            "JDK not found.", MB_ICONINFORMATION);
                dialog.path = javaExePath;
            }
            dialog.javas = FindJavaInstallations(homeDir);
            if (jreResult == -1 && !dialog.javas.empty()) dialog.path = dialog.javas.front().path;
            // A path longer than the buffer (set into the edit by another program; typing stops
            // earlier) is refused: cut, it would name another file.
            if (dialog.DoModal() == IDOK && dialog.path.size() < sizeof javaExePath)
                CopyText(javaExePath, dialog.path.c_str());
        }
        if (IsFile(javaExePath)) {
            javaFound = true;
            SaveJavaExe();
        }
    }

    if (!javaFound) {
        AppendConsoleText(javaExePath);
        AppendConsoleText(
            " file not found.\r\nYou need first to install Java 1.2 or 1.3 then launch Vantry.exe program\r\n");
        TrayStopped();
        return;
    }

    if (FileExists(markerPath)) {
        PostMessage(WM_START_SERVER, 0, 0);
        return;
    }

    initRunner.SetNotify(this, WM_START_SERVER);
    const std::string options = ReadJavaOptions();
    if (!initRunner.Launch(this, javaExePath, homeDir, options.c_str()))
        ReportLaunchFailure("the initialiser", options.c_str());
}
