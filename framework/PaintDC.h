// A paint context: BeginPaint for its life.
#pragma once
#include "Wnd.h"

class CPaintDC {
public:
    explicit CPaintDC(CWnd* window) : window_(window->m_hWnd), m_hDC(BeginPaint(window_, &m_ps)) {}
    ~CPaintDC() { EndPaint(window_, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HWND window_;

public:
    PAINTSTRUCT m_ps;
    HDC m_hDC;
};
