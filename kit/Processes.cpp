#include "kit/Processes.h"

#include "framework/Handle.h"
#include "kit/Files.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

bool ChildProcess::Start(const std::string& program, const std::string& arguments, const std::string& directory,
                         DWORD flags)
{
    std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr, directory.c_str(), &startup,
                        &created))
        return false;
    CloseHandle(created.hThread);
    process_.Reset(created.hProcess);
    id_ = created.dwProcessId;
    return true;
}

bool ChildProcess::Running() const { return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

void ChildProcess::End()
{
    if (!process_) return;
    if (Running()) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 10000);
    }
    process_.Reset();
    id_ = 0;
}

namespace {

// Calls visit with each entry of a snapshot of the system's processes or threads.
template <typename Entry, typename Visit>
void WalkSnapshot(DWORD what, BOOL(WINAPI* first)(HANDLE, Entry*), BOOL(WINAPI* next)(HANDLE, Entry*), Visit visit)
{
    Handle snapshot(CreateToolhelp32Snapshot(what, 0));
    if (!snapshot) return;
    Entry entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot.Get(), &entry); more; more = next(snapshot.Get(), &entry)) visit(entry);
}

} // namespace

std::vector<ProcessEntry> ListProcesses()
{
    std::vector<ProcessEntry> list;
    WalkSnapshot<PROCESSENTRY32>(TH32CS_SNAPPROCESS, &Process32First, &Process32Next, [&](const PROCESSENTRY32& e) {
        list.push_back({ e.th32ProcessID, e.th32ParentProcessID, e.szExeFile });
    });
    return list;
}

std::vector<DWORD> LiveChildren(DWORD parentId, const char* exe)
{
    std::vector<DWORD> children;
    for (const ProcessEntry& entry : ListProcesses()) {
        if (entry.parentId != parentId || _stricmp(entry.exe.c_str(), exe) != 0) continue;
        Handle child(OpenProcess(SYNCHRONIZE, FALSE, entry.id));
        if (child && WaitForSingleObject(child.Get(), 0) == WAIT_TIMEOUT) children.push_back(entry.id);
    }
    return children;
}

void TerminateAndWait(DWORD processId, DWORD milliseconds)
{
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    if (!process) return;
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), milliseconds);
}

std::vector<DWORD> OwnThreadIds()
{
    std::vector<DWORD> ids;
    const DWORD self = GetCurrentProcessId();
    WalkSnapshot<THREADENTRY32>(TH32CS_SNAPTHREAD, &Thread32First, &Thread32Next, [&](const THREADENTRY32& e) {
        if (e.th32OwnerProcessID == self) ids.push_back(e.th32ThreadID);
    });
    return ids;
}

std::vector<uintptr_t> OwnHandles()
{
    std::vector<uintptr_t> open;
    uintptr_t misses = 0;
    for (uintptr_t value = 4; misses < 4096; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            open.push_back(value);
            misses = 0;
        } else {
            ++misses;
        }
    }
    return open;
}

// From the native call, whose answer begins with the type's name.
std::string HandleKind(uintptr_t value)
{
    struct TypeName {
        USHORT length, maximumLength;
        PWSTR buffer;
    };
    using QueryObject = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static QueryObject query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    const int kObjectTypeInformation = 2;
    alignas(8) unsigned char buffer[1024];
    ULONG got = 0;
    if (!query || query(reinterpret_cast<HANDLE>(value), kObjectTypeInformation, buffer, sizeof buffer, &got) < 0)
        return "?";
    const TypeName* name = reinterpret_cast<const TypeName*>(buffer);
    std::string text;
    for (USHORT i = 0; i < name->length / 2; ++i) text += static_cast<char>(name->buffer[i]);
    return text;
}

double PrivateMb()
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    // Wine fills in only the page-file figure; Windows both (they are the same private bytes).
    return static_cast<double>(std::max<SIZE_T>(memory.PrivateUsage, memory.PagefileUsage)) / (1024.0 * 1024.0);
}

std::vector<std::string> LinuxProcessesWith(const std::string& commandLinePart)
{
    std::vector<std::string> ids;
    for (const std::string& name : FolderEntries("Z:\\proc")) {
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (ReadWholeFile("Z:\\proc\\" + name + "\\cmdline").find(commandLinePart) != std::string::npos)
            ids.push_back(name);
    }
    return ids;
}

// The time its threads ran, from the scheduler's figures (nanoseconds).
double LinuxCpuMs(const std::string& pid)
{
    std::string tasks = "Z:\\proc\\" + pid + "\\task";
    if (!PathExists(tasks)) return -1;
    double total = 0;
    for (const std::string& name : FolderEntries(tasks))
        total += std::atof(ReadWholeFile(tasks + "\\" + name + "\\schedstat").c_str()) / 1e6;
    return total;
}
