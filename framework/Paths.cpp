#include "framework/Paths.h"

#include <windows.h>

#include "framework/Text.h"

#include <io.h>

#include <cstdint>
#include <cstring>

char sharedHomeDir[kPathSize] = "";

bool FileExists(const char* path) { return _access(path, 0) != -1; }

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int LongHome(const char* home, char* longHome, size_t size)
{
    DWORD length = GetLongPathNameA(home, longHome, static_cast<DWORD>(size));
    if (length == 0 || length >= size) return CopyText(longHome, size, home);
    return 1;
}

void HomeKey(const char* home, char* key, size_t keySize)
{
    char folder[1024];
    LongHome(home, folder, sizeof folder);
    CharUpperBuffA(folder, static_cast<DWORD>(std::strlen(folder)));
    uint64_t hash = 14695981039346656037ull;
    for (const char* c = folder; *c; ++c) {
        hash ^= static_cast<unsigned char>(*c);
        hash *= 1099511628211ull;
    }
    char hex[17];
    for (int i = 0; i < 16; ++i) hex[i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xF];
    hex[16] = '\0';
    CopyText(key, keySize, hex);
}
