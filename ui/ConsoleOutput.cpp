#include "ui/ConsoleOutput.h"

#include "app/Messages.h"

#include <cstring>

namespace {

// Queued text beyond which writers wait for the window: bounds memory and the cost of one insertion.
constexpr size_t kPendingLimit = 256 * 1024;

bool ViewAtEnd(HWND edit)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(edit, SB_VERT, &info)) return true;
    return info.nPage == 0 || info.nPos + static_cast<int>(info.nPage) > info.nMax;
}

// The first line start at or after offset; offset itself when the text has no later line start.
size_t NextLineStart(const char* text, size_t length, size_t offset)
{
    if (offset == 0 || offset >= length) return offset;
    if (text[offset - 1] == '\n') return offset;
    const void* end = std::memchr(text + offset, '\n', length - offset);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - text) + 1 : offset;
}

} // namespace

void ConsoleOutput::Attach(HWND edit, HWND window, size_t cap)
{
    edit_ = edit;
    window_ = window;
    windowThread_ = GetWindowThreadProcessId(window, nullptr);
    cap_ = cap;
    // The edit's own limit (30,000 characters by default) would silently drop text: the cap rules instead.
    SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
}

void ConsoleOutput::Append(const char* text)
{
    if (!text || !*text) return;
    if (GetCurrentThreadId() == windowThread_) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (closed_) return;
            pending_ += text; // after whatever the workers queued before
        }
        Flush();
        return;
    }
    std::unique_lock<std::mutex> guard(lock_);
    room_.wait(guard, [this] { return closed_ || pending_.size() < kPendingLimit; });
    if (closed_) return;
    pending_ += text;
    if (!flushPosted_) flushPosted_ = PostMessageA(window_, WM_CONSOLE_FLUSH, 0, 0) != 0;
}

void ConsoleOutput::Flush()
{
    std::string batch;
    {
        std::lock_guard<std::mutex> guard(lock_);
        batch.swap(pending_);
        flushPosted_ = false;
    }
    room_.notify_all();
    if (!batch.empty() && edit_) Insert(batch);
}

void ConsoleOutput::Close()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
        pending_.clear();
    }
    room_.notify_all();
}

void ConsoleOutput::Insert(const std::string& batch)
{
    const char* add = batch.c_str();
    size_t addLength = batch.size();
    size_t length = static_cast<size_t>(GetWindowTextLengthA(edit_));

    DWORD selStart = 0, selEnd = 0;
    SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    bool follow = selStart == selEnd && ViewAtEnd(edit_);
    int firstLine = static_cast<int>(SendMessageA(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));

    SendMessageA(edit_, WM_SETREDRAW, FALSE, 0);

    // Over the cap: drop the oldest whole lines, down to three quarters of it, so that trimming
    // (which costs as much as the whole text) happens once per quarter of the cap at most.
    size_t removed = 0;
    int linesRemoved = 0;
    if (length + addLength > cap_) {
        size_t excess = length + addLength - (cap_ - cap_ / 4);
        if (excess >= length) {
            size_t skip = NextLineStart(add, addLength, excess - length);
            if (addLength - skip > cap_) skip = addLength - cap_; // one endless line: keep its end
            add += skip;
            addLength -= skip;
            linesRemoved = static_cast<int>(SendMessageA(edit_, EM_GETLINECOUNT, 0, 0));
            removed = length;
        } else {
            int line = static_cast<int>(SendMessageA(edit_, EM_LINEFROMCHAR, excess, 0));
            LRESULT start = SendMessageA(edit_, EM_LINEINDEX, line, 0);
            if (start >= 0 && static_cast<size_t>(start) < excess) {
                LRESULT next = SendMessageA(edit_, EM_LINEINDEX, line + 1, 0);
                if (next > 0) {
                    start = next;
                    ++line;
                } else {
                    start = static_cast<LRESULT>(excess); // no line end in sight: cut inside the line
                }
            }
            removed = static_cast<size_t>(start);
            linesRemoved = line;
        }
        if (removed > 0) {
            SendMessageA(edit_, EM_SETSEL, 0, static_cast<LPARAM>(removed));
            SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        }
        length -= removed;
    }

    std::string tail; // EM_REPLACESEL takes a NUL-terminated text
    const char* text = add;
    if (add != batch.c_str()) {
        tail.assign(add, addLength);
        text = tail.c_str();
    }
    SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));

    if (follow) {
        LRESULT end = GetWindowTextLengthA(edit_);
        SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageA(edit_, EM_SCROLLCARET, 0, 0);
    } else {
        // The user is reading or selecting: keep the same text in view and selected.
        auto shifted = [removed](DWORD offset) { return offset > removed ? offset - removed : 0; };
        SendMessageA(edit_, EM_SETSEL, shifted(selStart), static_cast<LPARAM>(shifted(selEnd)));
        int target = firstLine > linesRemoved ? firstLine - linesRemoved : 0;
        int now = static_cast<int>(SendMessageA(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));
        SendMessageA(edit_, EM_LINESCROLL, 0, target - now);
    }

    SendMessageA(edit_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit_, nullptr, TRUE);
}
