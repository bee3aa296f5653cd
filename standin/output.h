// Console output for the stand-in java.exe.
#pragma once

#include <string>

namespace standin {

// Each call is exactly one WriteFile on the standard handle, so a reader of the
// pipe sees every line as it is produced, in order. Failures (no console, closed
// pipe) are ignored: nobody is left to tell.
void writeOut(const std::string& text);
void writeErr(const std::string& text);

// Same, with the Windows line ending appended.
void lineOut(const std::string& line);
void lineErr(const std::string& line);

// "Console window: none", or the window of the console this program was given, as a terminal shows it.
std::string consoleWindowLine();

// "YYYY-MM-DD HH:MM:SS" in local time, as Tomcat stamps its log lines.
std::string timestamp();

} // namespace standin
