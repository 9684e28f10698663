// The probe over the real files of the corpus folder: no file may crash it or
// raise an error, and where it settles on the same first frame as the
// independent tools of REFERENCE.tsv, the header facts and the ID3v1 texts
// must agree with theirs.

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "analysis/MP3Tools.h"

using namespace MP3Tools;

namespace {

const std::string kCorpus = SONORIX_CORPUS_DIR;

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return cells;
        }
        start = tab + 1;
    }
}

// The reference cells escape TAB, CR, LF and backslash.
std::string Unescaped(const std::string& cell)
{
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '\\' && i + 1 < cell.size()) {
            const char next = cell[++i];
            out += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
        } else {
            out += cell[i];
        }
    }
    return out;
}

using Row = std::map<std::string, std::string>;

// Rows of a tab-separated file with a header line, as column -> cell.
std::vector<Row> ReadTable(const std::string& path)
{
    std::ifstream in(path);
    std::vector<Row> rows;
    std::string line;
    if (!std::getline(in, line)) {
        return rows;
    }
    const std::vector<std::string> columns = SplitTabs(line);
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        const std::vector<std::string> cells = SplitTabs(line);
        Row row;
        for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
            row[columns[i]] = Unescaped(cells[i]);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

// The other reader writes a year of digits with four digits ("0" as "0000").
std::string YearValue(const std::string& year)
{
    const bool digits = !year.empty() && year.find_first_not_of("0123456789") == std::string::npos;
    return digits ? std::to_string(std::stoll(year)) : year;
}

std::string ExpectedVersion(const std::string& scan)
{
    return scan == "1" ? "MPEG-1" : scan == "2" ? "MPEG-2 LSF" : scan == "2.5" ? "MPEG-2.5" : "?";
}

std::string ExpectedLayer(const std::string& scan)
{
    return scan == "1" ? "Layer-I" : scan == "2" ? "Layer-II" : scan == "3" ? "Layer-III" : "?";
}

std::string ExpectedRate(const std::string& hertz, bool variable)
{
    const std::map<std::string, std::string> texts = {
        {"44100", "44.1 kHz"}, {"48000", "48.0 kHz"}, {"32000", "32.0 kHz"},
        {"22050", "22.1 kHz"}, {"24000", "24.0 kHz"}, {"16000", "16.0 kHz"},
        {"11025", "11.0 kHz"}, {"12000", "12.0 kHz"}, {"8000", "8.0 kHz"}};
    if (variable && hertz == "22050") {
        return "22.0 kHz"; // the "Xing" path holds the rate in single precision
    }
    const auto text = texts.find(hertz);
    return text == texts.end() ? "?" : text->second;
}

class CorpusTest : public testing::Test
{
protected:
    void SetUp() override
    {
        struct stat status
        {};

        if (stat((kCorpus + "/MANIFEST.tsv").c_str(), &status) != 0) {
            GTEST_SKIP() << "no corpus at " << kCorpus;
        }
        for (auto& row : ReadTable(kCorpus + "/REFERENCE.tsv")) {
            m_reference[row["file"]] = std::move(row);
        }
    }

    std::map<std::string, Row> m_reference;
};

} // namespace

TEST_F(CorpusTest, EveryFileIsProbedAndAgreesWithTheReferenceWhereBothReadTheSameFrame)
{
    const std::vector<Row> manifest = ReadTable(kCorpus + "/MANIFEST.tsv");
    ASSERT_FALSE(manifest.empty());
    int valid = 0;
    int sameFrame = 0;
    int tagged = 0;
    for (const Row& entry : manifest) {
        const std::string& name = entry.at("path");
        SCOPED_TRACE(name);
        const std::string path = kCorpus + "/" + name;
        AudioFileInfo info;
        TagInfo tag;
        ASSERT_NO_THROW(ProbeAudioFile(info, path));
        ASSERT_NO_THROW(ReadTag(tag, path));
        EXPECT_EQ(info.FileName, path);
        valid += info.Valid ? 1 : 0;

        const auto found = m_reference.find(name);
        ASSERT_NE(found, m_reference.end()) << "no reference row";
        const Row& ref = found->second;

        if (info.Valid && std::to_string(info.FrameOffset) == ref.at("scan_first_frame_offset")) {
            ++sameFrame;
            EXPECT_EQ(info.VersionText, ExpectedVersion(ref.at("scan_version")));
            EXPECT_EQ(info.LayerText, ExpectedLayer(ref.at("scan_layer")));
            EXPECT_EQ(info.SampleRateText,
                      ExpectedRate(ref.at("scan_sample_rate"), info.VariableBitrate));
            EXPECT_EQ(info.FileSize, ref.at("size"));
        }

        std::string marker = ref.at("v1raw_marker");
        for (char& c : marker) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        const bool hasV1 = marker == "TAG" && std::stoll(ref.at("size")) >= 2048;
        EXPECT_EQ(tag.Tagged, hasV1);
        if (hasV1) {
            ++tagged;
            EXPECT_EQ(tag.TagId, ref.at("v1raw_marker"));
            EXPECT_EQ(Latin1ToUtf8(tag.Title), ref.at("v1_title"));
            EXPECT_EQ(Latin1ToUtf8(tag.Artist), ref.at("v1_artist"));
            EXPECT_EQ(Latin1ToUtf8(tag.Album), ref.at("v1_album"));
            EXPECT_EQ(YearValue(tag.Year), YearValue(ref.at("v1_year")));
        }
    }
    std::cout << "[ corpus   ] " << valid << " of " << manifest.size() << " files valid; "
              << sameFrame << " on the reference's first frame; " << tagged
              << " with an ID3v1 tag\n";
}

TEST_F(CorpusTest, FilesWithLeadingTagsRiffOrAnEmptyXingCount)
{
    struct Row
    {
        const char* file;
        bool valid;
        std::int64_t frameOffset;
        const char* frameCount;
        bool riff;
    };

    const Row rows[] = {
        // Two ID3v2 tags back to back; frames counted from the 2089 bytes behind them.
        {"taglib/duplicate_id3v2.mp3", true, 8049, "5", false},
        // The tag ends inside the first frame: the search behind it finds the second.
        {"tinytag/id3_xxx_lang.mp3", true, 4274, "5", false},
        // Also ends inside its first frame, and is below 2048 bytes.
        {"tinytag/empty_frame.mp3", false, 0, "", false},
        {"tinytag/mp3_audio.wav", true, 104, "41", true},
        // A "Xing" frame count of 0 is read as constant bit rate.
        {"mutagen/bad-xing.mp3", true, 1582, "16", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        AudioFileInfo info;
        ProbeAudioFile(info, kCorpus + "/" + row.file);
        EXPECT_EQ(info.Valid, row.valid);
        if (row.valid) {
            EXPECT_EQ(info.FrameOffset, row.frameOffset);
            EXPECT_EQ(info.FrameCount, row.frameCount);
            EXPECT_EQ(info.RiffWrapped, row.riff);
            EXPECT_FALSE(info.VariableBitrate);
        }
    }
}
