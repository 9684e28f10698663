#include "profiles/GlobalOptions.h"

#include "settings/RegTools.h"

namespace GlobalSettings {

namespace {

using RegTools::kProduct;
using RegTools::kVendor;

constexpr const char* kFolderClass = "Folder";
constexpr const char* kVerb = "Sonorix";

const char* Name(GlobalValue value) { return Info(value).Name; }

bool Exists(GlobalValue value) { return RegTools::RegValueExists(kVendor, kProduct, Name(value)); }

bool ReadFlag(GlobalValue value)
{
    return Exists(value) ? RegTools::ReadRegBool(kVendor, kProduct, Name(value))
                         : Info(value).DefaultFlag;
}

std::string ReadText(GlobalValue value)
{
    return Exists(value) ? RegTools::ReadRegString(kVendor, kProduct, Name(value))
                         : Info(value).DefaultText;
}

void WriteText(GlobalValue value, const std::string& text)
{
    RegTools::WriteRegString(kVendor, kProduct, Name(value), text);
}

void ReadInto(GlobalOptions& options, GlobalValue value)
{
    switch (value) {
    case GlobalValue::Rapidex:
        options.Rapidex = ReadFlag(value);
        break;
    case GlobalValue::AskForCustom:
        options.AskForCustom = ReadFlag(value);
        break;
    case GlobalValue::DefaultFileName:
        options.DefaultFileName = ReadText(value);
        break;
    case GlobalValue::Source:
        options.Source = RegTools::SplitList(ReadText(value));
        break;
    case GlobalValue::Output:
        options.Output = RegTools::SplitList(ReadText(value));
        break;
    case GlobalValue::DefaultStyle:
        break; // the default style box's, read by the profile list load
    case GlobalValue::RememberFileFacts:
        options.RememberFileFacts = ReadFlag(value);
        break;
    }
    options.MarkKnown(value);
}

// The steps of the start-up load before the profile list.
void LoadStartSteps(GlobalOptions& options, Dialogs& dialogs, const std::string& programPath)
{
    // The question stands until its answer is stored as Rapidex, which only
    // this answer and the options dialog write. The settings key alone tells
    // nothing: the command-line tools make it, and a missing Rapidex must
    // never switch the folder verb on unasked.
    if (!Exists(GlobalValue::Rapidex)) {
        // The answer is stored as Rapidex before the Rapidex step reads it.
        if (dialogs.Confirm(kFirstStartQuestion)) {
            EnableShellExtension(programPath);
        } else {
            DisableShellExtension();
        }
    }
    RegTools::CreateRegKey(kVendor, kProduct);

    ReadInto(options, GlobalValue::AskForCustom);

    // Written anew at every start while on, so the verb names the program
    // file where it is now.
    options.Rapidex = ReadFlag(GlobalValue::Rapidex);
    if (options.Rapidex) {
        EnableShellExtension(programPath);
    } else {
        DisableShellExtension();
    }
    options.MarkKnown(GlobalValue::Rapidex);
}

} // namespace

void LoadGlobalOptions(GlobalOptions& options, Profiles::Profile& profile,
                       Profiles::ProfileHost& host, Dialogs& dialogs,
                       const std::string& programPath)
{
    const RegTools::StoreBatch batch;
    try {
        LoadStartSteps(options, dialogs, programPath);
    } catch (const std::exception& error) {
        // The profile is not reached either: the list job must say why.
        profile.LoadError = error.what();
        throw;
    }
    Profiles::LoadProfileList(profile, host);
    options.MarkKnown(GlobalValue::DefaultStyle);

    if (!Exists(GlobalValue::DefaultFileName)) {
        WriteText(GlobalValue::DefaultFileName, kDefaultFileName);
    }
    ReadInto(options, GlobalValue::DefaultFileName);

    // A missing list leaves the favourites as they are.
    for (const GlobalValue list : {GlobalValue::Source, GlobalValue::Output}) {
        if (Exists(list)) {
            ReadInto(options, list);
        }
        options.MarkKnown(list);
    }
    ReadInto(options, GlobalValue::RememberFileFacts);
}

GlobalOptions ReadGlobalOptions(std::initializer_list<GlobalValue> values)
{
    const RegTools::StoreBatch batch;
    GlobalOptions options;
    for (const GlobalValue value : values) {
        ReadInto(options, value);
    }
    return options;
}

void SaveGlobalOptions(const GlobalOptions& options, const std::string& defaultStyle)
{
    const RegTools::StoreBatch batch;
    for (const GlobalValueInfo& info : kGlobalValues) {
        if (!options.IsKnown(info.Value)) {
            continue;
        }
        switch (info.Value) {
        case GlobalValue::Rapidex:
            RegTools::WriteRegBool(kVendor, kProduct, info.Name, options.Rapidex);
            break;
        case GlobalValue::AskForCustom:
            RegTools::WriteRegBool(kVendor, kProduct, info.Name, options.AskForCustom);
            break;
        case GlobalValue::DefaultFileName:
            WriteText(info.Value, options.DefaultFileName);
            break;
        case GlobalValue::Source:
            WriteText(info.Value, RegTools::JoinList(options.Source));
            break;
        case GlobalValue::Output:
            WriteText(info.Value, RegTools::JoinList(options.Output));
            break;
        case GlobalValue::DefaultStyle:
            WriteText(info.Value, defaultStyle);
            break;
        case GlobalValue::RememberFileFacts:
            RegTools::WriteRegBool(kVendor, kProduct, info.Name, options.RememberFileFacts);
            break;
        }
    }
}

void EnableShellExtension(const std::string& programPath)
{
    RegTools::RegisterShellVerb(kFolderClass, kVerb, programPath);
    RegTools::WriteRegBool(kVendor, kProduct, Name(GlobalValue::Rapidex), true);
}

void DisableShellExtension()
{
    RegTools::UnregisterShellVerb(kFolderClass, kVerb);
    RegTools::WriteRegBool(kVendor, kProduct, Name(GlobalValue::Rapidex), false);
}

bool RemoveFromRegistry(GlobalOptions& options, Dialogs& dialogs)
{
    if (!dialogs.Confirm(kRemoveQuestion)) {
        return false;
    }
    if (options.Rapidex) {
        options.Rapidex = false;
        options.MarkKnown(GlobalValue::Rapidex);
        DisableShellExtension();
    }
    RegTools::UnregisterShellVerb(kFolderClass, kVerb);
    RegTools::DeleteRegKey(kVendor, kProduct);
    return true;
}

} // namespace GlobalSettings
