// Stand-in for java.exe: plays the two Java programs the launcher starts, so the
// launcher can be exercised without a Java runtime.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cmdline.h"
#include "output.h"
#include "roles.h"

#include <string>

namespace standin {

namespace {

void printVersion()
{
    writeErr("java version \"1.3.1\"\r\n"
             "Vantry stand-in Runtime Environment (build 1.3.1-standin)\r\n"
             "Vantry stand-in VM (build 1.3.1-standin, interpreted mode)\r\n");
}

void printUsage()
{
    writeErr("Usage: java [-options] class [args...]\r\n"
             "where options include -classpath <path>, -cp <path>, -D<name>=<value>, -version\r\n");
}

int run()
{
    // The launcher passes the program separately and leaves it out of the command
    // line, so the C runtime's argv[0] would swallow the first option.
    const Invocation inv = parseInvocation(splitCommandLine(GetCommandLineA()));

    if (!inv.error.empty()) {
        lineErr(inv.error);
        lineErr("Could not create the Java virtual machine.");
        return 1;
    }
    if (inv.showVersion) {
        printVersion();
        return 0;
    }
    if (inv.showUsage) {
        printUsage();
        return 0;
    }
    if (inv.showVersionAndRun) printVersion();
    if (inv.mainClass.empty()) {
        printUsage();
        return 1;
    }
    if (inv.mainClass == "vty.vantry.InitVantry") return runInitialiser(inv);
    if (inv.mainClass == "org.apache.tomcat.startup.Tomcat") return runTomcat(inv);

    lineErr("Error: Could not find or load main class " + inv.mainClass);
    return 1;
}

} // namespace

} // namespace standin

int main()
{
    try {
        return standin::run();
    } catch (...) {
        try {
            standin::lineErr("Exception in thread \"main\" java.lang.OutOfMemoryError");
        } catch (...) {
        }
        return 1;
    }
}
