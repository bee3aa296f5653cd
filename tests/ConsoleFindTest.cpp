// Finding and saving the console's text: its right-click menu, the find box, Ctrl+F and F3 pressed
// through the system's input queue, and the file written by "Save output as...".
#include "app/ConsoleDialog.h"
#include "app/ExitPlatform.h"
#include "framework/Handle.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "kit/Windows.h"
#include "support/TestSupport.h"
#include "ui/ConsoleFind.h"
#include "ui/ConsoleSave.h"

#include <gtest/gtest.h>

#include <dlgs.h>
#include <shlobj.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

struct MenuEntry {
    UINT id;
    std::string text;
    bool grayed;
};
std::vector<std::vector<MenuEntry>> menusShown;
UINT menuAnswer = 0;

UINT RecordMenu(HMENU menu, int, int, HWND)
{
    std::vector<MenuEntry> entries;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = "";
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        bool grayed = !(state & MF_SEPARATOR) && (state & MF_GRAYED);
        entries.push_back({ GetMenuItemID(menu, i), text, grayed });
    }
    menusShown.push_back(entries);
    return menuAnswer;
}

struct MessageShown {
    HWND owner;
    std::string text, caption;
};
std::vector<MessageShown> messages;

int RecordMessage(HWND owner, const char* text, const char* caption, UINT)
{
    messages.push_back({ owner, text, caption });
    return IDOK;
}

struct FileDialogCall {
    HWND owner;
    DWORD flags;
    std::string fileName, initialDir, defaultExtension;
};
std::vector<FileDialogCall> fileDialogs;
std::string fileAnswer; // empty: the user cancels

INT_PTR AnswerFileDialog(CFileDialog& dialog)
{
    const OPENFILENAMEA& ofn = dialog.m_ofn;
    fileDialogs.push_back({ ofn.hwndOwner, ofn.Flags, ofn.lpstrFile ? ofn.lpstrFile : "",
                            ofn.lpstrInitialDir ? ofn.lpstrInitialDir : "", ofn.lpstrDefExt ? ofn.lpstrDefExt : "" });
    if (fileAnswer.empty()) return IDCANCEL;
    CopyText(ofn.lpstrFile, ofn.nMaxFile, fileAnswer.c_str());
    return IDOK;
}

int exits = 0;
void RecordExit(int) { ++exits; }

// Presses keys through the system's input queue: each modifier down, the key down and up, the
// modifiers up.
bool Press(WORD key, std::initializer_list<WORD> modifiers = {})
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD m : modifiers) add(m, false);
    add(key, false);
    add(key, true);
    for (WORD m : modifiers) add(m, true);
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

class ConsoleFindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        menusShown.clear();
        messages.clear();
        fileDialogs.clear();
        menuAnswer = 0;
        fileAnswer.clear();
        exits = 0;
        ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr));
        dialog.ShowWindow(SW_SHOW);
        SetForegroundWindow(dialog.m_hWnd);
        ASSERT_TRUE(Loop([&] { return GetForegroundWindow() == dialog.m_hWnd; }, 10000));
        dialog.console.SetFocus();
    }

    // The launcher's message loop: every message goes to the console's pre-translation first, as
    // the application's loop does; until condition() holds or the time is up.
    bool Loop(const std::function<bool()>& condition, DWORD milliseconds)
    {
        return WaitUntil(condition, milliseconds,
                         [this](MSG* msg) { return dialog.PreTranslateMessage(msg) != FALSE; });
    }

    HWND Edit() const { return dialog.console.m_hWnd; }
    std::string Text() const { return dialog.console.GetWindowText(); }
    void Select(DWORD start, DWORD end) { SendMessageA(Edit(), EM_SETSEL, start, static_cast<LPARAM>(end)); }
    DWORD SelectionStart() const
    {
        DWORD start = 0, end = 0;
        SendMessageA(Edit(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return start;
    }
    std::string Selected() const
    {
        DWORD start = 0, end = 0;
        SendMessageA(Edit(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return Text().substr(start, end - start);
    }
    // Whether the selection's start is drawn inside the text control.
    bool SelectionInView() const
    {
        LRESULT at = SendMessageA(Edit(), EM_POSFROMCHAR, SelectionStart(), 0);
        RECT client;
        GetClientRect(Edit(), &client);
        int y = static_cast<short>(HIWORD(at));
        return at != -1 && y >= 0 && y < client.bottom;
    }

    HWND OpenBox()
    {
        dialog.console.SetFocus();
        Press('F', { VK_CONTROL });
        Loop([&] { return dialog.consoleFind.FindBox() && IsWindowVisible(dialog.consoleFind.FindBox()); }, 10000);
        return dialog.consoleFind.FindBox();
    }
    // What the user does in the find box: type, tick or untick "Match case", press "Find Next".
    void FindInBox(const char* what, bool matchCase)
    {
        HWND box = dialog.consoleFind.FindBox();
        SetDlgItemTextA(box, edt1, what);
        if ((IsDlgButtonChecked(box, chx2) == BST_CHECKED) != matchCase)
            SendMessageA(GetDlgItem(box, chx2), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }

    ScopedOverride<decltype(exitPlatform.endProcess)> ending{ exitPlatform.endProcess, &RecordExit };
    ScopedOverride<ConsoleFindPlatform> findPlatform{ consoleFindPlatform,
                                                      ConsoleFindPlatform{ &RecordMenu, &RecordMessage } };
    ScopedOverride<ConsoleSavePlatform> savePlatform{ consoleSavePlatform,
                                                      ConsoleSavePlatform{ &AnswerFileDialog, &RecordMessage } };
    ConsoleDialog dialog;
};

const char kThreeLines[] = "alpha Vantry one\r\nbeta vantry two\r\ngamma VANTRY three\r\n";

TEST_F(ConsoleFindTest, TheRightClickMenuOffersCopyOnlyForASelectionAndDoesWhatItSays)
{
    dialog.AppendConsoleText(kThreeLines);
    Select(0, 0);
    menuAnswer = ID_CONSOLE_SELECT_ALL;
    ASSERT_TRUE(ClickMiddle(Edit(), true));
    ASSERT_TRUE(Loop([] { return menusShown.size() == 1; }, 10000)) << "no menu for a right click in the text";
    const std::vector<MenuEntry> expected = {
        { ID_CONSOLE_COPY, "&Copy\tCtrl+C", true },
        { ID_CONSOLE_SELECT_ALL, "Select &all", false },
        { 0, "", false },
        { ID_CONSOLE_FIND, "&Find...\tCtrl+F", false },
        { ID_CONSOLE_FIND_NEXT, "Find &next\tF3", true },
        { 0, "", false },
        { ID_CONSOLE_SAVE, "&Save output as...", false },
        { ID_CONSOLE_CLEAR, "Clear", false },
    };
    ASSERT_EQ(expected.size(), menusShown[0].size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(expected[i].id, menusShown[0][i].id);
        EXPECT_EQ(expected[i].text, menusShown[0][i].text);
        EXPECT_EQ(expected[i].grayed, menusShown[0][i].grayed);
    }
    EXPECT_EQ(Text(), Selected());

    // With a selection, Copy is offered and copies it; once something was searched for, Find next.
    Select(6, 12);
    dialog.consoleFind.OpenFindBox();
    FindInBox("beta", false);
    ASSERT_EQ("beta", Selected());
    menuAnswer = ID_CONSOLE_COPY;
    SendMessageA(Edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Edit()), MAKELPARAM(-1, -1)); // the menu key
    ASSERT_EQ(2u, menusShown.size());
    EXPECT_FALSE(menusShown[1][0].grayed);
    EXPECT_FALSE(menusShown[1][4].grayed);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_TEXT);
    std::string copied = data ? static_cast<const char*>(GlobalLock(data)) : "";
    if (data) GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ("beta", copied);

    // Clear empties the text; what comes next is shown as before.
    menuAnswer = ID_CONSOLE_CLEAR;
    SendMessageA(Edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Edit()), MAKELPARAM(-1, -1));
    EXPECT_EQ("", Text());
    dialog.AppendConsoleText(kThreeLines);
    EXPECT_EQ(kThreeLines, Text());
}

TEST_F(ConsoleFindTest, FindGoesDownFromTheCaretWrapsHonoursMatchCaseAndSaysWhenNothingIsFound)
{
    dialog.AppendConsoleText(kThreeLines);
    Select(3, 3);
    HWND box = OpenBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(dialog.m_hWnd, GetWindow(box, GW_OWNER)) << "the find box belongs to the console";
    EXPECT_NE(BST_CHECKED, IsDlgButtonChecked(box, chx2)) << "case-insensitive at first";

    // Whatever the case, from the caret down, then again from the top.
    const DWORD expected[] = { 6, 23, 41, 6 };
    for (DWORD at : expected) {
        FindInBox("vantry", false);
        EXPECT_EQ(at, SelectionStart());
        EXPECT_EQ(6u, Selected().size());
    }
    // Only the same case: the one in the second line, found again after the wrap.
    FindInBox("vantry", true);
    EXPECT_EQ(23u, SelectionStart());
    FindInBox("vantry", true);
    EXPECT_EQ(23u, SelectionStart());
    EXPECT_TRUE(messages.empty());

    FindInBox("Vantry is gone", false);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Cannot find \"Vantry is gone\".", messages[0].text);
    EXPECT_EQ("Vantry", messages[0].caption);
    EXPECT_EQ(box, messages[0].owner);
    EXPECT_EQ(23u, SelectionStart()) << "nothing found, nothing moves";

    // A match far below the visible lines is scrolled into view.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "line " + std::to_string(i) + "\r\n";
    dialog.AppendConsoleText((many + "far below\r\n").c_str());
    Select(0, 0);
    SendMessageA(Edit(), EM_SCROLLCARET, 0, 0);
    FindInBox("FAR BELOW", false);
    EXPECT_EQ("far below", Selected());
    EXPECT_TRUE(SelectionInView());
}

TEST_F(ConsoleFindTest, CtrlFAndF3WorkFromTheKeyboardAndEscClosesOnlyTheFindBox)
{
    dialog.AppendConsoleText(kThreeLines);
    Select(0, 0);
    // F3 before anything was searched for asks what to find.
    dialog.console.SetFocus();
    ASSERT_TRUE(Press(VK_F3));
    ASSERT_TRUE(Loop([&] { return dialog.consoleFind.FindBox() != nullptr; }, 10000)) << "F3 opened no find box";
    HWND box = dialog.consoleFind.FindBox();
    FindInBox("vantry", false);
    ASSERT_EQ(6u, SelectionStart());

    // Ctrl+F again brings the same box forward: one box at a time.
    ASSERT_EQ(box, OpenBox());
    EXPECT_TRUE(Loop([&] { return GetForegroundWindow() == box; }, 10000));

    // Esc in the find box closes it; the launcher goes on.
    ASSERT_TRUE(Press(VK_ESCAPE));
    EXPECT_TRUE(Loop([&] { return !IsWindow(box); }, 10000)) << "Esc did not close the find box";
    EXPECT_EQ(nullptr, dialog.consoleFind.FindBox());
    EXPECT_EQ(0, exits);
    EXPECT_TRUE(dialog.IsWindowVisible());

    // F3 in the console goes on with the last search, the box closed.
    SetForegroundWindow(dialog.m_hWnd);
    dialog.console.SetFocus();
    ASSERT_TRUE(Press(VK_F3));
    EXPECT_TRUE(Loop([&] { return SelectionStart() == 23; }, 10000)) << SelectionStart();
    EXPECT_EQ(nullptr, dialog.consoleFind.FindBox());

    // Hiding the console takes its find box along.
    box = OpenBox();
    ASSERT_NE(nullptr, box);
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_HIDE, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(0, exits);
}

TEST_F(ConsoleFindTest, WhileOutputFloodsInTheFoundTextStaysSelectedAndInViewAcrossTrims)
{
    const std::string first = "first line of the console\r\n";
    std::string bulk;
    for (int i = 0; bulk.size() < 400 * 1024; ++i)
        bulk += "early output " + std::to_string(i) + std::string(60, '.') + "\r\n";
    dialog.AppendConsoleText((first + bulk + "the needle line\r\n").c_str());
    ASSERT_TRUE(Loop([&] { return Text().size() == first.size() + bulk.size() + 17; }, 30000));
    Select(0, 0);
    SendMessageA(Edit(), EM_SCROLLCARET, 0, 0);
    HWND box = OpenBox();
    ASSERT_NE(nullptr, box);

    std::atomic<bool> stop{ false };
    std::thread writer([&] {
        std::string line = "later output " + std::string(80, 'x') + "\r\n";
        while (!stop) dialog.AppendConsoleText(line.c_str());
    });
    Loop([&] { return Text().size() > 500 * 1024; }, 30000); // the flood is arriving
    FindInBox("NEEDLE", false);
    std::string found = Selected();
    // The console's cap makes it drop its oldest lines: the found text must stay selected and in view.
    bool trimmed = Loop([&] { return Text().compare(0, first.size(), first) != 0; }, 120000);
    std::string selectedAfterTrim = Selected();
    bool inView = SelectionInView();
    stop = true;
    writer.join();
    EXPECT_EQ("needle", found);
    ASSERT_TRUE(trimmed) << "the console never reached its cap";
    EXPECT_EQ("needle", selectedAfterTrim);
    EXPECT_TRUE(inView);
    EXPECT_TRUE(messages.empty());
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ConsoleFindTest, SaveOffersVantryConsoleInTheDocumentsAndWritesTheTextByteForByte)
{
    const std::string folder = TempDir("console-save");
    const std::string path = folder + "\\saved.txt";
    std::ofstream(path, std::ios::binary) << std::string(100000, 'o'); // longer than what is saved: replaced whole
    std::string shown =
        "Vantry is starting...\r\n\tindented, caf\xe9, \"quoted\"\r\n" + std::string(5000, 'w') + "\r\n";
    dialog.AppendConsoleText(shown.c_str());

    menuAnswer = ID_CONSOLE_SAVE;
    fileAnswer = path;
    SendMessageA(Edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Edit()), MAKELPARAM(10, 10));
    ASSERT_EQ(1u, fileDialogs.size());
    char documents[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)));
    EXPECT_EQ("Vantry-console.txt", fileDialogs[0].fileName);
    EXPECT_EQ(documents, fileDialogs[0].initialDir);
    EXPECT_EQ("txt", fileDialogs[0].defaultExtension);
    EXPECT_EQ(dialog.m_hWnd, fileDialogs[0].owner);
    EXPECT_TRUE(fileDialogs[0].flags & OFN_OVERWRITEPROMPT) << "an existing file is replaced without asking";
    EXPECT_EQ(Text(), ReadWhole(path));
    EXPECT_EQ(shown, ReadWhole(path));
    EXPECT_TRUE(messages.empty());

    // Cancelled: nothing is written.
    fileAnswer.clear();
    dialog.AppendConsoleText("more\r\n");
    SendMessageA(Edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Edit()), MAKELPARAM(10, 10));
    EXPECT_EQ(2u, fileDialogs.size());
    EXPECT_EQ(shown, ReadWhole(path));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ConsoleFindTest, AFailedSaveIsReportedAndAFileThatCouldNotBeOpenedIsKept)
{
    const std::string folder = TempDir("console-save-fails");
    // Open in another program that lets others read or delete it, but not write it.
    const std::string busy = folder + "\\open elsewhere.txt";
    std::ofstream(busy, std::ios::binary) << "kept";
    Handle elsewhere(CreateFileA(busy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(elsewhere);
    dialog.AppendConsoleText(kThreeLines);
    menuAnswer = ID_CONSOLE_SAVE;

    for (const std::string& target : { folder + "\\no such folder\\out.txt", busy, folder }) {
        SCOPED_TRACE(target);
        messages.clear();
        fileAnswer = target;
        SendMessageA(Edit(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Edit()), MAKELPARAM(10, 10));
        ASSERT_EQ(1u, messages.size());
        EXPECT_EQ("Vantry", messages[0].caption);
        EXPECT_EQ(dialog.m_hWnd, messages[0].owner);
        EXPECT_EQ(0u, messages[0].text.find("The console's output could not be saved in \"" + target + "\"."))
            << messages[0].text;
    }
    elsewhere.Reset();
    EXPECT_EQ("kept", ReadWhole(busy));
    EXPECT_FALSE(PathExists(folder + "\\no such folder"));
}

} // namespace
