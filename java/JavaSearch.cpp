#include "java/JavaSearch.h"

#include "framework/Paths.h"
#include "framework/Text.h"
#include "java/RegistryKey.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

// In order of preference: the index of the pattern an installation matched is its rank.
const char* const kVersionPatterns[] = { "1.3", "1.2" };
constexpr int kNothingRecorded = 101;
constexpr DWORD kSubkeyNameSize = 260;       // NUL included
constexpr size_t kInstallationKeySize = 261; // 260 characters and the NUL

} // namespace

int ReadJavaHome(HKEY installationKey, char* candidate)
{
    RegistryValue home;
    if (!home.Query(installationKey, "JavaHome")) return -1;
    const char* text = home.Text();
    if (!text) return -1;
    // At most 260 characters and "\bin\java.exe": always fits.
    CopyText(candidate, kJavaCandidateSize, text);
    AppendText(candidate, kJavaCandidateSize, "\\bin\\java.exe");
    return 0;
}

int SearchJavaInstallation(char* destination, size_t destinationSize, const char* baseKey)
{
    RegistryKey base;
    if (!base.Open(HKEY_LOCAL_MACHINE, baseKey, KEY_READ)) return -1;

    int best = kNothingRecorded;
    for (DWORD index = 0;; ++index) {
        char name[kSubkeyNameSize];
        DWORD nameLength = kSubkeyNameSize;
        if (RegEnumKeyExA(base.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        for (int i = 0; i < 2; ++i) {
            if (i < best && std::strstr(name, kVersionPatterns[i])) {
                char keyPath[kInstallationKeySize];
                // A path too long for its buffer would name another key: skip the subkey.
                bool fits = CopyText(keyPath, baseKey) && AppendText(keyPath, "\\") && AppendText(keyPath, name);
                RegistryKey installation;
                char candidate[kJavaCandidateSize];
                if (fits && installation.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ) &&
                    ReadJavaHome(installation.Get(), candidate) == 0 && IsFile(candidate) &&
                    std::strlen(candidate) < destinationSize) {
                    CopyText(destination, destinationSize, candidate);
                    best = i;
                }
            }
            if (best == 0) return 0;
        }
    }
    return best != kNothingRecorded ? 0 : -1;
}

namespace {

// How an installer records an installation below its base key.
enum class Layout {
    Named,   // <base>\<version> holds JavaHome (JavaSoft; also Amazon Corretto's installers)
    Msi,     // <base>\<version>\<jvm>\MSI holds Path (the Adoptium installer, which Microsoft builds too)
    Current, // <base>\<name> holds InstallationPath and CurrentVersion (Azul Zulu, BellSoft Liberica)
};

struct RegisteredJavas {
    const char* base;
    Layout layout;
    const char* vendor; // nullptr: the runtime's release file names it
};

const RegisteredJavas kRegistered[] = {
    { "SOFTWARE\\JavaSoft\\Java Development Kit", Layout::Named, nullptr },
    { "SOFTWARE\\JavaSoft\\Java Runtime Environment", Layout::Named, nullptr },
    { "SOFTWARE\\JavaSoft\\JDK", Layout::Named, nullptr },
    { "SOFTWARE\\JavaSoft\\JRE", Layout::Named, nullptr },
    { "SOFTWARE\\Eclipse Adoptium\\JDK", Layout::Msi, "Eclipse Adoptium" },
    { "SOFTWARE\\Eclipse Adoptium\\JRE", Layout::Msi, "Eclipse Adoptium" },
    { "SOFTWARE\\Microsoft\\JDK", Layout::Msi, "Microsoft" },
    { "SOFTWARE\\Azul Systems\\Zulu", Layout::Current, "Azul Zulu" },
    { "SOFTWARE\\Azul Systems\\Zulu 32-bit", Layout::Current, "Azul Zulu" },
    { "SOFTWARE\\BellSoft\\Liberica", Layout::Current, "BellSoft Liberica" },
};

const REGSAM kViews[] = { KEY_WOW64_64KEY, KEY_WOW64_32KEY };
const char* const kBundled[] = { "\\jdk", "\\jre" }; // the JDK first, as the application prefers it

std::vector<std::string> Subkeys(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::string TextValue(HKEY key, const char* name)
{
    RegistryValue value;
    const char* text = value.Query(key, name) ? value.Text() : nullptr;
    return text ? text : "";
}

// The java.exe of a Java home, whether or not the home ends in a backslash (the MSI's Path does).
std::string JavaOfHome(std::string home)
{
    while (!home.empty() && home.back() == '\\') home.pop_back();
    return home + "\\bin\\java.exe";
}

// The folder two levels above java.exe: the home of a <home>\bin\java.exe.
std::string HomeOfJava(const std::string& java)
{
    size_t bin = java.find_last_of('\\');
    size_t home = bin == std::string::npos || bin == 0 ? std::string::npos : java.find_last_of('\\', bin - 1);
    return home == std::string::npos ? std::string() : java.substr(0, home);
}

// A value of the runtime's release file (lines KEY="value"), empty when there is none.
std::string ReleaseValue(const std::string& home, const std::string& key)
{
    std::ifstream release(home + "\\release");
    std::string line;
    for (int lines = 0; lines < 200 && std::getline(release, line); ++lines) {
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == '"')) value.pop_back();
        if (!value.empty() && value.front() == '"') value.erase(0, 1);
        return value;
    }
    return "";
}

// 32 or 64 from the machine named in the image's PE header; 0 for anything else.
int ImageBits(const std::string& path)
{
    std::ifstream image(path, std::ios::binary);
    unsigned char dos[64] = {};
    if (!image.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    DWORD peOffset = dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | static_cast<DWORD>(dos[0x3F]) << 24;
    unsigned char pe[6] = {};
    if (!image.seekg(peOffset) || !image.read(reinterpret_cast<char*>(pe), sizeof pe)) return 0;
    if (std::memcmp(pe, "PE\0\0", 4) != 0) return 0;
    WORD machine = static_cast<WORD>(pe[4] | pe[5] << 8);
    if (machine == IMAGE_FILE_MACHINE_I386) return 32;
    if (machine == IMAGE_FILE_MACHINE_AMD64 || machine == 0xAA64 /* ARM64 */) return 64;
    return 0;
}

// The numbers of a version text; 8.0.392 and 1.8.0_392 are both Java 1.8.
std::vector<unsigned long> VersionNumbers(const std::string& version)
{
    std::vector<unsigned long> numbers;
    for (size_t i = 0; i < version.size();) {
        if (!std::isdigit(static_cast<unsigned char>(version[i]))) {
            ++i;
            continue;
        }
        size_t end = version.find_first_not_of("0123456789", i);
        numbers.push_back(std::strtoul(version.substr(i, end - i).c_str(), nullptr, 10));
        i = end == std::string::npos ? version.size() : end;
    }
    if (!numbers.empty() && numbers[0] >= 2 && numbers[0] <= 8) numbers.insert(numbers.begin(), 1);
    return numbers;
}

// Closer to Java 1.2 and 1.3 first: 1.x newest first, then 9 and later oldest first, unknown last.
bool Closer(const InstalledJava& a, const InstalledJava& b)
{
    std::vector<unsigned long> x = VersionNumbers(a.version), y = VersionNumbers(b.version);
    auto group = [](const std::vector<unsigned long>& n) { return n.empty() ? 2 : n[0] == 1 ? 0 : 1; };
    if (group(x) != group(y)) return group(x) < group(y);
    if (group(x) == 0) return y < x;
    return x < y;
}

bool OnNetwork(const std::string& path)
{
    if (path.compare(0, 2, "\\\\") == 0) return true;
    if (path.size() < 2 || path[1] != ':') return false;
    std::string root = path.substr(0, 2) + "\\";
    return GetDriveTypeA(root.c_str()) == DRIVE_REMOTE;
}

std::string Environment(const char* name)
{
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return "";
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, &value[0], size));
    return value;
}

class Found {
public:
    // Each java.exe once: a second find of it may only tell what the first did not.
    void Add(const std::string& java, const std::string& version, const char* vendor)
    {
        if (!IsFile(java.c_str())) return;
        for (InstalledJava& known : list) {
            if (lstrcmpiA(known.path.c_str(), java.c_str()) != 0) continue;
            if (known.version.size() < version.size()) known.version = version;
            if (known.vendor.empty() && vendor) known.vendor = vendor;
            return;
        }
        InstalledJava added;
        added.path = java;
        added.version = version;
        if (vendor) added.vendor = vendor;
        list.push_back(added);
    }

    void AddRegistered(const RegisteredJavas& javas, REGSAM view)
    {
        RegistryKey base;
        if (!base.Open(HKEY_LOCAL_MACHINE, javas.base, KEY_READ, view)) return;
        for (const std::string& name : Subkeys(base.Get())) {
            RegistryKey installation;
            if (!installation.Open(base.Get(), name.c_str(), KEY_READ, view)) continue;
            if (javas.layout == Layout::Named) {
                std::string home = TextValue(installation.Get(), "JavaHome");
                if (!home.empty()) Add(JavaOfHome(home), name, javas.vendor);
            } else if (javas.layout == Layout::Current) {
                std::string home = TextValue(installation.Get(), "InstallationPath");
                if (!home.empty()) Add(JavaOfHome(home), TextValue(installation.Get(), "CurrentVersion"), javas.vendor);
            } else {
                for (const std::string& jvm : Subkeys(installation.Get())) {
                    RegistryKey msi;
                    if (!msi.Open(installation.Get(), (jvm + "\\MSI").c_str(), KEY_READ, view)) continue;
                    std::string home = TextValue(msi.Get(), "Path");
                    if (!home.empty()) Add(JavaOfHome(home), name, javas.vendor);
                }
            }
        }
    }

    void AddPath()
    {
        std::string path = Environment("PATH");
        for (size_t start = 0; start <= path.size();) {
            size_t end = path.find(';', start);
            if (end == std::string::npos) end = path.size();
            std::string folder = path.substr(start, end - start);
            start = end + 1;
            if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
                folder = folder.substr(1, folder.size() - 2);
            while (!folder.empty() && folder.back() == '\\') folder.pop_back();
            // Only whole paths: a relative entry depends on the folder the launcher was started in.
            bool whole = folder.size() >= 2 && (folder[1] == ':' || folder.compare(0, 2, "\\\\") == 0);
            if (whole && !OnNetwork(folder)) Add(folder + "\\java.exe", "", nullptr);
        }
    }

    std::vector<InstalledJava> list;
};

} // namespace

bool FindBundledJava(const char* homeDir, char* destination, size_t destinationSize)
{
    for (const char* folder : kBundled) {
        std::string java = JavaOfHome(std::string(homeDir) + folder);
        if (IsFile(java.c_str()) && java.size() < destinationSize) {
            CopyText(destination, destinationSize, java.c_str());
            return true;
        }
    }
    return false;
}

std::vector<InstalledJava> FindJavaInstallations(const char* homeDir)
{
    Found found;
    for (const char* folder : kBundled) found.Add(JavaOfHome(std::string(homeDir) + folder), "", nullptr);
    for (const RegisteredJavas& javas : kRegistered)
        for (REGSAM view : kViews) found.AddRegistered(javas, view);
    std::string javaHome = Environment("JAVA_HOME");
    if (!javaHome.empty() && !OnNetwork(javaHome)) found.Add(JavaOfHome(javaHome), "", nullptr);
    found.AddPath();

    for (InstalledJava& java : found.list) {
        std::string home = HomeOfJava(java.path);
        if (java.version.empty()) java.version = ReleaseValue(home, "JAVA_VERSION");
        if (java.vendor.empty()) java.vendor = ReleaseValue(home, "IMPLEMENTOR");
        java.bits = ImageBits(java.path);
    }
    std::stable_sort(found.list.begin(), found.list.end(), &Closer);
    return found.list;
}

std::string JavaLabel(const InstalledJava& java)
{
    std::string label;
    for (const std::string& part :
         { java.version, java.vendor, java.bits ? std::to_string(java.bits) + "-bit" : std::string() }) {
        if (part.empty()) continue;
        if (!label.empty()) label += ", ";
        label += part;
    }
    return label.empty() ? java.path : label + ": " + java.path;
}
