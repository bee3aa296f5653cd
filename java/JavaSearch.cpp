#include "java/JavaSearch.h"

#include "framework/Paths.h"
#include "framework/Text.h"
#include "java/RegistryKey.h"

#include <cstring>

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
