#include "framework/Paths.h"

#include <windows.h>

#include <io.h>

char sharedHomeDir[kPathSize] = "";

bool FileExists(const char* path) { return _access(path, 0) != -1; }

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
