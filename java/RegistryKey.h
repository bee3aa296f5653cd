// An owned registry key, and the one way values are read: into a 261-byte buffer, all of it offered.
#pragma once
#include <windows.h>

#include <cstring>

// Every key is opened in the 32-bit view of the registry, by both builds: Java 1.2 and 1.3 exist only
// as 32-bit programs and register there, and there the 32-bit launcher keeps its settings. On 32-bit
// Windows there is only that view.
constexpr REGSAM kRegistryView = KEY_WOW64_32KEY;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { Reset(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // True when the key is open; a failed call leaves this object empty. The search for every Java
    // looks in both views, so it names the view it wants.
    bool Open(HKEY parent, const char* path, REGSAM access, REGSAM view = kRegistryView)
    {
        Reset();
        if (RegOpenKeyExA(parent, path, 0, access | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
        return key_ != nullptr;
    }
    bool Create(HKEY parent, const char* path, REGSAM access)
    {
        Reset();
        if (RegCreateKeyExA(parent, path, 0, nullptr, 0, access | kRegistryView, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS)
            key_ = nullptr;
        return key_ != nullptr;
    }

    HKEY Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void Reset()
    {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

constexpr DWORD kRegistryValueSize = 261; // 260 characters and the NUL

// The text of a REG_SZ read into data (kRegistryValueSize bytes, length bytes returned), or nullptr when
// it holds more than 260 characters. Another writer may have stored it without its NUL: it then ends
// at the returned length; when that leaves no room for the NUL the text is too long to be used.
inline const char* RegistryText(char* data, DWORD length)
{
    if (length > kRegistryValueSize) return nullptr;
    if (std::memchr(data, '\0', length)) return data;
    if (length == kRegistryValueSize) return nullptr;
    data[length] = '\0';
    return data;
}

// One value as read by a single query.
struct RegistryValue {
    char data[kRegistryValueSize] = {};
    DWORD type = REG_NONE;
    DWORD length = 0;

    // True when the query succeeded: the value's bytes and type are here.
    bool Query(HKEY key, const char* name)
    {
        length = sizeof data;
        return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &length) == ERROR_SUCCESS;
    }
    // The text of a REG_SZ that Query returned, or nullptr for another type or an unusable length.
    const char* Text() { return type == REG_SZ ? RegistryText(data, length) : nullptr; }
};
