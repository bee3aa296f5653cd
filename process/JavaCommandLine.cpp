#include "process/JavaCommandLine.h"

#include "framework/Text.h"

#include <cstring>

namespace {

// Class path entries under the home directory, in order.
const char* const kSharedEntries[] = {
    "\\tomcat\\lib\\jaxp.Jar",   "\\tomcat\\lib\\xmlParserAPIs.Jar", "\\tomcat\\lib\\ant.Jar",
    "\\tomcat\\lib\\jasper.Jar", "\\tomcat\\lib\\parser.Jar",        "\\tomcat\\lib\\servlet.Jar",
};
const char* const kInitEntries[] = { "\\tomcat\\lib\\webserver.Jar", "\\tomcat\\webapps\\Vantry\\WEB-INF\\classes" };
const char* const kServerEntries[] = { "\\tomcat\\lib\\webserver.jar" };

class LineWriter {
public:
    LineWriter(char* line, size_t size) : line_(line), size_(size) { line_[0] = '\0'; }
    LineWriter& operator<<(const char* text)
    {
        ok_ = ok_ && AppendText(line_, size_, text);
        return *this;
    }
    int Finish()
    {
        if (!ok_) line_[0] = '\0';
        return ok_ ? 1 : 0;
    }

private:
    char* line_;
    size_t size_;
    bool ok_ = true;
};

template <size_t N> void WriteClassPath(LineWriter& out, const char* home, const char* const (&own)[N])
{
    const char* separator = "";
    for (const char* entry : kSharedEntries) {
        out << separator << home << entry;
        separator = ";";
    }
    for (const char* entry : own) out << ";" << home << entry;
}

// The options go right after the program's name; none leave the line as it always was.
bool WriteOptions(LineWriter& out, const char* options)
{
    if (std::strlen(options) > kMaxJavaOptions) return false;
    if (*options) out << " " << options;
    return true;
}

} // namespace

int BuildInitCommandLine(char* line, size_t size, const char* home, const char* options)
{
    if (size == 0) return 0;
    LineWriter out(line, size);
    if (!WriteOptions(out, options)) return 0;
    out << " -classpath \"";
    WriteClassPath(out, home, kInitEntries);
    out << "\" vty.vantry.InitVantry";
    return out.Finish();
}

namespace {

int WriteServerLine(char* line, size_t size, const char* home, const char* options, const char* arguments)
{
    if (size == 0) return 0;
    LineWriter out(line, size);
    if (!WriteOptions(out, options)) return 0;
    out << " -Dtomcat.home=\"" << home << "\\tomcat\" -classpath \"";
    WriteClassPath(out, home, kServerEntries);
    out << "\" org.apache.tomcat.startup.Tomcat" << arguments;
    return out.Finish();
}

} // namespace

int BuildServerCommandLine(char* line, size_t size, const char* home, const char* options)
{
    return WriteServerLine(line, size, home, options, "");
}

int BuildServerStopCommandLine(char* line, size_t size, const char* home)
{
    return WriteServerLine(line, size, home, "", " -stop");
}

bool JavaOptionsFit(const char* options, const char* home)
{
    char line[kCommandLineSize];
    return BuildInitCommandLine(line, sizeof line, home, options) &&
           BuildServerCommandLine(line, sizeof line, home, options);
}
