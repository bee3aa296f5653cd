// The Java path dialog, driven through its real window while DoModal runs on the test's thread.
#include "framework/Paths.h"
#include "framework/Shell.h"
#include "framework/Text.h"
#include "framework/Foreground.h"
#include "java/JavaPathDialog.h"
#include "java/SettingsDialog.h"
#include "res/resource.h"
#include "support/DialogTemplate.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char kCaption[] = "Vantry: Java not found";

// --- Driving a modal dialog --------------------------------------------------------------------------

// One action on the open dialog; false when it has to be tried again at the next tick.
using Step = std::function<bool(HWND dialog)>;

struct Drive {
    std::vector<Step> steps;
    size_t next = 0;
    int idleTicks = 0;
    bool abandoned = false;
};
Drive* drive = nullptr;

struct WindowSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char text[128] = "";
    GetWindowTextA(window, text, sizeof text);
    if (std::string(text) != search->caption || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of this thread with that caption.
HWND FindOwnWindow(const char* caption)
{
    WindowSearch search = { caption, nullptr };
    EnumThreadWindows(GetCurrentThreadId(), &MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Modal loops dispatch this thread's timer messages: each tick takes the next step.
void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!drive) return;
    HWND dialog = FindOwnWindow(kCaption) ? FindOwnWindow(kCaption) : FindOwnWindow("Vantry Settings");
    if (dialog && drive->next < drive->steps.size()) {
        // Counted before it runs: a step that opens a modal window (a click that brings a message box)
        // returns only once that is closed, and the ticks in between take the steps after it.
        size_t step = drive->next++;
        if (!drive->steps[step](dialog)) drive->next = step;
        return;
    }
    // A dialog the steps did not end (or that never opened) must not hang the test program.
    if (++drive->idleTicks > 200) {
        drive->abandoned = true;
        if (dialog) EndDialog(dialog, IDABORT);
    }
}

INT_PTR RunDialog(JavaPathDialog& dialog, std::vector<Step> steps, bool* allStepsRan = nullptr)
{
    Drive state;
    state.steps = std::move(steps);
    drive = &state;
    UINT_PTR timer = SetTimer(nullptr, 0, 30, &OnTick);
    INT_PTR result = dialog.DoModal();
    KillTimer(nullptr, timer);
    drive = nullptr;
    EXPECT_FALSE(state.abandoned) << "the dialog did not end by the test's steps";
    if (allStepsRan) *allStepsRan = state.next == state.steps.size();
    return result;
}

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
// The path box is a drop-down combo box: what the user types and reads is its edit field.
HWND PathEdit(HWND dialog) { return FindWindowExA(Item(dialog, IDC_JAVA_PATH), nullptr, "Edit", nullptr); }

std::string TextOf(HWND window)
{
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

Step Click(int id)
{
    return [id](HWND dialog) {
        SendMessageA(Item(dialog, id), BM_CLICK, 0, 0);
        return true;
    };
}
Step SetItemText(int id, std::string text)
{
    return [id, text](HWND d) { return SetWindowTextA(id == IDC_JAVA_PATH ? PathEdit(d) : Item(d, id), text.c_str()); };
}
Step SetEditText(std::string text) { return SetItemText(IDC_JAVA_PATH, text); }
// A key pressed in the edit goes through the dialog's own loop, as the user's would.
Step PressKey(WPARAM key)
{
    return [key](HWND dialog) {
        HWND edit = PathEdit(dialog);
        SetFocus(edit);
        PostMessageA(edit, WM_KEYDOWN, key, 1);
        PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
        return true;
    };
}
Step Observe(std::function<void(HWND)> look)
{
    return [look](HWND dialog) {
        look(dialog);
        return true;
    };
}
// Waits for the dialog's message box, keeps its text and presses its OK.
Step AnswerMessageBox(std::string* text)
{
    return [text](HWND) {
        HWND box = FindOwnWindow("Vantry");
        if (!box) return false;
        *text = TextOf(GetDlgItem(box, 0xFFFF)); // the message's static control
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return true;
    };
}

// --- The file dialog seam and the shell ------------------------------------------------------------

struct FileDialogCall {
    HWND owner;
    DWORD flags;
    std::string filter; // with its NULs, up to the double NUL
    std::string fileName;
    std::string defaultExtension;
};

// The Java path dialog whose file dialog this test answers, one at a time.
class ScriptedPathDialog : public JavaPathDialog {
public:
    ScriptedPathDialog() : JavaPathDialog(nullptr) { current_ = this; }
    ~ScriptedPathDialog() override { current_ = nullptr; }

    // Answers to give, in turn: a path chooses it, an empty text cancels.
    std::vector<std::string> answers;
    std::vector<FileDialogCall> calls;

private:
    static INT_PTR Run(CFileDialog& dialog) { return current_->Answer(dialog); }
    INT_PTR Answer(CFileDialog& dialog)
    {
        const OPENFILENAMEA& ofn = dialog.m_ofn;
        FileDialogCall call;
        call.owner = ofn.hwndOwner;
        call.flags = ofn.Flags;
        if (ofn.lpstrFilter) {
            const char* end = ofn.lpstrFilter;
            while (end[0] || end[1]) ++end;
            call.filter.assign(ofn.lpstrFilter, end + 2);
        }
        call.fileName = ofn.lpstrFile ? ofn.lpstrFile : "";
        call.defaultExtension = ofn.lpstrDefExt ? ofn.lpstrDefExt : "";
        calls.push_back(call);

        std::string answer = calls.size() <= answers.size() ? answers[calls.size() - 1] : "";
        if (answer.empty()) return IDCANCEL;
        CopyText(ofn.lpstrFile, ofn.nMaxFile, answer.c_str());
        return IDOK;
    }
    static ScriptedPathDialog* current_;
    ScopedOverride<decltype(javaPathDialogPlatform.runFileDialog)> run_{ javaPathDialogPlatform.runFileDialog, &Run };
};
ScriptedPathDialog* ScriptedPathDialog::current_ = nullptr;

std::vector<std::string> opened;
void RecordOpen(const char* target) { opened.emplace_back(target); }

class JavaPathDialogTest : public ::testing::Test {
protected:
    void SetUp() override { opened.clear(); }
    ScopedOverride<decltype(shellPlatform.open)> open{ shellPlatform.open,
                                                       &RecordOpen }; // nothing reaches the real shell
};

// --- Opening and ending ---------------------------------------------------------------------------------

TEST_F(JavaPathDialogTest, OpensWithTheGivenPathAndTheFocusOnOk)
{
    for (std::string given : { std::string(), std::string("C:\\jre1.3.1\\bin\\java.exe") }) {
        SCOPED_TRACE(given);
        JavaPathDialog dialog(nullptr);
        dialog.path = given;
        std::string shown = "(not seen)";
        bool focusOnOk = false;
        INT_PTR result = RunDialog(dialog, { Observe([&](HWND d) {
                                                 shown = TextOf(PathEdit(d));
                                                 focusOnOk = GetFocus() == Item(d, IDOK);
                                             }),
                                             Click(IDCANCEL) });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(given, shown);
        EXPECT_TRUE(focusOnOk);
        EXPECT_EQ(given, dialog.path);
    }
}

// Asked for at log-on or from a hidden console, the dialog has a taskbar button of its own and asks
// for the foreground; refused it, it flashes until the user comes to it.
BOOL granted = TRUE;
std::string asked;
BOOL WINAPI AskForeground(HWND window)
{
    asked += IsWindowVisible(window) ? "foreground;" : "foreground while hidden;";
    return granted;
}
BOOL WINAPI Flash(PFLASHWINFO info)
{
    asked += info->dwFlags == (FLASHW_ALL | FLASHW_TIMERNOFG) ? "flash until in front;" : "flash;";
    return TRUE;
}

TEST_F(JavaPathDialogTest, HasATaskbarButtonAsksForTheForegroundAndFlashesWhenRefused)
{
    ScopedOverride<ForegroundPlatform> foreground{ foregroundPlatform, ForegroundPlatform{ &AskForeground, &Flash } };
    for (BOOL given : { TRUE, FALSE }) {
        granted = given;
        asked.clear();
        JavaPathDialog dialog(nullptr);
        LONG_PTR style = 0;
        RunDialog(dialog, { Observe([&](HWND d) { style = GetWindowLongPtrA(d, GWL_EXSTYLE); }), Click(IDCANCEL) });
        EXPECT_TRUE(style & WS_EX_APPWINDOW);
        EXPECT_EQ(given ? "foreground;" : "foreground;flash until in front;", asked);
    }
}

TEST_F(JavaPathDialogTest, OkTakesOnlyAFileAndOtherwiseSaysSoAndStaysOpenForAnotherPath)
{
    const std::string folder = TempDir("javapath") + "\\java.exe";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string file = TestChildPath();
    const std::string kAsk = "Please enter the path of java.exe.";
    const struct {
        const char* what;
        std::string typed, message;
    } refused[] = {
        { "nothing", "", kAsk },
        { "a folder named java.exe", folder, "\"" + folder + "\" is not a file.\n\n" + kAsk },
        { "a path to nothing", "C:\\no such\\java.exe", "\"C:\\no such\\java.exe\" is not a file.\n\n" + kAsk },
        { "not a path at all", "not a path", "\"not a path\" is not a file.\n\n" + kAsk },
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        JavaPathDialog dialog(nullptr);
        dialog.path = "C:\\given\\java.exe";
        std::string message = "(none)", edit, pathAfterRefusal;
        bool open = false, focusOnEdit = false;
        INT_PTR result =
            RunDialog(dialog, { SetEditText(c.typed), Click(IDOK), AnswerMessageBox(&message), Observe([&](HWND d) {
                                    open = IsWindowVisible(d) && IsWindowEnabled(d);
                                    edit = TextOf(PathEdit(d));
                                    focusOnEdit = GetFocus() == PathEdit(d);
                                    pathAfterRefusal = dialog.path;
                                }),
                                SetEditText(file), Click(IDOK) });
        EXPECT_EQ(c.message, message);
        EXPECT_TRUE(open);
        EXPECT_EQ(c.typed, edit);
        EXPECT_TRUE(focusOnEdit);
        EXPECT_EQ("C:\\given\\java.exe", pathAfterRefusal);
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(file, dialog.path);
    }
}

TEST_F(JavaPathDialogTest, CancelEscAndTheCloseBoxKeepTheCallersPathAfterAnEdit)
{
    Step closeBox = [](HWND d) {
        PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    };
    const struct {
        const char* what;
        Step end;
    } ways[] = { { "Cancel", Click(IDCANCEL) }, { "Esc", PressKey(VK_ESCAPE) }, { "close box", closeBox } };
    for (const auto& way : ways) {
        for (const char* given : { "", "C:\\jre1.3.1\\bin\\java.exe" }) {
            SCOPED_TRACE(std::string(way.what) + " with \"" + given + "\"");
            JavaPathDialog dialog(nullptr);
            dialog.path = given;
            EXPECT_EQ(IDCANCEL, RunDialog(dialog, { SetEditText("C:\\edited\\java.exe"), way.end }));
            EXPECT_EQ(given, dialog.path);
        }
    }
}

TEST_F(JavaPathDialogTest, EnterInTheEditPressesOk)
{
    JavaPathDialog dialog(nullptr);
    EXPECT_EQ(IDOK, RunDialog(dialog, { SetEditText(TestChildPath()), PressKey(VK_RETURN) }));
    EXPECT_EQ(TestChildPath(), dialog.path);
}

TEST_F(JavaPathDialogTest, TheEditTakesNoMoreThanAPathBufferHolds)
{
    JavaPathDialog dialog(nullptr);
    LRESULT limit = 0;
    std::string typed;
    INT_PTR result =
        RunDialog(dialog, { Observe([&](HWND d) {
                                HWND edit = PathEdit(d);
                                limit = SendMessageA(edit, EM_GETLIMITTEXT, 0, 0);
                                std::string pasted(800, 'p');
                                SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pasted.c_str()));
                                SendMessageA(edit, WM_CHAR, 'x', 1);
                                typed = TextOf(edit);
                            }),
                            Click(IDCANCEL) });
    EXPECT_EQ(IDCANCEL, result);
    // A path buffer holds 779 characters and the NUL.
    EXPECT_EQ(779, limit);
    EXPECT_EQ(std::string(779, 'p'), typed);
}

TEST_F(JavaPathDialogTest, ListsEveryJavaFoundAndChoosingOnePutsItsPathInTheEdit)
{
    JavaPathDialog dialog(nullptr);
    dialog.javas = { { "1.8", "Temurin", 32, "C:\\jdk8\\bin\\java.exe" }, { "17", "", 64, "D:\\jdk\\bin\\java.exe" } };
    char line[256] = "";
    std::vector<std::string> chosen; // as the user's arrow keys choose one line, then the next
    auto look = Observe([&](HWND d) { chosen.push_back(TextOf(PathEdit(d))); });
    Step read = Observe([&](HWND d) { SendMessageA(Item(d, IDC_JAVA_PATH), CB_GETLBTEXT, 1, LPARAM(line)); });
    RunDialog(dialog, { read, PressKey(VK_DOWN), look, PressKey(VK_DOWN), look, Click(IDCANCEL) });
    EXPECT_STREQ("17, 64-bit: D:\\jdk\\bin\\java.exe", line);
    EXPECT_EQ((std::vector<std::string>{ dialog.javas[0].path, dialog.javas[1].path }), chosen);
}

// --- Browse and Download ------------------------------------------------------------------------------

TEST_F(JavaPathDialogTest, BrowseReplacesTheEditWithTheChosenFileOnlyWhenOneIsChosen)
{
    ScriptedPathDialog dialog;
    dialog.path = "C:\\given\\java.exe";
    dialog.answers = { "", "C:\\jdk1.3.1\\bin\\java.exe", "D:\\jdk1.2.2\\bin\\java.exe" };
    std::vector<std::string> edits;
    auto look = Observe([&](HWND d) { edits.push_back(TextOf(PathEdit(d))); });
    HWND window = nullptr;
    INT_PTR result = RunDialog(dialog, { Observe([&](HWND d) { window = d; }), Click(IDC_BROWSE), look,
                                         Click(IDC_BROWSE), look, Click(IDC_BROWSE), look, Click(IDCANCEL) });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ((std::vector<std::string>{ "C:\\given\\java.exe", "C:\\jdk1.3.1\\bin\\java.exe",
                                         "D:\\jdk1.2.2\\bin\\java.exe" }),
              edits);
    EXPECT_EQ("C:\\given\\java.exe", dialog.path); // browsing alone never sets it

    ASSERT_EQ(3u, dialog.calls.size());
    for (const FileDialogCall& call : dialog.calls) {
        EXPECT_EQ(0x21804u, call.flags);
        EXPECT_EQ(std::string("Java program (java.exe)\0java.exe\0\0", 34), call.filter);
        EXPECT_EQ("java.exe", call.fileName);
        EXPECT_EQ("exe", call.defaultExtension);
        // Owned by the dialog, so the dialog cannot be used behind it.
        EXPECT_EQ(window, call.owner);
    }
}

TEST_F(JavaPathDialogTest, BrowseRefusesAFileWhosePathTheLauncherCouldNotHold)
{
    ScriptedPathDialog dialog;
    dialog.answers = { "C:\\" + std::string(768, 'd') + "\\java.exe" }; // 780 characters: one too many
    std::string edit = "(not seen)";
    INT_PTR result = RunDialog(dialog, { SetEditText(TestChildPath()), Click(IDC_BROWSE),
                                         Observe([&](HWND d) { edit = TextOf(PathEdit(d)); }), Click(IDOK) });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1u, dialog.calls.size());
    EXPECT_EQ(TestChildPath(), edit);
    EXPECT_EQ(TestChildPath(), dialog.path);
}

// The system's own file dialog: an open dialog, modal over the Java path dialog, cancelled.
TEST_F(JavaPathDialogTest, TheRealFileDialogIsAnOpenDialogOverTheJavaPathDialog)
{
    JavaPathDialog dialog(nullptr);
    dialog.path = "C:\\given\\java.exe";
    HWND window = nullptr;
    bool ownerDisabled = false;
    std::string edit;
    bool allStepsRan = false;
    INT_PTR result =
        RunDialog(dialog,
                  { [&](HWND d) {
                       window = d;
                       PostMessageA(Item(d, IDC_BROWSE), BM_CLICK, 0, 0); // the file dialog runs its own loop
                       return true;
                   },
                    [&](HWND) {
                        HWND open = FindOwnWindow("Open");
                        if (!open) return false;
                        ownerDisabled = !IsWindowEnabled(window);
                        PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
                        return true;
                    },
                    [&](HWND d) {
                        if (FindOwnWindow("Open") || !IsWindowEnabled(d)) return false;
                        edit = TextOf(PathEdit(d));
                        return true;
                    },
                    Click(IDCANCEL) },
                  &allStepsRan);
    EXPECT_TRUE(allStepsRan);
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ("C:\\given\\java.exe", edit);
}

TEST_F(JavaPathDialogTest, DownloadJavaOpensTheDownloadPageAndLeavesTheDialogAsItWas)
{
    JavaPathDialog dialog(nullptr);
    dialog.path = "C:\\given\\java.exe";
    bool stillOpen = false;
    std::string edit;
    INT_PTR result = RunDialog(dialog, { SetEditText("C:\\typed"), Click(IDC_DOWNLOAD_JAVA), Observe([&](HWND d) {
                                             stillOpen = IsWindowVisible(d) != FALSE;
                                             edit = TextOf(PathEdit(d));
                                         }),
                                         Click(IDCANCEL) });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ("C:\\typed", edit);
    EXPECT_EQ(std::vector<std::string>{ "http://java.sun.com/j2se/1.3" }, opened);
}

std::string told; // the settings window's messages, each answered yes
int WINAPI RecordMessage(HWND, LPCSTR text, LPCSTR, UINT) { return told += std::string(text) + "|", IDYES; }
bool FitsUnlessTooLong(const char* options, const char*) { return std::string(options) != "too long"; }

// Each refusal is told and leaves the window open with the choices as they were; a value put right is
// then taken with the rest, and a change of Java or options asks to restart a running server.
TEST_F(JavaPathDialogTest, SettingsOkRefusesWhatCannotBeUsedStaysOpenAndTakesItPutRight)
{
    ScopedOverride box(settingsDialogPlatform.messageBox, &RecordMessage);
    const std::string folder = TempDir("settingsjava"), file = TestChildPath(), java = StandinJavaPath();
    const std::string timeout = "The stop timeout is a number of seconds from 1.5 to 60.";
    const struct {
        int id;
        std::string refused, message, accepted;
        std::string taken; // Java, options and timeout after OK
    } cases[] = {
        { IDC_JAVA_PATH, folder, "\"" + folder + "\" is not a file.\n\nPlease choose java.exe.", file,
          file + "|-Xmx1g|10000" },
        { IDC_JAVA_OPTIONS, "too long", "The Java options are too long for the command lines of the Java programs.",
          "-Xmx2g", java + "|-Xmx2g|10000" },
        { IDC_STOP_TIMEOUT, "1.4", timeout, "1.5", java + "|-Xmx1g|1500" },
        { IDC_STOP_TIMEOUT, "ten", timeout, " 2,25 ", java + "|-Xmx1g|2250" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        told.clear();
        SettingsDialog dialog(nullptr);
        dialog.choices.javaExe = java, dialog.choices.javaOptions = "-Xmx1g", dialog.choices.stopTimeout = 10000;
        dialog.optionsFit = &FitsUnlessTooLong, dialog.serverRuns = true;
        // Closed at the refusal, it would hold the refused value.
        ASSERT_EQ(IDOK, RunDialog(dialog,
                                  { SetItemText(c.id, c.refused), Click(IDOK), SetItemText(c.id, c.accepted),
                                    Click(IDC_RESTART_ON_FAILURE), Click(IDOK) },
                                  nullptr));
        const bool asks = c.id != IDC_STOP_TIMEOUT; // "Restart the server now?" after a change of Java or options
        EXPECT_EQ(c.message + (asks ? "|Restart the server now?|" : "|"), told);
        EXPECT_EQ(asks, dialog.restartNow);
        EXPECT_FALSE(dialog.choices.restartOnFailure);
        EXPECT_EQ(c.taken, dialog.choices.javaExe + "|" + dialog.choices.javaOptions + "|" +
                               std::to_string(dialog.choices.stopTimeout));
    }
}

// --- The template ---------------------------------------------------------------------------------------

// Reads a classic dialog template's strings and ordinals.
TEST(JavaPathDialogTemplate, IsTheClassicLayoutWithItsSevenControlsInTabOrder)
{
    const BYTE* start = FindDialogTemplate(IDD_JAVA_NOT_FOUND);
    ASSERT_NE(nullptr, start);
    TemplateReader r = { start };

    ASSERT_FALSE(start[0] == 1 && start[2] == 0xFF && start[3] == 0xFF) << "an extended template";
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), r.Dword());
    EXPECT_EQ(0u, r.Dword());
    WORD count = r.Word();
    ASSERT_EQ(7, count);
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(321, r.Short());
    EXPECT_EQ(97, r.Short());
    EXPECT_EQ("", r.NameOrOrdinal()); // no menu
    EXPECT_EQ("", r.NameOrOrdinal()); // the default dialog class
    EXPECT_EQ(kCaption, r.NameOrOrdinal());
    EXPECT_EQ(8, r.Word());
    EXPECT_EQ("MS Sans Serif", r.NameOrOrdinal());

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const struct {
        int id;
        const char* cls; // the system's ordinals: #128 button, #129 edit, #130 static
        const char* text;
        short x, y, cx, cy;
        DWORD style;
    } expected[] = {
        { IDOK, "#128", "OK", 96, 76, 50, 14, child | BS_DEFPUSHBUTTON | WS_TABSTOP },
        { IDCANCEL, "#128", "Cancel", 175, 76, 50, 14, child | BS_PUSHBUTTON | WS_TABSTOP },
        { -1, "#130", "Java 1.2 or 1.3 path has not been found!", 61, 6, 198, 12, child | SS_CENTER | WS_GROUP },
        { IDC_DOWNLOAD_JAVA, "#128", "Download Java", 7, 21, 307, 13, child | BS_PUSHBUTTON | WS_TABSTOP },
        { -1, "#130", "Please enter the path of Java 1.2 or 1.3:", 7, 40, 128, 8, child | SS_LEFT | WS_GROUP },
        { IDC_JAVA_PATH, "#133", "", 7, 58, 248, 100,
          child | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP },
        { IDC_BROWSE, "#128", "Browse...", 261, 58, 53, 13, child | BS_PUSHBUTTON | WS_TABSTOP },
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.text);
        r.AlignToDword(start);
        EXPECT_EQ(e.style, r.Dword());
        EXPECT_EQ(0u, r.Dword());
        EXPECT_EQ(e.x, r.Short());
        EXPECT_EQ(e.y, r.Short());
        EXPECT_EQ(e.cx, r.Short());
        EXPECT_EQ(e.cy, r.Short());
        EXPECT_EQ(static_cast<WORD>(e.id), r.Word());
        EXPECT_EQ(e.cls, r.NameOrOrdinal());
        EXPECT_EQ(e.text, r.NameOrOrdinal());
        WORD extra = r.Word();
        r.at += extra;
    }
}

} // namespace
