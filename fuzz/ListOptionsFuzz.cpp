// The command line of sonorix-list. The input is split at zero bytes into
// the words after the program name. Reading them either throws UsageError
// with a message or gives options within the ranges --help names; reading
// them twice gives the same result; and the first word, given as the
// --threads value, is taken exactly when it is a whole number from 1 to 256.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/ListOptions.h"
#include "fuzz/FuzzSupport.h"
#include "profiles/ListFormat.h"

using ListCli::ListOptions;
using ListCli::ParseListOptions;
using ListCli::UsageError;

namespace {

constexpr std::size_t kMaxWords = 32;

struct Outcome
{
    bool Parsed = false;
    ListOptions Options{};
    std::string Error{};
};

Outcome Parse(const std::vector<std::string>& words)
{
    // getopt_long reorders the pointers, so each call gets a fresh array.
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    std::string program = "sonorix-list";
    argv.push_back(program.data());
    for (std::string& word : copies) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    Outcome outcome;
    try {
        outcome.Options = ParseListOptions(static_cast<int>(argv.size() - 1), argv.data());
        outcome.Parsed = true;
    } catch (const UsageError& error) {
        outcome.Error = error.what();
    }
    return outcome;
}

bool IsFormat(Profiles::ListFormat format)
{
    return std::any_of(Profiles::kListFormats.begin(), Profiles::kListFormats.end(),
                       [&](const Profiles::FormatFacts& facts) { return facts.Format == format; });
}

bool IsCaption(const std::string& caption)
{
    return std::any_of(Profiles::kColumnCaptions.begin(), Profiles::kColumnCaptions.end(),
                       [&](const char* column) { return caption == column; });
}

// Decimal digits only (leading zeros allowed) with a value from 1 to 256.
bool IsThreadCount(const std::string& text)
{
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
    const std::string digits = text.substr(first);
    return !digits.empty() && digits.size() <= 3 && std::stoi(digits) <= ListCli::kMaxThreads;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    for (std::size_t start = 0; start <= input.size() && words.size() < kMaxWords;) {
        const std::size_t zero = std::min(input.find('\0', start), input.size());
        words.push_back(input.substr(start, zero - start));
        start = zero + 1;
    }

    const Outcome first = Parse(words);
    if (first.Parsed) {
        const ListOptions& options = first.Options;
        FUZZ_CHECK(options.Threads == 0 ||
                   (options.Threads >= 1 && options.Threads <= ListCli::kMaxThreads));
        FUZZ_CHECK(!options.Format || IsFormat(*options.Format));
        // json is no profile format, and a JSON list is never appended to.
        FUZZ_CHECK(!options.Json || (!options.Format && !options.Append));
        if (options.Columns) {
            FUZZ_CHECK(std::all_of(options.Columns->begin(), options.Columns->end(), IsCaption));
        }
        if (options.Extensions) {
            for (const std::string& extension : *options.Extensions) {
                FUZZ_CHECK(!extension.empty() && extension.find(',') == std::string::npos);
            }
        }
        FUZZ_CHECK(options.Help || options.ListColumns || options.ListStyles || options.Version ||
                   options.Arguments.size() == 2);
    } else {
        FUZZ_CHECK(!first.Error.empty());
    }

    // Nothing of one reading leaks into the next.
    const Outcome again = Parse(words);
    FUZZ_CHECK(again.Parsed == first.Parsed);
    FUZZ_CHECK(again.Options == first.Options);
    FUZZ_CHECK(again.Error == first.Error);

    const Outcome threads = Parse({"--threads", words.front(), "source", "output"});
    FUZZ_CHECK(threads.Parsed == IsThreadCount(words.front()));
    if (threads.Parsed) {
        FUZZ_CHECK(threads.Options.Threads == std::stoi(words.front()));
    } else {
        FUZZ_CHECK(threads.Error.rfind("--threads wants a whole number from 1 to 256", 0) == 0);
    }
    return 0;
}
