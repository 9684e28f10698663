// sonorix-list: the list job of "Create &List" without a window, for scripts,
// cron jobs and large collections. It uses the same settings store and
// profiles as the desktop program and never writes a global option.

#include <clocale>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "base/SignalCleanup.h"
#include "base/TerminalText.h"
#include "base/Version.h"
#include "cli/ListCommand.h"
#include "cli/ListOptions.h"
#include "listing/ListJob.h"
#include "profiles/ListFormat.h"

namespace {

int ReportUsageError(const ListCli::UsageError& error)
{
    std::cerr << TerminalSafe(std::string("sonorix-list: ") + error.what()) << "\n"
              << "Try 'sonorix-list --help' for more information.\n";
    return ListCli::kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    ListCli::ListOptions options;
    try {
        options = ListCli::ParseListOptions(argc, argv);
    } catch (const ListCli::UsageError& error) {
        return ReportUsageError(error);
    }
    if (options.Help) {
        std::cout << ListCli::kListHelp;
        return ListCli::kExitWritten;
    }
    if (options.Version) {
        std::cout << VersionText() << '\n';
        return ListCli::kExitWritten;
    }
    if (options.ListColumns) {
        for (const char* caption : Profiles::kColumnCaptions) {
            std::cout << caption << '\n';
        }
        return ListCli::kExitWritten;
    }
    // Ctrl+C leaves no temporary or empty numbered list behind.
    SignalCleanup::InstallHandlers();
    try {
        return ListCli::RunListCommand(options);
    } catch (const ListCli::UsageError& error) {
        return ReportUsageError(error);
    } catch (const std::bad_alloc&) {
        std::cerr << "sonorix-list: out of memory\n"; // a text that needs no memory
        return ListCli::kExitIoError;
    } catch (const std::exception& error) {
        // Input/output and settings-store errors, and anything else that
        // stopped the job: the text names the file and the reason.
        std::cerr << TerminalSafe(std::string("sonorix-list: ") + error.what()) << '\n';
        return ListCli::kExitIoError;
    }
}
