#include "profiles/MemoryProfileHost.h"

#include <algorithm>
#include <cctype>

namespace Profiles {

void MemoryProfileHost::SetDefaultStyleList(const std::vector<std::string>& items)
{
    m_defaultStyleList = items;
    // Names equal but for letter case keep the order they were given in.
    std::stable_sort(m_defaultStyleList.begin(), m_defaultStyleList.end(),
                     [](const std::string& a, const std::string& b) {
                         return std::lexicographical_compare(
                             a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                                 return std::tolower(static_cast<unsigned char>(x)) <
                                        std::tolower(static_cast<unsigned char>(y));
                             });
                     });
}

void MemoryProfileHost::FormatChanged(int listFormat)
{
    ++m_formatChangedCount;
    m_lastListFormat = listFormat;
}

} // namespace Profiles
