// Bounded text helpers: every fixed-size character buffer in the program is filled through these.
#pragma once
#include <cstddef>
#include <cstring>

// Copies src into dst (capacity bytes, terminator included). Returns 1 when the whole text fitted,
// 0 when it was cut; dst is always NUL-terminated when capacity > 0.
inline int CopyText(char* dst, size_t capacity, const char* src)
{
    if (capacity == 0) return 0;
    size_t n = std::strlen(src);
    size_t fit = n < capacity ? n : capacity - 1;
    std::memmove(dst, src, fit);
    dst[fit] = '\0';
    return fit == n ? 1 : 0;
}

template <size_t N> int CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }

// Appends src to the NUL-terminated text in dst; same result convention as CopyText.
inline int AppendText(char* dst, size_t capacity, const char* src)
{
    size_t used = strnlen(dst, capacity);
    if (used >= capacity) return 0;
    return CopyText(dst + used, capacity - used, src);
}

template <size_t N> int AppendText(char (&dst)[N], const char* src) { return AppendText(dst, N, src); }
