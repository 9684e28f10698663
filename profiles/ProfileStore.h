#pragma once

// Loading, saving and deleting profiles in the settings store, the list of
// stored profile names ("Styles"), and which names a profile may be stored
// under.

#include <string>
#include <vector>

#include "base/Dialogs.h"
#include "profiles/Profile.h"

namespace Profiles {

// The refusal of a name that IsValidProfileName rejects.
inline constexpr const char* kInvalidProfileNameMessage = "Please enter a valid profile name!";

// Loads the profile named by the main style box into the record, which is
// the live current profile from then on; a missing value takes its default,
// which is stored at once ("Custom" excepted). The load stops at the first
// error, with the earlier values loaded.
void LoadProfile(Profile& profile, ProfileHost& host);
// Stores every value of the profile under name (colours and format as
// decimal texts); "Styles" is not touched.
void SaveProfile(const Profile& profile, const std::string& name);
// A name a profile may be stored under: not empty, no CR, LF or NUL (a
// stored list would split it into two names), and none of its stored value
// names (name + suffix) equal, ignoring ASCII letter case, to a global value
// or "Styles", which storing the profile would overwrite ("AskFor" +
// "Custom").
bool IsValidProfileName(const std::string& name);

// Stores the profile under a new name: the main style box shows the name,
// the profile is stored under it, the name is appended to the main style list
// and that list stored as "Styles" (a listed name is listed twice), then the
// list is reloaded, which selects and loads the default style. The caller
// selects and loads the new name afterwards, as a user's choice would.
void SaveProfileAs(Profile& profile, const std::string& name, ProfileHost& host);

// The stored style names ("Styles"), read without writing anything (and
// without making a store where there is none); {"Default"} when none are
// stored yet.
std::vector<std::string> StoredStyleNames();
// Fills both style lists from "Styles" (writing "Default" at first start),
// selects "DefaultStyle" (default "Default"), then loads that profile.
void LoadProfileList(Profile& profile, ProfileHost& host);
// Removes the profile's values and its name from "Styles", then reloads the
// list. "Default", in any letter case, is refused with an information box.
// Deleting the profile that "DefaultStyle" names first makes "Default" the
// default style, so the reload does not select the deleted profile and store
// it anew. Names are compared as the store compares them (ASCII letter case
// ignored).
void DeleteProfile(const std::string& name, Profile& profile, ProfileHost& host, Dialogs& dialogs);

} // namespace Profiles
