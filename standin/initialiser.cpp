#include "output.h"
#include "roles.h"
#include "framework/Handle.h"

#include <string>

namespace standin {

namespace {

std::string currentDirectory()
{
    std::string dir(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), &dir[0]);
        if (n == 0) return ".";
        if (n < dir.size()) {
            dir.resize(n);
            return dir;
        }
        dir.assign(n + 1, '\0'); // n includes the terminator when too small
    }
    return ".";
}

std::string joinPath(const std::string& dir, const char* name)
{
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') return dir + "\\" + name;
    return dir + name;
}

int fail(const std::string& what)
{
    lineErr("Exception in thread \"main\" java.io.IOException: " + what);
    lineErr("\tat vty.vantry.InitVantry.main(InitVantry.java:42)");
    return 1;
}

} // namespace

int runInitialiser(const Invocation& inv)
{
    const unsigned long delay = millisProperty(inv, "vantry.standin.delay", 0);
    lineOut("Vantry initialisation started");
    lineOut(consoleWindowLine());
    if (delay > 0) Sleep(delay);

    const std::string home = currentDirectory();
    lineOut("Home directory: " + home);

    const std::string config = joinPath(home, "config");
    const DWORD attributes = GetFileAttributesA(config.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        lineOut("Creating configuration in " + config);
        if (!CreateDirectoryA(config.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return fail("cannot create directory " + config);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        lineOut("Updating configuration in " + config);
    } else {
        return fail(config + " exists and is not a directory");
    }

    lineErr("warning: no mail server configured, e-mail notifications are disabled");

    const std::string stampFile = joinPath(config, "initialised.txt");
    lineOut("Writing " + stampFile);
    Handle file(CreateFileA(stampFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail("cannot write " + stampFile);
    const std::string content = "Vantry initialised " + timestamp() + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size())
        return fail("cannot write " + stampFile);
    file.Reset();

    lineOut("Vantry initialisation finished");

    // Lets launcher tests see a failing initialiser without a broken home.
    unsigned long code = 0;
    if (!parseDecimal(property(inv, "vantry.standin.exitcode", "0"), 255, code)) code = 0;
    return static_cast<int>(code);
}

} // namespace standin
