#include "cli/TerminalReport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

#include "base/TerminalText.h"
#include "base/Utf8.h"

namespace ListCli {

namespace {

std::size_t Width()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40) {
        return size.ws_col;
    }
    return 80;
}

// The end of text in at most room characters, "..." marking the cut.
std::string Tail(const std::string& text, std::size_t room)
{
    const std::size_t count = Utf8::Count(text);
    if (count <= room) {
        return text;
    }
    if (room <= 3) {
        return {};
    }
    const std::size_t skip = Utf8::Cut(text, count - (room - 3)).size();
    return "..." + text.substr(skip);
}

} // namespace

void TerminalReport::SetLabelText(Listing::ReportLabel label, const std::string& text)
{
    m_labels.at(static_cast<std::size_t>(label)) = text;
}

void TerminalReport::FolderSkipped(const std::string& path, int error)
{
    Warn("cannot read folder '" + path + "': " + std::strerror(error));
}

void TerminalReport::CacheWarning(const std::string& text) { Warn(text); }

void TerminalReport::Warn(const std::string& text)
{
    Clear();
    std::cerr << TerminalSafe("sonorix-list: warning: " + text) << std::endl;
}

void TerminalReport::Summarize(const std::string& output)
{
    if (!m_enabled) {
        return;
    }
    Clear();
    using Listing::ReportLabel;
    std::cerr << "Done! " << Label(ReportLabel::Files) << " files, " << Label(ReportLabel::Bytes)
              << " bytes, " << Label(ReportLabel::Minutes) << ", " << Label(ReportLabel::Untagged)
              << " untagged, " << Label(ReportLabel::Invalid)
              << " invalid: " << TerminalSafe(output) << std::endl;
}

void TerminalReport::Clear()
{
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

void TerminalReport::Draw()
{
    if (!m_enabled) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_last < std::chrono::milliseconds(200)) {
        return;
    }
    m_last = now;
    std::string line;
    const std::string& status = Label(Listing::ReportLabel::Status);
    if (m_total > 0 && status == "Scanning files...") {
        constexpr int kBarWidth = 20;
        const int filled = std::clamp(m_bar, 0, 100) * kBarWidth / 100;
        // Appended piece by piece: operator+ on a literal and a temporary
        // makes g++ 12 at -O3 warn falsely (-Wrestrict).
        line += '[';
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBarWidth - filled), '-');
        line += "] ";
        line += Label(Listing::ReportLabel::Files);
        line += '/';
        line += std::to_string(m_total);
        line += ' ';
    } else {
        line = TerminalSafe(status) + " ";
    }
    // No room for the path at all when the status alone fills the line.
    const std::size_t used = Utf8::Count(line) + 1;
    const std::size_t width = Width();
    line +=
        Tail(TerminalSafe(Label(Listing::ReportLabel::Progress)), used < width ? width - used : 0);
    std::fputs(("\r\033[K" + line).c_str(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

std::optional<std::string> TerminalDialogs::InputBox(const std::string&, const std::string& prompt,
                                                     const std::string&)
{
    if (!isatty(STDIN_FILENO)) {
        return std::nullopt;
    }
    m_report.Clear();
    std::cerr << prompt << ": " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::cerr << '\n';
        return std::nullopt;
    }
    return line;
}

void TerminalDialogs::Show(const std::string& text)
{
    m_report.Clear();
    std::cerr << TerminalSafe(text) << std::endl;
}

} // namespace ListCli
