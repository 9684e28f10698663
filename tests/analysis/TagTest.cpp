#include <cstdint>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "analysis/MP3Tools.h"
#include "samples/Mp3Builder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

using namespace MP3Tools;
using testing::AllOf;
using testing::Each;
using testing::Gt;
using testing::Le;
using testing::SizeIs;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;

namespace {

class TagTest : public testing::Test
{
protected:
    // A file of size bytes whose last 128 bytes are tag.
    TagInfo Read(const Mp3Builder& tag, std::size_t size = 4096)
    {
        Mp3Builder file;
        file.Frame().PadTo(size - tag.Size()).Bytes(tag.Data());
        const std::string path = m_dir.File("tagged.mp3");
        file.Write(path);
        TagInfo info;
        ReadTag(info, path);
        return info;
    }

    TagInfo Read(const Id3v1Fields& shape, std::size_t size = 4096)
    {
        Mp3Builder tag;
        tag.Id3v1(shape);
        return Read(tag, size);
    }

    TestSupport::TempDir m_dir;
};

} // namespace

TEST_F(TagTest, ReadsEveryField)
{
    const TagInfo tag = Read(Id3v1Fields{.Title = "Title",
                                         .Artist = "Artist",
                                         .Album = "Album",
                                         .Year = "1999",
                                         .Comment = "Comment",
                                         .Track = 7,
                                         .Genre = 17});
    EXPECT_EQ(tag, (TagInfo{.TagId = "TAG",
                            .Title = "Title",
                            .Artist = "Artist",
                            .Album = "Album",
                            .Year = "1999",
                            .Comment = "Comment",
                            .Genre = "Rock",
                            .Track = "7",
                            .Tagged = true}));
}

TEST_F(TagTest, MarkerInAnyLetterCaseIsKeptAsRead)
{
    const char* markers[] = {"tag", "Tag", "tAG"};
    for (const char* marker : markers) {
        SCOPED_TRACE(marker);
        const TagInfo tag = Read(Id3v1Fields{.Marker = marker, .Title = "x"});
        EXPECT_TRUE(tag.Tagged);
        EXPECT_EQ(tag.TagId, marker);
        EXPECT_EQ(tag.Title, "x");
    }
    EXPECT_FALSE(Read(Id3v1Fields{.Marker = "TAH", .Title = "x"}).Tagged);
}

TEST_F(TagTest, TextsAreTrimmedOfCodesUpTo32)
{
    const std::pair<std::string, std::string> rows[] = {
        {std::string(30, ' '), ""},
        {"Song", "Song"},
        {"  Two  words \t\r\n", "Two  words"},
        {std::string("\x01\x1F"
                     "a\x00\x00"
                     "b",
                     7),
         "a  b"},                                           // inner zero bytes read as blanks
        {"\xC3\xA9t\xC3\xA9\xA0", "\xC3\xA9t\xC3\xA9\xA0"}, // bytes above 127 stay
        {std::string(30, 'x'), std::string(30, 'x')}};
    for (const auto& [stored, read] : rows) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(Read(Id3v1Fields{.Title = stored}).Title, read);
    }
}

TEST_F(TagTest, TrackFormTakesTheLastTwoCommentBytes)
{
    struct Row
    {
        std::uint8_t byte126, byte127;
        const char* track;
        const char* comment;
    };

    // Comment bytes 98-125 are "abc" and blanks up to a final "z" at 125.
    const Row rows[] = {
        {0x00, 7, "7", "abc                        z"},
        {0x20, 7, "7", "abc                        z"},
        {0x00, 0, "", "abc                        z"},
        {0x00, 30, "30", "abc                        z"},
        {0x00, 31, "", "abc                        z"},
        {0x00, 1, "1", "abc                        z"},
        {'x', 7, "-", "abc                        zx"}, // the track byte 7 is trimmed
        {0x01, 0, "-", "abc                        z"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << int{row.byte126} << ' ' << int{row.byte127});
        Mp3Builder tag;
        tag.Id3v1(Id3v1Fields{.Comment = "abc"});
        tag.Data()[97 + 27] = 'z';
        tag.Data()[125] = row.byte126;
        tag.Data()[126] = row.byte127;
        const TagInfo info = Read(tag);
        EXPECT_EQ(info.Track, row.track);
        EXPECT_EQ(info.Comment, row.comment);
    }
}

TEST_F(TagTest, GenreByteNamesAnEntryUpTo148)
{
    const std::pair<int, const char*> rows[] = {
        {0, "Blues"},      {14, "R&B"}, {123, "A capella"}, {132, "BritPop"}, {133, "Negerpunk"},
        {147, "Synthpop"}, {148, "-"},  {149, "-"},         {255, "-"}};
    for (const auto& [genre, name] : rows) {
        SCOPED_TRACE(genre);
        EXPECT_EQ(GenreName(static_cast<std::uint8_t>(genre)), name);
        EXPECT_EQ(Read(Id3v1Fields{.Genre = static_cast<std::uint8_t>(genre)}).Genre, name);
    }
    // Between those, every entry names something in at most 25 characters.
    EXPECT_THAT(kGenres, Each(SizeIs(AllOf(Gt(0U), Le(25U)))));
}

// The genre names as the encoder on this machine lists them ("  17 Rock", one
// per line, in its own order); our table keeps a few older spellings.
TEST_F(TagTest, GenreNamesAreTheEncodersExceptOurOlderSpellings)
{
    const std::string scratch = m_dir.File("scratch");
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    const auto run = TestSupport::RunProgram("/usr/bin/env", {"lame", "--genre-list"}, scratch);
    if (run.Status != 0) {
        GTEST_SKIP() << "no lame encoder here";
    }
    std::map<std::size_t, std::string> listed;
    std::istringstream lines(run.Out + run.Err);
    std::size_t number = 0;
    std::string name;
    while (lines >> number && std::getline(lines >> std::ws, name)) {
        listed[number] = name;
    }
    ASSERT_EQ(listed.size(), 148U);

    const std::map<std::size_t, std::pair<const char*, const char*>> spellings = {
        {40, {"AlternRock", "Alternative Rock"}},
        {64, {"Native American", "Native US"}},
        {81, {"Folk/Rock", "Folk-Rock"}},
        {84, {"Fast-Fusion", "Fast Fusion"}},
        {123, {"A capella", "A Cappella"}},
        {136, {"Christian Gangsta Rap", "Christian Gangsta"}},
        {144, {"Trash Metal", "Thrash Metal"}},
        {146, {"Jpop", "JPop"}},
        {147, {"Synthpop", "SynthPop"}},
    };
    for (const auto& [genre, encoderName] : listed) {
        SCOPED_TRACE(genre);
        ASSERT_LT(genre, 148U);
        const auto older = spellings.find(genre);
        if (older == spellings.end()) {
            EXPECT_EQ(kGenres[genre], encoderName);
        } else {
            EXPECT_EQ(kGenres[genre], older->second.first);
            EXPECT_EQ(encoderName, older->second.second);
        }
    }
}

TEST_F(TagTest, FilesBelow2048BytesAreUntagged)
{
    Mp3Builder tag;
    tag.Id3v1(Id3v1Fields{.Title = "x"});
    EXPECT_FALSE(Read(tag, 2047).Tagged);
    EXPECT_TRUE(Read(tag, 2048).Tagged);
    EXPECT_EQ(Read(tag, 2047), TagInfo{});
}

TEST_F(TagTest, ReadResetsAnEarlierRecord)
{
    TagInfo tag{.Title = "old", .Tagged = true};
    ReadTag(tag, m_dir.File("missing.mp3"));
    EXPECT_EQ(tag, TagInfo{});
}
