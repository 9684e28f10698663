#pragma once

// The row sort: ICU collation of the user's locale at secondary strength
// (letter case ignored, accents not), stable, on sort keys so that large
// lists sort quickly.

#include <cstddef>
#include <functional>
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

// The stable collation order of count texts: sorted[i] = texts[order[i]].
// Only a short prefix of every sort key is kept; texts whose prefixes tie
// are compared in full, so memory stays small for long rows. Throws
// std::runtime_error when ICU has no collator for locale at all.
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
