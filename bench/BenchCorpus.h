#pragma once

// The benchmark corpus: a few seed files encoded by an external MP3 encoder
// from PCM we generate ourselves, copied many times into a nested folder tree,
// each copy with an ID3v1 tag of its own.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Bench {

// How one seed is encoded: the encoder's options beside the raw-input ones.
struct SeedSetting
{
    std::string Name{};
    std::vector<std::string> EncoderOptions{};
    int SampleRate = 44100;
    int Channels = 2;
    double Seconds = 3.0;
};

const std::vector<SeedSetting>& SeedSettings();

// Signed 16-bit little-endian PCM: a chirp on the first channel and a slowly
// beating sine on the second, shaped by the seed number so seeds differ.
std::vector<std::uint8_t> MakePcm(const SeedSetting& setting, int seedNumber);

// Options for the encoder beside a seed's own, by seed number.
using SeedExtraOptions = std::function<std::vector<std::string>(int seedNumber)>;

// Encodes one seed as seedDir/<name>.v<version>.mp3 unless it is there
// already, with extraOptions after the setting's own, and returns its
// contents. Throws std::runtime_error when the encoder cannot be run or fails.
std::vector<std::uint8_t> EncodeSeed(const std::string& seedDir, const std::string& encoder,
                                     const SeedSetting& setting, int seedNumber, int version,
                                     const std::vector<std::string>& extraOptions);

// Encodes every seed that seedDir does not hold yet as <name>.v<version>.mp3
// (the folder is a cache kept between runs; version names what the seeds
// are made of), with extraOptions after each seed's own, and returns the
// contents of all seeds. Throws std::runtime_error when the encoder cannot
// be run or fails.
std::vector<std::vector<std::uint8_t>> EncodeSeeds(const std::string& seedDir,
                                                   const std::string& encoder, int version,
                                                   const SeedExtraOptions& extraOptions);

// The seeds of the main corpus: EncodeSeeds without extra options.
std::vector<std::vector<std::uint8_t>> MakeSeeds(const std::string& seedDir,
                                                 const std::string& encoder);

// A hash of the seeds' sizes and bytes, for the stamps of corpora made of them.
std::uint64_t SeedsFingerprint(const std::vector<std::vector<std::uint8_t>>& seeds);

// A 128-byte ID3v1.1 tag for corpus file number index.
std::array<std::uint8_t, 128> MakeTag(int index);

struct CorpusShape
{
    int Files = 20000;
    int Folders = 125;
};

// Folders 1..Folders form a tree with five sub-folders per folder; folder 0
// is the corpus root. Gives the path of a folder below the root, such as
// "d002/d008/d036".
std::string FolderPath(int folderNumber);

// Writes the corpus below dir unless a stamp beside it says that the same
// shape was already built from the same seeds. Returns true when it wrote.
// Throws std::runtime_error naming the file that could not be written.
bool BuildCorpus(const std::string& dir, const CorpusShape& shape,
                 const std::vector<std::vector<std::uint8_t>>& seeds);

// Writes one corpus file at path from seed, as file number index.
using CorpusFileWriter =
    std::function<void(const std::string& path, const std::vector<std::uint8_t>& seed, int index)>;

// BuildCorpus with a stamp text and a way of writing each file of its own.
bool BuildCorpusWith(const std::string& dir, const CorpusShape& shape,
                     const std::vector<std::vector<std::uint8_t>>& seeds,
                     const std::string& stampText, const CorpusFileWriter& writeFile);

// Files per folder of a linked tree, about as many as in the corpus.
inline constexpr int kLinkedFilesPerFolder = 160;

// Writes count seed files for linked trees into dir (each an encoded seed in
// turn, with a tag of its own, or as writeFile writes it) and gives their
// paths.
std::vector<std::string> WriteLinkSeeds(const std::string& dir,
                                        const std::vector<std::vector<std::uint8_t>>& seeds,
                                        int count, const CorpusFileWriter& writeFile = {});

// Trees of hard links to the link seeds (file i links to seed i modulo
// their number), as large as sizes says (ascending), each tree inside the
// next one, so the largest costs no more entries than it has files: a
// collection of a million files in a minute or two, whose rows begin alike
// for all files of one seed. Gives the folders of the trees, smallest first;
// reuses trees whose stamp says that they have these sizes and seeds, and
// sets built when it wrote. Throws std::runtime_error naming what failed.
std::vector<std::string> BuildLinkedTrees(const std::string& dir, const std::vector<int>& sizes,
                                          const std::vector<std::string>& seedFiles, bool& built);

// The whole of a file, and a file written whole; they throw
// std::runtime_error naming the file.
std::vector<std::uint8_t> ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes);
// A corpus file: seed with tag behind it.
void WriteCorpusFile(const std::string& path, const std::vector<std::uint8_t>& seed,
                     const std::array<std::uint8_t, 128>& tag);

// The --columns argument that selects all twenty columns.
std::string AllCaptions();

} // namespace Bench
