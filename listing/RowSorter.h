#pragma once

// The row sort: ICU collation of the user's locale at secondary strength
// (letter case ignored, accents not), stable, on precomputed sort keys so
// that large lists sort quickly.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Listing {

// The ICU locale name for the collation locale the C library has set
// (LC_COLLATE): "de_DE.UTF-8@euro" gives "de_DE"; "C" and "POSIX" give the
// root locale (empty).
std::string CollationLocaleName();

// Collects one sort key per row, in row order, and yields the stable order
// of the rows. Keys of all rows share one buffer.
class RowSorter
{
public:
    // locale as CollationLocaleName gives it. Throws std::runtime_error when
    // ICU cannot provide a collator at all.
    explicit RowSorter(const std::string& locale);
    ~RowSorter();
    RowSorter(const RowSorter&) = delete;
    RowSorter& operator=(const RowSorter&) = delete;

    // The key of the next row, from its text as the user reads it (UTF-8;
    // other bytes compare as U+FFFD).
    void AddRow(std::string_view plainText);

    std::size_t RowCount() const { return m_ends.size(); }

    // Row indexes in sorted order; rows that compare equal keep their order.
    std::vector<std::size_t> SortedOrder() const;

    // Releases the keys.
    void Clear();

private:
    struct Collator;
    std::unique_ptr<Collator> m_collator;
    std::string m_keys{};
    std::vector<std::size_t> m_ends{};
};

// Sorts rows by plainTexts (one per row, same order) with a RowSorter for the
// user's locale; used where the rows are few.
void SortRows(std::vector<std::string>& rows, const std::vector<std::string>& plainTexts);

} // namespace Listing
