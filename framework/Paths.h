// Paths shared by the launcher's parts.
#pragma once
#include <cstddef>

constexpr size_t kPathSize = 780; // every path buffer: at most 779 characters and the NUL

// True when the path exists, as a file or a directory; nothing else is tested.
bool FileExists(const char* path);
// True when the path names an existing file, not a directory: the only thing that can be java.exe.
bool IsFile(const char* path);

// The installation's key: an FNV-1a hash of the home directory as the file system compares it (its
// long form, in capitals), as 16 hex digits into key (at least 17 bytes). Names what belongs to one
// installation, the same for every spelling of its folder.
void HomeKey(const char* home, char* key, size_t keySize);
// The home's long form (the home itself when it has none), into longHome; 1 when it fitted.
int LongHome(const char* home, char* longHome, size_t size);

// The home directory as the server was started with it; empty until the server is first started.
// Main thread only.
extern char sharedHomeDir[kPathSize];
