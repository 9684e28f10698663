#pragma once

// A ProfileHost without windows, for the command line and the tests: it keeps
// the style texts and lists, sorts the default style list without regard to
// letter case, records the messages and counts the format changes.

#include <string>
#include <vector>

#include "profiles/Profile.h"

namespace Profiles {

class MemoryProfileHost : public ProfileHost
{
public:
    std::string StyleText() const override { return m_styleText; }

    void SetStyleText(const std::string& text) override { m_styleText = text; }

    std::vector<std::string> StyleList() const override { return m_styleList; }

    void SetStyleList(const std::vector<std::string>& items) override { m_styleList = items; }

    std::string DefaultStyleText() const override { return m_defaultStyleText; }

    void SetDefaultStyleText(const std::string& text) override { m_defaultStyleText = text; }

    std::vector<std::string> DefaultStyleList() const override { return m_defaultStyleList; }

    void SetDefaultStyleList(const std::vector<std::string>& items) override;
    void FormatChanged(int listFormat) override;

    void ShowMessage(const std::string& text) override { m_messages.push_back(text); }

    const std::vector<std::string>& Messages() const { return m_messages; }

    int FormatChangedCount() const { return m_formatChangedCount; }

    // The format of the last FormatChanged call; kFormatNone before the first.
    int LastListFormat() const { return m_lastListFormat; }

private:
    std::string m_styleText{};
    std::vector<std::string> m_styleList{};
    std::string m_defaultStyleText{};
    std::vector<std::string> m_defaultStyleList{};
    std::vector<std::string> m_messages{};
    int m_formatChangedCount = 0;
    int m_lastListFormat = kFormatNone;
};

} // namespace Profiles
