#pragma once

// The command line of sonorix-list read into a record. Nothing here touches a
// file, the settings store or the terminal, so tests and the fuzzer can give
// it any words.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "profiles/ListFormat.h"
#include "profiles/Profile.h"

namespace ListCli {

// The largest --threads value.
inline constexpr int kMaxThreads = 256;

struct ListOptions
{
    std::optional<std::string> Style{};
    std::optional<Profiles::ListFormat> Format{};
    bool Json = false; // -f json: the job's JSON list, not a profile format
    std::optional<std::string> Separator{};
    std::optional<std::vector<std::string>> Columns{};
    std::optional<bool> Sort{};
    bool Save30 = false;
    bool Append = false;
    bool NoSubdirs = false;
    std::optional<std::string> Custom{};
    std::optional<std::vector<std::string>> Extensions{};
    std::optional<Profiles::Analysis> Analysis{};
    bool Quiet = false;
    bool NoCache = false;
    int Threads = 0; // 0: the job's default, else 1 to kMaxThreads
    bool Help = false;
    bool ListColumns = false;
    bool Version = false;
    bool ListStyles = false;
    bool NewStyle = false;
    std::vector<std::string> Arguments{};
    friend bool operator==(const ListOptions&, const ListOptions&) = default;
};

// A command line that cannot be run as written: the program names the
// fault, points at --help and ends with status 1.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reads the options and the arguments of argv[1] to argv[argc - 1]. A
// format, an analysis, a column caption or a --threads value that is not one of those
// given in --help, an unknown option, a missing or unwanted option value and
// any count of arguments but SOURCE and OUTPUT (unless --help,
// --list-columns, --list-styles or --version is given) throw UsageError.
// Uses getopt_long, so it is not reentrant and may reorder argv's pointers.
ListOptions ParseListOptions(int argc, char** argv);

// The names joined by ", ", for the lists of choices in usage errors.
template <typename Names> std::string JoinNames(const Names& names)
{
    std::string text;
    for (const auto& name : names) {
        text += text.empty() ? "" : ", ";
        text += name;
    }
    return text;
}

// The words --format takes, for messages: "csv, custom, html or txt".
std::string FormatWords();

// The text --help prints.
extern const char* const kListHelp;

} // namespace ListCli
