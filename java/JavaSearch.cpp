#include "java/JavaSearch.h"

int SearchJavaInstallation(char*, size_t, const char*) { return -1; }
int ReadJavaHome(HKEY, char*) { return -1; }
