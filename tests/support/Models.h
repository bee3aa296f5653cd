// Small reference models of what the launcher makes of bad input, and the seeded randomness the tests
// that use them share. The models restate the rules as built (as the README and the code's comments
// word them), written apart from the code; a few hand-written cases from each rule's wording check
// the model itself.
#pragma once
#include <windows.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

// The seed of a randomised test: VANTRY_SEED when set, else the test's own. Printed, so that a
// failure can be repeated.
unsigned TestSeed(unsigned fallback);

// Random pieces of test input.
class Dice {
public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    // In [low, high], both included.
    size_t Between(size_t low, size_t high);
    bool Chance(double probability);
    template <typename T> const T& Pick(const std::vector<T>& from) { return from[Between(0, from.size() - 1)]; }
    // count bytes, each in [low, high].
    std::string Bytes(size_t count, unsigned char low = 1, unsigned char high = 255);
    std::mt19937& Engine() { return engine_; }

private:
    std::mt19937 engine_;
};

// --- The server's output ------------------------------------------------------------------------------

// What the launcher must have made of the server's output chunks so far. It restates the rules as
// built, in their own words and not as the program reads them: the output is one stream, each
// chunk's text ending at its first NUL. Every "Vantry is initialized" and every
// "java.net.BindException" in that stream acts once, as soon as its last byte has come, wherever
// the chunks cut it. Every "Vantry url: " offers the text after it up to the next CR or LF, taken
// once that CR or LF has come when AnnouncedUrl accepts it; the last one taken counts.
class ServerOutputModel {
public:
    explicit ServerOutputModel(std::string defaultUrl) : url_(std::move(defaultUrl)) {}

    // One chunk as the reader hands it: its bytes, NULs included.
    void Feed(const std::string& chunk);
    void ClearConsole() { console_.clear(); }

    const std::string& Console() const { return console_; }
    const std::string& Url() const { return url_; }
    int ReadinessPosts() const { return readinessPosts_; }
    int StopRequests() const { return stopRequests_; }

    // The address that a text of one line (no CR, no LF) announces, by the rules alone: the text
    // after each "Vantry url: ", without its surrounding blanks, when it is an http:// or https://
    // address (any letter case) of at most 999 characters, all above the blank; of several, the
    // last. False when it announces none.
    static bool AnnouncedUrl(const std::string& text, std::string& url);

private:
    std::string console_;
    std::string url_;
    std::string line_; // the stream since its last CR or LF
    int readinessPosts_ = 0;
    int stopRequests_ = 0;
};

// --- The settings key ---------------------------------------------------------------------------------

// One registry value as stored: the bytes a query hands back, exactly.
struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

// The text of a value that the launcher reads as text, or false when it cannot be used: not REG_SZ,
// more than 261 bytes, or 261 bytes without a NUL.
bool UsableText(const StoredValue& value, std::string& text);
// Whether a query offering 261 bytes succeeds.
bool FitsReadBuffer(const StoredValue& value);

struct SettingsInput {
    bool keyUsable = true;                       // the machine's key can be read (it is made when missing)
    bool keyWritable = true;                     // ... and written: else this user's settings live in their own key
    StoredValue hideOnStartup, javaExe, vtyHome; // in the machine's key
    StoredValue userHideOnStartup, userJavaExe;  // in the user's key; absent when it does not exist
    std::vector<std::string> files;              // the paths that name existing files (not folders)
    int checkBefore = 0;
    std::string javaExeBefore, homeDirBefore, markerPathBefore;
    std::string modulePath; // what the system gives as the executable's path
};

struct SettingsOutcome {
    int check = 0;
    std::string javaExePath, homeDir, markerPath;
    bool vtyHomeGone = false;
};

SettingsOutcome ExpectedSettings(const SettingsInput& input);

// --- The Java installation search ---------------------------------------------------------------------

struct JavaInstallation {
    std::string name;        // the subkey's name, as enumerated
    StoredValue javaHome;    // its JavaHome value
    bool javaIsFile = false; // whether JavaHome + "\bin\java.exe" names an existing file, not a folder
};

struct SearchOutcome {
    int result = -1;
    std::string destination;   // when result is 0
    size_t longestWritten = 0; // a later, shorter candidate leaves the end of an earlier one behind
};

// installations in the registry's enumeration order.
SearchOutcome ExpectedSearch(const std::string& baseKey, const std::vector<JavaInstallation>& installations,
                             size_t destinationSize);

// --- Command lines ------------------------------------------------------------------------------------

std::string ExpectedServerCommandLine(const std::string& home);
std::string ExpectedInitCommandLine(const std::string& home);
