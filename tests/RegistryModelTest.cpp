// Random registry contents against a model of what the launcher reads from them: the settings key and
// the JavaSoft installation keys, with real java.exe files where an installation should be found.
#include "app/ConsoleDialog.h"
#include "framework/Paths.h"
#include "framework/Text.h"
#include "java/JavaSearch.h"
#include "java/RegistryKey.h"
#include "java/Settings.h"
#include "res/resource.h"
#include "support/Models.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantry\\Vantrybench";
const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kGuard = '\xA5';

std::string Visible(const std::string& text, size_t most = 120)
{
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < most; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < ' ' || c >= 0x7F || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, c == '\\' ? "\\\\" : "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    if (out.size() >= most) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::string Describe(const StoredValue& value)
{
    if (!value.present) return "absent";
    return "type " + std::to_string(value.type) + ", " + std::to_string(value.bytes.size()) + " bytes \"" +
           Visible(value.bytes) + "\"";
}

// Stores the value exactly: the bytes given, no NUL added by the system.
void Put(HKEY key, const char* name, const StoredValue& value)
{
    if (!value.present) {
        RegDeleteValueA(key, name);
        return;
    }
    // A string written without its NUL gets one from the system when a NUL happens to follow it in
    // memory; a byte that is not a NUL follows here.
    std::string data = value.bytes + '\x01';
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                                            static_cast<DWORD>(value.bytes.size())));
    // What a query hands back is what the model reads.
    std::vector<char> back(value.bytes.size() + 16);
    DWORD size = static_cast<DWORD>(back.size()), type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size));
    ASSERT_EQ(value.type, type);
    ASSERT_EQ(value.bytes, std::string(back.data(), size)) << "stored other than written: " << Describe(value);
}

// How long a random value is: mostly near the 261 bytes a read takes, sometimes very long.
size_t Length(Dice& dice)
{
    switch (dice.Between(0, 5)) {
    case 0: return dice.Between(0, 8);
    case 1: return dice.Between(255, 266);
    case 2: return dice.Between(0, 100000);
    default: return dice.Between(0, 300);
    }
}

DWORD Type(Dice& dice)
{
    static const std::vector<DWORD> types = { REG_SZ,    REG_SZ,     REG_SZ,       REG_SZ,  REG_EXPAND_SZ,
                                              REG_DWORD, REG_BINARY, REG_MULTI_SZ, REG_NONE };
    return dice.Pick(types);
}

// Text of `length` bytes around `core`; with its NUL at the end, none, or one somewhere inside.
std::string Around(Dice& dice, const std::string& core, size_t length)
{
    std::string text = core;
    if (text.size() < length) {
        std::string filler = dice.Bytes(length - text.size(), 1, 255);
        size_t at = dice.Between(0, filler.size());
        text = filler.substr(0, at) + text + filler.substr(at);
    }
    text.resize(length);
    if (!text.empty()) {
        switch (dice.Between(0, 3)) {
        case 0: text.back() = '\0'; break; // as the launcher writes
        case 1: text[dice.Between(0, text.size() - 1)] = '\0'; break;
        default: break; // no NUL at all
        }
    }
    return text;
}

StoredValue RandomValue(Dice& dice, const std::vector<std::string>& cores)
{
    StoredValue value;
    value.present = dice.Chance(0.85);
    if (!value.present) return value;
    value.type = Type(dice);
    const std::string& core = dice.Pick(cores);
    if (dice.Chance(0.4)) value.bytes = core + '\0';
    else if (dice.Chance(0.3)) value.bytes = core;
    else value.bytes = Around(dice, core, Length(dice));
    return value;
}

std::string RandomText(Dice& dice, size_t most)
{
    std::string text = dice.Bytes(dice.Between(0, most), 1, 255);
    return text;
}

// The executable's path as the system could give it: of any length, with or without a folder.
std::string ModulePath(Dice& dice)
{
    switch (dice.Between(0, 7)) {
    case 0: return dice.Bytes(dice.Between(1, 40), 'a', 'z'); // no backslash at all
    case 1: return "";
    case 2: { // around the longest folder whose marker path still fits
        size_t folder = dice.Between(755, 768);
        return "C:\\" + std::string(folder - 3, 'd') + "\\Vantry.exe";
    }
    case 3: { // around the longest path the buffer takes
        size_t length = dice.Between(775, 785);
        std::string path = "C:\\" + std::string(length - 14, 'p') + "\\Vantry.exe";
        return path.substr(0, length);
    }
    case 4: return "C:\\Apps\\Launcher\\"; // ends in its separator
    default: {
        std::string path = "C:";
        for (size_t parts = dice.Between(0, 6); parts > 0; --parts) {
            std::string part = dice.Bytes(dice.Between(1, 60), 0x20, 0xFF);
            std::replace(part.begin(), part.end(), '\\', '_');
            path += "\\" + part;
        }
        return path + "\\" + (dice.Chance(0.5) ? "Vantry.exe" : dice.Bytes(dice.Between(0, 12), 'a', 'z'));
    }
    }
}

bool IsFileOnDisk(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string modulePath;
DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR path, DWORD size)
{
    // As the system does: what fits, with its NUL, and the buffer's size when the path did not fit.
    if (size == 0) return 0;
    size_t copied = std::min<size_t>(modulePath.size(), size - 1);
    std::memcpy(path, modulePath.data(), copied);
    path[copied] = '\0';
    return modulePath.size() < size ? static_cast<DWORD>(modulePath.size()) : size;
}

// A path buffer of the console filled with a guard pattern, then with its starting text.
void Prepare(char (&buffer)[kPathSize], const std::string& text)
{
    std::memset(buffer, kGuard, sizeof buffer);
    CopyText(buffer, text.c_str());
}

// The buffer holds `expected`; the bytes that none of the texts it held (before, between, expected)
// reached are still the guard.
void ExpectBuffer(const char (&buffer)[kPathSize], const std::string& expected, const std::string& before,
                  const char* name, const std::string& where, const std::string& between = std::string())
{
    EXPECT_EQ(expected, std::string(buffer, strnlen(buffer, sizeof buffer))) << name << "; " << where;
    for (size_t i = std::max({ expected.size(), before.size(), between.size() }) + 1; i < sizeof buffer; ++i) {
        if (buffer[i] != kGuard) {
            ADD_FAILURE() << name << " written at byte " << i << " beyond its text; " << where;
            return;
        }
    }
}

class RegistryModelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create(IDD_CONSOLE, nullptr)); }
    ScopedOverride<decltype(settingsPlatform.moduleFileName)> module{ settingsPlatform.moduleFileName,
                                                                      &FakeModuleFileName };

    // One LoadSettings on the given values, its outcome compared with the model's.
    void LoadAndCompare(SettingsInput input, const std::string& where)
    {
        dialog.hideOnStartup.SetCheck(input.checkBefore);
        Prepare(dialog.javaExePath, input.javaExeBefore);
        Prepare(dialog.homeDir, input.homeDirBefore);
        Prepare(dialog.markerPath, input.markerPathBefore);
        const int serverReady = dialog.serverReady, animFrame = dialog.tray.animFrame;
        const std::string trayTip(dialog.tray.trayTip, sizeof dialog.tray.trayTip);
        modulePath = input.modulePath;

        dialog.LoadSettings();

        SettingsOutcome expected = ExpectedSettings(input);
        EXPECT_EQ(expected.check, dialog.hideOnStartup.GetCheck()) << "HideOnStartup; " << where;
        // The machine's java.exe may be there before the user's replaces it.
        std::string machineJava;
        if (!input.keyUsable || !UsableText(input.javaExe, machineJava)) machineJava.clear();
        ExpectBuffer(dialog.javaExePath, expected.javaExePath, input.javaExeBefore, "javaExePath", where, machineJava);
        ExpectBuffer(dialog.homeDir, expected.homeDir, input.homeDirBefore, "homeDir", where);
        ExpectBuffer(dialog.markerPath, expected.markerPath, input.markerPathBefore, "markerPath", where);
        EXPECT_EQ(serverReady, dialog.serverReady) << where;
        EXPECT_EQ(animFrame, dialog.tray.animFrame) << where;
        EXPECT_EQ(trayTip, std::string(dialog.tray.trayTip, sizeof dialog.tray.trayTip)) << where;
    }

    SettingsInput RandomInput(Dice& dice)
    {
        static const std::vector<std::string> hideCores = {
            "true", "false", "TRUE", "True", "xtruex", "", std::string("\0true", 5), "tru", "truetrue"
        };
        // A file and a folder among them: only a file keeps the user's java.exe out.
        static const std::vector<std::string> javaCores = {
            "C:\\jdk1.3.1\\bin\\java.exe",
            "C:\\Program Files\\JavaSoft\\JRE\\1.3.1\\bin\\java.exe",
            "",
            "C:\\J\xE9r\xF4me\\bin\\java.exe",
            "C:\\" + std::string(253, 'j') + ".exe",
            std::string(261, 'j'),
            "\\\\server\\share\\java.exe",
            TestChildPath(),
            TestBinDir(),
        };
        SettingsInput input;
        input.hideOnStartup = RandomValue(dice, hideCores);
        input.javaExe = RandomValue(dice, javaCores);
        if (dice.Chance(0.1)) { // a file, as the launcher stores it
            input.javaExe.present = true;
            input.javaExe.type = REG_SZ;
            input.javaExe.bytes = TestChildPath() + '\0';
        }
        input.vtyHome = RandomValue(dice, { "C:\\Elsewhere", "%TEMP%", "", std::string(300, 'h') });
        input.keyWritable = dice.Chance(0.8);
        if (dice.Chance(0.5)) input.userHideOnStartup = RandomValue(dice, hideCores);
        if (dice.Chance(0.5)) input.userJavaExe = RandomValue(dice, javaCores);
        input.checkBefore = dice.Chance(0.5) ? 1 : 0;
        input.javaExeBefore = dice.Chance(0.5) ? "Bad path: java.exe" : RandomText(dice, 779);
        input.homeDirBefore = dice.Chance(0.5) ? "Bad path: Vty Home" : RandomText(dice, 779);
        input.markerPathBefore = RandomText(dice, 779);
        input.modulePath = ModulePath(dice);
        // Which texts the path may hold before the user's key is read name files: the file system says.
        std::string text;
        for (const std::string& path : { UsableText(input.javaExe, text) ? text : "", input.javaExeBefore })
            if (IsFileOnDisk(path)) input.files.push_back(path);
        return input;
    }

    RegistrySandbox sandbox;
    ConsoleDialog dialog;
};

TEST_F(RegistryModelTest, RandomSettingsValuesGiveTheCheckBoxJavaPathAndHomeTheModelPredicts)
{
    const unsigned seed = TestSeed(1301);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const int iterations = 3000;
    int checked = 0, javaRead = 0, vtyHomeDeleted = 0, homeDerived = 0, userJavaTaken = 0;
    for (int i = 0; i < iterations && !HasFailure(); ++i) {
        SettingsInput input = RandomInput(dice);
        const bool firstStart = dice.Chance(0.05); // no key yet: it is made, empty
        for (HKEY root : { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER }) RegDeleteTreeA(root, "SOFTWARE\\Vantry");
        if (firstStart) {
            input.hideOnStartup = input.javaExe = input.vtyHome = StoredValue();
            input.keyWritable = true;
            RegistryKey gone;
            ASSERT_FALSE(gone.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ));
        } else {
            RegistryKey key;
            ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS));
            Put(key.Get(), "HideOnStartup", input.hideOnStartup);
            Put(key.Get(), "JavaExe", input.javaExe);
            Put(key.Get(), "VtyHome", input.vtyHome);
            if (!input.keyWritable) {
                ASSERT_TRUE(DenyWrites(HKEY_LOCAL_MACHINE, kSettingsKey, kRegistryView));
            }
        }
        if (input.userHideOnStartup.present || input.userJavaExe.present) {
            RegistryKey user;
            ASSERT_TRUE(user.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS));
            Put(user.Get(), "HideOnStartup", input.userHideOnStartup);
            Put(user.Get(), "JavaExe", input.userJavaExe);
        }
        std::string where =
            "iteration " + std::to_string(i) + " (seed " + std::to_string(seed) + ")\n  HideOnStartup " +
            Describe(input.hideOnStartup) + "\n  JavaExe " + Describe(input.javaExe) + "\n  VtyHome " +
            Describe(input.vtyHome) + (input.keyWritable ? "" : "\n  (the machine's key cannot be written)") +
            "\n  the user's HideOnStartup " + Describe(input.userHideOnStartup) + "\n  the user's JavaExe " +
            Describe(input.userJavaExe) + "\n  executable \"" + Visible(input.modulePath) + "\" (" +
            std::to_string(input.modulePath.size()) + " characters)";
        if (HasFailure()) break;
        LoadAndCompare(input, where);

        SettingsOutcome expected = ExpectedSettings(input);
        RegistryKey key;
        ASSERT_TRUE(key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ)) << "the settings key was not made; " << where;
        if (firstStart) {
            DWORD subkeys = 99, values = 99;
            ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                      &values, nullptr, nullptr, nullptr, nullptr));
            EXPECT_EQ(0u, subkeys + values) << "the settings key was made with something in it";
        }
        bool vtyHomeThere = RegQueryValueExA(key.Get(), "VtyHome", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        EXPECT_EQ(input.vtyHome.present && !expected.vtyHomeGone, vtyHomeThere) << "VtyHome; " << where;
        // The other values are only read.
        for (const char* name : { "HideOnStartup", "JavaExe" }) {
            const StoredValue& value = std::string(name) == "JavaExe" ? input.javaExe : input.hideOnStartup;
            bool there = RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
            EXPECT_EQ(value.present, there) << name << "; " << where;
        }

        std::string userJava;
        if (UsableText(input.userJavaExe, userJava)) userJavaTaken += expected.javaExePath == userJava;
        checked += expected.check != input.checkBefore;
        javaRead += expected.javaExePath != input.javaExeBefore;
        vtyHomeDeleted += expected.vtyHomeGone;
        homeDerived += expected.homeDir != input.homeDirBefore;
    }
    std::printf(
        "[   INFO   ] %d iterations: check box changed %d, JavaExe taken %d (the user's %d), VtyHome deleted %d, "
        "home derived %d\n",
        iterations, checked, javaRead, userJavaTaken, vtyHomeDeleted, homeDerived);
    EXPECT_GT(userJavaTaken, iterations / 20);
    EXPECT_GT(checked, iterations / 20);
    EXPECT_GT(javaRead, iterations / 10);
    EXPECT_GT(vtyHomeDeleted, iterations / 10);
    EXPECT_GT(homeDerived, iterations / 4);
}

TEST_F(RegistryModelTest, WithoutTheSettingsKeyOnlyTheHomeIsDerivedWhateverTheExecutablesPath)
{
    // HKEY_LOCAL_MACHINE as a user without rights sees it: nothing can be opened or created there.
    RegistryKey gone;
    std::string path = "Software\\VantryModelGone\\" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(gone.Create(HKEY_CURRENT_USER, path.c_str(), KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VantryModelGone");
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, gone.Get()));
    {
        RegistryKey probe;
        ASSERT_FALSE(probe.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS));
    }

    const unsigned seed = TestSeed(1302);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    for (int i = 0; i < 1000 && !HasFailure(); ++i) {
        SettingsInput input = RandomInput(dice);
        input.keyUsable = false;
        input.userHideOnStartup = input.userJavaExe = StoredValue(); // the user's key stays empty here
        std::string where = "iteration " + std::to_string(i) + ", executable \"" + Visible(input.modulePath) + "\" (" +
                            std::to_string(input.modulePath.size()) + " characters)";
        LoadAndCompare(input, where);
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
}

// --- The Java installation search ---------------------------------------------------------------------

class RegistryModelSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = TempDir("searchmodel");
        // Installations on disk: some with java.exe, one without, names with blanks and ANSI letters.
        for (const char* name : { "jdk1.3.1", "jre 1.2.2", "J\xE9r\xF4me Java", "M\xFCller jdk1.2", "a" }) {
            std::string home = root + "\\" + name;
            ASSERT_TRUE(CreateDirectoryA(home.c_str(), nullptr)) << home;
            ASSERT_TRUE(CreateDirectoryA((home + "\\bin").c_str(), nullptr));
            std::ofstream(home + "\\bin\\java.exe") << "stand-in";
            ASSERT_TRUE(PathExists(home + "\\bin\\java.exe")) << Visible(home);
            homes.push_back(home);
        }
        std::string empty = root + "\\nojava";
        CreateDirectoryA(empty.c_str(), nullptr);
        CreateDirectoryA((empty + "\\bin").c_str(), nullptr);
        homes.push_back(empty);
        std::string folder = root + "\\java folder";
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\bin").c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryA((folder + "\\bin\\java.exe").c_str(), nullptr));
        homes.push_back(folder);
    }

    std::string Name(Dice& dice)
    {
        static const std::vector<std::string> versions = { "1.3",       "1.2",   "1.3.1", "1.2.2", "1.3.0_02", "jdk1.3",
                                                           "IBM 1.2.2", "1.4.0", "1.1.8", "1_3",   "1-2",      "2.0" };
        std::string name;
        switch (dice.Between(0, 5)) {
        case 0: { // long, the version anywhere, the end included
            std::string filler = dice.Bytes(dice.Between(180, 255), 'a', 'z');
            std::string version = dice.Pick(versions);
            size_t at = dice.Chance(0.5) ? filler.size() - std::min(filler.size(), version.size())
                                         : dice.Between(0, filler.size());
            name = filler.substr(0, at) + version + filler.substr(at);
            name.resize(std::min<size_t>(name.size(), 255));
            break;
        }
        case 1: name = dice.Bytes(dice.Between(1, 30), 0x20, 0xFF); break;
        default: name = dice.Pick(versions) + (dice.Chance(0.5) ? dice.Bytes(dice.Between(0, 4), '0', '9') : ""); break;
        }
        std::replace(name.begin(), name.end(), '\\', '_');
        return name;
    }

    StoredValue JavaHome(Dice& dice)
    {
        StoredValue value;
        value.present = dice.Chance(0.9);
        if (!value.present) return value;
        value.type = dice.Chance(0.75) ? REG_SZ : Type(dice);
        switch (dice.Between(0, 6)) {
        case 0:
        case 1:
        case 2: {
            std::string home = dice.Pick(homes);
            if (dice.Chance(0.2)) home += "\\"; // joined as it is: a doubled backslash
            value.bytes = home;
            if (dice.Chance(0.7)) value.bytes += '\0';
            break;
        }
        case 3: value.bytes = Around(dice, root + "\\missing", Length(dice)); break;
        case 4:
            value.bytes = std::string(dice.Between(258, 262), 'h') + (dice.Chance(0.5) ? "" : std::string(1, '\0'));
            break;
        default: value.bytes = dice.Bytes(Length(dice), 0, 255); break;
        }
        return value;
    }

    RegistrySandbox sandbox;
    std::string root;
    std::vector<std::string> homes;
};

TEST_F(RegistryModelSearchTest, RandomInstallationKeysGiveTheResultAndDestinationTheModelPredicts)
{
    const unsigned seed = TestSeed(1303);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Dice dice(seed);
    const int iterations = 2000;
    const size_t guard = 32;
    int found = 0;
    const std::string longBase = "SOFTWARE\\" + std::string(180, 'b');
    for (int i = 0; i < iterations && !HasFailure(); ++i) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE");
        const std::vector<std::string> bases = { kJdkKey, kJreKey, longBase };
        const std::string base = dice.Pick(bases);

        std::vector<JavaInstallation> written;
        {
            RegistryKey parent;
            ASSERT_TRUE(parent.Create(HKEY_LOCAL_MACHINE, base.c_str(), KEY_ALL_ACCESS));
            for (size_t n = dice.Between(0, 8); n > 0; --n) {
                JavaInstallation installation;
                installation.name = Name(dice);
                RegistryKey existing;
                if (existing.Open(parent.Get(), installation.name.c_str(), KEY_READ))
                    continue; // the same name in other case
                RegistryKey key;
                ASSERT_TRUE(key.Create(parent.Get(), installation.name.c_str(), KEY_ALL_ACCESS))
                    << Visible(installation.name);
                installation.javaHome = JavaHome(dice);
                Put(key.Get(), "JavaHome", installation.javaHome);
                written.push_back(installation);
            }
        }
        // The model takes them in the registry's own order.
        std::vector<JavaInstallation> installations;
        {
            RegistryKey parent;
            ASSERT_TRUE(parent.Open(HKEY_LOCAL_MACHINE, base.c_str(), KEY_READ));
            for (DWORD index = 0;; ++index) {
                char name[1024];
                DWORD length = sizeof name;
                if (RegEnumKeyExA(parent.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                auto it = std::find_if(written.begin(), written.end(),
                                       [&](const JavaInstallation& w) { return w.name == std::string(name, length); });
                ASSERT_NE(written.end(), it)
                    << "enumerated a name never written: " << Visible(std::string(name, length));
                JavaInstallation installation = *it;
                std::string home;
                installation.javaIsFile =
                    UsableText(installation.javaHome, home) && IsFileOnDisk(home + "\\bin\\java.exe");
                installations.push_back(installation);
            }
            ASSERT_EQ(written.size(), installations.size());
        }

        size_t size;
        switch (dice.Between(0, 4)) {
        case 0:
        case 1: size = kPathSize; break;
        case 2: size = kJavaCandidateSize; break;
        default: size = dice.Between(1, root.size() + 40); break;
        }
        std::vector<char> memory(guard + size + guard, kGuard);
        char* destination = memory.data() + guard;
        CopyText(destination, size, "untouched");
        const std::vector<char> before = memory;

        int result = SearchJavaInstallation(destination, size, base.c_str());
        SearchOutcome expected = ExpectedSearch(base, installations, size);

        std::string where = "iteration " + std::to_string(i) + " (seed " + std::to_string(seed) + "), base \"" +
                            Visible(base, 60) + "\", destination of " + std::to_string(size) + " bytes";
        for (const JavaInstallation& installation : installations)
            where += "\n  \"" + Visible(installation.name) + "\": JavaHome " + Describe(installation.javaHome) +
                     (installation.javaIsFile ? ", java.exe is a file" : "");
        ASSERT_EQ(expected.result, result) << where;
        if (result == 0) {
            ++found;
            ASSERT_EQ(expected.destination, std::string(destination)) << where;
            for (size_t b = guard + std::max(expected.longestWritten, sizeof "untouched"); b < memory.size(); ++b)
                ASSERT_EQ(before[b], memory[b]) << "written at byte " << b - guard << "; " << where;
            for (size_t b = 0; b < guard; ++b)
                ASSERT_EQ(before[b], memory[b]) << "written before the destination; " << where;
        } else {
            ASSERT_TRUE(before == memory) << "the destination was touched; " << where;
        }
    }
    std::printf("[   INFO   ] %d searches, %d found an installation\n", iterations, found);
    EXPECT_GT(found, iterations / 5);
    EXPECT_LT(found, iterations - iterations / 5);
}

// --- The models themselves, against the rules' own words ---------------------------------------------

StoredValue Stored(const std::string& bytes, DWORD type = REG_SZ)
{
    StoredValue value;
    value.present = true;
    value.type = type;
    value.bytes = bytes;
    return value;
}
StoredValue Text(const std::string& text) { return Stored(text + '\0'); }

TEST(RegistryTextModel, ARegSzOfAtMost261BytesIsTextUpToItsFirstNulOrItsEnd)
{
    std::string text;
    EXPECT_TRUE(UsableText(Text("a\\b"), text));
    EXPECT_EQ("a\\b", text);
    EXPECT_TRUE(UsableText(Stored("abc"), text)); // stored without its NUL
    EXPECT_EQ("abc", text);
    EXPECT_TRUE(UsableText(Stored(std::string("ab\0cd", 5)), text));
    EXPECT_EQ("ab", text);
    EXPECT_TRUE(UsableText(Text(std::string(260, 'x')), text));
    EXPECT_EQ(260u, text.size());
    EXPECT_FALSE(UsableText(Stored(std::string(261, 'x')), text)); // fills the buffer: no room for its end
    EXPECT_FALSE(UsableText(Text(std::string(261, 'x')), text));   // 262 bytes: the query fails
    EXPECT_FALSE(UsableText(Stored(std::string("abc\0", 4), REG_EXPAND_SZ), text));
    EXPECT_FALSE(UsableText(StoredValue(), text));
    EXPECT_TRUE(FitsReadBuffer(Stored(std::string(261, 'x'), REG_BINARY))); // VtyHome of any type
    EXPECT_FALSE(FitsReadBuffer(Stored(std::string(262, 'x'), REG_BINARY)));
}

TEST(SettingsModel, TheMachinesKeyIsReadFirstThenTheUsersOwnWhoseBoxAndJavaWin)
{
    SettingsInput base;
    base.javaExeBefore = "Bad path: java.exe";
    base.homeDirBefore = "Bad path: Vty Home";
    base.modulePath = "C:\\Apps\\Launcher\\Vantry.exe";
    const std::string jdk = "C:\\jdk\\bin\\java.exe", mine = "D:\\mine\\bin\\java.exe";
    {
        SCOPED_TRACE("the box: \"true\" anywhere, lowercase; a value of another type changes nothing");
        SettingsInput in = base;
        in.hideOnStartup = Text("xtruex");
        EXPECT_EQ(1, ExpectedSettings(in).check);
        in.hideOnStartup = Text("TRUE");
        in.checkBefore = 1;
        EXPECT_EQ(0, ExpectedSettings(in).check);
        in.hideOnStartup = Stored("true", REG_DWORD);
        EXPECT_EQ(1, ExpectedSettings(in).check);
        in.userHideOnStartup = Text("false");
        EXPECT_EQ(0, ExpectedSettings(in).check);
        in.hideOnStartup = Text("false");
        in.userHideOnStartup = Text("true");
        EXPECT_EQ(1, ExpectedSettings(in).check);
    }
    {
        SCOPED_TRACE("java.exe: the user's when stored, else the machine's");
        SettingsInput in = base;
        in.javaExe = Text(jdk);
        in.userJavaExe = Text(mine);
        in.files = { jdk };
        EXPECT_EQ(mine, ExpectedSettings(in).javaExePath);
        in.userJavaExe = Text(std::string(300, 'j')); // too long to be used
        EXPECT_EQ(jdk, ExpectedSettings(in).javaExePath);
        in.userJavaExe = Text(mine);
        in.javaExe = StoredValue();
        EXPECT_EQ(mine, ExpectedSettings(in).javaExePath);
        in.userJavaExe = StoredValue();
        EXPECT_EQ("Bad path: java.exe", ExpectedSettings(in).javaExePath);
    }
    {
        SCOPED_TRACE("VtyHome goes only from a machine's key this user may write; the home is the executable's");
        SettingsInput in = base;
        in.vtyHome = Stored("C:\\Old", REG_EXPAND_SZ);
        SettingsOutcome out = ExpectedSettings(in);
        EXPECT_TRUE(out.vtyHomeGone);
        EXPECT_EQ("C:\\Apps\\Launcher", out.homeDir);
        EXPECT_EQ("C:\\Apps\\Launcher\\config\\vty3.2.sav", out.markerPath);
        in.keyWritable = false;
        EXPECT_FALSE(ExpectedSettings(in).vtyHomeGone);
        in.keyUsable = false;
        in.hideOnStartup = Text("true");
        in.modulePath = "Vantry.exe"; // no folder: the home keeps its placeholder
        out = ExpectedSettings(in);
        EXPECT_EQ(0, out.check);
        EXPECT_FALSE(out.vtyHomeGone);
        EXPECT_EQ("Bad path: Vty Home", out.homeDir);
    }
}

TEST(SearchModel, A13WinsOverA12AndOnlyAFileCountsAsJava)
{
    auto installation = [](const char* name, bool javaIsFile) {
        JavaInstallation i;
        i.name = name;
        i.javaHome = Text(std::string("C:\\") + name);
        i.javaIsFile = javaIsFile;
        return i;
    };
    const std::string base = "SOFTWARE\\JavaSoft\\Java Development Kit";
    SearchOutcome out = ExpectedSearch(base, { installation("1.2.2", true), installation("1.3.1", true) }, 780);
    EXPECT_EQ(0, out.result);
    EXPECT_EQ("C:\\1.3.1\\bin\\java.exe", out.destination);
    out = ExpectedSearch(base, { installation("1.3.1", false), installation("1.2.2", true) }, 780);
    EXPECT_EQ("C:\\1.2.2\\bin\\java.exe", out.destination); // a folder named java.exe is passed over
    out = ExpectedSearch(base, { installation("1.2.1", true), installation("1.2.2", true) }, 780);
    EXPECT_EQ("C:\\1.2.1\\bin\\java.exe", out.destination);
    EXPECT_EQ(-1, ExpectedSearch(base, { installation("1.4.0", true), installation("1.1.8", true) }, 780).result);
    EXPECT_EQ(-1, ExpectedSearch(base, { installation("1.3.1", true) }, 18).result); // would not fit
    std::string longName = std::string(260 - base.size(), 'n') + "1.3";              // key path over 260 characters
    EXPECT_EQ(-1, ExpectedSearch(base, { installation(longName.c_str(), true) }, 780).result);
}

} // namespace
