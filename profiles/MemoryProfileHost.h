#pragma once

// A ProfileHost without windows, for the command line and the tests: two
// style boxes kept in memory (the default style box sorts its list without
// regard to ASCII letter case) and a count of the format changes.

#include <string>
#include <vector>

#include "profiles/Profile.h"

namespace Profiles {

class MemoryStyleBox final : public StyleBox
{
public:
    explicit MemoryStyleBox(bool sorted) : m_sorted(sorted) {}

    std::string Text() const override { return m_text; }

    void SetText(const std::string& text) override { m_text = text; }

    std::vector<std::string> Items() const override { return m_items; }

    void SetItems(const std::vector<std::string>& items) override;

private:
    bool m_sorted;
    std::string m_text{};
    std::vector<std::string> m_items{};
};

class MemoryProfileHost final : public ProfileHost
{
public:
    StyleBox& MainStyleBox() override { return m_styles; }

    StyleBox& DefaultStyleBox() override { return m_defaultStyles; }

    void FormatChanged(ListFormat listFormat) override;

    // Shorthands for the two boxes.
    std::string StyleText() const { return m_styles.Text(); }

    void SetStyleText(const std::string& text) { m_styles.SetText(text); }

    std::vector<std::string> StyleList() const { return m_styles.Items(); }

    void SetStyleList(const std::vector<std::string>& items) { m_styles.SetItems(items); }

    std::string DefaultStyleText() const { return m_defaultStyles.Text(); }

    void SetDefaultStyleText(const std::string& text) { m_defaultStyles.SetText(text); }

    std::vector<std::string> DefaultStyleList() const { return m_defaultStyles.Items(); }

    void SetDefaultStyleList(const std::vector<std::string>& items)
    {
        m_defaultStyles.SetItems(items);
    }

    int FormatChangedCount() const { return m_formatChangedCount; }

    // The format of the last FormatChanged call; None before the first.
    ListFormat LastListFormat() const { return m_lastListFormat; }

private:
    MemoryStyleBox m_styles{false};
    MemoryStyleBox m_defaultStyles{true};
    int m_formatChangedCount = 0;
    ListFormat m_lastListFormat = ListFormat::None;
};

} // namespace Profiles
