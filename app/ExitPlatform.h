// How the launcher ends its process once it has stopped what it started.
#pragma once
#include <windows.h>

// Tests put a recorder here: a test program must not end with the launcher.
struct ExitPlatform {
    void (*endProcess)(int status);
};
extern ExitPlatform exitPlatform;
