// "Start with Windows": a value of the user's Run key that starts this installation's launcher at
// log-on. Named after the installation, so that launchers of other folders keep their own.
#pragma once
#include <cstddef>

// The Run key's value name for an installation: "Vantry." and the installation's hash.
constexpr size_t kStartValueNameSize = 32;

// True when the value exists and names the program at exePath (quoted or not, in any letter case).
bool StartsWithWindows(const char* valueName, const char* exePath);
// Writes the quoted exePath (on) or removes the value (off). True when the Run key now says so.
bool SetStartWithWindows(const char* valueName, const char* exePath, bool on);
