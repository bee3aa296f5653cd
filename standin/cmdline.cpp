#include "cmdline.h"

#include <cctype>

namespace standin {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

} // namespace

std::vector<std::string> splitCommandLine(const std::string& line)
{
    std::vector<std::string> tokens;
    std::string current;
    bool inToken = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inToken = true; // "" is an empty argument
        } else if (isBlank(c) && !quoted) {
            if (inToken) tokens.push_back(current);
            current.clear();
            inToken = false;
        } else {
            current += c;
            inToken = true;
        }
    }
    if (inToken) tokens.push_back(current);
    return tokens;
}

bool looksLikeJavaProgram(const std::string& token)
{
    const std::string::size_type slash = token.find_last_of("\\/");
    const std::string base = lower(slash == std::string::npos ? token : token.substr(slash + 1));
    return base == "java" || base == "java.exe";
}

Invocation parseInvocation(const std::vector<std::string>& tokens)
{
    Invocation inv;
    std::size_t i = 0;
    if (!tokens.empty() && looksLikeJavaProgram(tokens[0])) ++i;

    for (; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.empty() || t[0] != '-') {
            inv.mainClass = t;
            ++i;
            break;
        }
        if (startsWith(t, "-D")) {
            const std::string def = t.substr(2);
            const std::string::size_type eq = def.find('=');
            if (eq == std::string::npos) inv.properties[def] = std::string();
            else inv.properties[def.substr(0, eq)] = def.substr(eq + 1);
        } else if (t == "-classpath" || t == "-cp") {
            if (i + 1 >= tokens.size()) {
                inv.error = t + " requires a class path";
                return inv;
            }
            inv.classPath = tokens[++i];
        } else if (t == "-version") {
            inv.showVersion = true;
            return inv; // java stops here, whatever follows
        } else if (t == "-showversion") {
            inv.showVersionAndRun = true;
        } else if (t == "-help" || t == "-?") {
            inv.showUsage = true;
            return inv;
        } else if (startsWith(t, "-X") || t == "-server" || t == "-client" || t == "-hotspot" ||
                   startsWith(t, "-verbose") || startsWith(t, "-ea") || startsWith(t, "-da") ||
                   startsWith(t, "-enableassertions") || startsWith(t, "-disableassertions") || t == "-esa" ||
                   t == "-dsa" || t == "-enablesystemassertions" || t == "-disablesystemassertions") {
            // VM tuning: nothing to tune here.
        } else {
            inv.error = "Unrecognized option: " + t;
            return inv;
        }
    }
    for (; i < tokens.size(); ++i) inv.arguments.push_back(tokens[i]);
    return inv;
}

std::string property(const Invocation& inv, const std::string& name, const std::string& fallback)
{
    const auto it = inv.properties.find(name);
    return it == inv.properties.end() ? fallback : it->second;
}

unsigned long millisProperty(const Invocation& inv, const char* name, unsigned long fallback)
{
    unsigned long value = 0;
    return parseDecimal(property(inv, name, "-"), 3600000UL, value) ? value : fallback;
}

bool parseDecimal(const std::string& text, unsigned long maxValue, unsigned long& value)
{
    if (text.empty() || text.size() > 9) return false;
    unsigned long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v > maxValue) return false;
    value = v;
    return true;
}

} // namespace standin
