#include "kit/Files.h"

#include "framework/Handle.h"

std::string ModulePath()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n < sizeof path ? n : 0);
}

std::string ModuleFolder()
{
    std::string path = ModulePath();
    return path.substr(0, path.find_last_of('\\'));
}

std::string TempPath(const std::string& name)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    return base + name;
}

std::string FreshFolder(const std::string& path)
{
    if (PathExists(path)) RemoveTree(path);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

void CopyTree(const std::string& from, const std::string& to)
{
    if (!IsFolder(from)) {
        CopyFileA(from.c_str(), to.c_str(), FALSE);
        return;
    }
    CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& name : FolderEntries(from)) CopyTree(from + "\\" + name, to + "\\" + name);
}

void RemoveTree(const std::string& path)
{
    if (!IsFolder(path)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    for (const std::string& name : FolderEntries(path)) RemoveTree(path + "\\" + name);
    RemoveDirectoryA(path.c_str());
}

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    if (!file) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

bool WriteWholeFile(const std::string& path, const std::string& text)
{
    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}
