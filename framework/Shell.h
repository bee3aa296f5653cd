// Hands a file or web address to the shell's "open" verb.
#pragma once

// What ShellOpen asks of the system; tests put a recorder here to see what is opened.
struct ShellPlatform {
    void (*open)(const char* target);
};
extern ShellPlatform shellPlatform;

// The one place the launcher asks the shell to open something.
void ShellOpen(const char* target);
