#include "process/ServerRunner.h"

#include "framework/Paths.h"
#include "framework/Shell.h"
#include "framework/Text.h"
#include "process/JavaCommandLine.h"

#include <cstring>

namespace {

const char kDefaultUrl[] = "http://localhost/Vantry";

bool StartsWithNoCase(const char* text, size_t length, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

enum class Marker { Url, Ready, PortTaken };
struct MarkerText {
    Marker marker;
    const char* text;
    size_t length;
};
const MarkerText kMarkers[] = {
    { Marker::Url, kUrlMarker, sizeof kUrlMarker - 1 },
    { Marker::Ready, kReadyMarker, sizeof kReadyMarker - 1 },
    { Marker::PortTaken, kPortTakenMarker, sizeof kPortTakenMarker - 1 },
};
bool IsMarkerStart(char c) { return c == kUrlMarker[0] || c == kReadyMarker[0] || c == kPortTakenMarker[0]; }

} // namespace

void MarkerScanner::Reset()
{
    carryLength_ = 0;
    reading_ = false;
}

void MarkerScanner::Scan(const char* text, Listener& listener)
{
    const size_t length = std::strlen(text);
    const char* done = text; // the address being read has seen the text up to here

    // Each marker acts where it ends, after the address before it has read the text up to there.
    auto act = [&](Marker marker, size_t end) {
        ReadAddress(done, text + end, listener);
        done = text + end;
        switch (marker) {
        case Marker::Url:
            reading_ = true;
            refused_ = false;
            blankEnd_ = false;
            urlLength_ = 0;
            break;
        case Marker::Ready: listener.OnReady(); break;
        case Marker::PortTaken: listener.OnPortTaken(); break;
        }
    };

    // A marker that began in the earlier reads ends early in this one. No marker overlaps another,
    // so at most one does, and it comes before every marker that begins here.
    char joined[2 * kCarry + 1];
    const size_t head = length < kCarry ? length : kCarry;
    std::memcpy(joined, carry_, carryLength_);
    std::memcpy(joined + carryLength_, text, head);
    joined[carryLength_ + head] = '\0';
    for (const MarkerText& m : kMarkers) {
        const char* at = std::strstr(joined, m.text);
        for (; at && at < joined + carryLength_; at = std::strstr(at + 1, m.text)) {
            size_t end = static_cast<size_t>(at - joined) + m.length;
            if (end > carryLength_) act(m.marker, end - carryLength_); // else seen in an earlier read
        }
    }

    // The markers that begin in this read, in the order they come. One pass looks at each byte
    // once: a flood costs the reader little beyond its reads.
    for (size_t at = 0; at < length; ++at) {
        if (!IsMarkerStart(text[at])) continue;
        for (const MarkerText& m : kMarkers) {
            if (length - at >= m.length && std::memcmp(text + at, m.text, m.length) == 0) {
                act(m.marker, at + m.length);
                at += m.length - 1;
                break;
            }
        }
    }
    ReadAddress(done, text + length, listener);

    // The end of the stream, for a marker that this read cuts.
    if (length >= kCarry) {
        std::memcpy(carry_, text + length - kCarry, kCarry);
        carryLength_ = kCarry;
    } else {
        size_t total = carryLength_ + length;
        size_t keep = total < kCarry ? total : kCarry;
        std::memcpy(carry_, joined + total - keep, keep);
        carryLength_ = keep;
    }
}

// The address's text, taken as it comes: blanks before it are skipped and blanks after it only
// remembered, so that no more than the longest address is kept however long its line is.
void MarkerScanner::ReadAddress(const char* from, const char* to, Listener& listener)
{
    for (const char* c = from; reading_ && c < to; ++c) {
        if (IsLineEnd(*c)) EndAddress(listener);
        else if (refused_) continue;
        else if (IsBlank(*c)) blankEnd_ = urlLength_ > 0;
        else if (blankEnd_ || static_cast<unsigned char>(*c) <= ' ' || urlLength_ == kUrlSize - 1) refused_ = true;
        else url_[urlLength_++] = *c;
    }
}

// The address is handed to the shell: only a web address is taken.
void MarkerScanner::EndAddress(Listener& listener)
{
    reading_ = false;
    if (refused_ || !(StartsWithNoCase(url_, urlLength_, "http://") || StartsWithNoCase(url_, urlLength_, "https://")))
        return;
    url_[urlLength_] = '\0';
    listener.OnAddress(url_);
}

ServerRunner::ServerRunner() : applicationUrl() { CopyText(applicationUrl, kDefaultUrl); }

int ServerRunner::Launch(RunnerOwner* console, const char* javaExePath, const char* options)
{
    char line[kCommandLineSize];
    if (!BuildServerCommandLine(line, sizeof line, sharedHomeDir, options)) return 0;
    if (!IsIdle()) return 0; // the running server's reader still reads its markers
    markers_.Reset();        // a new server's output does not go on from the last one's
    takenPort_.Reset();
    owner = console;
    javaExe_ = javaExePath;
    return Start(javaExePath, line, sharedHomeDir, SW_HIDE, 1);
}

int ServerRunner::OnOutput(char* text, int)
{
    if (owner) owner->AppendConsoleText(text);
    markers_.Scan(text, *this);
    takenPort_.Add(text);
    return 1;
}

void ServerRunner::OnAddress(const char* url)
{
    std::lock_guard<std::mutex> guard(urlLock_);
    CopyText(applicationUrl, url);
}

void ServerRunner::OnReady()
{
    if (owner) owner->PostServerReady();
}

void ServerRunner::OnPortTaken()
{
    takenPort_.MarkerSeen();
    Stop();
}

// The port from the server's own words, else from the application's address.
int ServerRunner::TakenPort() const
{
    if (!takenPort_.Seen()) return -1;
    int port = PortFromServerOutput(takenPort_.Text());
    return port != 0 ? port : PortFromAddress(ApplicationUrl().c_str());
}

std::string ServerRunner::TakenPortReport() const
{
    int port = TakenPort();
    if (port <= 0) return "";
    return "\r\n" + TakenPortMessage(port);
}

std::string ServerRunner::ApplicationUrl() const
{
    std::lock_guard<std::mutex> guard(urlLock_);
    return applicationUrl;
}

void ServerRunner::OpenApplicationUrl() { ShellOpen(ApplicationUrl().c_str()); }
