#pragma once

// The row sort: ICU collation of the user's locale at secondary strength
// (letter case ignored, accents not), stable, on sort keys so that large
// lists sort quickly.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "listing/Columns.h"

namespace Listing {

// The ICU locale name for the collation locale the C library has set
// (LC_COLLATE): "de_DE.UTF-8@euro" gives "de_DE"; "C" and "POSIX" give the
// root locale (empty).
std::string CollationLocaleName();

// Fills text with the text of item index (UTF-8; other bytes compare as
// U+FFFD).
using SortTextSource = std::function<void(std::size_t index, std::string& text)>;

// The first bytes of a text's sort key. Most texts differ within them; a key
// that did not fit is marked as cut.
struct SortKeyPrefix
{
    static constexpr std::size_t kBytes = 31;
    std::array<char, kBytes> Bytes{};
    std::uint8_t Length = 0; // kBytes + 1 when the key was cut
};

// Makes sort keys with the collation of one locale at secondary strength.
// Each thread that makes keys needs a maker of its own.
class SortKeyMaker
{
public:
    // Throws IoError when ICU has no collator for locale at all.
    explicit SortKeyMaker(const std::string& locale);
    ~SortKeyMaker();
    SortKeyMaker(const SortKeyMaker&) = delete;
    SortKeyMaker& operator=(const SortKeyMaker&) = delete;

    // Only the first bytes of the key are made: a whole row's key would cost
    // many times what its first bytes do.
    [[nodiscard]] SortKeyPrefix Prefix(std::string_view text);

    // What the keys depend on besides the text: the locale asked for and
    // the one ICU gave, the collator's version and ICU's. Keys made by
    // makers of the same identity are the same.
    [[nodiscard]] std::string Identity() const;

    // The whole key, into key (whose buffer is reused); keys compare as bytes
    // the way the collator compares the texts.
    void Key(std::string_view text, std::string& key);

    // Texts that all begin with the same bytes compare as what follows a cut
    // in that beginning does, where the collation allows a cut at all
    // (CanCut), the cut follows a character that nothing appended changes
    // (IsSafeEnd, at > 0) and each text continues with a character that
    // nothing in front of it changes (IsSafeStart).
    [[nodiscard]] bool CanCut() const;
    [[nodiscard]] bool IsSafeEnd(std::string_view text, std::size_t at);
    [[nodiscard]] bool IsSafeStart(std::string_view text, std::size_t at);

private:
    struct Collation;
    std::unique_ptr<Collation> m_collation;
    std::string m_locale;
};

// A text's key prefix and its index among the texts sorted.
struct SortEntry
{
    SortKeyPrefix Prefix{};
    std::size_t Index = 0;
};

// The stable collation order of the texts whose key prefixes a maker for
// locale made, entries[i] for text i: sorted[i] = texts[order[i]]. The
// entries are sorted themselves rather than indexes into them, which keeps
// the sort's reads in order on large lists. Texts whose cut prefixes tie are
// ordered by their whole keys, made once per text and kept only while their
// tie is settled, so memory stays small for long rows; up to threads threads
// settle ties at the same time (textOf must allow that). Throws
// IoError when ICU has no collator for locale at all.
std::vector<std::size_t> CollationOrder(std::vector<SortEntry> entries,
                                        const SortTextSource& textOf, const std::string& locale,
                                        int threads);

// The same for count texts, with the collation of locale. Throws
// IoError when ICU has no collator for locale at all.
std::vector<std::size_t> CollationOrder(std::size_t count, const SortTextSource& textOf,
                                        const std::string& locale);

// Puts rows into the given order (sorted[i] = rows[order[i]]), moving each
// row once and allocating nothing.
template <typename Row> void ApplyOrder(std::vector<Row>& rows, std::vector<std::size_t> order)
{
    // Walk each cycle of the permutation once; a done position points to
    // itself.
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start) {
            continue;
        }
        Row first = std::move(rows[start]);
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

// Sorts rows by what the user reads in them, their cells joined by separator
// (so CSV quoting and HTML escaping never move a row), with the collation of
// the user's locale.
void SortRows(std::vector<RowCells>& rows, std::string_view separator);

} // namespace Listing
