#include "listing/RowSorter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <optional>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/uiter.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/usetiter.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>
#include <unicode/uvernum.h>

#include "base/IoError.h"
#include "base/Parallel.h"

namespace Listing {

namespace {

std::unique_ptr<icu::Collator> MakeCollator(const std::string& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icuLocale =
        locale.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(locale.c_str());
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icuLocale, status));
    if (U_FAILURE(status) || !collator) {
        throw IoError("Cannot sort the list: no collation for locale '" + locale +
                      "': " + u_errorName(status));
    }
    collator->setStrength(icu::Collator::SECONDARY);
    return collator;
}

// The texts of a tied run are kept joined up to this size.
constexpr std::size_t kTiedTextBytes = 16 * 1024 * 1024;

// The most bytes one character takes in UTF-8.
constexpr std::size_t kLongestCharacter = 4;

// Fewer entries than this are sorted on one thread.
constexpr std::size_t kEntriesForTwoThreads = 64 * 1024;

// Fewer runs than this per helper thread are not worth starting one.
constexpr std::size_t kTiesPerThread = 4;

// A prefix's bytes and then its length, as four numbers that compare as
// those bytes do.
constexpr std::size_t kPrefixWords = 4;
static_assert(sizeof(SortKeyPrefix) == kPrefixWords * 8 &&
              offsetof(SortKeyPrefix, Length) == SortKeyPrefix::kBytes);

std::uint64_t PrefixWord(const SortKeyPrefix& prefix, std::size_t at)
{
    std::uint64_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(&prefix) + 8 * at, 8);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

bool SameCutPrefix(const SortKeyPrefix& a, const SortKeyPrefix& b)
{
    return a.Length > SortKeyPrefix::kBytes && b.Length > SortKeyPrefix::kBytes &&
           a.Bytes == b.Bytes;
}

// Orders the run [first, last) of order, whose cut prefixes tie, by whole
// keys; equal keys keep their order. Tied texts mostly begin alike for far
// longer than the prefixes do (the same title, artist and album, folders that
// differ near the end): the keys are made of what follows the beginning they
// all share, which orders them the same and costs a fraction.
void OrderTiedRun(std::vector<std::size_t>::iterator first, std::vector<std::size_t>::iterator last,
                  const SortTextSource& textOf, SortKeyMaker& maker)
{
    struct Tied
    {
        std::size_t Index = 0;
        std::size_t KeyStart = 0;
        std::size_t KeyLength = 0;
    };

    // The texts, joined once each while they fit a bound, else again when
    // they are needed again.
    const auto count = static_cast<std::size_t>(last - first);
    std::string texts;
    std::vector<std::size_t> ends; // of every text in texts, while it keeps them
    ends.reserve(count);
    std::string text;
    const auto textAt = [&](std::size_t i) -> std::string_view {
        if (i < ends.size()) {
            const std::size_t start = i == 0 ? 0 : ends[i - 1];
            return std::string_view(texts).substr(start, ends[i] - start);
        }
        textOf(first[static_cast<std::ptrdiff_t>(i)], text);
        return text;
    };

    std::string shared;
    textOf(*first, shared);
    std::size_t common = shared.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view view = textAt(i);
        if (ends.size() == i && texts.size() + view.size() <= kTiedTextBytes) {
            texts += view;
            ends.push_back(texts.size());
        }
        common = static_cast<std::size_t>(
            std::mismatch(shared.begin(),
                          shared.begin() +
                              static_cast<std::ptrdiff_t>(std::min(common, view.size())),
                          view.begin())
                .first -
            shared.begin());
    }
    shared.resize(common);

    // Cut where every text may be cut: behind a character that nothing
    // appended changes, before one that nothing in front of it changes (each
    // text is looked at where the character there may differ). The keys are
    // made on the way; a cut that turns out unsafe is moved back and the
    // keys made again.
    std::vector<Tied> tied;
    std::string keys;
    std::string key;
    for (std::size_t cut = maker.CanCut() ? common : 0;; --cut) {
        if (cut > 0 && (!maker.IsSafeEnd(shared, cut) ||
                        (cut + kLongestCharacter <= common && !maker.IsSafeStart(shared, cut)))) {
            continue;
        }
        tied.clear();
        tied.reserve(count);
        keys.clear();
        bool safe = true;
        for (std::size_t i = 0; i < count && safe; ++i) {
            const std::string_view view = textAt(i);
            safe = cut == 0 || cut + kLongestCharacter <= common || maker.IsSafeStart(view, cut);
            maker.Key(view.substr(cut), key);
            tied.push_back(Tied{.Index = first[static_cast<std::ptrdiff_t>(i)],
                                .KeyStart = keys.size(),
                                .KeyLength = key.size()});
            keys += key;
        }
        if (safe) {
            break;
        }
    }
    const std::string_view all = keys;
    // Equal keys keep the order of their texts.
    std::sort(tied.begin(), tied.end(), [&](const Tied& a, const Tied& b) {
        const int order =
            all.substr(a.KeyStart, a.KeyLength).compare(all.substr(b.KeyStart, b.KeyLength));
        return order != 0 ? order < 0 : a.Index < b.Index;
    });
    for (const Tied& entry : tied) {
        *first++ = entry.Index;
    }
}

} // namespace

// The collator and the buffers it works in, kept from text to text.
struct SortKeyMaker::Collation
{
    std::unique_ptr<icu::Collator> Collator;
    std::vector<UChar> Units{};
    // The characters a cut must not touch; made when first needed.
    std::optional<icu::UnicodeSet> Unsafe{};

    const icu::UnicodeSet& UnsafeSet()
    {
        if (Unsafe) {
            return *Unsafe;
        }
        UErrorCode status = U_ZERO_ERROR;
        // Whatever normalization may move: characters with a combining
        // class at either end.
        icu::UnicodeSet unsafe(UNICODE_STRING_SIMPLE("[[:^tccc=0:][:^lccc=0:]]"), status);
        // Every character of every contraction and of every context a
        // mapping depends on ("ch" in Czech, the Japanese length mark).
        icu::UnicodeSet contractions;
        ucol_getContractionsAndExpansions(Collator->toUCollator(), contractions.toUSet(), nullptr,
                                          true, &status);
        for (icu::UnicodeSetIterator it(contractions); it.next();) {
            if (it.isString()) {
                unsafe.addAll(it.getString());
            } else {
                unsafe.add(it.getCodepoint());
            }
        }
        // What the collator reorders or combines by itself: Thai and Lao
        // prevowels, conjoining Hangul jamo; and surrogates.
        unsafe.add(0x0E40, 0x0E44).add(0x0EC0, 0x0EC4);
        unsafe.add(0x1100, 0x11FF).add(0xA960, 0xA97F).add(0xD7B0, 0xD7FF);
        unsafe.add(0xD800, 0xDFFF);
        if (U_FAILURE(status)) {
            unsafe.add(0, 0x10FFFF); // nothing is cut
        }
        unsafe.freeze();
        return Unsafe.emplace(std::move(unsafe));
    }

    // text as UTF-16, ill-formed bytes as U+FFFD (as UnicodeString::fromUTF8
    // and the collator's own UTF-8 comparison read them).
    void Decode(std::string_view text)
    {
        Units.resize(text.size() + 1);
        for (;;) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            u_strFromUTF8WithSub(Units.data(), static_cast<int32_t>(Units.size()), &length,
                                 text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                                 &status);
            if (status != U_BUFFER_OVERFLOW_ERROR) {
                Units.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
                return;
            }
            Units.resize(static_cast<std::size_t>(length) + 1);
        }
    }
};

SortKeyMaker::SortKeyMaker(const std::string& locale)
    : m_collation(std::make_unique<Collation>(Collation{.Collator = MakeCollator(locale)})),
      m_locale(locale)
{
}

SortKeyMaker::~SortKeyMaker() = default;

std::string SortKeyMaker::Identity() const
{
    const icu::Collator& collator = *m_collation->Collator;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale actual = collator.getLocale(ULOC_ACTUAL_LOCALE, status);
    UVersionInfo version{};
    collator.getVersion(version);
    std::string identity = m_locale + "|" + (U_SUCCESS(status) ? actual.getName() : "?") + "|";
    for (const std::uint8_t part : version) {
        identity += std::to_string(part) + ".";
    }
    return identity + "|ICU " U_ICU_VERSION "|" + std::to_string(SortKeyPrefix::kBytes);
}

SortKeyPrefix SortKeyMaker::Prefix(std::string_view text)
{
    // Read from the UTF-8 text itself (ill-formed bytes as U+FFFD, as Key
    // reads them), without turning all of it into UTF-16 first.
    UCharIterator characters;
    uiter_setUTF8(&characters, text.data(), static_cast<int32_t>(text.size()));
    std::uint32_t state[2] = {0, 0};
    std::array<std::uint8_t, SortKeyPrefix::kBytes + 1> part{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written =
        ucol_nextSortKeyPart(m_collation->Collator->toUCollator(), &characters, state, part.data(),
                             static_cast<int32_t>(part.size()), &status);
    // The whole key's length: the part and the zero byte that ends every
    // key when the part held all of it, else more than fits.
    const std::size_t size = U_FAILURE(status) || written < 0 ? 0
                             : static_cast<std::size_t>(written) < part.size()
                                 ? static_cast<std::size_t>(written) + 1
                                 : part.size() + 1;
    SortKeyPrefix prefix;
    const std::size_t kept = std::min(size, SortKeyPrefix::kBytes);
    std::memcpy(prefix.Bytes.data(), part.data(), kept);
    prefix.Length =
        static_cast<std::uint8_t>(size > SortKeyPrefix::kBytes ? SortKeyPrefix::kBytes + 1 : size);
    return prefix;
}

bool SortKeyMaker::CanCut() const
{
    // French accents compare from the end of the text, numbers by their
    // value: there a shared beginning cannot be left out.
    UErrorCode status = U_ZERO_ERROR;
    const UCollator* collator = m_collation->Collator->toUCollator();
    const bool french = ucol_getAttribute(collator, UCOL_FRENCH_COLLATION, &status) == UCOL_ON;
    const bool numeric = ucol_getAttribute(collator, UCOL_NUMERIC_COLLATION, &status) == UCOL_ON;
    return U_SUCCESS(status) && !french && !numeric;
}

bool SortKeyMaker::IsSafeEnd(std::string_view text, std::size_t at)
{
    // Only behind an ASCII character: a cut never splits a sequence, and
    // the bytes before and after it decode as they do in the whole text.
    const auto before = static_cast<unsigned char>(text[at - 1]);
    return before < 0x80 && !m_collation->UnsafeSet().contains(before);
}

bool SortKeyMaker::IsSafeStart(std::string_view text, std::size_t at)
{
    if (at >= text.size()) {
        return true;
    }
    UChar32 c = 0;
    auto i = static_cast<int32_t>(at);
    U8_NEXT_OR_FFFD(reinterpret_cast<const std::uint8_t*>(text.data()), i,
                    static_cast<int32_t>(text.size()), c);
    return !m_collation->UnsafeSet().contains(c);
}

void SortKeyMaker::Key(std::string_view text, std::string& key)
{
    m_collation->Decode(text);
    const std::vector<UChar>& units = m_collation->Units;
    const icu::Collator& collator = *m_collation->Collator;
    key.resize(std::max<std::size_t>(key.capacity(), 64));
    for (;;) {
        // The length of the whole key, its closing zero byte included.
        const int32_t length = collator.getSortKey(units.data(), static_cast<int32_t>(units.size()),
                                                   reinterpret_cast<std::uint8_t*>(key.data()),
                                                   static_cast<int32_t>(key.size()));
        if (length <= 0) {
            key.clear(); // no key: sorts first, as an empty text
            return;
        }
        if (static_cast<std::size_t>(length) <= key.size()) {
            key.resize(static_cast<std::size_t>(length));
            return;
        }
        key.resize(static_cast<std::size_t>(length));
    }
}

std::string CollationLocaleName()
{
    const char* current = std::setlocale(LC_COLLATE, nullptr);
    std::string name = current == nullptr ? "" : current;
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX") {
        return {};
    }
    return name;
}

std::vector<std::size_t> CollationOrder(std::vector<SortEntry> entries,
                                        const SortTextSource& textOf, const std::string& locale,
                                        int threads)
{
    // Two cut prefixes that are equal tie here, and keep the order of their
    // texts; their whole keys settle it below.
    const auto less = [](const SortEntry& a, const SortEntry& b) {
        // A key ends in a zero byte that no other byte of a key equals, and
        // the bytes behind it are zero too: so the kept bytes compare as
        // the keys do, equal ones being equal keys or two cut keys, and then
        // the lengths. Compared eight bytes at a time, the first ones first.
        for (std::size_t at = 0; at < kPrefixWords; ++at) {
            const std::uint64_t wordA = PrefixWord(a.Prefix, at);
            const std::uint64_t wordB = PrefixWord(b.Prefix, at);
            if (wordA != wordB) {
                return wordA < wordB;
            }
        }
        return a.Index < b.Index;
    };
    // A large list is sorted in two halves at once, which are then merged.
    Parallel::Sort(entries.begin(), entries.end(), less,
                   entries.size() >= kEntriesForTwoThreads ? threads : 1);
    std::vector<std::size_t> order(entries.size());
    using Run = std::pair<std::vector<std::size_t>::iterator, std::vector<std::size_t>::iterator>;
    std::vector<Run> ties; // runs of order whose cut prefixes tie
    for (std::size_t first = 0; first < entries.size();) {
        std::size_t end = first + 1;
        while (end < entries.size() && SameCutPrefix(entries[first].Prefix, entries[end].Prefix)) {
            ++end;
        }
        if (end - first > 1) {
            ties.emplace_back(order.begin() + static_cast<std::ptrdiff_t>(first),
                              order.begin() + static_cast<std::ptrdiff_t>(end));
        }
        for (; first < end; ++first) {
            order[first] = entries[first].Index;
        }
    }
    std::vector<SortEntry>().swap(entries);
    // The runs are settled one at a time by each of a few threads, each with
    // a collator of its own; the calling thread is one of them.
    const int workers = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(std::max(threads, 1)), 1 + ties.size() / kTiesPerThread));
    std::vector<std::unique_ptr<SortKeyMaker>> makers(static_cast<std::size_t>(workers));
    Parallel::ForEachIndex(workers, ties.size(), [&](int worker, std::size_t run) {
        std::unique_ptr<SortKeyMaker>& maker = makers[static_cast<std::size_t>(worker)];
        if (!maker) {
            maker = std::make_unique<SortKeyMaker>(locale);
        }
        OrderTiedRun(ties[run].first, ties[run].second, textOf, *maker);
    });
    return order;
}

std::vector<std::size_t> CollationOrder(std::size_t count, const SortTextSource& textOf,
                                        const std::string& locale)
{
    SortKeyMaker maker(locale);
    std::vector<SortEntry> entries;
    entries.reserve(count);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        textOf(i, text);
        entries.push_back(SortEntry{.Prefix = maker.Prefix(text), .Index = i});
    }
    return CollationOrder(std::move(entries), textOf, locale, 1);
}

void SortRows(std::vector<RowCells>& rows, std::string_view separator)
{
    const SortTextSource textOf = [&](std::size_t index, std::string& text) {
        rows[index].JoinInto(text, separator);
    };
    ApplyOrder(rows, CollationOrder(rows.size(), textOf, CollationLocaleName()));
}

} // namespace Listing
