#include "samples/Samples.h"

#include <gtest/gtest.h>

#include "analysis/FullAnalysis.h"
#include "analysis/MP3Tools.h"
#include "tests/support/TempDir.h"

// The samples are what a new user sees first: each must be read the way its
// description promises, and the broken one must be reported as invalid; full
// analysis reads the titles the classic reading misses, the wave file, and
// the varying rate of the file without "Xing" header.
TEST(BundledSamples, ProbeAndTagReadAsDescribed)
{
    TestSupport::TempDir dir("sonorix-samples");
    const auto samples = Samples::BuildSamples();
    const auto paths = Samples::WriteSamples(dir.Path());
    ASSERT_EQ(paths.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Samples::SampleFile& sample = samples[i];
        SCOPED_TRACE(sample.RelativePath);
        MP3Tools::AudioFileInfo info;
        MP3Tools::ProbeAudioFile(info, paths[i]);
        EXPECT_EQ(info.Valid, sample.Valid);
        if (sample.Valid) {
            EXPECT_EQ(info.VariableBitrate, sample.VariableBitrate);
            EXPECT_EQ(info.RiffWrapped, sample.RiffWrapped);
            EXPECT_NE(info.DurationSeconds, "");
        }
        MP3Tools::TagInfo tag;
        MP3Tools::ReadTag(tag, paths[i]);
        EXPECT_EQ(tag.Tagged, sample.Tagged);
        EXPECT_EQ(tag.Title, sample.Title);

        MP3Tools::AudioFileInfo full;
        MP3Tools::TagInfo fullTag;
        FullAnalysis::ProbeFile(full, fullTag, -1, nullptr, paths[i]);
        EXPECT_EQ(full.Valid, sample.FullValid);
        EXPECT_EQ(fullTag.Title, sample.FullTitle);
        EXPECT_EQ(full.VariableBitrate, sample.FullVariableBitrate);
    }
}
