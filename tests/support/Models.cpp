#include "support/Models.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

unsigned TestSeed(unsigned fallback)
{
    unsigned seed = fallback;
    char text[32] = "";
    DWORD length = GetEnvironmentVariableA("VANTRY_SEED", text, sizeof text);
    if (length > 0 && length < sizeof text) seed = static_cast<unsigned>(std::strtoul(text, nullptr, 0));
    std::printf("[   SEED   ] %u%s\n", seed,
                seed == fallback ? " (the default; VANTRY_SEED sets another)" : " (VANTRY_SEED)");
    std::fflush(stdout);
    return seed;
}

size_t Dice::Between(size_t low, size_t high) { return std::uniform_int_distribution<size_t>(low, high)(engine_); }

bool Dice::Chance(double probability) { return std::bernoulli_distribution(probability)(engine_); }

std::string Dice::Bytes(size_t count, unsigned char low, unsigned char high)
{
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(Between(low, high));
    return bytes;
}

// --- The server's output ------------------------------------------------------------------------------

namespace {

const std::string kUrlMarker = "Vantry url: ";
const std::string kReadyMarker = "Vantry is initialized";
const std::string kPortTakenMarker = "java.net.BindException";

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool AcceptableUrl(const std::string& url)
{
    std::string scheme = Lower(url.substr(0, 8));
    if (scheme.compare(0, 7, "http://") != 0 && scheme != "https://") return false;
    if (url.size() > 999) return false;
    for (char c : url)
        if (static_cast<unsigned char>(c) <= ' ') return false;
    return true;
}

} // namespace

bool ServerOutputModel::AnnouncedUrl(const std::string& text, std::string& url)
{
    bool found = false;
    for (size_t at = text.find(kUrlMarker); at != std::string::npos; at = text.find(kUrlMarker, at + 1)) {
        size_t begin = at + kUrlMarker.size();
        size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos) end = text.size();
        while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
        while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
        std::string candidate = text.substr(begin, end - begin);
        if (AcceptableUrl(candidate)) {
            url = candidate;
            found = true;
        }
    }
    return found;
}

namespace {

// The occurrences of part in text that end after its first `before` bytes.
int NewOccurrences(const std::string& text, size_t before, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        if (at + part.size() > before) ++count;
    return count;
}

} // namespace

void ServerOutputModel::Feed(const std::string& chunk)
{
    std::string text = chunk.substr(0, chunk.find('\0'));
    console_ += text;
    for (size_t at = 0;;) {
        size_t end = text.find_first_of("\r\n", at);
        size_t before = line_.size();
        line_ += text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        readinessPosts_ += NewOccurrences(line_, before, kReadyMarker);
        stopRequests_ += NewOccurrences(line_, before, kPortTakenMarker);
        if (end == std::string::npos) break;
        std::string url;
        if (AnnouncedUrl(line_, url)) url_ = url;
        line_.clear();
        at = end + 1;
    }
}

// --- The settings key ---------------------------------------------------------------------------------

namespace {

constexpr size_t kReadBuffer = 261;
constexpr size_t kPathBuffer = 780;
const std::string kMarkerFile = "\\config\\vty3.2.sav";

} // namespace

bool FitsReadBuffer(const StoredValue& value) { return value.present && value.bytes.size() <= kReadBuffer; }

bool UsableText(const StoredValue& value, std::string& text)
{
    if (!FitsReadBuffer(value) || value.type != REG_SZ) return false;
    size_t nul = value.bytes.find('\0');
    if (nul == std::string::npos && value.bytes.size() == kReadBuffer) return false;
    text = value.bytes.substr(0, nul);
    return true;
}

SettingsOutcome ExpectedSettings(const SettingsInput& input)
{
    SettingsOutcome out;
    out.check = input.checkBefore;
    out.javaExePath = input.javaExeBefore;
    out.homeDir = input.homeDirBefore;
    out.markerPath = input.markerPathBefore;

    // The machine's key first; VtyHome goes from it when this user may write it.
    std::string text;
    if (input.keyUsable) {
        if (UsableText(input.hideOnStartup, text)) out.check = text.find("true") != std::string::npos ? 1 : 0;
        if (UsableText(input.javaExe, text)) out.javaExePath = text;
        out.vtyHomeGone = input.keyWritable && FitsReadBuffer(input.vtyHome);
    }
    // Then the user's own, which win.
    if (UsableText(input.userHideOnStartup, text)) out.check = text.find("true") != std::string::npos ? 1 : 0;
    if (UsableText(input.userJavaExe, text)) out.javaExePath = text;

    // The executable's path as the system hands it over in a path buffer: a path that does not fit
    // is known to be cut, and is not used.
    const std::string& module = input.modulePath;
    if (module.empty() || module.size() >= kPathBuffer) return out;
    size_t separator = module.rfind('\\');
    if (separator == std::string::npos) return out;
    std::string home = module.substr(0, separator);
    std::string marker = home + kMarkerFile;
    if (home.size() >= kPathBuffer || marker.size() >= kPathBuffer) return out; // neither is cut
    out.homeDir = home;
    out.markerPath = marker;
    return out;
}

// --- The Java installation search ---------------------------------------------------------------------

SearchOutcome ExpectedSearch(const std::string& baseKey, const std::vector<JavaInstallation>& installations,
                             size_t destinationSize)
{
    const char* const patterns[] = { "1.3", "1.2" };
    const int nothing = 101;
    int best = nothing;
    SearchOutcome out;
    for (const JavaInstallation& installation : installations) {
        if (installation.name.size() >= 260) break; // the name buffer cannot take it: the list ends here
        for (int i = 0; i < 2; ++i) {
            if (i < best && installation.name.find(patterns[i]) != std::string::npos) {
                std::string keyPath = baseKey + "\\" + installation.name;
                std::string home;
                if (keyPath.size() <= 260 && UsableText(installation.javaHome, home) && installation.javaIsFile) {
                    std::string candidate = home + "\\bin\\java.exe";
                    if (candidate.size() < destinationSize) {
                        out.destination = candidate;
                        out.longestWritten = std::max(out.longestWritten, candidate.size() + 1);
                        best = i;
                    }
                }
            }
            if (best == 0) {
                out.result = 0;
                return out;
            }
        }
    }
    out.result = best != nothing ? 0 : -1;
    if (out.result != 0) out.destination.clear();
    return out;
}

// --- Command lines ------------------------------------------------------------------------------------

namespace {

std::string ClassPath(const std::string& home, const std::vector<const char*>& entries)
{
    std::string path;
    for (const char* entry : entries) {
        if (!path.empty()) path += ';';
        path += home + entry;
    }
    return path;
}

} // namespace

std::string ExpectedServerCommandLine(const std::string& home)
{
    std::string classPath =
        ClassPath(home, { "\\tomcat\\lib\\jaxp.Jar", "\\tomcat\\lib\\xmlParserAPIs.Jar", "\\tomcat\\lib\\ant.Jar",
                          "\\tomcat\\lib\\jasper.Jar", "\\tomcat\\lib\\parser.Jar", "\\tomcat\\lib\\servlet.Jar",
                          "\\tomcat\\lib\\webserver.jar" });
    return " -Dtomcat.home=\"" + home + "\\tomcat\" -classpath \"" + classPath + "\" org.apache.tomcat.startup.Tomcat";
}

std::string ExpectedInitCommandLine(const std::string& home)
{
    std::string classPath =
        ClassPath(home, { "\\tomcat\\lib\\jaxp.Jar", "\\tomcat\\lib\\xmlParserAPIs.Jar", "\\tomcat\\lib\\ant.Jar",
                          "\\tomcat\\lib\\jasper.Jar", "\\tomcat\\lib\\parser.Jar", "\\tomcat\\lib\\servlet.Jar",
                          "\\tomcat\\lib\\webserver.Jar", "\\tomcat\\webapps\\Vantry\\WEB-INF\\classes" });
    return " -classpath \"" + classPath + "\" vty.vantry.InitVantry";
}
