#include "cli/ListCommand.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/Ascii.h"
#include "cli/TerminalReport.h"
#include "listing/ListJob.h"
#include "profiles/GlobalOptions.h"
#include "profiles/ListFormat.h"
#include "profiles/MemoryProfileHost.h"
#include "profiles/ProfileStore.h"
#include "settings/RegTools.h"

namespace ListCli {

namespace {

// A relative path is taken from the current folder, as a shell user means it.
std::string Absolute(const std::string& path)
{
    if (path.empty() || path.front() == '/') {
        return path;
    }
    return std::filesystem::current_path().string() + "/" + path;
}

// The profile options of this run, laid over the loaded profile.
void ApplyOptions(const ListOptions& options, Profiles::Profile& profile)
{
    if (options.Analysis) {
        profile.Analysis = *options.Analysis;
    }
    if (options.Format) {
        profile.ListFormat = *options.Format;
    }
    if (options.Separator) {
        profile.Separator = *options.Separator;
    }
    if (options.Columns) {
        std::vector<std::string> information = *options.Columns;
        std::vector<bool> checked(information.size(), true);
        for (const char* caption : Profiles::kColumnCaptions) {
            if (std::find(options.Columns->begin(), options.Columns->end(), caption) ==
                options.Columns->end()) {
                information.emplace_back(caption);
                checked.push_back(false);
            }
        }
        profile.Information = std::move(information);
        profile.Checked = std::move(checked);
    }
    if (options.Sort) {
        profile.Sort = *options.Sort;
    }
    if (options.Save30) {
        profile.Save30 = true;
    }
    profile.AppendToList = options.Append;
    if (options.Custom) {
        profile.Custom = *options.Custom;
    }
    if (options.Extensions) {
        profile.Extensions = *options.Extensions;
    }
}

// The stored spelling of the style the user named (letter case is forgiven,
// as the store forgives it). A name that is not stored is a usage error,
// since a typo would otherwise store a whole new profile, unless a new style
// is asked for.
std::string StoredStyle(const std::string& name, bool newStyle)
{
    // Its values would overwrite global settings ("AskFor" + "Custom").
    if (!Profiles::IsValidProfileName(name)) {
        throw UsageError(std::string(Profiles::kInvalidProfileNameMessage) + " ('" + name + "')");
    }
    const std::vector<std::string> stored = Profiles::StoredStyleNames();
    const auto known = std::find_if(stored.begin(), stored.end(), [&](const std::string& item) {
        return Ascii::EqualsIgnoringCase(item, name);
    });
    if (known != stored.end()) {
        return *known;
    }
    if (newStyle) {
        return name;
    }
    throw UsageError("unknown style '" + name + "' (stored: " + JoinNames(stored) +
                     "); --new-style makes a new one");
}

int Run(const ListOptions& options)
{
    Profiles::Profile profile;
    GlobalSettings::GlobalOptions global;
    {
        // The store is opened once for all that is read from it.
        const RegTools::StoreBatch batch;
        Profiles::MemoryProfileHost host; // the style boxes, without a window
        if (options.Style) {
            host.SetStyleText(StoredStyle(*options.Style, options.NewStyle));
            Profiles::LoadProfile(profile, host);
        } else {
            Profiles::LoadProfileList(profile, host);
        }
        // Read, never written: "Ask for Custom Info" only when it can matter.
        using GlobalSettings::GlobalValue;
        global = options.Custom ? GlobalSettings::ReadGlobalOptions({GlobalValue::DefaultFileName})
                                : GlobalSettings::ReadGlobalOptions(
                                      {GlobalValue::AskForCustom, GlobalValue::DefaultFileName});
    }
    ApplyOptions(options, profile);
    // A stored number that names none of the four formats (a store edited by
    // hand, or a style saved with no format chosen) would join the cells with
    // nothing between them and write a list no one can read.
    if (!options.Json && profile.ListFormat == Profiles::ListFormat::None) {
        throw UsageError("the style '" + profile.Name +
                         "' has no list format; give one with --format (" + FormatWords() + ")");
    }
    // "-" is standard output: no name is completed or numbered.
    const bool toStdout = options.Arguments[1] == "-";
    Listing::ListJobInput input{.Source = Absolute(options.Arguments[0]),
                                .IncludeSubdirectories = !options.NoSubdirs,
                                .Output =
                                    toStdout ? "standard output" : Absolute(options.Arguments[1]),
                                .Profile = profile,
                                .AskForCustom = !options.Custom && global.AskForCustom,
                                .DefaultFileName = global.DefaultFileName,
                                .Stream = toStdout ? &std::cout : nullptr,
                                .Threads = options.Threads,
                                .Json = options.Json,
                                .UseCache = !options.NoCache};

    TerminalReport report(!options.Quiet && isatty(STDERR_FILENO));
    TerminalDialogs dialogs(report);
    try {
        const Listing::ListJobResult result = Listing::StartListJob(input, report, dialogs);
        report.Clear();
        switch (result) {
        case Listing::ListJobResult::Rejected:
            return kExitUsage;
        case Listing::ListJobResult::NoFiles:
            return kExitNoFiles;
        case Listing::ListJobResult::Written:
            report.Summarize(input.Output);
            break;
        }
    } catch (...) {
        report.Clear();
        throw;
    }
    return kExitWritten;
}

} // namespace

int RunListCommand(const ListOptions& options)
{
    if (options.ListStyles) {
        for (const std::string& name : Profiles::StoredStyleNames()) {
            std::cout << name << '\n';
        }
        return kExitWritten;
    }
    return Run(options);
}

} // namespace ListCli
