// What the tests of a whole console window do again and again: make it its runners' owner, end it,
// and serve from another console on the same port.
#pragma once
#include "app/ConsoleDialog.h"

#include <string>

// A launch makes the console its runners' owner: each runner starts the test child, which ignores the
// Java options and ends at once. True when both have ended.
bool AdoptRunners(ConsoleDialog& dialog);

// Stops both runners and waits for them, takes the tray icon away and forgets the shared home: how
// every test of a whole console ends.
void EndConsole(ConsoleDialog& dialog, DWORD waitMilliseconds = 10000);

// Another launcher's console in this process, serving the stand-in from a home until it goes: the
// holder of that home's port.
class ServingConsole {
public:
    ServingConsole() = default;
    ~ServingConsole() { EndConsole(dialog); }
    ServingConsole(const ServingConsole&) = delete;
    ServingConsole& operator=(const ServingConsole&) = delete;

    // True when its server is ready.
    bool Serve(const std::string& home);

    ConsoleDialog dialog;
};
