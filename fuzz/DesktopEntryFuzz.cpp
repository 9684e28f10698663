// The desktop entry of the folder verb, written for a program path. Whatever
// the path holds, the entry keeps its fixed lines (no line break of the path
// reaches the file raw), and its Exec line, read back as a file manager reads
// it (string escapes, then one quoted argument), gives the path again, up to
// a zero byte, which no path can hold.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/ScratchHome.h"
#include "settings/RegTools.h"

namespace {

constexpr const char* kExecStart = "Exec=";
constexpr const char* kExecEnd = " %f";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (const char c : text) {
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

// The escapes of a string value; false on a backslash that starts none.
bool ReadValueEscapes(const std::string& value, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) {
            return false;
        }
        switch (value[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 's':
            out += ' ';
            break;
        default:
            return false;
        }
    }
    return true;
}

// One double-quoted argument of an Exec line: inside the quotes a backslash
// escapes ", `, $ or \, and "%%" is a literal %; false when the text is not
// exactly one such argument.
bool ReadQuotedArgument(const std::string& text, std::string& out)
{
    out.clear();
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return false;
    }
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '`' || c == '$') {
            return false; // must be escaped
        }
        if (c == '\\' || c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            const char next = text[++i];
            const bool escaped = c == '\\'
                                     ? (next == '"' || next == '`' || next == '$' || next == '\\')
                                     : next == '%';
            if (!escaped) {
                return false;
            }
            out += next;
            continue;
        }
        out += c;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::ScratchHome();
    const std::string programPath(reinterpret_cast<const char*>(data), size);
    RegTools::RegisterShellVerb("Folder", "Sonorix", programPath);

    std::ifstream file(RegTools::DesktopEntryPath(), std::ios::binary);
    FUZZ_CHECK(file.good());
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>{}};
    FUZZ_CHECK(text.find('\r') == std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    const std::vector<std::string> fixed = {"[Desktop Entry]",
                                            "Type=Application",
                                            "Name=Sonorix",
                                            "Comment=Catalogue the MPEG audio files of a folder",
                                            "",
                                            "",
                                            "MimeType=inode/directory;",
                                            "NoDisplay=true",
                                            "Terminal=false",
                                            ""};
    FUZZ_CHECK(lines.size() == fixed.size());
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        if (i != 4 && i != 5) {
            FUZZ_CHECK(lines[i] == fixed[i]);
        }
    }
    const std::string program = programPath.substr(0, programPath.find('\0'));

    // TryExec names the program itself, escaped as a string value.
    const std::string tryExec = lines[4];
    const std::string tryStart = "TryExec=";
    FUZZ_CHECK(tryExec.compare(0, tryStart.size(), tryStart) == 0);
    std::string tried;
    FUZZ_CHECK(ReadValueEscapes(tryExec.substr(tryStart.size()), tried));
    FUZZ_CHECK(tried == program);

    const std::string& exec = lines[5];
    const std::string start = kExecStart;
    const std::string end = kExecEnd;
    FUZZ_CHECK(exec.size() >= start.size() + end.size());
    FUZZ_CHECK(exec.compare(0, start.size(), start) == 0);
    FUZZ_CHECK(exec.compare(exec.size() - end.size(), end.size(), end) == 0);
    std::string unescaped;
    FUZZ_CHECK(ReadValueEscapes(exec.substr(start.size(), exec.size() - start.size() - end.size()),
                                unescaped));
    std::string argument;
    FUZZ_CHECK(ReadQuotedArgument(unescaped, argument));
    FUZZ_CHECK(argument == program);
    return 0;
}
