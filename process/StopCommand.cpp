#include "process/StopCommand.h"

#include "process/JavaCommandLine.h"

#include <utility>

int StopCommand::Start(const char* javaExePath, const char* home)
{
    End();
    char line[kCommandLineSize];
    if (!BuildServerStopCommandLine(line, sizeof line, home)) return 0;

    // Its output goes nowhere: no pipe that someone would have to read, and none of the launcher's
    // own handles. The NUL device is the only handle it inherits that the launcher opened for it.
    SECURITY_ATTRIBUTES inherited = { sizeof inherited, nullptr, TRUE };
    Handle input(
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr));
    Handle output(
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr));
    if (!input || !output) return 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = input.Get();
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION created = {};
    // Suspended until it is in its job, so that nothing it starts escapes the job.
    if (!CreateProcessA(javaExePath, line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, home,
                        &startup, &created))
        return 0;
    process_.Reset(created.hProcess);
    Handle thread(created.hThread);

    Handle job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
        AssignProcessToJobObject(job.Get(), process_.Get()))
        job_ = std::move(job);
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        End();
        return 0;
    }
    return 1;
}

void StopCommand::End()
{
    if (job_) TerminateJobObject(job_.Get(), 1);
    else if (process_) TerminateProcess(process_.Get(), 1);
    job_.Reset();
    process_.Reset();
}
