#pragma once

// The options that belong to no profile: the favourite folders, the folder
// verb switch, "Ask for Custom Info", the default output file name and the
// default style. The options dialog copies this record to and from its
// controls; the list job reads two of its values.

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/Dialogs.h"
#include "profiles/ProfileStore.h"

namespace GlobalSettings {

enum class GlobalValue
{
    Rapidex,
    AskForCustom,
    DefaultFileName,
    Source,
    Output,
    DefaultStyle,
    RememberFileFacts
};

enum class ValueType
{
    Boolean,
    String,
    List // one item per line, CR LF after each
};

struct GlobalValueInfo
{
    GlobalValue Value;
    const char* Name;
    ValueType Type;
    bool DefaultFlag;        // for booleans: what a missing value counts as
    const char* DefaultText; // for strings: what a missing value counts as
};

// Every stored global value, in the order SaveGlobalOptions writes them.
inline constexpr std::array<GlobalValueInfo, 7> kGlobalValues = {{
    {GlobalValue::Rapidex, "Rapidex", ValueType::Boolean, true, ""},
    {GlobalValue::AskForCustom, "AskForCustom", ValueType::Boolean, false, ""},
    {GlobalValue::DefaultFileName, "DefaultFileName", ValueType::String, false, "TrackRoll"},
    {GlobalValue::Source, "Source", ValueType::List, false, ""},
    {GlobalValue::Output, "Output", ValueType::List, false, ""},
    {GlobalValue::DefaultStyle, "DefaultStyle", ValueType::String, false, "Default"},
    {GlobalValue::RememberFileFacts, "RememberFileFacts", ValueType::Boolean, true, ""},
}};

constexpr const GlobalValueInfo& Info(GlobalValue value)
{
    return kGlobalValues[static_cast<std::size_t>(value)];
}

static_assert(Info(GlobalValue::RememberFileFacts).Value == GlobalValue::RememberFileFacts,
              "kGlobalValues follows the order of GlobalValue");

inline constexpr const char* kDefaultFileName = Info(GlobalValue::DefaultFileName).DefaultText;

inline constexpr const char* kFirstStartQuestion =
    "Welcome to Sonorix!\n\rDo you want to enable the shell extensions?\n\r"
    "(you can change this later in the \"options\"-menu)";
inline constexpr const char* kRemoveQuestion =
    "Are you sure you want delete all Sonorix Registry entries?";

// The global options held for the run. The default style is not here: the
// default style box holds it (Profiles::ProfileHost).
struct GlobalOptions
{
    bool Rapidex = Info(GlobalValue::Rapidex).DefaultFlag;
    bool AskForCustom = Info(GlobalValue::AskForCustom).DefaultFlag;
    std::string DefaultFileName = kDefaultFileName;
    std::vector<std::string> Source{};
    std::vector<std::string> Output{};
    // "Remember file facts between lists": the list job's scan cache.
    bool RememberFileFacts = Info(GlobalValue::RememberFileFacts).DefaultFlag;
    // The values the start-up load reached or the user changed since, by
    // GlobalValue. SaveGlobalOptions writes only these, so a load stopped by
    // an error never wipes what it did not read.
    std::array<bool, kGlobalValues.size()> Known{};

    void MarkKnown(GlobalValue value) { Known[static_cast<std::size_t>(value)] = true; }

    bool IsKnown(GlobalValue value) const { return Known[static_cast<std::size_t>(value)]; }

    friend bool operator==(const GlobalOptions&, const GlobalOptions&) = default;
};

// Start-up: the first-start question (while no Rapidex is stored, whatever
// else the store holds), the product key created, then AskForCustom, Rapidex
// (the folder verb for programPath registered or removed), the profile list
// with the default profile loaded, DefaultFileName (written when missing),
// Source, Output and RememberFileFacts.
// A store error stops the load at that step, with the earlier values loaded
// and marked known.
void LoadGlobalOptions(GlobalOptions& options, Profiles::Profile& profile,
                       Profiles::ProfileHost& host, Dialogs& dialogs,
                       const std::string& programPath);

// Reads the named values without writing anything; a missing value counts as
// its default. For tools that must not change the store.
GlobalOptions ReadGlobalOptions(std::initializer_list<GlobalValue> values);

// Writes the known values in table order; defaultStyle is the default style
// box's text.
void SaveGlobalOptions(const GlobalOptions& options, const std::string& defaultStyle);

// Registers the folder verb "Sonorix" for programPath, then stores Rapidex
// as true.
void EnableShellExtension(const std::string& programPath);
// Removes the folder verb, then stores Rapidex as false.
void DisableShellExtension();

// "Remove from Registry": asks kRemoveQuestion; on Yes switches the shell
// extension off (when it was on), removes the folder verb and deletes the
// product key with every value. The record keeps its other values, so a
// later SaveGlobalOptions writes them anew. True when the user said Yes.
bool RemoveFromRegistry(GlobalOptions& options, Dialogs& dialogs);

} // namespace GlobalSettings
