#pragma once

// A Dialogs for tests: it records every box shown and every question asked,
// answers from queues the test fills, and reports a failure through the
// failure function when a dialog opens that the test did not queue an
// answer for. GoogleTest tests take the default failure; Qt tests pass
// their own.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Dialogs.h"

namespace TestSupport {

class ScriptedDialogs final : public Dialogs
{
public:
    using FailureFunction = std::function<void(const std::string&)>;

    // The default failure is GoogleTest's ADD_FAILURE.
    ScriptedDialogs();

    explicit ScriptedDialogs(FailureFunction fail) : m_fail(std::move(fail)) {}

    void ShowInformation(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::string> BrowseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> SaveFile(const SaveFileRequest& request) override;
    std::optional<std::int32_t> PickColor(std::int32_t colour) override;
    std::optional<std::string> PickFont(const std::string& faceName) override;
    void OpenTarget(const std::string& target) override;
    void ShowError(const std::string& text) override;

    // What the boxes showed, in order: information texts (Messages), errors
    // (Errors), confirmation questions (Questions), and every dialog as
    // "Kind: text" (Log: "Information: ...", "Confirm: ...", "Input: caption/
    // prompt/initial", "Folder: title/start", "Save: folder/name/ext/filter",
    // "Color: n", "Font: face", "Open: target", "Error: ...").
    std::vector<std::string> Messages{};
    std::vector<std::string> Errors{};
    std::vector<std::string> Questions{};
    std::vector<std::string> Opened{};
    std::vector<std::string> Log{};

    // The answers, taken from the front; an empty queue fails the test.
    std::deque<bool> ConfirmAnswers{};
    std::deque<std::optional<std::string>> InputAnswers{};
    std::deque<std::optional<std::string>> FolderAnswers{};
    std::deque<std::optional<std::string>> SaveAnswers{};
    std::deque<std::optional<std::int32_t>> ColorAnswers{};
    std::deque<std::optional<std::string>> FontAnswers{};

    // Runs when an information box has been recorded, while the code that
    // showed it is still running.
    std::function<void(const std::string&)> OnInformation{};

private:
    template <typename T> T Next(std::deque<T>& answers, const std::string& what, T fallback)
    {
        Log.push_back(what);
        if (answers.empty()) {
            m_fail("unexpected dialog: " + what);
            return fallback;
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }

    FailureFunction m_fail;
};

} // namespace TestSupport
