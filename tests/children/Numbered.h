// The numbered lines test_child's big:N writes; the tests rebuild them to compare.
#pragma once
#include <cstdio>
#include <string>

// Line k is "k" padded with dots to 63 characters and a line feed; total bytes in all.
inline std::string NumberedText(size_t total)
{
    std::string out;
    out.reserve(total);
    for (size_t line = 0; out.size() < total; ++line) {
        char head[32];
        std::snprintf(head, sizeof head, "%zu", line);
        std::string l = head;
        l.resize(63, '.');
        l += '\n';
        out += l;
    }
    out.resize(total);
    return out;
}
