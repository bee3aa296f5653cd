// Hands a file or web address to the shell's "open" verb.
#pragma once

// The one place the launcher asks the shell to open something; tests replace it to see what is opened.
extern void (*ShellOpen)(const char* target);
void ShellOpenDefault(const char* target);
