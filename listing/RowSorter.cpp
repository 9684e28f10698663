#include "RowSorter.h"

#include <algorithm>
#include <clocale>
#include <numeric>
#include <stdexcept>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace Listing {

struct RowSorter::Collator
{
    std::unique_ptr<icu::Collator> Icu{};
    icu::UnicodeString Text{};
    std::string Key{};
};

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

RowSorter::RowSorter(const std::string& locale) : m_collator(std::make_unique<Collator>())
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icuLocale =
        locale.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(locale.c_str());
    m_collator->Icu.reset(icu::Collator::createInstance(icuLocale, status));
    if (U_FAILURE(status) || !m_collator->Icu) {
        throw std::runtime_error(std::string("Cannot sort the list: no collation for locale '") +
                                 locale + "': " + u_errorName(status));
    }
    m_collator->Icu->setStrength(icu::Collator::SECONDARY);
}

RowSorter::~RowSorter() = default;

void RowSorter::AddRow(std::string_view plainText)
{
    Collator& c = *m_collator;
    c.Text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(plainText.data(), static_cast<int32_t>(plainText.size())));
    if (c.Key.size() < 64) {
        c.Key.resize(64);
    }
    auto* buffer = reinterpret_cast<uint8_t*>(c.Key.data());
    int32_t length = c.Icu->getSortKey(c.Text, buffer, static_cast<int32_t>(c.Key.size()));
    if (length > static_cast<int32_t>(c.Key.size())) {
        c.Key.resize(static_cast<std::size_t>(length));
        buffer = reinterpret_cast<uint8_t*>(c.Key.data());
        length = c.Icu->getSortKey(c.Text, buffer, length);
    }
    // The key ends in a zero byte that no other byte of a key equals, so
    // comparing the keys as byte strings orders them as the collator does.
    m_keys.append(c.Key.data(), static_cast<std::size_t>(std::max(length, 0)));
    m_ends.push_back(m_keys.size());
}

std::vector<std::size_t> RowSorter::SortedOrder() const
{
    std::vector<std::size_t> order(m_ends.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const std::string_view keys = m_keys;
    const auto key = [&](std::size_t row) {
        const std::size_t begin = row == 0 ? 0 : m_ends[row - 1];
        return keys.substr(begin, m_ends[row] - begin);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    return order;
}

void RowSorter::Clear()
{
    std::string().swap(m_keys);
    std::vector<std::size_t>().swap(m_ends);
}

void SortRows(std::vector<std::string>& rows, const std::vector<std::string>& plainTexts)
{
    RowSorter sorter(CollationLocaleName());
    for (const std::string& text : plainTexts) {
        sorter.AddRow(text);
    }
    const std::vector<std::size_t> order = sorter.SortedOrder();
    std::vector<std::string> sorted;
    sorted.reserve(rows.size());
    for (const std::size_t index : order) {
        sorted.push_back(std::move(rows[index]));
    }
    rows = std::move(sorted);
}

} // namespace Listing
