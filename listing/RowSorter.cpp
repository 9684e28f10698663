#include "listing/RowSorter.h"

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
#include <unicode/ucol.h>
#include <unicode/uiter.h>
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

// Only the first bytes of the key are made: the collator writes a key level
// by level, and a whole row's key would cost many times what its first bytes
// do. They are the same bytes as those of the whole key, which ends in a zero
// byte that the part leaves out.
KeyPrefix MakePrefix(const icu::Collator& collator, const std::string& text)
{
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UCharIterator characters;
    uiter_setString(&characters, unicode.getBuffer(), unicode.length());
    std::uint32_t state[2] = {0, 0};
    std::array<std::uint8_t, KeyPrefix::kBytes + 1> part{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t written =
        ucol_nextSortKeyPart(collator.toUCollator(), &characters, state, part.data(),
                             static_cast<int32_t>(part.size()), &status);
    // The whole key's length: the part and the zero byte when the part held
    // all of it, else more than fits.
    const std::size_t size = U_FAILURE(status) || written < 0 ? 0
                             : static_cast<std::size_t>(written) < part.size()
                                 ? static_cast<std::size_t>(written) + 1
                                 : part.size() + 1;
    KeyPrefix prefix;
    const std::size_t kept = std::min(size, KeyPrefix::kBytes);
    std::memcpy(prefix.Bytes.data(), part.data(), kept);
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
        for (std::size_t i = 0; i < count; ++i) {
            textOf(i, text);
            prefixes.push_back(MakePrefix(*collator, text));
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

void SortRows(std::vector<RowCells>& rows, std::string_view separator)
{
    const SortTextSource textOf = [&](std::size_t index, std::string& text) {
        rows[index].JoinInto(text, separator);
    };
    ApplyOrder(rows, CollationOrder(rows.size(), textOf, CollationLocaleName()));
}

} // namespace Listing
