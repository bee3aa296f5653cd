// The image's load configuration: what the DLLs the program imports import in turn is looked up in
// the system's folder only, never in the program's (Windows 10 1607 and later read it). The linker
// points the image's load-configuration entry at this symbol; the loader reads it before any code
// runs, so it is constant data.
#include <windows.h>

#include <cstddef>

// Reserved1 is DependentLoadFlags in the headers' older naming.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY, Reserved1) == (sizeof(void*) == 8 ? 78 : 54), "layout");

extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    sizeof(IMAGE_LOAD_CONFIG_DIRECTORY), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    LOAD_LIBRARY_SEARCH_SYSTEM32,        0, 0, 0, 0
};
