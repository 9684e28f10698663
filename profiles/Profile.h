#pragma once

// The current profile ("style"): one named set of list options, stored as
// thirteen values (fourteen with the analysis) named profile name + suffix in the settings store
// (profiles/ProfileStore.h). The record and its text rules need no store, so
// the list job uses them without linking SQLite.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/ListFormat.h"

namespace Profiles {

// How the files of a list are read. Classic reads the first MPEG frame, its
// "Xing" header and the ID3v1 tag, as Sonorix always did; full reads ID3v2
// and APE tags too, and FLAC, Ogg Vorbis, Opus, M4A and WAV files. Stored as
// its number.
enum class Analysis
{
    Classic = 0,
    Full = 1
};

inline constexpr std::int32_t NumberOf(Analysis analysis)
{
    return static_cast<std::int32_t>(analysis);
}

// Its word: on the command line (--analysis) and in the scan cache's name.
inline constexpr std::string_view WordOf(Analysis analysis)
{
    return analysis == Analysis::Full ? "full" : "classic";
}

struct Profile
{
    std::string Name{};
    bool Sort = false;
    // "Don't use Background 2 (saves 30% filesize)": the rows of an HTML list
    // do not alternate. Without it every second data row (positions 1, 3, ...
    // after sorting) has Back2Color on each of its cells; with it no data
    // cell carries a colour, which makes the page smaller. Header cells keep
    // HeaderColor either way; the text formats ignore it.
    bool Save30 = false;
    std::string FontStyle{};
    // Colours are 0x00BBGGRR; the text beside each is ColorToHtml of it
    // ("#RRGGBB"), or what the user typed in the dialog.
    std::int32_t FontColor = 0;
    std::string FontColorText{};
    std::int32_t BackColor = 0;
    std::string BackColorText{};
    std::int32_t Back2Color = 0;
    std::string Back2ColorText{};
    std::int32_t HeaderColor = 0;
    std::string HeaderColorText{};
    std::string Headline{};
    Profiles::ListFormat ListFormat = Profiles::ListFormat::None; // stored as its number
    std::string Custom{};
    std::vector<std::string> Extensions{};
    std::vector<std::string> Information{};
    std::vector<bool> Checked{}; // one flag per Information entry, by position
    // Stored only when full: a store that never used it stays as it was.
    Profiles::Analysis Analysis = Profiles::Analysis::Classic;
    std::string Separator{};   // not stored: lives for the program run
    bool AppendToList = false; // not stored: lives for the program run
    // Not stored: why the last load of the record stopped (LoadProfile, or
    // LoadGlobalOptions before it reached the profile); empty once a load ran
    // to its end. A record whose load stopped holds a mix of two profiles and
    // must not make a list.
    std::string LoadError{};
    friend bool operator==(const Profile&, const Profile&) = default;
};

// The built-in selection of the list items (kColumnCaptions).
inline constexpr const char* kDefaultChecked = "11110111100000000000";

// A style box: an editable box with a drop-down list of profile names.
class StyleBox
{
public:
    virtual ~StyleBox() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual std::vector<std::string> Items() const = 0;
    // Replaces the drop-down list and leaves the text as it is; a box that
    // keeps its list sorted sorts what it is given.
    virtual void SetItems(const std::vector<std::string>& items) = 0;
};

// What the profile operations reach besides the store and the profile
// record: the main window's style box, whose text names the current profile,
// the global options dialog's default style box (kept sorted), and whoever
// shows the profile's list format (the profile dialog shows or hides the
// separator and append controls and clears the main window's output box).
class ProfileHost
{
public:
    virtual ~ProfileHost() = default;
    virtual StyleBox& MainStyleBox() = 0;
    virtual StyleBox& DefaultStyleBox() = 0;
    virtual void FormatChanged(ListFormat listFormat) = 0;
};

// A stored colour, "ListFormat" or "Checked" text that is no integer. Store
// failures stay RegTools::StoreError.
class ProfileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The stored integer texts: decimal with an optional sign ("33023", "-1") or
// "$" and hexadecimal digits ("$000080FF"; up to 32 bits, so "$FFFFFFFF" is
// -1); leading blanks are skipped. Anything else, and decimal values outside
// 32 bits, raise ProfileError "'<text>' is not a valid integer value for
// '<valueName>'".
std::int32_t IntegerFromText(const std::string& text, const std::string& valueName);

// 0x0080FF -> "#FF8000". Only the low 24 bits count.
std::string ColorToHtml(std::int32_t colour);

} // namespace Profiles
