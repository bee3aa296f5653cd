// A batch file of the home run in a window of its own, as the user would start it from the home.
#pragma once

// Runs home\file with the system's own cmd.exe, the home its current directory, inheriting no handle
// of the launcher; false when it could not be started.
bool RunBatchFile(const char* home, const char* file);
