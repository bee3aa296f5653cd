#include "app/CommandLine.h"

#include <windows.h>

#include <cstring>

LaunchRequest ParseCommandLine(const char* arguments)
{
    static const struct {
        const char* name;
        LaunchRequest request;
    } kSwitches[] = { { "show", LaunchRequest::Show },
                      { "exit", LaunchRequest::Exit },
                      { "restart", LaunchRequest::Restart } };
    const char* c = arguments ? arguments : "";
    for (;;) {
        while (*c == ' ' || *c == '\t') ++c;
        if (!*c) return LaunchRequest::Start;
        // One argument: up to the next blank outside quotes; the quotes are not part of it.
        char word[16];
        size_t length = 0;
        bool quoted = false, tooLong = false;
        for (; *c && (quoted || (*c != ' ' && *c != '\t')); ++c) {
            if (*c == '"') quoted = !quoted;
            else if (length + 1 < sizeof word) word[length++] = *c;
            else tooLong = true;
        }
        word[length] = '\0';
        if (tooLong || (word[0] != '/' && word[0] != '-')) continue;
        for (const auto& known : kSwitches)
            if (lstrcmpiA(word + 1, known.name) == 0) return known.request;
    }
}
