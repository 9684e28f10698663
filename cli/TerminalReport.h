#pragma once

// What sonorix-list shows on the terminal while the list job runs: the
// report window as one progress line, and the job's dialogs as messages and
// a prompt.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Dialogs.h"
#include "listing/ListJob.h"

namespace ListCli {

// The progress line on standard error. The job reports every file; the line
// is drawn at most a few times a second, and only on a terminal.
class TerminalReport final : public Listing::ListReport
{
public:
    explicit TerminalReport(bool enabled) : m_enabled(enabled) {}

    void SetLabelText(Listing::ReportLabel label, const std::string& text) override;

    void RepaintReportLabel(Listing::ReportLabel) override { Draw(); }

    void RepaintWindow() override { Draw(); }

    void SetProgressBar(int position) override { m_bar = position; }

    void SetOkEnabled(bool) override {}

    void ShowReport() override {}

    void HideReport() override { Clear(); }

    void ScanStarted(std::int64_t fileCount) override { m_total = fileCount; }

    // Shown whether or not progress is: it tells why files are missing.
    void FolderSkipped(const std::string& path, int error) override;
    void CacheWarning(const std::string& text) override;

    // The report window's final figures, as one line in place of the progress.
    void Summarize(const std::string& output);

    // Removes the progress line, so a message can stand on its own line.
    void Clear();

private:
    [[nodiscard]] const std::string& Label(Listing::ReportLabel label) const
    {
        return m_labels[static_cast<std::size_t>(label)];
    }

    // Draws the progress line, at most a few times a second.
    void Draw();
    // A warning on a line of its own, progress or not.
    void Warn(const std::string& text);

    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
    // The text of every label, by its number (Progress, the last, is the path).
    std::array<std::string, static_cast<std::size_t>(Listing::ReportLabel::Progress) + 1>
        m_labels{};
    int m_bar = 0;
    std::int64_t m_total = 0;
};

// The job's dialogs on a terminal: messages on standard error, the input box
// as a prompt when a user is at the terminal. The other dialogs are never
// opened by the list job; they answer as Cancel would.
class TerminalDialogs final : public UnattendedDialogs
{
public:
    explicit TerminalDialogs(TerminalReport& report) : m_report(report) {}

    // Reads one line when a user is at the terminal; otherwise acts as Cancel.
    std::optional<std::string> InputBox(const std::string&, const std::string& prompt,
                                        const std::string&) override;

private:
    void Show(const std::string& text) override;

    TerminalReport& m_report;
};

} // namespace ListCli
