#pragma once

// The row sort: ICU collation of the user's locale at secondary strength
// (letter case ignored, accents not), stable, on sort keys so that large
// lists sort quickly.

#include <cstddef>
#include <functional>
#include <string>
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
void ApplyOrder(std::vector<std::string>& rows, std::vector<std::size_t> order);

// Sorts finished rows of format by what the user reads in them (PlainRowText)
// with the collation of the user's locale.
void SortRows(std::vector<std::string>& rows, const RowFormat& format);

} // namespace Listing
