// The output name a user types, completed with the format's extension
// (CompleteOutputName), and the two cuts it and the list rows rest on
// (StripExtension, FolderPart). The first input byte picks the list format,
// the rest is the name. A completed name keeps the typed name whole (so its
// folder part too) and gains at most the format's extension, never one on a
// name of fewer than six characters or one that already has an extension.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Utf8.h"
#include "fuzz/FuzzSupport.h"
#include "listing/Columns.h"
#include "listing/ListJob.h"
#include "profiles/ListFormat.h"
#include "scan/DirTools.h"

using DirTools::StripExtension;
using Listing::FileNamePart;
using Listing::FolderPart;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckCuts(const std::string& name)
{
    const std::string folder = FolderPart(name);
    const std::string file = FileNamePart(name);
    FUZZ_CHECK(folder + file == name);
    FUZZ_CHECK(folder.empty() || folder.back() == '/');
    FUZZ_CHECK(file.find('/') == std::string::npos);

    const std::string stem = StripExtension(name);
    FUZZ_CHECK(StartsWith(name, stem));
    if (stem == name) {
        FUZZ_CHECK(file.find('.') == std::string::npos);
    } else {
        // Only the last dot of the file name goes, and all that follows it.
        FUZZ_CHECK(name[stem.size()] == '.');
        FUZZ_CHECK(name.find_first_of("./", stem.size() + 1) == std::string::npos);
    }
    FUZZ_CHECK(FolderPart(stem) == folder);
}

void CheckCompletion(const std::string& name, Profiles::ListFormat format)
{
    std::string completed = name;
    Listing::CompleteOutputName(completed, format);
    FUZZ_CHECK(StartsWith(completed, name));
    FUZZ_CHECK(FolderPart(completed) == FolderPart(name));
    const std::string added = completed.substr(name.size());
    if (!added.empty()) {
        FUZZ_CHECK(added == Profiles::FactsOf(format).Extension);
        FUZZ_CHECK(StripExtension(name) == name);
        FUZZ_CHECK(Utf8::Count(name) >= 6);
        FUZZ_CHECK(StripExtension(completed) == name);
    }
    // Completing twice adds nothing more.
    std::string again = completed;
    Listing::CompleteOutputName(again, format);
    FUZZ_CHECK(again == completed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::ByteReader in(data, size);
    // -1 (no format) to 3.
    const auto format =
        Profiles::ListFormatFromNumber(static_cast<std::int32_t>(in.Byte() % 5) - 1);
    const std::string name = in.Rest();
    CheckCuts(name);
    CheckCompletion(name, format);
    return 0;
}
