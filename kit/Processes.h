// Processes, and what this process holds, for the programs that measure and test the launcher.
#pragma once
#include "framework/Handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A program started by this one; ended, if it still runs, when the object goes.
class ChildProcess {
public:
    ~ChildProcess() { End(); }

    // The command line is the quoted program, then the arguments. flags: CreateProcess's (e.g.
    // DETACHED_PROCESS, as a desktop starts a program).
    bool Start(const std::string& program, const std::string& arguments, const std::string& directory, DWORD flags = 0);
    bool Running() const;
    // Terminates it if it still runs, waits for its end and lets it go.
    void End();
    HANDLE Get() const { return process_.Get(); } // null when none was started
    DWORD Id() const { return id_; }

private:
    Handle process_;
    DWORD id_ = 0;
};

struct ProcessEntry {
    DWORD id;
    DWORD parentId;
    std::string exe; // its file name, as the system lists it
};
std::vector<ProcessEntry> ListProcesses();
// The processes named exe (case-insensitive) that parentId started and that still run.
std::vector<DWORD> LiveChildren(DWORD parentId, const char* exe);
// Terminates the process and waits up to milliseconds for its end.
void TerminateAndWait(DWORD processId, DWORD milliseconds);

// This process's threads, open handle values and private bytes. Wine answers 0 to
// GetProcessHandleCount, so the handle values are tried one by one: values are handed out lowest
// free first, so the table has no long gaps.
std::vector<DWORD> OwnThreadIds();
std::vector<uintptr_t> OwnHandles();
std::string HandleKind(uintptr_t value); // "Event", "Thread", ..., or "?"
double PrivateMb();

// Wine reports no processor time for other processes, and has no handle counts: what it keeps is
// read on the Linux side (the Z: drive is the Linux root), where each Windows process is a Linux
// process with its Windows command line.
std::vector<std::string> LinuxProcessesWith(const std::string& commandLinePart); // their ids
double LinuxCpuMs(const std::string& pid);                                       // -1 when it is gone
