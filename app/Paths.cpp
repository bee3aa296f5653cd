#include "app/Paths.h"

#include <io.h>

char sharedHomeDir[kPathSize] = "";

bool FileExists(const char* path) { return _access(path, 0) != -1; }
