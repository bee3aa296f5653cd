// What a runner's reader thread may ask of whoever shows its child's output. Both calls are safe
// from any thread: they only queue or post, and never wait for the window.
#pragma once

class RunnerOwner {
public:
    // Appends text to the console, after what came before it; the text of one call is never split.
    virtual void AppendConsoleText(const char* text) = 0;
    // The server wrote its readiness marker: the window acts on it from its own message loop.
    virtual void PostServerReady() = 0;

protected:
    ~RunnerOwner() = default;
};
