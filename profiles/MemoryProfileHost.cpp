#include "profiles/MemoryProfileHost.h"

#include <algorithm>

#include "base/Ascii.h"

namespace Profiles {

void MemoryStyleBox::SetItems(const std::vector<std::string>& items)
{
    m_items = items;
    if (m_sorted) {
        // Names equal but for letter case keep the order they were given in.
        std::stable_sort(m_items.begin(), m_items.end(), [](const auto& a, const auto& b) {
            return Ascii::LessIgnoringCase(a, b);
        });
    }
}

void MemoryProfileHost::FormatChanged(ListFormat listFormat)
{
    ++m_formatChangedCount;
    m_lastListFormat = listFormat;
}

} // namespace Profiles
