// Command-line handling for the stand-in java.exe.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace standin {

// Splits a command line the way the launcher quotes it: blanks separate tokens,
// double quotes group blanks and are dropped, and a token may be quoted only in
// part (-Dtomcat.home="C:\a b\tomcat"). Backslashes are always literal, so a
// quoted directory ending in a backslash survives.
std::vector<std::string> splitCommandLine(const std::string& line);

// True when the token names a java executable (java, java.exe, ...\java.exe).
bool looksLikeJavaProgram(const std::string& token);

struct Invocation {
    std::map<std::string, std::string> properties; // -Dname=value
    std::string classPath;
    std::string mainClass;              // empty: none given
    std::vector<std::string> arguments; // after the main class
    bool showVersion = false;           // -version: print and exit
    bool showVersionAndRun = false;     // -showversion
    bool showUsage = false;             // -help, -?
    std::string error;                  // non-empty: bad option
};

// Interprets the tokens as java does: options first, then the main class,
// then program arguments. A leading java program path is skipped.
Invocation parseInvocation(const std::vector<std::string>& tokens);

// Property lookup with a fallback.
std::string property(const Invocation& inv, const std::string& name, const std::string& fallback = std::string());

// Milliseconds from a property, at most an hour; fallback when absent or bad.
unsigned long millisProperty(const Invocation& inv, const char* name, unsigned long fallback);

// Parses plain decimal digits (no sign, no blanks) not above maxValue.
bool parseDecimal(const std::string& text, unsigned long maxValue, unsigned long& value);

} // namespace standin
