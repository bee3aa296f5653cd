// One launcher per installation. The first launcher of a home directory holds a named mutex for its
// whole life and tells, in a small named mapping beside it, where its console is; a later start of
// the same installation brings that console to the front and ends instead of starting a second
// server. Installations in other folders have other names and run side by side.
#pragma once
#include "app/CommandLine.h"

#include <windows.h>

// Called first thing at start. 1: this launcher goes on (it holds the claim, or it could not claim
// and starts as it always did). 0: another launcher of this installation runs and has been asked to
// show its console (or, for a Restart, to restart its server); this one starts nothing and ends.
int ClaimInstallation(LaunchRequest request = LaunchRequest::Start);
// /exit: asks the running launcher of this installation to exit as Exit does and waits for its end.
// The process's exit code: 0 when it ended (or none ran), 1 when it still ran after waitMilliseconds.
int ExitInstallation(DWORD waitMilliseconds);
// The hash of the home directory (16 hex digits) that names this installation's objects.
bool InstallationHash(char* hash, size_t size);
// The console exists: later starts of the installation may now find it.
void PublishConsole(HWND console);
// The launcher has begun to end: a later start waits for its end and then starts normally, instead
// of handing over to a launcher that is going away.
void InstallationEnding();
// A later start's request: nonzero, the answer to give it, when message is one and it was done (the
// console shown, or Exit or Restart posted to it as its menu command); 0 otherwise (also once the
// launcher has begun to end).
LRESULT OnInstanceMessage(HWND console, UINT message, WPARAM request);
