// The command lines of the two Java programs. Both start with a space and do not name the program,
// which goes to process creation separately.
#pragma once
#include <cstddef>

constexpr size_t kCommandLineSize = 5000; // terminator included

constexpr size_t kMaxJavaOptions = 2047; // JavaOptions' characters

// Each writes the whole line into line (size bytes) and returns 1, or returns 0 and leaves line
// empty when it would not fit: a cut command line would start the wrong program. Options for the
// Java virtual machine (JavaOptions) come first; more than kMaxJavaOptions characters are refused.
int BuildInitCommandLine(char* line, size_t size, const char* home, const char* options = "");
int BuildServerCommandLine(char* line, size_t size, const char* home, const char* options = "");
// Whether both programs' lines can be built with these options, in the launcher's buffers.
bool JavaOptionsFit(const char* options, const char* home);
// The server's own stop command: the server's line followed by " -stop", so that it reaches the
// server that the same tomcat.home and class path started. Never with the options: one such as a
// JMX port would collide with the running server's.
int BuildServerStopCommandLine(char* line, size_t size, const char* home);
