// sonorix-probe FILE...: shows what Sonorix reads from each file, one
// "Name=value" line per field of the probe record and of the ID3v1 record.

#include <clocale>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MP3Tools.h"
#include "base/Ascii.h"
#include "base/TerminalText.h"
#include "base/Version.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitIoError = 3;

constexpr std::string_view kUsage = "Usage: sonorix-probe [--] FILE...\n";

constexpr std::string_view kHelp =
    "Shows what Sonorix reads from audio files: the probe of the first MPEG\n"
    "audio frame (RIFF wrapper, \"Xing\" header, bit rate, sampling rate, frame\n"
    "count, playing time, encoder guess) and the ID3v1 tag.\n"
    "\n"
    "For each FILE, in argument order, it prints one Name=value line per field,\n"
    "first the probe record, then the tag record, then an empty line. Flags\n"
    "print as 0 or 1, numbers in plain decimal, texts as read; a byte below\n"
    "0x20 and the backslash print as \\xHH (two upper-case hex digits), so\n"
    "every field is one line. The sampling rate uses the decimal separator of\n"
    "the user's locale (LC_ALL, LC_NUMERIC). A missing FILE, or one that is not\n"
    "a regular file, prints Valid=0. Messages on standard error show control\n"
    "characters of file names as escapes (\\x1b).\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "  --          every argument after it is a FILE\n"
    "\n"
    "Exit status:\n"
    "  0  every FILE was read\n"
    "  1  wrong usage (no FILE, unknown option)\n"
    "  3  a FILE exists but could not be opened or read; the reason is on\n"
    "     standard error, that FILE has no record and the others are shown\n";

std::string Escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '\\') {
            out += "\\x";
            Ascii::AppendHex(out, byte, true);
        } else {
            out += c;
        }
    }
    return out;
}

class RecordWriter
{
public:
    explicit RecordWriter(std::ostream& out) : m_out(out) {}

    void Text(const char* name, const std::string& value)
    {
        m_out << name << '=' << Escaped(value) << '\n';
    }

    void Number(const char* name, long long value) { m_out << name << '=' << value << '\n'; }

    void Flag(const char* name, bool value) { m_out << name << '=' << (value ? 1 : 0) << '\n'; }

private:
    std::ostream& m_out;
};

// The record of one file; throws IoError when the file cannot be read.
std::string Describe(const std::string& path)
{
    MP3Tools::AudioFileInfo info;
    MP3Tools::ProbeAudioFile(info, path, MP3Tools::LocaleDecimalSeparator());
    MP3Tools::TagInfo tag;
    MP3Tools::ReadTag(tag, path);

    std::ostringstream out;
    RecordWriter w(out);
    w.Text("FileName", info.FileName);
    w.Text("FileSize", info.FileSize);
    w.Text("DurationSeconds", info.DurationSeconds);
    w.Text("DurationText", info.DurationText);
    w.Text("FrameCount", info.FrameCount);
    w.Text("LayerText", info.LayerText);
    w.Text("VersionText", info.VersionText);
    w.Text("BitrateText", info.BitrateText);
    w.Text("SampleRateText", info.SampleRateText);
    w.Text("ModeText", info.ModeText);
    w.Text("ModeExtensionText", info.ModeExtensionText);
    w.Text("OriginalText", info.OriginalText);
    w.Text("ProtectionText", info.ProtectionText);
    w.Text("PaddingText", info.PaddingText);
    w.Text("PrivateText", info.PrivateText);
    w.Text("CopyrightText", info.CopyrightText);
    w.Text("EmphasisText", info.EmphasisText);
    w.Text("EncoderText", info.EncoderText);
    w.Number("FrameOffset", info.FrameOffset);
    w.Number("FrameLength", info.FrameLength);
    w.Number("FrameBodyLength", info.FrameBodyLength);
    w.Flag("HeaderOnly", info.HeaderOnly);
    w.Flag("RiffWrapped", info.RiffWrapped);
    w.Flag("VariableBitrate", info.VariableBitrate);
    w.Flag("Valid", info.Valid);
    w.Text("TagId", tag.TagId);
    w.Text("Title", tag.Title);
    w.Text("Artist", tag.Artist);
    w.Text("Album", tag.Album);
    w.Text("Year", tag.Year);
    w.Text("Comment", tag.Comment);
    w.Text("Genre", tag.Genre);
    w.Text("Track", tag.Track);
    w.Flag("Tagged", tag.Tagged);
    out << '\n';
    return out.str();
}

} // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");

    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::cout << kUsage << '\n' << kHelp;
            return 0;
        } else if (!optionsEnded && arg == "--version") {
            std::cout << VersionText() << '\n';
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "sonorix-probe: unknown option '" << TerminalSafe(arg) << "'\n" << kUsage;
            return kExitUsage;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::cerr << kUsage << "Try 'sonorix-probe --help' for more information.\n";
        return kExitUsage;
    }

    int status = 0;
    for (const auto& path : files) {
        try {
            std::cout << Describe(path);
        } catch (const IoError& error) {
            std::cout.flush();
            std::cerr << "sonorix-probe: " << TerminalSafe(error.what()) << '\n';
            status = kExitIoError;
        }
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "sonorix-probe: cannot write the output\n";
        return kExitIoError;
    }
    return status;
}
