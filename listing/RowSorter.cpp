#include "RowSorter.h"

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace Listing {

namespace {

// The first bytes of a sort key. Most rows differ within them; a key that
// did not fit is marked, and two marked prefixes that are equal send the
// comparison to the full texts.
struct KeyPrefix
{
    static constexpr std::size_t kBytes = 31;
    std::array<char, kBytes> Bytes{};
    std::uint8_t Length = 0; // kBytes + 1 when the key was cut
};

std::unique_ptr<icu::Collator> MakeCollator(const std::string& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icuLocale =
        locale.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(locale.c_str());
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icuLocale, status));
    if (U_FAILURE(status) || !collator) {
        throw std::runtime_error("Cannot sort the list: no collation for locale '" + locale +
                                 "': " + u_errorName(status));
    }
    collator->setStrength(icu::Collator::SECONDARY);
    return collator;
}

KeyPrefix MakePrefix(const icu::Collator& collator, const std::string& text,
                     std::vector<std::uint8_t>& scratch)
{
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (scratch.size() < 64) {
        scratch.resize(64);
    }
    int32_t length =
        collator.getSortKey(unicode, scratch.data(), static_cast<int32_t>(scratch.size()));
    if (length > static_cast<int32_t>(scratch.size())) {
        scratch.resize(static_cast<std::size_t>(length));
        length = collator.getSortKey(unicode, scratch.data(), length);
    }
    KeyPrefix prefix;
    const auto size = static_cast<std::size_t>(std::max(length, 0));
    const std::size_t kept = std::min(size, KeyPrefix::kBytes);
    std::memcpy(prefix.Bytes.data(), scratch.data(), kept);
    prefix.Length =
        static_cast<std::uint8_t>(size > KeyPrefix::kBytes ? KeyPrefix::kBytes + 1 : size);
    return prefix;
}

} // namespace

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

std::vector<std::size_t> CollationOrder(std::size_t count, const SortTextSource& textOf,
                                        const std::string& locale)
{
    const std::unique_ptr<icu::Collator> collator = MakeCollator(locale);
    std::vector<KeyPrefix> prefixes;
    prefixes.reserve(count);
    {
        std::string text;
        std::vector<std::uint8_t> scratch;
        for (std::size_t i = 0; i < count; ++i) {
            textOf(i, text);
            prefixes.push_back(MakePrefix(*collator, text, scratch));
        }
    }

    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::string left;
    std::string right;
    const auto less = [&](std::size_t a, std::size_t b) {
        const KeyPrefix& pa = prefixes[a];
        const KeyPrefix& pb = prefixes[b];
        // A key ends in a zero byte that no other byte of a key equals, so
        // equal common bytes mean equal keys, or two cut keys.
        const int bytes =
            std::memcmp(pa.Bytes.data(), pb.Bytes.data(),
                        std::min<std::size_t>({pa.Length, pb.Length, KeyPrefix::kBytes}));
        if (bytes != 0) {
            return bytes < 0;
        }
        if (pa.Length <= KeyPrefix::kBytes || pb.Length <= KeyPrefix::kBytes) {
            return pa.Length < pb.Length;
        }
        textOf(a, left);
        textOf(b, right);
        UErrorCode status = U_ZERO_ERROR;
        return collator->compareUTF8(left, right, status) == UCOL_LESS;
    };
    std::stable_sort(order.begin(), order.end(), less);
    return order;
}

void ApplyOrder(std::vector<std::string>& rows, std::vector<std::size_t> order)
{
    // Walk each cycle of the permutation once; a done position points to
    // itself.
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start) {
            continue;
        }
        std::string first = std::move(rows[start]);
        std::size_t to = start;
        while (order[to] != start) {
            const std::size_t from = order[to];
            rows[to] = std::move(rows[from]);
            order[to] = to;
            to = from;
        }
        rows[to] = std::move(first);
        order[to] = to;
    }
}

void SortRows(std::vector<std::string>& rows, const RowFormat& format)
{
    const SortTextSource textOf = [&](std::size_t index, std::string& text) {
        text = PlainRowText(rows[index], format);
    };
    ApplyOrder(rows, CollationOrder(rows.size(), textOf, CollationLocaleName()));
}

} // namespace Listing
