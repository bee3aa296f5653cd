// Paths shared by the launcher's parts.
#pragma once
#include <cstddef>

constexpr size_t kPathSize = 780; // every path buffer: at most 779 characters and the NUL

// True when the path exists, as a file or a directory; nothing else is tested.
bool FileExists(const char* path);
// True when the path names an existing file, not a directory: the only thing that can be java.exe.
bool IsFile(const char* path);

// The home directory as the server was started with it; empty until the server is first started.
// Main thread only.
extern char sharedHomeDir[kPathSize];
