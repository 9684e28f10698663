#include "listing/ScanCache.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "base/LongPath.h"
#include "base/UniqueFd.h"
#include "base/XdgPaths.h"
#include "listing/internal/TemporaryFile.h"

// A cache file is a header and a body:
//   "SNXCACHE", the format version (4 bytes), 4 zero bytes, the body's size
//   and checksum (8 bytes each), all little-endian;
//   the body: where in it the tables start (8 bytes); the program, analysis
//   and decimal separator it was made for; the entries sorted by device and
//   inode, each its key (device and inode as differences to the entry
//   before), its folder and its records; then the tables: the number of
//   entries, the interned texts and the folders. (The tables come last so
//   that a writer puts each entry in its place at once.)
// Numbers are unsigned LEB128 varints, signed ones zig-zagged first. A text
// in a record is one varint v: v even is interned text v / 2, v odd an
// inline text of v / 2 bytes that follow. Texts that repeat from file to
// file (layer, mode, artist, album, ...) are interned, texts of one file
// alone (its size, frame count, title) are inline, so a million files stay
// well below 200 bytes each.

namespace ScanCache {

namespace {

constexpr std::array<char, 8> kMagic = {'S', 'N', 'X', 'C', 'A', 'C', 'H', 'E'};
constexpr std::size_t kHeaderSize = 32;
// How long Save waits for another run's lock.
constexpr std::chrono::milliseconds kLockWait{2000};
constexpr std::chrono::milliseconds kLockPoll{10};

// The record's texts, in order: the probe's, then the tag's.
constexpr std::size_t kInfoTexts = 18;
constexpr std::size_t kTagTexts = 8;
constexpr std::size_t kTexts = kInfoTexts + kTagTexts;
constexpr std::size_t kNumbers = 5;

// Texts of one file alone, kept inline rather than interned.
constexpr bool IsInline(std::size_t field)
{
    return field == 0 || field == 1 || field == 3 || field == kInfoTexts + 1;
}

// Texts a list shows (or counts): all but the frame header's mode
// extension, original, protection, padding, private, copyright and emphasis
// texts and the tag's identifier.
constexpr bool IsListed(std::size_t field)
{
    return (field < 9 || field > 15) && field != kInfoTexts;
}

// The record's texts of info and tag, to read (both const) or to fill.
template <typename Info, typename Tag> auto TextsOf(Info& info, Tag& tag)
{
    using Text = std::conditional_t<std::is_const_v<Info>, const std::string, std::string>;
    return std::array<Text*, kTexts>{&info.FileSize,      &info.DurationSeconds,
                                     &info.DurationText,  &info.FrameCount,
                                     &info.LayerText,     &info.VersionText,
                                     &info.BitrateText,   &info.SampleRateText,
                                     &info.ModeText,      &info.ModeExtensionText,
                                     &info.OriginalText,  &info.ProtectionText,
                                     &info.PaddingText,   &info.PrivateText,
                                     &info.CopyrightText, &info.EmphasisText,
                                     &info.EncoderText,   &info.TypeName,
                                     &tag.TagId,          &tag.Title,
                                     &tag.Artist,         &tag.Album,
                                     &tag.Year,           &tag.Comment,
                                     &tag.Genre,          &tag.Track};
}

enum Flag : std::uint8_t
{
    kHeaderOnly = 1,
    kRiffWrapped = 2,
    kVariableBitrate = 4,
    kValid = 8,
    kTagged = 16,
    kAllFlags = 31
};

void PutFixed(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint64_t GetFixed(const char* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(at[i])} << (8 * i);
    }
    return value;
}

// The most bytes a varint takes.
constexpr std::size_t kMaxVarint = 10;

// Puts value as a varint at out[at], where there is room for it; gives the
// place behind it.
std::size_t PutVarintAt(char* out, std::size_t at, std::uint64_t value)
{
    while (value >= 0x80) {
        out[at++] = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out[at++] = static_cast<char>(value);
    return at;
}

// Most numbers and text lengths take one byte: those are put inline.
void PutLongVarint(std::string& out, std::uint64_t value)
{
    std::array<char, kMaxVarint> bytes{};
    out.append(bytes.data(), PutVarintAt(bytes.data(), 0, value));
}

inline void PutVarint(std::string& out, std::uint64_t value)
{
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else {
        PutLongVarint(out, value);
    }
}

std::uint64_t ZigZag(std::int64_t value)
{
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t UnZigZag(std::uint64_t value)
{
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

// Puts text inline (its length, marked odd, then its bytes) at out[at],
// where there is room for it; gives the place behind it.
std::size_t PutInlineTextAt(char* out, std::size_t at, std::string_view text)
{
    at = PutVarintAt(out, at, (text.size() << 1) | 1);
    std::memcpy(out + at, text.data(), text.size());
    return at + text.size();
}

void PutText(std::string& out, std::string_view text)
{
    PutVarint(out, text.size());
    out.append(text);
}

// Reads a body; every read is checked, and the first fault throws.
class Reader
{
public:
    explicit Reader(std::string_view bytes) : m_at(bytes.data()), m_end(bytes.data() + bytes.size())
    {
    }

    [[nodiscard]] bool AtEnd() const { return m_at == m_end; }

    [[nodiscard]] const char* Position() const { return m_at; }

    [[gnu::always_inline]] std::uint64_t Varint()
    {
        // Most numbers, text lengths and text numbers take one or two bytes:
        // those cases stay small enough to be inlined where records are read.
        if (m_end - m_at >= 2) [[likely]] {
            const auto first = static_cast<unsigned char>(m_at[0]);
            if (first < 0x80) {
                ++m_at;
                return first;
            }
            const auto second = static_cast<unsigned char>(m_at[1]);
            if (second < 0x80) {
                m_at += 2;
                return (first & 0x7Fu) | (std::uint64_t{second} << 7);
            }
        }
        return LongVarint();
    }

    [[gnu::noinline]] std::uint64_t LongVarint()
    {
        if (m_end - m_at >= static_cast<std::ptrdiff_t>(kMaxVarint)) [[likely]] {
            // Far enough from the end that no byte needs a check of its own.
            std::uint64_t value = 0;
            for (std::size_t i = 0; i + 1 < kMaxVarint; ++i) {
                const auto byte = static_cast<unsigned char>(m_at[i]);
                value |= std::uint64_t{byte & 0x7Fu} << (7 * i);
                if (byte < 0x80) {
                    m_at += i + 1;
                    return value;
                }
            }
            const auto last = static_cast<unsigned char>(m_at[kMaxVarint - 1]);
            if (last > 1) {
                Fail("a number is too large");
            }
            m_at += kMaxVarint;
            return value | (std::uint64_t{last} << 63);
        }
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_at == m_end) {
                Fail("it ends early");
            }
            const auto byte = static_cast<unsigned char>(*m_at++);
            if (shift == 63 && byte > 1) {
                Fail("a number is too large");
            }
            value |= std::uint64_t{byte & 0x7Fu} << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        Fail("a number is too long");
    }

    std::int64_t Signed() { return UnZigZag(Varint()); }

    std::uint8_t Byte()
    {
        if (m_at == m_end) {
            Fail("it ends early");
        }
        return static_cast<std::uint8_t>(*m_at++);
    }

    std::string_view Bytes(std::uint64_t count)
    {
        if (count > static_cast<std::uint64_t>(m_end - m_at)) {
            Fail("it ends early");
        }
        const std::string_view bytes(m_at, static_cast<std::size_t>(count));
        m_at += count;
        return bytes;
    }

    std::string_view Text() { return Bytes(Varint()); }

    // A record's text: interned (from texts) or inline.
    std::string_view RecordText(const std::vector<std::string_view>& texts)
    {
        const std::uint64_t value = Varint();
        if ((value & 1) != 0) {
            return Bytes(value >> 1);
        }
        if ((value >> 1) >= texts.size()) {
            Fail("a text is missing");
        }
        return texts[static_cast<std::size_t>(value >> 1)];
    }

    // A count of items that each take at least one byte.
    std::size_t Count()
    {
        const std::uint64_t count = Varint();
        if (count > static_cast<std::uint64_t>(m_end - m_at)) {
            Fail("a count is too large");
        }
        return static_cast<std::size_t>(count);
    }

    [[noreturn]] static void Fail(const std::string& what)
    {
        throw CacheError("it is damaged (" + what + ")");
    }

private:
    const char* m_at;
    const char* m_end;
};

// Reads one record's flags, texts and numbers, calling text(field, view)
// for each text and number(index, value) for each number.
template <typename OnText, typename OnNumber>
std::uint8_t ReadRecord(Reader& reader, const std::vector<std::string_view>& texts, OnText text,
                        OnNumber number)
{
    const std::uint8_t flags = reader.Byte();
    if ((flags & ~kAllFlags) != 0) {
        Reader::Fail("unknown flags");
    }
    for (std::size_t field = 0; field < kTexts; ++field) {
        text(field, reader.RecordText(texts));
    }
    for (std::size_t i = 0; i < kNumbers; ++i) {
        number(i, reader.Signed());
    }
    return flags;
}

// a - b, wrapping rather than overflowing.
std::int64_t Difference(std::int64_t a, std::int64_t b)
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

FileKey ReadKey(Reader& reader)
{
    FileKey key;
    key.Device = reader.Varint();
    key.Inode = reader.Varint();
    key.Size = reader.Signed();
    key.ModifiedNs = reader.Signed();
    key.ChangedNs = static_cast<std::int64_t>(static_cast<std::uint64_t>(key.ModifiedNs) +
                                              static_cast<std::uint64_t>(reader.Signed()));
    return key;
}

// The key's size and times, which follow its device and inode.
void PutSizeAndTimes(std::string& out, const FileKey& key)
{
    PutVarint(out, ZigZag(key.Size));
    PutVarint(out, ZigZag(key.ModifiedNs));
    PutVarint(out, ZigZag(Difference(key.ChangedNs, key.ModifiedNs)));
}

bool KeyLess(const FileKey& a, const FileKey& b)
{
    return a.Device != b.Device ? a.Device < b.Device : a.Inode < b.Inode;
}

std::int64_t Nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::string WithSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/' && folder[folder.size() - 2] == '/') {
        folder.pop_back();
    }
    if (folder.empty() || folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

std::string Reason(int error) { return std::strerror(error); }

// The two halves of a * b, folded into one.
std::uint64_t Fold(std::uint64_t a, std::uint64_t b)
{
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

} // namespace

TextHash HashText(std::string_view text, std::uint64_t seed)
{
    // Sixteen bytes a step, multiplied into two lanes of 64 bits, each with
    // constants of its own: texts that meet in one lane part in the other.
    constexpr std::uint64_t k0 = 0xA0761D6478BD642FULL;
    constexpr std::uint64_t k1 = 0xE7037ED1A0B428DBULL;
    constexpr std::uint64_t k2 = 0x8EBC6AF09C88C6E3ULL;
    constexpr std::uint64_t k3 = 0x589965CC75374CC3ULL;
    std::uint64_t high = k0 ^ text.size() ^ seed;
    std::uint64_t low = k3 + text.size() + Fold(seed ^ k1, k2);
    const auto step = [&](std::uint64_t first, std::uint64_t second) {
        high = Fold(first ^ k1 ^ high, second ^ k2);
        low = Fold(second ^ k0 ^ low, first ^ k3);
    };
    std::size_t at = 0;
    for (; at + 16 <= text.size(); at += 16) {
        std::uint64_t words[2] = {};
        std::memcpy(words, text.data() + at, 16);
        step(words[0], words[1]);
    }
    std::uint64_t words[2] = {};
    std::memcpy(words, text.data() + at, text.size() - at);
    step(words[0], words[1] ^ (std::uint64_t{text.size() - at} << 56));
    return TextHash{.High = Fold(high ^ k2, low ^ k1), .Low = Fold(low ^ k3, high ^ k0)};
}

namespace {

// It only has to notice damage: the low half of the body's hash.
std::uint64_t Checksum(std::string_view bytes) { return HashText(bytes).Low; }

std::string HeaderOf(std::string_view body)
{
    std::string header(kMagic.begin(), kMagic.end());
    PutFixed(header, kFormatVersion, 4);
    PutFixed(header, 0, 4);
    PutFixed(header, body.size(), 8);
    PutFixed(header, Checksum(body), 8);
    return header;
}

// Throws CacheError unless bytes are a header and the whole body it names.
void CheckSeal(std::string_view bytes)
{
    if (bytes.size() < kHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
        throw CacheError("it is no Sonorix scan cache");
    }
    const std::uint64_t version = GetFixed(bytes.data() + 8, 4);
    if (version != kFormatVersion) {
        throw CacheError("it has another format (" + std::to_string(version) + ")");
    }
    const std::uint64_t size = GetFixed(bytes.data() + 16, 8);
    if (size != bytes.size() - kHeaderSize) {
        Reader::Fail("its size is wrong");
    }
    if (GetFixed(bytes.data() + 24, 8) != Checksum(bytes.substr(kHeaderSize))) {
        Reader::Fail("its checksum is wrong");
    }
}

// What a keys file says it holds, before its keys.
constexpr std::string_view kKeysKind = "sort keys";
// A key entry: the hash's two halves and the prefix's bytes and length.
constexpr std::size_t kKeyEntrySize = 16 + Listing::SortKeyPrefix::kBytes + 1;

} // namespace

std::string Seal(std::string_view body) { return HeaderOf(body).append(body); }

// ---- Sort keys ----

KeyMemo KeyMemo::Parse(const std::string& bytes, std::string_view program,
                       std::string_view collation)
{
    KeyMemo memo;
    CheckSeal(bytes);
    Reader reader(std::string_view(bytes).substr(kHeaderSize));
    const std::string_view madeBy = reader.Text();
    if (reader.Text() != kKeysKind) {
        throw CacheError("it holds no sort keys");
    }
    const std::string_view madeFor = reader.Text();
    const std::uint64_t count = reader.Varint();
    if (count > bytes.size() / kKeyEntrySize || count >= std::uint64_t{1} << 31) {
        Reader::Fail("its size is wrong");
    }
    const std::string_view entries = reader.Bytes(count * kKeyEntrySize);
    if (!reader.AtEnd()) {
        Reader::Fail("its size is wrong");
    }
    if (madeBy != program || madeFor != collation) {
        return memo;
    }
    memo.m_entries.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < memo.m_entries.size(); ++i) {
        const char* at = entries.data() + i * kKeyEntrySize;
        Entry& entry = memo.m_entries[i];
        entry.Hash = TextHash{.High = GetFixed(at, 8), .Low = GetFixed(at + 8, 8)};
        std::memcpy(entry.Prefix.Bytes.data(), at + 16, Listing::SortKeyPrefix::kBytes);
        entry.Prefix.Length = static_cast<std::uint8_t>(at[16 + Listing::SortKeyPrefix::kBytes]);
        // The sort compares every byte: those behind the key are zero.
        const std::size_t length = entry.Prefix.Length;
        if (length > Listing::SortKeyPrefix::kBytes + 1 ||
            std::any_of(entry.Prefix.Bytes.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                         length, Listing::SortKeyPrefix::kBytes)),
                        entry.Prefix.Bytes.end(), [](char c) { return c != 0; })) {
            Reader::Fail("a key is out of shape");
        }
        if (i > 0 && !(memo.m_entries[i - 1].Hash < entry.Hash)) {
            Reader::Fail("entries out of order");
        }
    }
    // Looked up in the order of the rows, which is not that of the hashes:
    // a search through a large file would wait for memory at every step,
    // a table by the hash at one or two.
    memo.m_slots.assign(std::bit_ceil(memo.m_entries.size() * 2), 0);
    const std::size_t mask = memo.m_slots.size() - 1;
    for (std::size_t i = 0; i < memo.m_entries.size(); ++i) {
        std::size_t at = memo.m_entries[i].Hash.Low & mask;
        while (memo.m_slots[at] != 0) {
            at = (at + 1) & mask;
        }
        memo.m_slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    return memo;
}

std::int64_t KeyMemo::Find(const TextHash& hash) const
{
    if (m_slots.empty()) {
        return -1;
    }
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = hash.Low & mask; m_slots[at] != 0; at = (at + 1) & mask) {
        const std::size_t entry = m_slots[at] - 1;
        if (m_entries[entry].Hash == hash) {
            return static_cast<std::int64_t>(entry);
        }
    }
    return -1;
}

void KeyNotes::HandTo(Builder* builder, std::uint64_t seed)
{
    m_builder = builder;
    m_seed = seed;
}

void KeyNotes::AddText(std::string_view text, const Listing::SortKeyPrefix& prefix)
{
    if (m_builder == nullptr) {
        Add(HashText(text, m_seed), prefix);
        return;
    }
    const auto length = static_cast<std::uint32_t>(text.size());
    char* const start =
        m_texts.Room(sizeof prefix + sizeof length + text.size(),
                     [this](Chunk full) { m_builder->HandTexts(std::move(full), m_seed); });
    std::memcpy(start, &prefix, sizeof prefix);
    std::memcpy(start + sizeof prefix, &length, sizeof length);
    std::memcpy(start + sizeof prefix + sizeof length, text.data(), text.size());
    m_texts.Size += sizeof prefix + sizeof length + text.size();
}

namespace {

// The keys of a chunk of KeyNotes::AddText, hashed with seed, added to keys.
void HashTexts(const Chunk& chunk, std::uint64_t seed, std::vector<KeyMemo::Entry>& keys)
{
    std::size_t at = 0;
    while (at < chunk.Size) {
        KeyMemo::Entry& entry = keys.emplace_back();
        std::uint32_t length = 0;
        std::memcpy(&entry.Prefix, chunk.Bytes.get() + at, sizeof entry.Prefix);
        std::memcpy(&length, chunk.Bytes.get() + at + sizeof entry.Prefix, sizeof length);
        at += sizeof entry.Prefix + sizeof length;
        entry.Hash = HashText(std::string_view(chunk.Bytes.get() + at, length), seed);
        at += length;
    }
}

} // namespace

std::optional<std::string> EncodeKeys(const KeyMemo& memo, std::vector<KeyNotes>& notes,
                                      std::vector<KeyMemo::Entry> made, std::string_view program,
                                      std::string_view collation)
{
    // Gathered where most of them are already, the keys made.
    std::vector<KeyMemo::Entry> entries = std::move(made);
    for (KeyNotes& note : notes) {
        if (entries.empty()) {
            entries.swap(note.m_added);
        } else {
            entries.insert(entries.end(), note.m_added.begin(), note.m_added.end());
            std::vector<KeyMemo::Entry>().swap(note.m_added);
        }
        HashTexts(note.m_texts, note.m_seed, entries);
        note.m_texts = Chunk();
    }
    if (entries.empty()) {
        return std::nullopt;
    }
    for (const KeyNotes& note : notes) {
        for (const std::int64_t index : note.m_used) {
            entries.push_back(memo.m_entries.at(static_cast<std::size_t>(index)));
        }
    }
    const auto byHash = [](const KeyMemo::Entry& a, const KeyMemo::Entry& b) {
        return a.Hash < b.Hash;
    };
    std::sort(entries.begin(), entries.end(), byHash);
    // One entry per text: a text's key is the same wherever it was made.
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const KeyMemo::Entry& a, const KeyMemo::Entry& b) {
                                  return a.Hash == b.Hash;
                              }),
                  entries.end());
    std::string body;
    body.reserve(program.size() + kKeysKind.size() + collation.size() + 16 +
                 entries.size() * kKeyEntrySize);
    PutText(body, program);
    PutText(body, kKeysKind);
    PutText(body, collation);
    PutVarint(body, entries.size());
    for (const KeyMemo::Entry& entry : entries) {
        PutFixed(body, entry.Hash.High, 8);
        PutFixed(body, entry.Hash.Low, 8);
        body.append(entry.Prefix.Bytes.data(), Listing::SortKeyPrefix::kBytes);
        body.push_back(static_cast<char>(entry.Prefix.Length));
    }
    return Seal(body);
}

std::optional<FileKey> KeyOf(const struct stat& status)
{
    if (!S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return FileKey{.Device = static_cast<std::uint64_t>(status.st_dev),
                   .Inode = static_cast<std::uint64_t>(status.st_ino),
                   .Size = static_cast<std::int64_t>(status.st_size),
                   .ModifiedNs = Nanoseconds(status.st_mtim),
                   .ChangedNs = Nanoseconds(status.st_ctim)};
}

std::int64_t NowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

// ---- Snapshot ----

Snapshot::Snapshot() = default;
Snapshot::~Snapshot() = default;
Snapshot::Snapshot(Snapshot&&) noexcept = default;
Snapshot& Snapshot::operator=(Snapshot&&) noexcept = default;

Snapshot Snapshot::Parse(std::string bytes, const Kind& kind)
{
    CheckSeal(bytes);
    Snapshot snapshot;
    snapshot.m_bytes = std::move(bytes);
    const std::string_view whole = std::string_view(snapshot.m_bytes).substr(kHeaderSize);
    Reader reader(whole);
    const std::uint64_t tables = GetFixed(reader.Bytes(8).data(), 8);
    const std::string_view program = reader.Text();
    const std::string_view analysis = reader.Text();
    const std::string_view separator = reader.Text();
    if (program != kind.Program || analysis != kind.Analysis) {
        throw CacheError("it was written by " + std::string(program) + " for the " +
                         std::string(analysis) + " analysis");
    }
    if (separator != kind.DecimalSeparator) {
        return Snapshot();
    }
    // The entries lie between the kind and the tables, which name them.
    const auto entriesAt = static_cast<std::size_t>(reader.Position() - whole.data());
    if (tables < entriesAt || tables > whole.size()) {
        Reader::Fail("its tables are out of place");
    }
    Reader table(whole.substr(static_cast<std::size_t>(tables)));
    const std::uint64_t entryCount = table.Varint();
    if (entryCount > tables - entriesAt) {
        Reader::Fail("a count is too large");
    }
    const std::size_t textCount = table.Count();
    snapshot.m_texts.reserve(textCount);
    for (std::size_t i = 0; i < textCount; ++i) {
        snapshot.m_texts.push_back(table.Text());
    }
    const std::size_t folderCount = table.Count();
    snapshot.m_folders.reserve(folderCount);
    for (std::size_t i = 0; i < folderCount; ++i) {
        snapshot.m_folders.emplace_back(table.Text());
    }
    if (!table.AtEnd()) {
        Reader::Fail("bytes follow the tables");
    }
    Reader entries(whole.substr(entriesAt, static_cast<std::size_t>(tables) - entriesAt));
    snapshot.m_index.reserve(static_cast<std::size_t>(entryCount));
    FileKey last;
    for (std::uint64_t i = 0; i < entryCount; ++i) {
        FileKey key = ReadKey(entries);
        if (i > 0) {
            // Differences to the entry before, which keeps the order strict.
            key.Device += last.Device;
            if (key.Device == last.Device) {
                if (key.Inode == 0 || key.Inode > ~last.Inode) {
                    Reader::Fail("entries out of order");
                }
                key.Inode += last.Inode;
            } else if (key.Device < last.Device) {
                Reader::Fail("entries out of order");
            }
        }
        const std::uint64_t folder = entries.Varint();
        if (folder >= folderCount) {
            Reader::Fail("a folder is missing");
        }
        const auto offset = static_cast<std::size_t>(entries.Position() - snapshot.m_bytes.data());
        ReadRecord(
            entries, snapshot.m_texts, [](std::size_t, std::string_view) {},
            [](std::size_t, std::int64_t) {});
        snapshot.m_index.push_back(
            Entry{.Key = key, .Folder = static_cast<std::uint32_t>(folder), .Offset = offset});
        last = key;
    }
    if (!entries.AtEnd()) {
        Reader::Fail("bytes follow the last entry");
    }
    return snapshot;
}

std::int64_t Snapshot::Find(const FileKey& key) const
{
    const auto found = std::lower_bound(
        m_index.begin(), m_index.end(), key,
        [](const Entry& entry, const FileKey& wanted) { return KeyLess(entry.Key, wanted); });
    if (found == m_index.end() || !(found->Key == key)) {
        return -1;
    }
    return found - m_index.begin();
}

void Snapshot::Get(std::int64_t index, MP3Tools::AudioFileInfo& info, MP3Tools::TagInfo& tag,
                   Texts wanted) const
{
    const Entry& entry = m_index.at(static_cast<std::size_t>(index));
    Reader reader(std::string_view(m_bytes).substr(entry.Offset));
    const std::array<std::string*, kTexts> texts = TextsOf(info, tag);
    std::array<std::int64_t, kNumbers> numbers{};
    const bool all = wanted == Texts::All;
    const std::uint8_t flags = ReadRecord(
        reader, m_texts,
        [&](std::size_t field, std::string_view text) {
            if (all || IsListed(field)) {
                texts[field]->assign(text);
            } else {
                texts[field]->clear();
            }
        },
        [&](std::size_t i, std::int64_t value) { numbers[i] = value; });
    info.FileName.clear();
    info.DurationMilliseconds = numbers[0];
    info.SampleRateHz = static_cast<std::int32_t>(numbers[1]);
    info.FrameOffset = numbers[2];
    info.FrameLength = static_cast<std::int32_t>(numbers[3]);
    info.FrameBodyLength = static_cast<std::int32_t>(numbers[4]);
    info.HeaderOnly = (flags & kHeaderOnly) != 0;
    info.RiffWrapped = (flags & kRiffWrapped) != 0;
    info.VariableBitrate = (flags & kVariableBitrate) != 0;
    info.Valid = (flags & kValid) != 0;
    tag.Tagged = (flags & kTagged) != 0;
}

const FileKey& Snapshot::KeyAt(std::int64_t index) const
{
    return m_index.at(static_cast<std::size_t>(index)).Key;
}

const std::string& Snapshot::FolderAt(std::int64_t index) const
{
    return m_folders.at(m_index.at(static_cast<std::size_t>(index)).Folder);
}

// ---- Notes ----

void Notes::HandTo(Builder* builder, std::uint32_t source)
{
    m_builder = builder;
    m_source = source;
}

std::uint32_t Notes::FolderIndex(const std::string& folder)
{
    // The files of one folder come one after the other.
    if (m_folders.empty() || m_folders.back() != folder) {
        m_folders.push_back(folder);
    }
    return static_cast<std::uint32_t>(m_folders.size() - 1);
}

void Notes::Used(std::int64_t index, const std::string& folder)
{
    m_used.push_back(Use{.Index = index, .Folder = FolderIndex(folder)});
}

void Notes::Add(const FileKey& key, const std::string& folder, const MP3Tools::AudioFileInfo& info,
                const MP3Tools::TagInfo& tag)
{
    const std::array<const std::string*, kTexts> texts = TextsOf(info, tag);
    // The key and the folder as they are in memory (the chunk never leaves
    // this run), the flags, and the texts' lengths and the record's numbers
    // a varint each at most; and sixteen bytes for the last short text.
    std::size_t room =
        sizeof key + sizeof(std::uint32_t) + 1 + kMaxVarint * (kTexts + kNumbers) + 16;
    for (const std::string* text : texts) {
        room += text->size();
    }
    // Written straight into its chunk: no record is copied again, and
    // memory is taken a chunk at a time.
    const std::uint32_t folderIndex = FolderIndex(folder);
    char* const start = m_chunk.Room(room, [this](Chunk full) {
        if (m_builder != nullptr) {
            m_builder->Hand(std::move(full), m_source);
        } else {
            m_full.push_back(std::move(full));
        }
    });
    std::memcpy(start, &key, sizeof key);
    std::memcpy(start + sizeof key, &folderIndex, sizeof folderIndex);
    std::size_t at = sizeof key + sizeof folderIndex;
    start[at++] = static_cast<char>((info.HeaderOnly ? kHeaderOnly : 0) |
                                    (info.RiffWrapped ? kRiffWrapped : 0) |
                                    (info.VariableBitrate ? kVariableBitrate : 0) |
                                    (info.Valid ? kValid : 0) | (tag.Tagged ? kTagged : 0));
    for (const std::string* text : texts) {
        // Most texts are short: those go as sixteen bytes at once, which
        // beats a call. A string's buffer holds capacity() + 1 bytes, so all
        // sixteen are there to read; what lies behind the text is written
        // over by what follows it (room has sixteen bytes to spare).
        const std::size_t size = text->size();
        if (size <= 16 && text->capacity() >= 15) {
            at = PutVarintAt(start, at, (size << 1) | 1);
            std::memcpy(start + at, text->data(), 16);
            at += size;
        } else {
            at = PutInlineTextAt(start, at, *text);
        }
    }
    for (const std::int64_t number :
         {info.DurationMilliseconds, std::int64_t{info.SampleRateHz}, info.FrameOffset,
          std::int64_t{info.FrameLength}, std::int64_t{info.FrameBodyLength}}) {
        at = PutVarintAt(start, at, ZigZag(number));
    }
    m_chunk.Size += at;
    ++m_count;
}

// ---- Builder ----

namespace {

// Encodes records with one table of interned texts, numbered in the order
// they are first met. The texts are kept here, so the records they came
// from may go.
class RecordEncoder
{
public:
    // Appends the record that reader is at (its flags, texts and numbers;
    // texts are the interned texts it names) to out; gives its length.
    std::size_t Append(std::string& out, Reader& reader, const std::vector<std::string_view>& texts)
    {
        // Read first, then written into room made for all of it at once.
        std::array<std::string_view, kTexts> fields{};
        std::array<std::int64_t, kNumbers> numbers{};
        std::size_t room = 1 + kMaxVarint * (kTexts + kNumbers);
        const std::uint8_t flags = ReadRecord(
            reader, texts,
            [&](std::size_t field, std::string_view text) {
                fields[field] = text;
                room += text.size();
            },
            [&](std::size_t i, std::int64_t value) { numbers[i] = value; });
        const std::size_t start = out.size();
        out.resize(start + room);
        std::size_t at = start;
        out[at++] = static_cast<char>(flags);
        for (std::size_t field = 0; field < kTexts; ++field) {
            at = Text(out.data(), at, field, fields[field]);
        }
        for (const std::int64_t number : numbers) {
            at = PutVarintAt(out.data(), at, ZigZag(number));
        }
        out.resize(at);
        return at - start;
    }

    [[nodiscard]] const std::vector<std::string_view>& Texts() const { return m_texts; }

private:
    // Puts the text of field at out[at], where there is room for it; gives
    // the place behind it.
    std::size_t Text(char* out, std::size_t at, std::size_t field, std::string_view text)
    {
        if (IsInline(field)) {
            return PutInlineTextAt(out, at, text);
        }
        // Most files repeat the text of the file before them.
        Last& last = m_lastTexts.at(field);
        if (!last.Known || last.Text != text) {
            const std::uint32_t id = Intern(text);
            last = Last{.Text = m_texts[id], .Id = id, .Known = true};
        }
        return PutVarintAt(out, at, std::uint64_t{last.Id} << 1);
    }

    // The number of text. The texts that change from file to file (artist,
    // year, bit rate) are few and come again and again: a small table by a
    // quick hash finds most of them before the map is asked.
    std::uint32_t Intern(std::string_view text)
    {
        std::uint64_t hash = 0xCBF29CE484222325ULL;
        for (const char c : text) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
        }
        std::uint32_t& recent = m_recent[(hash ^ (hash >> 32)) & (kRecent - 1)];
        if (recent != 0 && m_texts[recent - 1] == text) {
            return recent - 1;
        }
        auto place = m_ids.find(text);
        if (place == m_ids.end()) {
            const std::string_view kept = m_kept.emplace_back(text);
            place = m_ids.emplace(kept, static_cast<std::uint32_t>(m_texts.size())).first;
            m_texts.push_back(kept);
        }
        recent = place->second + 1;
        return place->second;
    }

    struct Last
    {
        std::string_view Text{};
        std::uint32_t Id = 0;
        bool Known = false;
    };

    std::deque<std::string> m_kept{}; // never moves a text
    std::vector<std::string_view> m_texts{};
    std::unordered_map<std::string_view, std::uint32_t> m_ids{};
    static constexpr std::size_t kRecent = 4096;
    std::vector<std::uint32_t> m_recent = std::vector<std::uint32_t>(kRecent); // number + 1
    std::array<Last, kTexts> m_lastTexts{};
};

// A record of a file read, encoded: its key, where its folder is among its
// notes' folders, and its place among the encoded records.
struct Encoded
{
    FileKey Key{};
    std::uint32_t Source = 0;
    std::uint32_t Folder = 0;
    std::size_t Offset = 0;
    std::size_t Length = 0;
};

} // namespace

struct Builder::State
{
    explicit State(ScanCache::Kind kind) : Made(std::move(kind)) {}

    ScanCache::Kind Made; // what the file is made for
    std::mutex Mutex{};
    std::condition_variable Wake{};
    std::vector<std::pair<Chunk, std::uint32_t>> Handed{};
    std::vector<std::pair<Chunk, std::uint64_t>> HandedTexts{}; // with their seeds
    bool Closed = false;
    std::vector<KeyMemo::Entry> Keys{}; // of the texts handed over
    RecordEncoder Encoder{};
    std::string Records{}; // of the files read
    std::vector<Encoded> Read{};
    std::exception_ptr Failure{};

    // Puts chunk with what goes with it into queue, for Work.
    template <typename With>
    void Queue(std::vector<std::pair<Chunk, With>>& queue, Chunk chunk, With with)
    {
        {
            const std::lock_guard lock(Mutex);
            queue.emplace_back(std::move(chunk), with);
        }
        Wake.notify_one();
    }

    void EncodeChunk(const Chunk& chunk, std::uint32_t source)
    {
        const std::vector<std::string_view> noTexts;
        Reader reader(std::string_view(chunk.Bytes.get(), chunk.Size));
        while (!reader.AtEnd()) {
            Encoded record{.Source = source};
            std::memcpy(&record.Key, reader.Bytes(sizeof record.Key).data(), sizeof record.Key);
            std::memcpy(&record.Folder, reader.Bytes(sizeof record.Folder).data(),
                        sizeof record.Folder);
            record.Offset = Records.size();
            record.Length = Encoder.Append(Records, reader, noTexts);
            Read.push_back(record);
        }
    }
};

Builder::Builder(Kind kind) : m_state(std::make_unique<State>(std::move(kind))) {}

Builder::~Builder() = default;

void Builder::Hand(Chunk chunk, std::uint32_t source)
{
    m_state->Queue(m_state->Handed, std::move(chunk), source);
}

void Builder::HandTexts(Chunk chunk, std::uint64_t seed)
{
    m_state->Queue(m_state->HandedTexts, std::move(chunk), seed);
}

void Builder::Close()
{
    {
        const std::lock_guard lock(m_state->Mutex);
        m_state->Closed = true;
    }
    m_state->Wake.notify_one();
}

void Builder::Work()
{
    State& state = *m_state;
    std::vector<std::pair<Chunk, std::uint32_t>> taken;
    std::vector<std::pair<Chunk, std::uint64_t>> texts;
    for (;;) {
        {
            std::unique_lock lock(state.Mutex);
            state.Wake.wait(lock, [&] {
                return state.Closed || !state.Handed.empty() || !state.HandedTexts.empty();
            });
            if (state.Handed.empty() && state.HandedTexts.empty()) {
                return;
            }
            taken.swap(state.Handed);
            texts.swap(state.HandedTexts);
        }
        // A failure (memory) is kept for Finish and TakeKeys; what comes
        // after it is only let go.
        try {
            for (const auto& [chunk, source] : taken) {
                if (!state.Failure) {
                    state.EncodeChunk(chunk, source);
                }
            }
            for (const auto& [chunk, seed] : texts) {
                if (!state.Failure) {
                    HashTexts(chunk, seed, state.Keys);
                }
            }
        } catch (...) {
            state.Failure = std::current_exception();
        }
        taken.clear(); // the chunks go: their texts are kept where needed
        texts.clear();
    }
}

std::vector<KeyMemo::Entry> Builder::TakeKeys()
{
    if (m_state->Failure) {
        std::rethrow_exception(m_state->Failure);
    }
    return std::move(m_state->Keys);
}

std::optional<std::string> Builder::Finish(const Snapshot& snapshot,
                                           const std::vector<const Notes*>& notes,
                                           const std::vector<std::string>& walked)
{
    State& state = *m_state;
    if (state.Failure) {
        std::rethrow_exception(state.Failure);
    }
    std::unordered_set<std::string> walkedSet;
    for (const std::string& folder : walked) {
        walkedSet.insert(WithSlash(folder));
    }

    // Most re-lists change nothing, which is found out before anything is
    // built: no file read, every entry used under the folder it has, and no
    // entry left over in a walked folder.
    std::vector<bool> used(snapshot.Size());
    bool changed = !state.Read.empty();
    for (const Notes* note : notes) {
        changed = changed || note->m_count > 0;
        std::uint32_t lastNoted = 0;
        std::uint32_t lastKept = 0;
        bool same = false;
        bool known = false;
        for (const Notes::Use& use : note->m_used) {
            const Snapshot::Entry& entry = snapshot.m_index[static_cast<std::size_t>(use.Index)];
            used[static_cast<std::size_t>(use.Index)] = true;
            if (!known || use.Folder != lastNoted || entry.Folder != lastKept) {
                same = note->m_folders[use.Folder] == snapshot.m_folders[entry.Folder];
                lastNoted = use.Folder;
                lastKept = entry.Folder;
                known = true;
            }
            changed = changed || !same;
        }
    }
    for (std::size_t i = 0; i < snapshot.Size() && !changed; ++i) {
        changed = !used[i] && walkedSet.contains(snapshot.FolderAt(static_cast<std::int64_t>(i)));
    }
    if (!changed) {
        return std::nullopt;
    }
    // What was not handed over yet.
    for (std::size_t source = 0; source < notes.size(); ++source) {
        for (const Chunk& chunk : notes[source]->m_full) {
            state.EncodeChunk(chunk, static_cast<std::uint32_t>(source));
        }
        state.EncodeChunk(notes[source]->m_chunk, static_cast<std::uint32_t>(source));
    }

    // Every record of the new file: a file read in this job (an index of
    // state.Read) or an entry of the snapshot, which is encoded as it is
    // written.
    struct Item
    {
        std::uint64_t Device = 0;
        std::uint64_t Inode = 0;
        std::string_view Folder{};
        std::size_t Index = 0;
        bool Read = false;
    };

    std::vector<Item> items;
    items.reserve(state.Read.size() + snapshot.Size());
    for (std::size_t i = 0; i < state.Read.size(); ++i) {
        const Encoded& record = state.Read[i];
        items.push_back(Item{.Device = record.Key.Device,
                             .Inode = record.Key.Inode,
                             .Folder = notes.at(record.Source)->m_folders.at(record.Folder),
                             .Index = i,
                             .Read = true});
    }
    std::fill(used.begin(), used.end(), false);
    const auto kept = [&](std::size_t index, std::string_view folder) {
        const FileKey& key = snapshot.m_index[index].Key;
        items.push_back(
            Item{.Device = key.Device, .Inode = key.Inode, .Folder = folder, .Index = index});
    };
    for (const Notes* note : notes) {
        for (const Notes::Use& use : note->m_used) {
            const auto index = static_cast<std::size_t>(use.Index);
            if (!used[index]) {
                used[index] = true;
                kept(index, note->m_folders[use.Folder]);
            }
        }
    }
    // Entries of folders this job did not walk stay; in a walked folder only
    // the files the walk found do.
    for (std::size_t i = 0; i < snapshot.Size(); ++i) {
        const std::string& folder = snapshot.FolderAt(static_cast<std::int64_t>(i));
        if (!used[i] && !walkedSet.contains(folder)) {
            kept(i, folder);
        }
    }

    // One entry per file: what was read now wins over what was kept.
    const auto same = [](const Item& a, const Item& b) {
        return a.Device == b.Device && a.Inode == b.Inode;
    };
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (!same(a, b)) {
            return a.Device != b.Device ? a.Device < b.Device : a.Inode < b.Inode;
        }
        return a.Read && !b.Read;
    });
    items.erase(std::unique(items.begin(), items.end(), same), items.end());

    const Kind& kind = state.Made;
    std::string out;
    out.reserve(kHeaderSize + 8 + kind.Program.size() + kind.Analysis.size() +
                kind.DecimalSeparator.size() + 16 + state.Records.size() +
                (items.size() - state.Read.size()) * 128);
    out.assign(kHeaderSize + 8, '\0'); // the header, the tables' place
    PutText(out, kind.Program);
    PutText(out, kind.Analysis);
    PutText(out, kind.DecimalSeparator);
    std::unordered_map<std::string_view, std::uint32_t> folderIds;
    std::vector<std::string_view> folders;
    std::string_view lastFolder;
    std::uint32_t lastFolderId = 0;
    const FileKey* last = nullptr;
    for (const Item& item : items) {
        const FileKey& key =
            item.Read ? state.Read[item.Index].Key : snapshot.m_index[item.Index].Key;
        if (last != nullptr && last->Device == key.Device) {
            PutVarint(out, 0);
            PutVarint(out, key.Inode - last->Inode);
        } else {
            PutVarint(out, key.Device - (last != nullptr ? last->Device : 0));
            PutVarint(out, key.Inode);
        }
        PutSizeAndTimes(out, key);
        last = &key;
        // Numbered in file order.
        if (folders.empty() || item.Folder != lastFolder) {
            const auto [place, added] =
                folderIds.try_emplace(item.Folder, static_cast<std::uint32_t>(folders.size()));
            if (added) {
                folders.push_back(item.Folder);
            }
            lastFolder = item.Folder;
            lastFolderId = place->second;
        }
        PutVarint(out, lastFolderId);
        if (item.Read) {
            const Encoded& record = state.Read[item.Index];
            out.append(state.Records, record.Offset, record.Length);
        } else {
            Reader reader(
                std::string_view(snapshot.m_bytes).substr(snapshot.m_index[item.Index].Offset));
            state.Encoder.Append(out, reader, snapshot.m_texts);
        }
    }

    const std::size_t tables = out.size() - kHeaderSize;
    PutVarint(out, items.size());
    const std::vector<std::string_view>& texts = state.Encoder.Texts();
    PutVarint(out, texts.size());
    for (const std::string_view text : texts) {
        PutText(out, text);
    }
    PutVarint(out, folders.size());
    for (const std::string_view folder : folders) {
        PutText(out, folder);
    }
    std::string place;
    PutFixed(place, tables, 8);
    out.replace(kHeaderSize, 8, place);
    out.replace(0, kHeaderSize, HeaderOf(std::string_view(out).substr(kHeaderSize)));
    // What the file was made from is not needed any more.
    std::string().swap(state.Records);
    std::vector<Encoded>().swap(state.Read);
    return out;
}

std::optional<std::string> Encode(const Snapshot& snapshot, const std::vector<const Notes*>& notes,
                                  const std::vector<std::string>& walked, const Kind& kind)
{
    return Builder(kind).Finish(snapshot, notes, walked);
}

std::string CacheFolder()
{
    const std::optional<std::string> caches = XdgPaths::Home("XDG_CACHE_HOME", ".cache");
    if (!caches) {
        throw CacheError("no home folder is known");
    }
    return *caches + "/sonorix";
}

// ---- Store ----

Store::Store(std::string folder, Kind kind)
    : m_folder(std::move(folder)), m_kind(std::move(kind)),
      m_path(m_folder + "/scan-" + m_kind.Analysis + ".cache")
{
}

Store::Store(std::string folder, Kind kind, const std::string& name)
    : m_folder(std::move(folder)), m_kind(std::move(kind)), m_path(m_folder + "/" + name)
{
}

Snapshot Store::Load() const
{
    std::optional<std::string> bytes = Bytes();
    return bytes ? Snapshot::Parse(std::move(*bytes), m_kind) : Snapshot();
}

std::optional<std::string> Store::Bytes() const
{
    const UniqueFd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw CacheError(Reason(errno));
    }
    struct stat status = {};
    if (::fstat(file.Get(), &status) != 0) {
        throw CacheError(Reason(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        throw CacheError("it is no regular file");
    }
    std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw CacheError(Reason(errno));
        }
        if (got == 0) {
            bytes.resize(done); // it shrank meanwhile; the checks see it
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

namespace {

void WriteAll(int file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t done = ::write(file, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            throw CacheError(Reason(errno));
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
}

} // namespace

void Store::Save(const std::string& bytes) const
{
    if (const std::optional<XdgPaths::FolderFailure> failure = XdgPaths::MakeFolders(m_folder)) {
        throw CacheError("cannot create the folder '" + failure->Folder +
                         "': " + Reason(failure->Error));
    }
    // Runs take turns at the file; one that would wait long leaves it.
    const std::string lockPath = m_folder + "/scan.lock";
    const UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock.Valid()) {
        throw CacheError("cannot open its lock '" + lockPath + "': " + Reason(errno));
    }
    const auto until = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until) {
            throw CacheError("it was locked by another run for more than 2 seconds");
        }
        std::this_thread::sleep_for(kLockPoll);
    }
    // The lock goes with the descriptor.
    const UniqueFd folder(::open(m_folder.c_str(), LongPath::kFolderFlags));
    if (!folder.Valid()) {
        throw CacheError(Reason(errno));
    }
    const std::string name = m_path.substr(m_folder.size() + 1);
    // Removed when the save fails, and by a signal that ends the program
    // meanwhile; readable by the user alone, as the folder is.
    std::optional<Listing::Detail::TemporaryFile> temporary;
    try {
        temporary.emplace(folder.Get(), name, m_path, 0600);
    } catch (const Listing::Detail::TemporaryFileError& error) {
        throw CacheError(Reason(error.Error()));
    }
    WriteAll(temporary->Fd(), bytes);
    // Not synced: a cache lost in a crash costs one slow run, and a torn
    // one is found by its checksum.
    if (::renameat(folder.Get(), temporary->Name().c_str(), folder.Get(), name.c_str()) != 0) {
        throw CacheError(Reason(errno));
    }
    temporary->Keep();
}

} // namespace ScanCache
