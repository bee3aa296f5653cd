#include "ui/ConsoleOutput.h"

#include "ui/Messages.h"

#include <cstdio>
#include <cstring>

namespace {

// One flush inserts pieces of this size until about this much time has passed, or until input
// waits, so the window answers between flushes even while a flood is caught up with, however busy
// the processor is. One piece is the longest the user waits for: a few milliseconds under Wine.
constexpr size_t kPieceBytesToInsert = 8 * 1024;
constexpr DWORD kFlushMilliseconds = 20;

// Queued pieces are joined up to this size, so a flood of small writes is not a flood of allocations.
constexpr size_t kPieceBytes = 64 * 1024;

// Which of these kinds of message wait in the thread's queue (under Wine, after reading what the X
// server has sent).
DWORD Waiting(UINT kinds) { return HIWORD(GetQueueStatus(kinds)); }

bool ViewAtEnd(HWND edit)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(edit, SB_VERT, &info)) return true;
    return info.nPage == 0 || info.nPos + static_cast<int>(info.nPage) > info.nMax;
}

} // namespace

ConsoleOutputPlatform consoleOutputPlatform = { &PostMessageA, &SetTimer };

void ConsoleOutput::Attach(HWND edit, HWND window, size_t cap)
{
    edit_ = edit;
    window_ = window;
    windowThread_ = GetWindowThreadProcessId(window, nullptr);
    cap_ = cap;
    // The edit's own limit (30,000 characters by default) would silently drop text: the cap rules instead.
    SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
}

namespace {

// Wine's text shaping crashes on a line that begins with byte 0x98 (the small tilde of the ANSI code
// page, and common in a server's UTF-8 output): such a line is shown with a space before it.
const char kLineStartCrash = '\x98';

std::string GuardLineStarts(const char* text, size_t length, char previous)
{
    std::string guarded;
    guarded.reserve(length + 8);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == kLineStartCrash && (i == 0 ? previous : text[i - 1]) == '\n') guarded += ' ';
        guarded += text[i];
    }
    return guarded;
}

} // namespace

void ConsoleOutput::Append(const char* text)
{
    if (!text || !*text) return;
    size_t length = std::strlen(text);
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_) return;
        std::string guarded;
        if (std::memchr(text, kLineStartCrash, length)) {
            guarded = GuardLineStarts(text, length, lastQueued_);
            text = guarded.c_str();
            length = guarded.size();
        }
        lastQueued_ = text[length - 1];
        if (!pending_.empty() && pending_.back().size() + length <= kPieceBytes) pending_.back().append(text, length);
        else pending_.emplace_back(text, length);
        pendingBytes_ += length;
        if (pendingBytes_ > QueueCap()) DropOldest();
        post = !scheduled_;
        scheduled_ = true;
    }
    // The window's own text shows at once, after what was queued; a flush on its way goes on after it.
    if (GetCurrentThreadId() == windowThread_) InsertSlice(post);
    else if (post && !consoleOutputPlatform.postMessage(window_, WM_CONSOLE_FLUSH, 0, 0)) {
        std::lock_guard<std::mutex> guard(lock_);
        scheduled_ = false; // the next writer tries again
    }
}

// Called with the lock held. The oldest queued text goes, down to the queue's cap: the front piece is
// only skipped into (frontOffset_), so this is cheap however fast text comes. The console says how
// much it did not show, and goes on at the next whole line.
void ConsoleOutput::DropOldest()
{
    while (pendingBytes_ > QueueCap() && !pending_.empty()) {
        size_t inFront = pending_.front().size() - frontOffset_;
        size_t excess = pendingBytes_ - QueueCap();
        size_t drop = inFront <= excess ? inFront : excess;
        frontOffset_ += drop;
        pendingBytes_ -= drop;
        skippedBytes_ += drop;
        lastDropped_ = pending_.front()[frontOffset_ - 1];
        if (frontOffset_ == pending_.front().size()) {
            pending_.pop_front();
            frontOffset_ = 0;
        }
    }
}

// Called with the lock held. After text was dropped the console goes on at a whole line: the
// queue's first line start, when there is one with text after it (else the queue is one line that
// has no end yet).
void ConsoleOutput::SkipToLineStart()
{
    size_t skip = 0, offset = frontOffset_;
    for (const std::string& piece : pending_) {
        size_t end = piece.find('\n', offset);
        if (end != std::string::npos) {
            skip += end + 1 - offset;
            break;
        }
        skip += piece.size() - offset;
        offset = 0;
    }
    if (skip == 0 || skip >= pendingBytes_) return;
    pendingBytes_ -= skip;
    skippedBytes_ += skip;
    lastDropped_ = '\n';
    while (skip > 0) {
        size_t inFront = pending_.front().size() - frontOffset_;
        if (inFront <= skip) {
            skip -= inFront;
            pending_.pop_front();
            frontOffset_ = 0;
        } else {
            frontOffset_ += skip;
            skip = 0;
        }
    }
}

// Called with the lock held; window's thread.
bool ConsoleOutput::TakePiece(std::string& piece)
{
    piece.clear();
    if (skippedBytes_ > 0) {
        if (lastDropped_ != '\n') SkipToLineStart();
        const std::string where = keptIn_ ? keptIn_() : std::string();
        char note[96];
        std::snprintf(note, sizeof note, "%s[... %llu bytes of output not shown", lastShown_ == '\n' ? "" : "\r\n",
                      static_cast<unsigned long long>(skippedBytes_));
        piece = note;
        if (!where.empty()) piece += "; all of it is in " + where;
        piece += " ...]\r\n";
        skippedBytes_ = 0;
        // Text that goes on inside a line now starts one: guard it as the queue guards line starts.
        if (!pending_.empty() && pending_.front()[frontOffset_] == kLineStartCrash) piece += ' ';
    }
    const size_t limit = kPieceBytesToInsert < cap_ ? kPieceBytesToInsert : cap_;
    while (!pending_.empty() && piece.size() < limit) {
        const std::string& front = pending_.front();
        size_t available = front.size() - frontOffset_;
        size_t take = limit - piece.size();
        if (available <= take) {
            piece.append(front, frontOffset_, available);
            pendingBytes_ -= available;
            pending_.pop_front();
            frontOffset_ = 0;
        } else {
            // End at a line end, so that a line queued whole is never shown in two parts (the
            // piece's end may be the window's last text until the next flush). Only a line longer
            // than a whole piece is cut.
            size_t end = front.rfind('\n', frontOffset_ + take - 1);
            if (end != std::string::npos && end >= frontOffset_) take = end + 1 - frontOffset_;
            else if (!piece.empty()) break;
            piece.append(front, frontOffset_, take);
            pendingBytes_ -= take;
            frontOffset_ += take;
        }
    }
    if (!piece.empty()) lastShown_ = piece.back();
    return !piece.empty();
}

void ConsoleOutput::Flush()
{
    if (!edit_) return;
    KillTimer(window_, kFlushTimer);
    InsertSlice(true);
}

void ConsoleOutput::InsertSlice(bool owner)
{
    // With the text's drawing off, the edit does not repaint its scroll bars at every step; one
    // repaint follows. Under Wine that is most of the cost of an insertion. The window's own
    // handling of WM_SETREDRAW does it (Wine's edit keeps drawing its scroll bars through its own).
    // Only the text's: the dialog's would throw away the paints its buttons wait for, and on Windows
    // let clicks fall through it. A hidden console draws nothing anyway.
    const bool drawn = IsWindowVisible(edit_) != FALSE;
    if (drawn) DefWindowProcA(edit_, WM_SETREDRAW, FALSE, 0);
    View view = SaveView();
    DWORD start = GetTickCount();
    bool more = false;
    std::string piece;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!TakePiece(piece)) {
                if (owner) scheduled_ = false;
                break;
            }
        }
        Insert(piece, view);
        if (GetTickCount() - start >= kFlushMilliseconds || Waiting(QS_INPUT)) {
            more = true;
            break;
        }
    }
    RestoreView(view);
    if (drawn) {
        DefWindowProcA(edit_, WM_SETREDRAW, TRUE, 0);
        DWORD now = GetTickCount();
        if (!more || now - lastPaint_ >= 100) {
            lastPaint_ = now;
            RedrawWindow(edit_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        }
    }
    if (more && owner) ScheduleNext();
}

// Window's thread, with scheduled_ set: the next flush comes, or nothing is left to flush.
void ConsoleOutput::ScheduleNext()
{
    // Posted messages come before input, paints and timers: a chain of posted flushes would keep the
    // user, the text's repaint and the tray's animation waiting until the server stops writing. While
    // one of them waits, the next flush comes from a timer, which comes after all of them.
    const bool yield = Waiting(QS_INPUT | QS_PAINT | QS_TIMER | QS_HOTKEY) != 0;
    std::lock_guard<std::mutex> guard(lock_);
    if (pending_.empty() && skippedBytes_ == 0) {
        scheduled_ = false;
        return;
    }
    auto post = [this] { return consoleOutputPlatform.postMessage(window_, WM_CONSOLE_FLUSH, 0, 0) != FALSE; };
    auto timer = [this] {
        return consoleOutputPlatform.setTimer(window_, kFlushTimer, USER_TIMER_MINIMUM, nullptr) != 0;
    };
    if (yield ? timer() || post() : post() || timer()) return;
    scheduled_ = false; // nothing is on its way: the next writer posts again
}

void ConsoleOutput::Close()
{
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    pending_.clear();
    pendingBytes_ = 0;
    frontOffset_ = 0;
    skippedBytes_ = 0;
}

ConsoleOutput::View ConsoleOutput::SaveView() const
{
    View view;
    SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&view.selStart), reinterpret_cast<LPARAM>(&view.selEnd));
    view.follow = view.selStart == view.selEnd && ViewAtEnd(edit_);
    view.firstLine = static_cast<int>(SendMessageA(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));
    return view;
}

void ConsoleOutput::RestoreView(const View& view) const
{
    if (view.follow) {
        LRESULT end = GetWindowTextLengthA(edit_);
        SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageA(edit_, EM_SCROLLCARET, 0, 0);
        return;
    }
    // The user is reading or selecting: keep the same text in view and selected.
    size_t removed = view.removed;
    auto shifted = [removed](DWORD offset) { return offset > removed ? static_cast<DWORD>(offset - removed) : 0; };
    SendMessageA(edit_, EM_SETSEL, shifted(view.selStart), static_cast<LPARAM>(shifted(view.selEnd)));
    int target = view.firstLine > view.linesRemoved ? view.firstLine - view.linesRemoved : 0;
    int now = static_cast<int>(SendMessageA(edit_, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(edit_, EM_LINESCROLL, 0, target - now);
}

// Appends text at the end, first trimming the oldest lines when the cap would be passed.
void ConsoleOutput::Insert(const std::string& text, View& view)
{
    size_t length = static_cast<size_t>(GetWindowTextLengthA(edit_));
    if (length + text.size() > cap_) {
        // Drop the oldest whole lines, down to three quarters of the cap, so that trimming (which
        // costs as much as the whole text) happens once per quarter of the cap at most.
        size_t excess = length + text.size() - (cap_ - cap_ / 4);
        if (excess > length) excess = length;
        int line = static_cast<int>(SendMessageA(edit_, EM_LINEFROMCHAR, excess, 0));
        LRESULT start = SendMessageA(edit_, EM_LINEINDEX, line, 0);
        if (start >= 0 && static_cast<size_t>(start) < excess) {
            LRESULT next = SendMessageA(edit_, EM_LINEINDEX, line + 1, 0);
            ++line;
            // No line end in sight: that one endless line goes whole.
            start = next > 0 ? next : static_cast<LRESULT>(length);
        }
        if (start > 0) {
            SendMessageA(edit_, EM_SETSEL, 0, start);
            SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
            length -= static_cast<size_t>(start);
            view.removed += static_cast<size_t>(start);
            view.linesRemoved += line;
        }
    }
    SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
    // The queue guards every line start after a line end; the console's own start is guarded here.
    const char* shown = text.c_str();
    std::string guarded;
    if (length == 0 && !text.empty() && text[0] == kLineStartCrash) {
        guarded = " " + text;
        shown = guarded.c_str();
    }
    SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown));
}
