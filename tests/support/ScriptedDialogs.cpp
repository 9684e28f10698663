#include "tests/support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace TestSupport {

ScriptedDialogs::ScriptedDialogs() : m_fail([](const std::string& what) { ADD_FAILURE() << what; })
{
}

void ScriptedDialogs::ShowInformation(const std::string& text)
{
    Messages.push_back(text);
    Log.push_back("Information: " + text);
    if (OnInformation) {
        OnInformation(text);
    }
}

bool ScriptedDialogs::Confirm(const std::string& text)
{
    Questions.push_back(text);
    return Next(ConfirmAnswers, "Confirm: " + text, false);
}

std::optional<std::string> ScriptedDialogs::InputBox(const std::string& caption,
                                                     const std::string& prompt,
                                                     const std::string& initial)
{
    return Next(InputAnswers, "Input: " + caption + "/" + prompt + "/" + initial,
                std::optional<std::string>());
}

std::optional<std::string> ScriptedDialogs::BrowseFolder(const std::string& title,
                                                         const std::string& startFolder)
{
    return Next(FolderAnswers, "Folder: " + title + "/" + startFolder,
                std::optional<std::string>());
}

std::optional<std::string> ScriptedDialogs::SaveFile(const SaveFileRequest& request)
{
    return Next(SaveAnswers,
                "Save: " + request.InitialFolder + "/" + request.FileName + "/" +
                    request.DefaultExtension + "/" + request.FilterCaption,
                std::optional<std::string>());
}

std::optional<std::int32_t> ScriptedDialogs::PickColor(std::int32_t colour)
{
    return Next(ColorAnswers, "Color: " + std::to_string(colour), std::optional<std::int32_t>());
}

std::optional<std::string> ScriptedDialogs::PickFont(const std::string& faceName)
{
    return Next(FontAnswers, "Font: " + faceName, std::optional<std::string>());
}

void ScriptedDialogs::OpenTarget(const std::string& target)
{
    Opened.push_back(target);
    Log.push_back("Open: " + target);
}

void ScriptedDialogs::ShowError(const std::string& text)
{
    Errors.push_back(text);
    Log.push_back("Error: " + text);
}

} // namespace TestSupport
