// Owners of kernel handles. Two kinds, because Win32 uses two "none" values: most objects
// are null when absent, files and pipes are INVALID_HANDLE_VALUE.
#pragma once
#include <windows.h>

template <HANDLE (*None)()> class BasicHandle {
public:
    BasicHandle() = default;
    explicit BasicHandle(HANDLE h) : h_(h) {}
    ~BasicHandle() { Reset(); }
    BasicHandle(const BasicHandle&) = delete;
    BasicHandle& operator=(const BasicHandle&) = delete;
    BasicHandle(BasicHandle&& o) noexcept : h_(o.Release()) {}
    BasicHandle& operator=(BasicHandle&& o) noexcept { if (this != &o) Reset(o.Release()); return *this; }

    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != None() && h_ != nullptr; }
    HANDLE Release() { HANDLE h = h_; h_ = None(); return h; }
    void Reset(HANDLE h = None())
    {
        if (h_ != None() && h_ != nullptr) CloseHandle(h_);
        h_ = h;
    }
    HANDLE* Out() { Reset(); return &h_; }

private:
    HANDLE h_ = None();
};

inline HANDLE NullHandleValue() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

using Handle = BasicHandle<NullHandleValue>;        // events, processes, threads, jobs
using FileHandle = BasicHandle<InvalidHandleValue>; // files and pipes
