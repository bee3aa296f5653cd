// Finds a Java 1.3 or 1.2 installation through the JavaSoft keys under HKEY_LOCAL_MACHINE (in the
// registry's 32-bit view, where their installers register).
#pragma once
#include <windows.h>

#include <cstddef>

constexpr size_t kJavaCandidateSize = 261 + 13; // a JavaHome of up to 260 characters and "\bin\java.exe"

// 0 when an installation whose bin\java.exe is a file was found (destination holds that path),
// -1 otherwise (destination untouched). An installation whose path would not fit destinationSize is
// passed over like one whose java.exe is missing or a folder.
int SearchJavaInstallation(char* destination, size_t destinationSize, const char* baseKey);
// 0 when candidate (kJavaCandidateSize bytes) holds the key's JavaHome followed by "\bin\java.exe",
// -1 when the key has no usable JavaHome (candidate untouched).
int ReadJavaHome(HKEY installationKey, char* candidate);
