// The owner of a kernel handle. Win32 uses two "none" values (most objects are null when absent,
// files and pipes INVALID_HANDLE_VALUE): either is taken as none, and neither is ever closed.
#pragma once
#include <windows.h>

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(o.Release()) {}
    Handle& operator=(Handle&& o) noexcept
    {
        if (this != &o) Reset(o.Release());
        return *this;
    }

    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE Release()
    {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }
    void Reset(HANDLE h = nullptr)
    {
        if (*this) CloseHandle(h_);
        h_ = h;
    }
    // For a call that hands back a new handle through a pointer: the old one is closed first.
    HANDLE* Out()
    {
        Reset();
        return &h_;
    }

private:
    HANDLE h_ = nullptr;
};

// The owner of an icon the program made itself (LoadImage without LR_SHARED): destroyed once, with
// its owner. Shared icons (LoadIcon) are the system's and never go here.
class IconHandle {
public:
    IconHandle() = default;
    explicit IconHandle(HICON icon) : icon_(icon) {}
    ~IconHandle() { Reset(); }
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;

    HICON Get() const { return icon_; }
    void Reset(HICON icon = nullptr)
    {
        if (icon_) DestroyIcon(icon_);
        icon_ = icon;
    }

private:
    HICON icon_ = nullptr;
};
