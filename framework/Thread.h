// Worker threads. Unlike the classic framework's, a thread object here never deletes itself:
// whoever starts the thread joins it and deletes the object, so there is exactly one owner.
#pragma once
#include <windows.h>

using AFX_THREADPROC = UINT (*)(LPVOID);

class CWinThread {
public:
    CWinThread(AFX_THREADPROC proc, LPVOID param) : proc_(proc), param_(param) {}
    ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Waits until the thread has ended; returns nonzero when it has.
    BOOL Join(DWORD milliseconds = INFINITE) const;

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param);
    static unsigned __stdcall Entry(void* self);
    AFX_THREADPROC proc_;
    LPVOID param_;
};

// Starts proc(param) on a new thread at normal priority; null when the thread cannot be created.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param);
