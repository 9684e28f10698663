// Reading a scan cache file. The input is tried as a whole file and as the
// body of a file with a right header and checksum (so the fuzzer reaches the
// entries): either it is refused with a CacheError, or every entry is found
// by its key, its records read, and written back and read again they are the
// same. The same bytes are read as a sort keys file too: refused, or every
// key is found by its text's hash.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/MP3Tools.h"
#include "fuzz/FuzzSupport.h"
#include "listing/ScanCache.h"

using MP3Tools::AudioFileInfo;
using MP3Tools::TagInfo;

namespace {

void CheckFile(const std::string& bytes)
{
    const ScanCache::Kind kind{.Analysis = "classic", .DecimalSeparator = ".", .Program = "fuzz"};
    ScanCache::Snapshot snapshot;
    try {
        snapshot = ScanCache::Snapshot::Parse(bytes, kind);
    } catch (const ScanCache::CacheError&) {
        return;
    }
    const std::string folder = "/walked/";
    ScanCache::Notes notes;
    std::vector<std::pair<AudioFileInfo, TagInfo>> records;
    const auto count = static_cast<std::int64_t>(snapshot.Size());
    for (std::int64_t i = 0; i < count; ++i) {
        FUZZ_CHECK(snapshot.Find(snapshot.KeyAt(i)) == i);
        AudioFileInfo info;
        info.FileName = "set before";
        TagInfo tag;
        snapshot.Get(i, info, tag);
        FUZZ_CHECK(info.FileName.empty());
        records.emplace_back(info, tag);
        notes.Used(i, folder);
    }
    // Nothing used, nothing walked: nothing to write.
    FUZZ_CHECK(!ScanCache::Encode(snapshot, {}, {}, kind));
    if (count == 0) {
        return;
    }
    const std::optional<std::string> again = ScanCache::Encode(snapshot, {&notes}, {}, kind);
    FUZZ_CHECK(again.has_value());
    const ScanCache::Snapshot copy = ScanCache::Snapshot::Parse(*again, kind);
    FUZZ_CHECK(copy.Size() == snapshot.Size());
    for (std::int64_t i = 0; i < count; ++i) {
        FUZZ_CHECK(copy.KeyAt(i) == snapshot.KeyAt(i));
        FUZZ_CHECK(copy.FolderAt(i) == folder);
        AudioFileInfo info;
        TagInfo tag;
        copy.Get(i, info, tag);
        const auto& [wantedInfo, wantedTag] = records[static_cast<std::size_t>(i)];
        FUZZ_CHECK(info == wantedInfo && tag == wantedTag);
    }
}

void CheckKeys(const std::string& bytes)
{
    ScanCache::KeyMemo memo;
    try {
        memo = ScanCache::KeyMemo::Parse(bytes, "fuzz", "c");
    } catch (const ScanCache::CacheError&) {
        return;
    }
    std::vector<ScanCache::KeyNotes> notes(1);
    for (std::size_t i = 0; i < memo.Size(); ++i) {
        const Listing::SortKeyPrefix& prefix = memo.PrefixAt(static_cast<std::int64_t>(i));
        FUZZ_CHECK(prefix.Length <= Listing::SortKeyPrefix::kBytes + 1);
        notes[0].Used(static_cast<std::int64_t>(i));
    }
    notes[0].Add(ScanCache::HashText(bytes), Listing::SortKeyPrefix{});
    const ScanCache::KeyMemo again = ScanCache::KeyMemo::Parse(
        *ScanCache::EncodeKeys(memo, notes, {}, "fuzz", "c"), "fuzz", "c");
    FUZZ_CHECK(again.Size() >= memo.Size() && again.Size() <= memo.Size() + 1);
    FUZZ_CHECK(again.Find(ScanCache::HashText(bytes)) >= 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckFile(bytes);
    CheckFile(ScanCache::Seal(bytes));
    CheckKeys(bytes);
    CheckKeys(ScanCache::Seal(bytes));
    return 0;
}
