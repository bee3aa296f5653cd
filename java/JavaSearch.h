// Finds a Java 1.3 or 1.2 installation through the JavaSoft keys under HKEY_LOCAL_MACHINE (in the
// registry's 32-bit view, where their installers register), and lists every Java on the machine.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kJavaCandidateSize = 261 + 13; // a JavaHome of up to 260 characters and "\bin\java.exe"

// 0 when an installation whose bin\java.exe is a file was found (destination holds that path),
// -1 otherwise (destination untouched). An installation whose path would not fit destinationSize is
// passed over like one whose java.exe is missing or a folder.
int SearchJavaInstallation(char* destination, size_t destinationSize, const char* baseKey);
// 0 when candidate (kJavaCandidateSize bytes) holds the key's JavaHome followed by "\bin\java.exe",
// -1 when the key has no usable JavaHome (candidate untouched).
int ReadJavaHome(HKEY installationKey, char* candidate);

// One Java found on the machine. What cannot be told stays empty (version, vendor) or 0 (bits).
struct InstalledJava {
    std::string version;
    std::string vendor;
    int bits = 0;     // 32 or 64, from java.exe's image header
    std::string path; // <home>\bin\java.exe, a file
};

// Every Java on the machine, each java.exe once: the JavaSoft keys (old and new names), the keys of
// the Eclipse Adoptium, Microsoft, Azul Zulu and BellSoft Liberica installers (Amazon Corretto
// registers under JavaSoft) in both registry views, JAVA_HOME, PATH (network folders skipped, so a
// slow share never stalls the start) and a runtime bundled in homeDir (<home>\jdk, <home>\jre).
// Ordered by closeness to Java 1.2 and 1.3: 1.x newest first, then 9 and later oldest first.
std::vector<InstalledJava> FindJavaInstallations(const char* homeDir);
// The java.exe of a runtime bundled with the installation at homeDir, when one is a file: true, and
// destination (destinationSize bytes) holds its path.
bool FindBundledJava(const char* homeDir, char* destination, size_t destinationSize);
// "version, vendor, bits: path", leaving out what is not known.
std::string JavaLabel(const InstalledJava& java);
