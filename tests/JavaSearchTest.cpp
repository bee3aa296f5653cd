// The search for a Java 1.3 or 1.2 installation in the JavaSoft keys, against real files.
#include "framework/Paths.h"
#include "framework/Text.h"
#include "java/JavaSearch.h"
#include "java/RegistryKey.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";
const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kUntouched[] = "Bad path: java.exe";

std::string JavaOf(const std::string& home) { return home + "\\bin\\java.exe"; }

// Subkeys are taken in the registry's own order; each test states the order it relies on.
std::vector<std::string> Enumerated(const char* base)
{
    std::vector<std::string> names;
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, base, KEY_READ)) return names;
    for (DWORD i = 0;; ++i) {
        char name[260];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

class JavaSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = TempDir("javasearch");
        CopyText(destination, kUntouched);
    }

    enum Java { File, Missing, Folder };
    // A Java home folder; with bin\java.exe in it as a file unless told otherwise.
    std::string Home(const std::string& name, Java java = File)
    {
        std::string home = root + "\\" + name;
        CreateDirectoryA(home.c_str(), nullptr);
        CreateDirectoryA((home + "\\bin").c_str(), nullptr);
        if (java == File) std::ofstream(JavaOf(home)) << "stand-in";
        if (java == Folder) CreateDirectoryA(JavaOf(home).c_str(), nullptr);
        return home;
    }

    // Through the base key, so that the whole path may be longer than the system takes in one call.
    static bool CreateInstallationKey(const char* base, const std::string& subkey, RegistryKey& key)
    {
        RegistryKey parent;
        return parent.Create(HKEY_LOCAL_MACHINE, base, KEY_ALL_ACCESS) &&
               key.Create(parent.Get(), subkey.c_str(), KEY_ALL_ACCESS);
    }

    static void Register(const char* base, const std::string& subkey, const std::string& javaHome, DWORD type = REG_SZ)
    {
        RegistryKey key;
        ASSERT_TRUE(CreateInstallationKey(base, subkey, key));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key.Get(), "JavaHome", 0, type, reinterpret_cast<const BYTE*>(javaHome.c_str()),
                                 static_cast<DWORD>(javaHome.size() + 1)));
    }
    static void RegisterWithoutJavaHome(const char* base, const std::string& subkey)
    {
        RegistryKey key;
        ASSERT_TRUE(CreateInstallationKey(base, subkey, key));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "Other", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    }

    int Search(const char* base) { return SearchJavaInstallation(destination, sizeof destination, base); }

    RegistrySandbox sandbox;
    std::string root;
    char destination[kPathSize];
};

using Names = std::vector<std::string>;

TEST_F(JavaSearchTest, NothingAcceptableLeavesTheDestinationAsItWas)
{
    {
        SCOPED_TRACE("no base key");
        EXPECT_EQ(-1, Search(kJdkKey));
    }
    {
        SCOPED_TRACE("base key without subkeys");
        RegistryKey base;
        ASSERT_TRUE(base.Create(HKEY_LOCAL_MACHINE, kJdkKey, KEY_ALL_ACCESS));
        EXPECT_EQ(-1, Search(kJdkKey));
    }
    {
        SCOPED_TRACE("only other versions, each with an existing java.exe");
        for (const char* version : { "1.4.0", "1.1.8", "2.0", "1_3", "1-2" }) Register(kJdkKey, version, Home(version));
        EXPECT_EQ(-1, Search(kJdkKey));
    }
    EXPECT_STREQ(kUntouched, destination);
}

TEST_F(JavaSearchTest, AnAcceptable13ReplacesAnEarlier12AndEndsTheSearch)
{
    Register(kJdkKey, "1.2.2", Home("jdk1.2.2"));
    Register(kJdkKey, "1.3.1", Home("jdk1.3.1"));
    Register(kJdkKey, "1.3.2", Home("jdk1.3.2"));
    ASSERT_EQ((Names{ "1.2.2", "1.3.1", "1.3.2" }), Enumerated(kJdkKey));

    EXPECT_EQ(0, Search(kJdkKey));
    EXPECT_EQ(JavaOf(root + "\\jdk1.3.1"), destination);
}

TEST_F(JavaSearchTest, A13WithoutJavaHomeGivesWayToAValid12InEitherOrder)
{
    {
        SCOPED_TRACE("1.2 enumerated first");
        Register(kJdkKey, "1.2.2", Home("jdk1.2.2"));
        RegisterWithoutJavaHome(kJdkKey, "1.3");
        ASSERT_EQ((Names{ "1.2.2", "1.3" }), Enumerated(kJdkKey));
        EXPECT_EQ(0, Search(kJdkKey));
        EXPECT_EQ(JavaOf(root + "\\jdk1.2.2"), destination);
    }
    {
        SCOPED_TRACE("1.3 enumerated first");
        CopyText(destination, kUntouched);
        RegisterWithoutJavaHome(kJreKey, "1.3");
        Register(kJreKey, "jre1.2.2", Home("jre1.2.2"));
        ASSERT_EQ((Names{ "1.3", "jre1.2.2" }), Enumerated(kJreKey));
        EXPECT_EQ(0, Search(kJreKey));
        EXPECT_EQ(JavaOf(root + "\\jre1.2.2"), destination);
    }
}

TEST_F(JavaSearchTest, TheFirstAcceptable12IsKeptAndUnacceptableOnesArePassedOver)
{
    {
        SCOPED_TRACE("two valid 1.2");
        Register(kJdkKey, "1.2.1", Home("jdk1.2.1"));
        Register(kJdkKey, "1.2.2", Home("jdk1.2.2"));
        ASSERT_EQ((Names{ "1.2.1", "1.2.2" }), Enumerated(kJdkKey));
        EXPECT_EQ(0, Search(kJdkKey));
        EXPECT_EQ(JavaOf(root + "\\jdk1.2.1"), destination);
    }
    {
        SCOPED_TRACE("java.exe missing in the first 1.2, a folder in another 1.2 and in the later 1.3s");
        Register(kJreKey, "1.2.0", Home("jre1.2.0", Folder));
        Register(kJreKey, "1.2.1", Home("jre1.2.1", Missing));
        Register(kJreKey, "1.2.2", Home("jre1.2.2"));
        Register(kJreKey, "1.3.0", Home("jre1.3.0", Missing));
        Register(kJreKey, "1.3.1", Home("jre1.3.1", Folder));
        ASSERT_EQ((Names{ "1.2.0", "1.2.1", "1.2.2", "1.3.0", "1.3.1" }), Enumerated(kJreKey));
        EXPECT_EQ(0, Search(kJreKey));
        EXPECT_EQ(JavaOf(root + "\\jre1.2.2"), destination);
    }
}

TEST_F(JavaSearchTest, VersionsMatchAnywhereInTheSubkeyName)
{
    for (const char* name : { "1.3", "1.3.0_02", "1.3.1", "jdk1.3", "1.2", "IBM 1.2.2" }) {
        SCOPED_TRACE(name);
        std::string base = std::string("SOFTWARE\\Match\\") + name;
        Register(base.c_str(), name, Home(std::string("home ") + name));
        CopyText(destination, kUntouched);
        EXPECT_EQ(0, Search(base.c_str()));
        EXPECT_EQ(JavaOf(root + "\\home " + name), destination);
    }
}

TEST_F(JavaSearchTest, OnlyARegSzJavaHomeIsAccepted)
{
    std::string home = Home("jdk1.3.1");
    Register(kJdkKey, "1.3.1", home, REG_EXPAND_SZ);
    Register(kJdkKey, "1.3.2", home, REG_MULTI_SZ);
    Register(kJdkKey, "1.3.3", home, REG_BINARY);
    EXPECT_EQ(-1, Search(kJdkKey));
    EXPECT_STREQ(kUntouched, destination);

    Register(kJdkKey, "1.2.2", Home("jdk1.2.2"));
    EXPECT_EQ(0, Search(kJdkKey));
    EXPECT_EQ(JavaOf(root + "\\jdk1.2.2"), destination);
}

TEST_F(JavaSearchTest, AJavaHomeEndingInABackslashIsJoinedAsItIs)
{
    std::string home = Home("jdk1.3.1");
    Register(kJdkKey, "1.3.1", home + "\\");
    EXPECT_EQ(0, Search(kJdkKey));
    EXPECT_EQ(home + "\\\\bin\\java.exe", destination);
}

TEST_F(JavaSearchTest, AnInstallationKeyPathOf260CharactersIsSearched)
{
    // The JRE base key has 42 characters; with the backslash a 217-character name makes 260.
    std::string name = std::string(214, 'n') + "1.3";
    ASSERT_EQ(260u, std::string(kJreKey).size() + 1 + name.size());
    Register(kJreKey, name, Home("fits"));
    EXPECT_EQ(0, Search(kJreKey));
    EXPECT_EQ(JavaOf(root + "\\fits"), destination);
}

TEST_F(JavaSearchTest, AnInstallationKeyPathOver260CharactersIsSkippedNotCut)
{
    // Cut to 260 characters, the longer name would open its neighbour, which names no version at all.
    std::string neighbour = std::string(215, 'n') + "1.";
    std::string tooLong = neighbour + "3";
    Register(kJreKey, neighbour, Home("neighbour"));
    Register(kJreKey, tooLong, Home("too long"));
    EXPECT_EQ(-1, Search(kJreKey));
    EXPECT_STREQ(kUntouched, destination);
}

TEST_F(JavaSearchTest, AnInstallationTooLongForTheDestinationIsPassedOver)
{
    Register(kJdkKey, "1.3.1", Home("jdk1.3.1"));
    char small[16] = "small";
    EXPECT_EQ(-1, SearchJavaInstallation(small, sizeof small, kJdkKey));
    EXPECT_STREQ("small", small);
}

// --- Every Java on the machine ---------------------------------------------------------------------------

// A java.exe whose image header names a 32- or 64-bit machine; bits -1: none, -2: a folder of that name.
void WriteJava(const std::string& path, int bits)
{
    if (bits == -2) CreateDirectoryA(path.c_str(), nullptr);
    std::string header(bits == 32 ? "PE\0\0\x4c\x01" : "PE\0\0\x64\x86", 6), image(0x40, '\0');
    image.replace(0, 2, "MZ")[0x3C] = 0x40;
    if (bits >= 0) std::ofstream(path, std::ios::binary) << image << header;
}

TEST_F(JavaSearchTest, EveryJavaIsListedOnceWithWhatItIsInOrderOfClosenessTo12And13)
{
    const std::string jdk = "SOFTWARE\\JavaSoft\\JDK\\", adoptium = "SOFTWARE\\Eclipse Adoptium\\",
                      zulu = "SOFTWARE\\Azul Systems\\Zulu", msi = "\\hotspot\\MSI";
    const struct {
        std::string key; // empty: not registered
        const char *value, *currentVersion, *home;
        int bits;
        const char* release;
    } layouts[] = {
        { std::string(kJdkKey) + "\\1.3.1", "JavaHome", nullptr, "jdk1.3.1", 32, nullptr },
        { std::string(kJreKey) + "\\1.8.0_392", "JavaHome", nullptr, "jre8", 64, nullptr },
        { jdk + "17.0.9", "JavaHome", nullptr, "corretto17", 64, "IMPLEMENTOR=\"Amazon.com Inc.\"" },
        { "SOFTWARE\\JavaSoft\\JRE\\21.0.2", "JavaHome", nullptr, "jre21", 64, nullptr },
        { adoptium + "JDK\\21.0.1.12" + msi, "Path", nullptr, "temurin21\\", 64, nullptr },
        { adoptium + "JRE\\8.0.402.6" + msi, "Path", nullptr, "temurin8\\", 32, nullptr },
        { "SOFTWARE\\Microsoft\\JDK\\17.0.10.7" + msi, "Path", nullptr, "microsoft17\\", 64, nullptr },
        { zulu + "\\zulu-11", "InstallationPath", "11.0.21", "zulu11", 64, nullptr },
        { zulu + " 32-bit\\zulu-8", "InstallationPath", nullptr, "zulu8", 32, "JAVA_VERSION=\"1.8.0_382\"" },
        { "SOFTWARE\\BellSoft\\Liberica\\jdk-25", "InstallationPath", "25.0.1", "liberica25", 64, nullptr },
        { jdk + "22", "JavaHome", nullptr, "missing", -1, nullptr },
        { zulu + "\\zulu-23", "InstallationPath", "23", "folder", -2, nullptr },
        { "", nullptr, nullptr, "install\\jre", 64, "JAVA_VERSION=\"1.2.2\"\nIMPLEMENTOR=\"Sun\"" },
        { "", nullptr, nullptr, "javahome", 64, nullptr },
        { "", nullptr, nullptr, "onpath", 32, nullptr },
    };
    for (const auto& l : layouts) {
        std::string home = root + "\\" + l.home, folder = home.substr(0, home.find_last_not_of('\\') + 1);
        SHCreateDirectoryExA(nullptr, (folder + "\\bin").c_str(), nullptr);
        WriteJava(JavaOf(folder), l.bits);
        if (l.release) std::ofstream(folder + "\\release") << l.release << "\n";
        RegistryKey key;
        if (l.key.empty() || !key.Create(HKEY_LOCAL_MACHINE, l.key.c_str(), KEY_ALL_ACCESS)) continue;
        for (auto value : { std::make_pair(l.value, home.c_str()), std::make_pair("CurrentVersion", l.currentVersion) })
            if (value.second)
                RegSetValueExA(key.Get(), value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second),
                               static_cast<DWORD>(std::strlen(value.second) + 1));
    }
    char oldPath[32768] = "";
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    SetEnvironmentVariableA("JAVA_HOME", (root + "\\javahome\\").c_str());
    // A share is passed over unasked (a slow one would stall the start), and so is a relative folder.
    std::string path = "\\\\no-server\\share\\bin;relative\\bin;\"" + root + "\\onpath\\bin\";" + root + "\\jre8\\bin";
    SetEnvironmentVariableA("PATH", path.c_str());
    std::vector<InstalledJava> found = FindJavaInstallations((root + "\\install").c_str());
    SetEnvironmentVariableA("JAVA_HOME", nullptr);
    SetEnvironmentVariableA("PATH", oldPath);

    Names labels;
    for (const InstalledJava& java : found) labels.push_back(JavaLabel(java));
    const std::string r = root + "\\", j = "\\bin\\java.exe";
    EXPECT_EQ(
        (Names{ "8.0.402.6, Eclipse Adoptium, 32-bit: " + r + "temurin8" + j, "1.8.0_392, 64-bit: " + r + "jre8" + j,
                "1.8.0_382, Azul Zulu, 32-bit: " + r + "zulu8" + j, "1.3.1, 32-bit: " + r + "jdk1.3.1" + j,
                "1.2.2, Sun, 64-bit: " + r + "install\\jre" + j, "11.0.21, Azul Zulu, 64-bit: " + r + "zulu11" + j,
                "17.0.9, Amazon.com Inc., 64-bit: " + r + "corretto17" + j,
                "17.0.10.7, Microsoft, 64-bit: " + r + "microsoft17" + j,
                "21.0.1.12, Eclipse Adoptium, 64-bit: " + r + "temurin21" + j, "21.0.2, 64-bit: " + r + "jre21" + j,
                "25.0.1, BellSoft Liberica, 64-bit: " + r + "liberica25" + j, "64-bit: " + r + "javahome" + j,
                "32-bit: " + r + "onpath" + j }),
        labels);
}

class ReadJavaHomeTest : public JavaSearchTest {
protected:
    // The installation key with JavaHome stored as given.
    HKEY KeyWith(const void* data, size_t size, DWORD type = REG_SZ)
    {
        EXPECT_TRUE(key.Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Installation", KEY_ALL_ACCESS));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "JavaHome", 0, type, static_cast<const BYTE*>(data),
                                                static_cast<DWORD>(size)));
        return key.Get();
    }

    RegistryKey key;
    char candidate[kJavaCandidateSize] = "untouched";
};

TEST_F(ReadJavaHomeTest, AJavaHomeOfUpTo260CharactersBecomesItsJavaExe)
{
    std::string longest = "C:\\" + std::string(257, 'h');
    ASSERT_EQ(0, ReadJavaHome(KeyWith(longest.c_str(), longest.size() + 1), candidate));
    EXPECT_EQ(longest + "\\bin\\java.exe", candidate);
}

TEST_F(ReadJavaHomeTest, AnUnusableJavaHomeLeavesTheCandidateAlone)
{
    std::string tooLong = "C:\\" + std::string(258, 'h');
    EXPECT_EQ(-1, ReadJavaHome(KeyWith(tooLong.c_str(), tooLong.size() + 1), candidate));
    EXPECT_EQ(-1, ReadJavaHome(KeyWith("C:\\jdk", 7, REG_EXPAND_SZ), candidate));
    RegDeleteValueA(key.Get(), "JavaHome");
    EXPECT_EQ(-1, ReadJavaHome(key.Get(), candidate));
    EXPECT_STREQ("untouched", candidate);
}

} // namespace
