// One launcher per installation. The first launcher of a home directory holds a named mutex for its
// whole life and tells, in a small named mapping beside it, where its console is; a later start of
// the same installation brings that console to the front and ends instead of starting a second
// server. Installations in other folders have other names and run side by side.
#pragma once
#include <windows.h>

// Called first thing at start. 1: this launcher goes on (it holds the claim, or it could not claim
// and starts as it always did). 0: another launcher of this installation runs and has been asked to
// show its console; this one starts nothing and ends.
int ClaimInstallation();
// The console exists: later starts of the installation may now find it.
void PublishConsole(HWND console);
// The launcher has begun to end: a later start waits for its end and then starts normally, instead
// of handing over to a launcher that is going away.
void InstallationEnding();
// A later start's request to bring the console to the front: nonzero, the answer to give it, when
// message is one and the console was shown; 0 otherwise (also once the launcher has begun to end).
LRESULT OnInstanceMessage(HWND console, UINT message);
