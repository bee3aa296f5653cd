#include "Thread.h"

#include <new>
#include <process.h>

CWinThread::~CWinThread()
{
    if (m_hThread) CloseHandle(m_hThread);
}

BOOL CWinThread::Join(DWORD milliseconds) const
{
    return m_hThread && WaitForSingleObject(m_hThread, milliseconds) == WAIT_OBJECT_0;
}

unsigned __stdcall CWinThread::Entry(void* self)
{
    CWinThread* thread = static_cast<CWinThread*>(self);
    try {
        return thread->proc_(thread->param_);
    } catch (...) {
        return 1;
    }
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param)
{
    CWinThread* thread = new (std::nothrow) CWinThread(proc, param);
    if (!thread) return nullptr;
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, &CWinThread::Entry, thread, 0, &id);
    if (!handle) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    thread->m_nThreadID = id;
    return thread;
}
