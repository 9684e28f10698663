#include "analysis/FullAnalysis.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4atom.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>
#include <taglib/opusfile.h>
#include <taglib/taglib.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xingheader.h>
#include <taglib/xiphcomment.h>
#include <typeinfo>
#include <utility>
#include <vector>

#include "analysis/internal/FileAccess.h"
#include "analysis/internal/FreeFormat.h"
#include "analysis/internal/OpenProbe.h"

namespace FullAnalysis {

namespace {

using MP3Tools::AudioFileInfo;
using MP3Tools::TagInfo;
using MP3Tools::Detail::ByteWindow;
using MP3Tools::Detail::ReadOnlyFile;

// TagLib's complaints about damaged files would land on the terminal between
// the progress lines; a damaged file shows in the list instead.
class SilentDebugListener final : public TagLib::DebugListener
{
public:
    void printMessage(const TagLib::String&) override {}
};

void SilenceTagLib()
{
    static SilentDebugListener listener;
    static const bool silenced = [] {
        TagLib::setDebugListener(&listener);
        return true;
    }();
    static_cast<void>(silenced);
}

// Reads of at most this many bytes go through the window, which reads a
// little ahead for the looks that follow (TagLib reads a frame header, then
// the next, then a block behind them); larger ones (a tag with cover art) go
// to the file at once.
constexpr std::size_t kWindowRead = 16 * 1024;
constexpr std::int64_t kReadAhead = 32 * 1024;
// Larger reads up to this size reuse the thread's memory (see KeptBytes).
constexpr std::size_t kKeptRead = 1024 * 1024;
// The end of the file, read once: the ID3v1 tag and an APE footer before it.
constexpr std::int64_t kTailBytes = 1024;
constexpr std::int64_t kPage = 4096;

using MP3Tools::Detail::BigEndian32;
using MP3Tools::Detail::SyncSafe32;

// An ID3v2 frame id as TagLib accepts one: four capital letters or digits.
bool IsFrameId(const std::uint8_t* bytes)
{
    return std::all_of(bytes, bytes + 4, [](std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// Frames no cell is taken from that hold large objects: a picture, or any
// file. TagLib is handed zeros for their contents, which it keeps unparsed.
bool IsLargeObjectFrame(const std::uint8_t* id)
{
    return std::memcmp(id, "APIC", 4) == 0 || std::memcmp(id, "GEOB", 4) == 0;
}

// The file as TagLib reads it and as our own looks read it: one open file,
// whose bytes are taken from what was read already (the window over the
// head of the file, which the classic probe filled, and the tail) where
// they are held, else read through the same descriptor. No way to write,
// and a read error is kept for the caller rather than taken for the end of
// the file.
class HeldStream final : public TagLib::IOStream
{
public:
    HeldStream(const ReadOnlyFile& file, ByteWindow& window) : m_file(file), m_window(window) {}

    // Copies up to count bytes at offset into dest and gives the number
    // copied: fewer only where the file ends. Throws IoError.
    std::size_t Read(std::int64_t offset, std::uint8_t* dest, std::size_t count)
    {
        if (offset < 0 || offset >= m_file.Size()) {
            return 0;
        }
        count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(count), m_file.Size() - offset));
        const std::uint8_t* held = HeldAt(offset, count);
        if (held == nullptr && count <= kWindowRead) {
            held = m_window.Fetch(offset, count, offset + kReadAhead);
        }
        if (held != nullptr) {
            std::memcpy(dest, held, count);
            return count;
        }
        return m_file.ReadAt(offset, dest, count);
    }

    // The count bytes at offset when the window holds them, else nullptr;
    // never reads.
    const std::uint8_t* HeldInWindow(std::int64_t offset, std::size_t count) const
    {
        return m_window.Held(offset, count);
    }

    // Makes the window hold [offset, offset + count) when it fits.
    void Hold(std::int64_t offset, std::size_t count)
    {
        if (offset >= 0 && offset + static_cast<std::int64_t>(count) <= m_file.Size()) {
            static_cast<void>(
                m_window.Fetch(offset, count, offset + static_cast<std::int64_t>(count)));
        }
    }

    // The ID3v2.3 or 2.4 tag at the start of the file, which TagLib reads in
    // one block behind its header, is read without the contents of its
    // large pictures and objects (zeros instead): cover art would otherwise
    // be most of what a full reading of the file reads. Only when nothing
    // about the tag leaves room for doubt: no unsynchronisation, no extended
    // header, and every frame up to the last one left out followed by the
    // next frame's id where its size says (TagLib also tries a size written
    // the ID3v2.3 way in a 2.4 tag, where it does not find one).
    void LeaveLargeObjectsUnread()
    {
        std::array<std::uint8_t, 10> header{};
        if (Read(0, header.data(), header.size()) != header.size() ||
            std::memcmp(header.data(), "ID3", 3) != 0 || (header[3] != 3 && header[3] != 4) ||
            (header[5] & 0xC0) != 0) {
            return;
        }
        m_tagBody = TagBody{.Size = SyncSafe32(header.data() + 6), .Version = header[3]};
    }

    TagLib::FileName name() const override { return m_file.Path().c_str(); }

    TagLib::ByteVector readBlock(unsigned long length) override
    {
        if (m_error || m_position >= m_file.Size()) {
            return {};
        }
        // No more than the file holds, nor than one ByteVector can: a damaged
        // size field may ask for anything.
        const auto count = static_cast<unsigned int>(
            std::min({static_cast<std::int64_t>(std::min<unsigned long>(length, UINT_MAX)),
                      m_file.Size() - m_position}));
        try {
            return TakeBytes(count);
        } catch (...) {
            // Exceptions must not pass through TagLib's code.
            m_error = std::current_exception();
            return {};
        }
    }

    void writeBlock(const TagLib::ByteVector&) override {}

    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}

    void removeBlock(unsigned long, unsigned long) override {}

    bool readOnly() const override { return true; }

    bool isOpen() const override { return true; }

    void seek(long offset, Position from) override
    {
        std::int64_t base = 0;
        if (from == Current) {
            base = m_position;
        } else if (from == End) {
            base = m_file.Size();
        }
        m_position = std::max<std::int64_t>(0, base + offset);
    }

    long tell() const override { return static_cast<long>(m_position); }

    long length() override { return static_cast<long>(m_file.Size()); }

    void truncate(long) override {}

    // Throws what a read threw.
    void RethrowReadError() const
    {
        if (m_error) {
            std::rethrow_exception(m_error);
        }
    }

private:
    // The memory of the first large read of a file (a tag with cover art),
    // kept by the thread from file to file rather than allocated and
    // cleared for each: once the previous file's objects have let go of it,
    // it is this file's alone.
    static TagLib::ByteVector& KeptBytes()
    {
        thread_local TagLib::ByteVector bytes;
        return bytes;
    }

    // The count bytes at the position (fewer where the file ends), which
    // moves past them. Each ByteVector is made once, and returned without a
    // copy: TagLib's allocate even when empty, and on every copy.
    TagLib::ByteVector TakeBytes(unsigned int count)
    {
        const std::int64_t offset = m_position;
        if (const std::uint8_t* held = HeldAt(offset, count)) {
            m_position += count;
            return {reinterpret_cast<const char*>(held), count};
        }
        const bool tagBody = m_tagBody && offset == 10 && count == m_tagBody->Size;
        const auto fill = [&](TagLib::ByteVector& bytes) {
            auto* dest = reinterpret_cast<std::uint8_t*>(bytes.data());
            bytes.resize(static_cast<unsigned int>(tagBody ? ReadTagBody(dest, count)
                                                           : Read(offset, dest, count)));
            m_position += bytes.size();
        };
        if (count > kWindowRead && count <= kKeptRead && !m_keptUsed) {
            // TagLib keeps parts of a tag it read (a picture) as long as
            // the file's objects live; they end before the next file.
            m_keptUsed = true;
            TagLib::ByteVector& kept = KeptBytes();
            kept.resize(count);
            fill(kept);
            return kept;
        }
        TagLib::ByteVector bytes(count, '\0');
        fill(bytes);
        return bytes;
    }

    // The tag's body (count bytes from offset 10) into dest, with the
    // contents of its large objects zeros; the bytes put there. Frames are
    // followed as TagLib follows them until a frame leaves any doubt, from
    // where everything is read.
    std::size_t ReadTagBody(std::uint8_t* dest, std::size_t count)
    {
        constexpr std::int64_t kBody = 10;
        constexpr std::size_t kPiece = 4096;
        constexpr std::uint32_t kLeftOut = 16 * 1024; // smaller objects cost no read of their own
        std::size_t settled = 0; // dest[0, settled) holds the file's bytes or zeros
        const auto settle = [&](std::size_t end) {
            if (end > settled) {
                const std::size_t want = std::min(count, std::max(end, settled + kPiece)) - settled;
                settled +=
                    ReadPiece(kBody + static_cast<std::int64_t>(settled), dest + settled, want);
            }
            return settled >= end;
        };
        for (std::size_t at = 0; at + 10 <= count && settle(at + 10);) {
            const std::uint8_t* frame = dest + at;
            if (!IsFrameId(frame)) {
                break; // padding, or something TagLib makes out by itself
            }
            const std::uint32_t size =
                m_tagBody->Version == 4 ? SyncSafe32(frame + 4) : BigEndian32(frame + 4);
            const std::size_t end = at + 10 + size;
            const bool leftOut = IsLargeObjectFrame(frame) && size >= kLeftOut;
            if (end > count) {
                break;
            }
            // Where fewer than four bytes follow, TagLib finds no id behind
            // either size and keeps this one (the other is larger).
            if (m_tagBody->Version == 4 && size > 127 && end + 4 <= count) {
                std::array<std::uint8_t, 4> next{};
                const bool held = leftOut ? Read(kBody + static_cast<std::int64_t>(end),
                                                 next.data(), next.size()) == next.size()
                                          : settle(end + 4);
                if (!held || !IsFrameId(leftOut ? next.data() : dest + end)) {
                    break;
                }
            }
            if (leftOut && end > settled) {
                std::memset(dest + settled, 0, end - settled);
                settled = end;
            }
            at = end;
        }
        settle(count);
        return settled;
    }

    // The count bytes at offset (within the file) into dest: those the window
    // holds copied, the rest read at once, without the window's read-ahead
    // (what follows may be left unread).
    std::size_t ReadPiece(std::int64_t offset, std::uint8_t* dest, std::size_t count)
    {
        std::size_t held = 0;
        for (std::size_t step = count; step > 0; step /= 2) {
            while (held + step <= count && m_window.Held(offset, held + step) != nullptr) {
                held += step;
            }
        }
        if (held > 0) {
            std::memcpy(dest, m_window.Held(offset, held), held);
        }
        if (held == count) {
            return count;
        }
        return held +
               m_file.ReadAt(offset + static_cast<std::int64_t>(held), dest + held, count - held);
    }

    // The count bytes at offset when the window or the tail holds them; the
    // tail is read on the first look into it. Never past the end.
    const std::uint8_t* HeldAt(std::int64_t offset, std::size_t count)
    {
        if (const std::uint8_t* held = m_window.Held(offset, count)) {
            return held;
        }
        // The tail stays within the page of the ID3v1 tag and those behind
        // it, which a file not in memory yet has asked for with its head.
        const std::int64_t size = m_file.Size();
        const std::int64_t tailStart = std::max<std::int64_t>(
            {0, size - kTailBytes, std::max<std::int64_t>(0, size - 128) / kPage * kPage});
        const auto end = offset + static_cast<std::int64_t>(count);
        if (offset < tailStart || end > size) {
            return nullptr;
        }
        if (!m_tailRead) {
            m_tailRead = true;
            m_tailStart = tailStart;
            m_tailLength =
                m_file.ReadAt(tailStart, m_tail.data(), static_cast<std::size_t>(size - tailStart));
        }
        return end <= m_tailStart + static_cast<std::int64_t>(m_tailLength)
                   ? m_tail.data() + (offset - m_tailStart)
                   : nullptr;
    }

    struct TagBody
    {
        std::uint32_t Size = 0;
        int Version = 0;
    };

    const ReadOnlyFile& m_file;
    ByteWindow& m_window;
    std::optional<TagBody> m_tagBody{};
    std::int64_t m_position = 0;
    std::exception_ptr m_error{};
    bool m_keptUsed = false;
    bool m_tailRead = false;
    std::int64_t m_tailStart = 0;
    std::size_t m_tailLength = 0;
    std::array<std::uint8_t, kTailBytes> m_tail{};
};

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlankOrControl(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankOrControl(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string Utf8Of(const TagLib::String& text)
{
    // Most texts are ASCII, which is its own UTF-8: taken as it is, without
    // the buffers of TagLib's conversion.
    std::string bytes;
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; })) {
        bytes.resize(text.size());
        std::transform(text.begin(), text.end(), bytes.begin(),
                       [](wchar_t c) { return static_cast<char>(c); });
    } else {
        bytes = text.to8Bit(true);
    }
    const auto last = std::find_if_not(bytes.rbegin(), bytes.rend(), IsBlankOrControl);
    bytes.erase(last.base(), bytes.end());
    bytes.erase(bytes.begin(), std::find_if_not(bytes.begin(), bytes.end(), IsBlankOrControl));
    return bytes;
}

// Players write technical comments of their own ("iTunNORM", "iTunSMPB", ...)
// that no listener wants to read in a list.
bool IsTechnicalComment(const TagLib::ID3v2::CommentsFrame& frame)
{
    return frame.description().to8Bit(true).rfind("iTun", 0) == 0;
}

// The ids of the ID3v2.3 and ID3v2.4 frames the cells are taken from (see
// Id3v2Frames), and those TagLib renames to one of them as it reads them
// ("TYER" of ID3v2.3, "TRDC" of old TagLib versions, both to "TDRC").
constexpr std::array<std::string_view, 7> kCellFrames = {"TIT2", "TPE1", "TALB", "COMM",
                                                         "TCON", "TDRC", "TRCK"};
constexpr std::array<std::string_view, 2> kRenamedCellFrames = {"TYER", "TRDC"};

template <std::size_t N>
bool IsOneOf(std::string_view id, const std::array<std::string_view, N>& ids)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Reads an MPEG file's ID3v2 tag with every frame no cell is taken from
// left unparsed: TagLib keeps such a frame as an unknown one of the same id
// and size, so the frames behind it are read as before, and decoding the
// texts, pictures and the like nobody reads was most of the work of
// reading a tag. Frames of ID3v2.2 get their four-letter ids in the
// factory's own step first and are all parsed.
class CellFrameFactory final : public TagLib::ID3v2::FrameFactory
{
    // TagLib lets only frames name the header type its factory hands on.
    struct FrameHeaderName : TagLib::ID3v2::Frame
    {
        using Type = Frame::Header;
    };

public:
    static CellFrameFactory* Instance()
    {
        static CellFrameFactory factory;
        return &factory;
    }

protected:
    bool updateFrame(FrameHeaderName::Type* header) const override
    {
        if (header->version() < 3) {
            return FrameFactory::updateFrame(header);
        }
        const TagLib::ByteVector id = header->frameID();
        const std::string_view text(id.data(), id.size());
        // TagLib's own step neither renames nor declines a cell's frame; it
        // only renames those that become one.
        if (IsOneOf(text, kCellFrames)) {
            return true;
        }
        return IsOneOf(text, kRenamedCellFrames) && FrameFactory::updateFrame(header);
    }
};

// The frame lists of an ID3v2 tag that the list's fields come from, each
// nullptr when the tag has no such frame. Found in one pass over the tag's
// frame map: its own getters build a key anew for each look-up and add an
// empty list for every frame the tag lacks.
struct Id3v2Frames
{
    const TagLib::ID3v2::FrameList* Title = nullptr;
    const TagLib::ID3v2::FrameList* Artist = nullptr;
    const TagLib::ID3v2::FrameList* Album = nullptr;
    const TagLib::ID3v2::FrameList* Comment = nullptr;
    const TagLib::ID3v2::FrameList* Genre = nullptr;
    const TagLib::ID3v2::FrameList* Date = nullptr;
    const TagLib::ID3v2::FrameList* Track = nullptr;
};

Id3v2Frames FramesOf(const TagLib::ID3v2::Tag& tag)
{
    Id3v2Frames found;
    const std::pair<const char*, const TagLib::ID3v2::FrameList**> wanted[] = {
        {"TIT2", &found.Title},   {"TPE1", &found.Artist}, {"TALB", &found.Album},
        {"COMM", &found.Comment}, {"TCON", &found.Genre},  {"TDRC", &found.Date},
        {"TRCK", &found.Track}};
    for (const auto& [id, frames] : tag.frameListMap()) {
        if (id.size() != 4 || frames.isEmpty()) {
            continue;
        }
        const char* bytes = id.data();
        for (const auto& [name, slot] : wanted) {
            if (std::memcmp(bytes, name, 4) == 0) {
                *slot = &frames;
            }
        }
    }
    return found;
}

// The text of the first of frames, as Frame::toString() gives it: a text
// frame's fields joined by blanks, taken without a copy when there is only
// one.
TagLib::String FirstText(const TagLib::ID3v2::FrameList* frames)
{
    if (frames == nullptr) {
        return {};
    }
    const TagLib::ID3v2::Frame& frame = *frames->front();
    if (typeid(frame) == typeid(TagLib::ID3v2::TextIdentificationFrame)) {
        const TagLib::StringList fields =
            static_cast<const TagLib::ID3v2::TextIdentificationFrame&>(frame).fieldList();
        if (fields.size() == 1) {
            return fields.front();
        }
    }
    return frame.toString();
}

// The genre of an ID3v2 tag as ID3v2::Tag::genre() gives it, from its genre
// frames: the fields of the first, numbers from 0 to 255 read as ID3v1
// genres (none for a number past the list), empty fields left out, each
// text once, joined by blanks.
TagLib::String GenreOf(const TagLib::ID3v2::FrameList* frames)
{
    const auto* frame =
        frames != nullptr
            ? dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames->front())
            : nullptr;
    if (frame == nullptr) {
        return {};
    }
    const auto nameOf = [](const TagLib::String& field) {
        bool number = false;
        const int value = field.toInt(&number);
        return number && value >= 0 && value <= 255 ? TagLib::ID3v1::genre(value) : field;
    };
    const TagLib::StringList fields = frame->fieldList();
    if (fields.size() == 1) {
        return fields.front().isEmpty() ? TagLib::String() : nameOf(fields.front());
    }
    TagLib::StringList genres;
    for (const TagLib::String& field : fields) {
        if (field.isEmpty()) {
            continue;
        }
        const TagLib::String name = nameOf(field);
        if (std::find(genres.begin(), genres.end(), name) == genres.end()) {
            genres.append(name);
        }
    }
    return genres.toString();
}

// The first comment of an ID3v2 tag's comment frames that is no technical
// one and holds a text.
std::string CommentOf(const TagLib::ID3v2::FrameList* frames)
{
    if (frames == nullptr) {
        return {};
    }
    for (const TagLib::ID3v2::Frame* frame : *frames) {
        const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment != nullptr && !IsTechnicalComment(*comment)) {
            std::string text = Utf8Of(comment->text());
            if (!text.empty()) {
                return text;
            }
        }
    }
    return {};
}

// The "DATE" and "TRACKNUMBER" texts of TagLib's generic property map of a
// tag (Tag::properties() is not virtual): its year and track number as
// numbers, none when 0. Asked for directly, no map is made.
std::string NumberText(unsigned int number)
{
    return number != 0 ? std::to_string(static_cast<int>(number)) : std::string();
}

// The fields of a tag as its getters give them, each one only while it is
// still empty.
void FillEmptyFields(TagInfo& info, const TagLib::Tag& tag)
{
    const auto* id3v2 = dynamic_cast<const TagLib::ID3v2::Tag*>(&tag);
    if (id3v2 == nullptr) {
        if (info.Title.empty()) {
            info.Title = Utf8Of(tag.title());
        }
        if (info.Artist.empty()) {
            info.Artist = Utf8Of(tag.artist());
        }
        if (info.Album.empty()) {
            info.Album = Utf8Of(tag.album());
        }
        if (info.Comment.empty()) {
            info.Comment = Utf8Of(tag.comment());
        }
        if (info.Genre.empty()) {
            info.Genre = GenreText(Utf8Of(tag.genre()));
        }
        if (info.Year.empty()) {
            info.Year = YearText(NumberText(tag.year()));
        }
        if (info.Track.empty()) {
            info.Track = TrackText(NumberText(tag.track()));
        }
        return;
    }
    // The same reading as the getters of an ID3v2 tag, from its frame map.
    const Id3v2Frames frames = FramesOf(*id3v2);
    if (info.Title.empty()) {
        info.Title = Utf8Of(FirstText(frames.Title));
    }
    if (info.Artist.empty()) {
        info.Artist = Utf8Of(FirstText(frames.Artist));
    }
    if (info.Album.empty()) {
        info.Album = Utf8Of(FirstText(frames.Album));
    }
    if (info.Comment.empty()) {
        info.Comment = CommentOf(frames.Comment);
    }
    if (info.Genre.empty()) {
        info.Genre = GenreText(Utf8Of(GenreOf(frames.Genre)));
    }
    if (info.Year.empty()) {
        info.Year = YearText(
            NumberText(static_cast<unsigned int>(FirstText(frames.Date).substr(0, 4).toInt())));
    }
    if (info.Track.empty()) {
        info.Track =
            TrackText(NumberText(static_cast<unsigned int>(FirstText(frames.Track).toInt())));
    }
}

// The fields of the tags in their order of precedence: each field from the
// first tag that holds it. A tag is not looked at once every field is
// filled.
void FillTag(TagInfo& info, std::initializer_list<const TagLib::Tag*> tags)
{
    const auto complete = [&info] {
        return !info.Title.empty() && !info.Artist.empty() && !info.Album.empty() &&
               !info.Comment.empty() && !info.Genre.empty() && !info.Year.empty() &&
               !info.Track.empty();
    };
    for (const TagLib::Tag* tag : tags) {
        if (tag != nullptr && !complete()) {
            FillEmptyFields(info, *tag);
        }
    }
    info.Tagged = !info.Title.empty() || !info.Artist.empty() || !info.Album.empty() ||
                  !info.Comment.empty() || !info.Genre.empty() || !info.Year.empty() ||
                  !info.Track.empty();
}

std::string ChannelText(int channels)
{
    switch (channels) {
    case 1:
        return "single-channel";
    case 2:
        return "stereo";
    default:
        return std::to_string(channels) + " channels";
    }
}

// The audio cells of a file TagLib has read; false when it found no audio.
bool FillAudio(AudioFileInfo& info, const TagLib::AudioProperties* properties, std::string typeName,
               std::int64_t fileSize, std::string_view decimalSeparator)
{
    if (properties == nullptr || properties->sampleRate() <= 0 || properties->channels() <= 0) {
        return false;
    }
    // A damaged stream can make TagLib's length overflow to a negative one
    // (an Ogg page with an absurd position): a length it cannot tell is 0.
    const std::int64_t milliseconds = std::max(properties->lengthInMilliseconds(), 0);
    info.FileSize = std::to_string(fileSize);
    SetPlayingTime(info, milliseconds);
    info.BitrateText = std::to_string(std::max(properties->bitrate(), 0));
    info.SampleRateHz = properties->sampleRate();
    info.SampleRateText =
        MP3Tools::SampleRateText(properties->sampleRate() / 1000.0, decimalSeparator);
    info.ModeText = ChannelText(properties->channels());
    info.TypeName = std::move(typeName);
    info.Valid = true;
    return true;
}

// TagLib 1 adds half a kbit/s to the rate an AAC track announces before it
// rounds (128,000 bit/s reads as 129): the average of its audio data to the
// nearest kbit/s instead.
void TakeAacDataRate(AudioFileInfo& info, TagLib::MP4::File& mp4, std::int64_t milliseconds)
{
#if TAGLIB_MAJOR_VERSION < 2
    const TagLib::MP4::Atoms atoms(&mp4);
    std::int64_t bytes = 0;
    for (const TagLib::MP4::Atom* atom : atoms.atoms) {
        bytes += atom->name == "mdat" && atom->length > 8 ? atom->length - 8 : 0;
    }
    if (bytes > 0 && milliseconds > 0) {
        info.BitrateText = std::to_string((bytes * 8 + milliseconds / 2) / milliseconds);
    }
#else
    static_cast<void>(info);
    static_cast<void>(mp4);
    static_cast<void>(milliseconds);
#endif
}

void TakeVendor(AudioFileInfo& info, const TagLib::Ogg::XiphComment* comment)
{
    if (comment != nullptr) {
        if (std::string vendor = Utf8Of(comment->vendorID()); !vendor.empty()) {
            info.EncoderText = std::move(vendor);
        }
    }
}

enum class Container
{
    Mpeg, // also anything not recognised: the classic reading decides
    Flac,
    Vorbis,
    Opus,
    Mp4,
    Wav
};

// What the first bytes say the file is.
Container ContainerOf(const ReadOnlyFile& file, HeldStream& stream)
{
    std::array<std::uint8_t, 64> head{};
    const std::size_t got = stream.Read(0, head.data(), head.size());
    const auto at = [&](std::size_t offset, std::string_view magic) {
        return got >= offset + magic.size() &&
               std::memcmp(head.data() + offset, magic.data(), magic.size()) == 0;
    };
    if (at(0, "fLaC")) {
        return Container::Flac;
    }
    if (at(0, "ID3") && got >= 10) {
        // A FLAC stream behind an ID3v2 tag. The window usually holds those
        // bytes already; where it does not, they are read past it, never
        // moving it: the frame search of an MPEG file reads the head of the
        // file first.
        std::int64_t behind = 10 + SyncSafe32(head.data() + 6) + ((head[5] & 0x10) != 0 ? 10 : 0);
        std::array<std::uint8_t, 4> magic{};
        const std::uint8_t* bytes = stream.HeldInWindow(behind, magic.size());
        if (bytes == nullptr && behind < file.Size() &&
            file.ReadAt(behind, magic.data(), magic.size()) == magic.size()) {
            bytes = magic.data();
        }
        return bytes != nullptr && std::memcmp(bytes, "fLaC", 4) == 0 ? Container::Flac
                                                                      : Container::Mpeg;
    }
    if (at(0, "OggS")) {
        if (at(28, "\x01vorbis")) {
            return Container::Vorbis;
        }
        if (at(28, "OpusHead")) {
            return Container::Opus;
        }
        return Container::Mpeg;
    }
    if (at(0, "RIFF") && at(8, "WAVE")) {
        return Container::Wav;
    }
    if (at(4, "ftyp")) {
        return Container::Mp4;
    }
    return Container::Mpeg;
}

// WAVE format codes of MPEG audio: the classic reading's "WavMP3".
constexpr int kWaveMpeg = 0x50;
constexpr int kWaveMpegLayer3 = 0x55;

// The codes of the classic texts for TagLib's values.
int VersionCode(TagLib::MPEG::Header::Version version)
{
    switch (version) {
    case TagLib::MPEG::Header::Version1:
        return 3;
    case TagLib::MPEG::Header::Version2:
        return 2;
    case TagLib::MPEG::Header::Version2_5:
        break;
    }
    return 0;
}

// The "Xing", "Info" or "VBRI" header in the first frame at offset, and the
// encoder's text a LAME header behind it holds. Id is empty without one.
struct VbrHeader
{
    std::string Id{};
    std::string Encoder{};
};

VbrHeader FindVbrHeader(HeldStream& stream, std::int64_t offset)
{
    // Xing and Info stand behind the side information (13 to 36 bytes from
    // the frame's start), VBRI at 36; the LAME header follows Xing's fields.
    constexpr std::size_t kLook = 200;
    std::array<std::uint8_t, kLook> bytes{};
    const std::size_t got = stream.Read(offset, bytes.data(), bytes.size());
    const auto text = [&](std::size_t at, std::size_t count) {
        return at + count <= got
                   ? std::string(reinterpret_cast<const char*>(bytes.data()) + at, count)
                   : std::string();
    };
    if (text(36, 4) == "VBRI") {
        return {.Id = "VBRI"};
    }
    for (std::size_t at = 4; at <= 36; ++at) {
        const std::string id = text(at, 4);
        if (id != "Xing" && id != "Info") {
            continue;
        }
        const std::uint8_t flags = at + 8 <= got ? bytes[at + 7] : 0;
        std::size_t lame = at + 8;
        lame += (flags & 1) != 0 ? 4 : 0;
        lame += (flags & 2) != 0 ? 4 : 0;
        lame += (flags & 4) != 0 ? 100 : 0;
        lame += (flags & 8) != 0 ? 4 : 0;
        std::string encoder = text(lame, 9);
        const bool printable = std::all_of(encoder.begin(), encoder.end(),
                                           [](char c) { return c >= 0x20 && c < 0x7F; });
        if (!printable || (encoder.rfind("LAME", 0) != 0 && encoder.rfind("Lav", 0) != 0)) {
            encoder.clear();
        }
        return {.Id = id, .Encoder = Trimmed(encoder)};
    }
    return {};
}

// What TagLib's audio properties would give from a VBR header, read from
// the first frame TagLib finds, without the search for the last frame they
// make in a file without one (its frames are looked at below instead).
struct VbrFacts
{
    int Milliseconds = 0;
    int Bitrate = 0;
    unsigned int Frames = 0;
    TagLib::MPEG::Header::Version Version = TagLib::MPEG::Header::Version1;
    int Layer = 0;
    TagLib::MPEG::Header::ChannelMode ChannelMode = TagLib::MPEG::Header::Stereo;
    int SampleRate = 0;
    std::int64_t FrameOffset = -1;
};

std::optional<VbrFacts> ReadVbrFacts(TagLib::MPEG::File& mpeg)
{
    const long first = mpeg.firstFrameOffset();
    if (first < 0) {
        return std::nullopt;
    }
    const TagLib::MPEG::Header header(&mpeg, first, false);
    mpeg.seek(first);
    const TagLib::MPEG::XingHeader xing(
        mpeg.readBlock(static_cast<unsigned long>(std::max(header.frameLength(), 0))));
    if (!xing.isValid() || xing.totalFrames() == 0 || header.samplesPerFrame() <= 0 ||
        header.sampleRate() <= 0) {
        return std::nullopt;
    }
    const double timePerFrame = header.samplesPerFrame() * 1000.0 / header.sampleRate();
    const double length = timePerFrame * xing.totalFrames();
    const double bitrate = xing.totalSize() * 8.0 / length + 0.5;
    // Rounded as TagLib rounds; a rate beyond an int is no rate.
    if (!(bitrate >= 1.0 && bitrate < 2147483648.0) || length + 0.5 >= 2147483648.0) {
        return std::nullopt;
    }
    return VbrFacts{.Milliseconds = static_cast<int>(length + 0.5),
                    .Bitrate = static_cast<int>(bitrate),
                    .Frames = xing.totalFrames(),
                    .Version = header.version(),
                    .Layer = header.layer(),
                    .ChannelMode = header.channelMode(),
                    .SampleRate = header.sampleRate(),
                    .FrameOffset = first};
}

// Length, average bit rate and frame count from a VBR header wherever the
// frame's version and channel mode put it. A file the classic reading found
// no audio in is taken when such a header proves it MPEG audio (MPEG-2 and
// 2.5 VBR files). False when the file has no such header.
bool TakeVbrHeader(AudioFileInfo& info, TagLib::MPEG::File& mpeg, HeldStream& stream,
                   std::int64_t fileSize, std::string_view decimalSeparator)
{
    const std::optional<VbrFacts> facts = ReadVbrFacts(mpeg);
    if (!facts) {
        return false;
    }
    const VbrHeader header = FindVbrHeader(stream, facts->FrameOffset);
    if (header.Id.empty()) {
        return false;
    }
    // A constant bit rate is the frames' own; an average over a few frames
    // and the tags around them would only blur it.
    const bool constantKnown = info.Valid && header.Id == "Info";
    if (!info.Valid) {
        info.FileSize = std::to_string(fileSize);
        info.VersionText = MP3Tools::VersionText(VersionCode(facts->Version));
        info.LayerText = MP3Tools::LayerText(4 - facts->Layer);
        info.ModeText = MP3Tools::ModeText(facts->ChannelMode);
        info.SampleRateHz = facts->SampleRate;
        info.SampleRateText =
            MP3Tools::SampleRateText(facts->SampleRate / 1000.0, decimalSeparator);
        info.Valid = true;
    }
    SetPlayingTime(info, facts->Milliseconds);
    if (!constantKnown) {
        info.BitrateText = std::to_string(facts->Bitrate);
    }
    info.FrameCount = std::to_string(facts->Frames);
    info.VariableBitrate = header.Id != "Info";
    if (!header.Encoder.empty()) {
        info.EncoderText = header.Encoder;
    }
    return true;
}

// The frame header the four bytes hold when it belongs to the same stream as
// first (version, layer, sampling rate), or nullopt.
std::optional<MP3Tools::FrameHeader> FrameAt(const std::uint8_t* bytes,
                                             const MP3Tools::FrameHeader& first)
{
    if (!MP3Tools::PassesSyncFilter(bytes[0], bytes[1], bytes[2])) {
        return std::nullopt;
    }
    const MP3Tools::FrameHeader header = MP3Tools::DecodeFrameHeader(bytes[1], bytes[2], bytes[3]);
    if (!MP3Tools::IsValidFrameHeader(header) || header.Version != first.Version ||
        header.Layer != first.Layer || header.SamplingIndex != first.SamplingIndex) {
        return std::nullopt;
    }
    return header;
}

// How much of the file one look at its bit rate reads, and how many looks
// spread over it tell a constant bit rate from a variable one.
constexpr std::size_t kBitrateLook = 8 * 1024;
constexpr int kBitrateSamples = 6;

// The bit rate of the first frame found at or behind offset whose successor
// follows where its length says, or 0 when none is within a few KiB.
int BitrateNear(HeldStream& stream, std::int64_t offset, const MP3Tools::FrameHeader& first)
{
    std::array<std::uint8_t, kBitrateLook> bytes; // every byte looked at is read first
    const std::size_t got = stream.Read(offset, bytes.data(), bytes.size());
    for (std::size_t at = 0; at + 4 <= got; ++at) {
        // Only a byte 0xFF starts a frame: on to the next one at once.
        const void* sync = std::memchr(bytes.data() + at, 0xFF, got - 3 - at);
        if (sync == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(sync) - bytes.data());
        const auto header = FrameAt(bytes.data() + at, first);
        if (!header) {
            continue;
        }
        const auto next = at + static_cast<std::size_t>(ExactFrameLength(*header));
        if (next + 4 <= got && FrameAt(bytes.data() + next, first)) {
            return MP3Tools::Bitrate(*header);
        }
    }
    return 0;
}

// A file without VBR header: a few frames spread over it show whether its
// bit rate varies (a constant-bit-rate file is never read whole); only then
// every frame is counted for the exact length and the average bit rate.
void CountFramesOfVariableStream(AudioFileInfo& info, const ReadOnlyFile& file, HeldStream& stream)
{
    std::array<std::uint8_t, 4> head{};
    if (info.FrameOffset < 0 || stream.Read(info.FrameOffset, head.data(), 4) != 4) {
        return;
    }
    const MP3Tools::FrameHeader first =
        MP3Tools::DecodeFrameHeader(head.at(1), head.at(2), head.at(3));
    if (!MP3Tools::IsValidFrameHeader(first)) {
        return;
    }
    const std::int64_t span = file.Size() - info.FrameOffset;
    // Where the looks would read about all of a short file anyway, it is read
    // at once.
    if (span <= static_cast<std::int64_t>(kBitrateLook) * (kBitrateSamples - 1)) {
        stream.Hold(info.FrameOffset, static_cast<std::size_t>(span));
    }
    bool varies = false;
    for (int i = 1; i < kBitrateSamples && !varies; ++i) {
        const int bitrate =
            BitrateNear(stream, info.FrameOffset + span * i / kBitrateSamples, first);
        varies = bitrate != 0 && bitrate != MP3Tools::Bitrate(first);
    }
    if (!varies) {
        return;
    }
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> bytes(kChunk);
    std::int64_t frames = 0;
    std::int64_t samples = 0;
    std::int64_t offset = info.FrameOffset;
    for (;;) {
        const std::size_t got = file.ReadAt(offset, bytes.data(), bytes.size());
        std::size_t at = 0;
        bool ended = got < 4;
        while (!ended && at + 4 <= got) {
            const auto header = FrameAt(bytes.data() + at, first);
            if (!header) {
                ended = true;
                break;
            }
            ++frames;
            samples += SamplesPerFrame(*header);
            at += static_cast<std::size_t>(ExactFrameLength(*header));
        }
        offset += static_cast<std::int64_t>(at);
        if (ended || got < bytes.size()) {
            break;
        }
    }
    const auto hertz =
        static_cast<std::int64_t>(std::lround(MP3Tools::SamplingRate(first) * 1000.0));
    const std::int64_t milliseconds = hertz > 0 ? samples * 1000 / hertz : 0;
    if (frames < 2 || milliseconds <= 0) {
        return;
    }
    SetPlayingTime(info, milliseconds);
    // Bits per millisecond are kbit/s.
    info.BitrateText = std::to_string((offset - info.FrameOffset) * 8 / milliseconds);
    info.FrameCount = std::to_string(frames);
    info.VariableBitrate = true;
}

// MPEG audio, or a RIFF file holding it (wave: the RIFF file TagLib read),
// read by the classic probe through the window, then by TagLib through
// stream, for its tags and VBR header. info and tag are the reset records.
void ProbeMpeg(AudioFileInfo& info, TagInfo& tag, HeldStream& stream, const ReadOnlyFile& file,
               ByteWindow& window, std::string_view decimalSeparator,
               const TagLib::RIFF::WAV::File* wave)
{
    MP3Tools::Detail::ProbeOpenFile(info, file, window, decimalSeparator);
    const bool counted =
        !info.Valid && wave == nullptr && ProbeByFrames(info, file, window, decimalSeparator);
    if (counted) {
        // Frames the classic reading refuses; a LAME header names the encoder.
        if (VbrHeader header = FindVbrHeader(stream, info.FrameOffset); !header.Encoder.empty()) {
            info.EncoderText = std::move(header.Encoder);
        }
    }
    if (wave != nullptr) {
        if (!info.Valid) {
            return;
        }
        // MPEG audio in a RIFF file: its ID3 chunk or INFO list, then the
        // ID3v1 tag at its end.
        TagInfo classic;
        MP3Tools::Detail::ReadTagOf(classic, file, window);
        FillTag(tag, {wave->ID3v2Tag(), wave->InfoTag()});
        if (classic.Tagged) {
            const auto keep = [](std::string& field, const std::string& text) {
                if (field.empty()) {
                    field = text;
                }
            };
            keep(tag.Title, classic.Title);
            keep(tag.Artist, classic.Artist);
            keep(tag.Album, classic.Album);
            keep(tag.Comment, classic.Comment);
            keep(tag.Year, classic.Year);
            keep(tag.Track, classic.Track);
            keep(tag.Genre, classic.Genre);
            tag.Tagged = true;
        }
        return;
    }
    // Without TagLib's audio properties: the classic probe and the VBR header
    // give the audio facts, and TagLib never scans the file for its last frame.
    stream.LeaveLargeObjectsUnread();
    TagLib::MPEG::File mpeg(&stream, CellFrameFactory::Instance(), false);
    if (mpeg.isValid() && !TakeVbrHeader(info, mpeg, stream, file.Size(), decimalSeparator) &&
        info.Valid && !counted) {
        CountFramesOfVariableStream(info, file, stream);
    }
    if (mpeg.isValid() && info.Valid) {
        FillTag(tag, {mpeg.ID3v2Tag(), mpeg.APETag(), mpeg.ID3v1Tag()});
    }
}

} // namespace

std::string GenreText(std::string_view genre)
{
    const auto genreOf = [](std::string_view digits) -> std::optional<std::string> {
        unsigned number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (digits.empty() || digits.size() > 3 || error != std::errc() ||
            end != digits.data() + digits.size() || number >= MP3Tools::kGenres.size() - 1) {
            return std::nullopt;
        }
        return MP3Tools::kGenres.at(number);
    };
    if (!genre.empty() && genre.front() == '(') {
        const std::size_t close = genre.find(')');
        if (close != std::string_view::npos) {
            const std::string_view refinement = genre.substr(close + 1);
            if (const auto name = genreOf(genre.substr(1, close - 1))) {
                return refinement.empty() ? *name : Trimmed(refinement);
            }
        }
    }
    if (const auto name = genreOf(genre)) {
        return *name;
    }
    return std::string(genre);
}

std::string YearText(std::string_view date)
{
    std::size_t run = 0;
    for (std::size_t i = 0; i < date.size(); ++i) {
        run = date[i] >= '0' && date[i] <= '9' ? run + 1 : 0;
        if (run == 4) {
            return std::string(date.substr(i - 3, 4));
        }
    }
    return {};
}

std::string TrackText(std::string_view track) { return Trimmed(track.substr(0, track.find('/'))); }

void ProbeFile(AudioFileInfo& info, TagInfo& tag, int folder, const char* name,
               const std::string& path, std::string_view decimalSeparator)
{
    SilenceTagLib();
    MP3Tools::ResetAudioFileInfo(info);
    MP3Tools::ResetTagInfo(tag);
    info.FileName = path;
    const ReadOnlyFile file = folder >= 0 ? ReadOnlyFile(folder, name, path) : ReadOnlyFile(path);
    if (!file.IsOpen()) {
        return;
    }
    ByteWindow window(file);
    HeldStream stream(file, window);
    const auto finish = [&](bool valid) {
        stream.RethrowReadError();
        if (!valid) {
            MP3Tools::ResetAudioFileInfo(info);
            MP3Tools::ResetTagInfo(tag);
            info.FileName = path;
        }
    };
    switch (ContainerOf(file, stream)) {
    case Container::Mpeg:
        ProbeMpeg(info, tag, stream, file, window, decimalSeparator, nullptr);
        return finish(info.Valid);
    case Container::Flac: {
        TagLib::FLAC::File flac(&stream, TagLib::ID3v2::FrameFactory::instance());
        const bool valid = flac.isValid() && FillAudio(info, flac.audioProperties(), "FLAC",
                                                       file.Size(), decimalSeparator);
        if (valid) {
            FillTag(tag, {flac.xiphComment(), flac.ID3v2Tag(), flac.ID3v1Tag()});
            TakeVendor(info, flac.xiphComment());
        }
        return finish(valid);
    }
    case Container::Vorbis: {
        TagLib::Ogg::Vorbis::File vorbis(&stream);
        const bool valid =
            vorbis.isValid() &&
            FillAudio(info, vorbis.audioProperties(), "Ogg Vorbis", file.Size(), decimalSeparator);
        if (valid) {
            FillTag(tag, {vorbis.tag()});
            TakeVendor(info, vorbis.tag());
        }
        return finish(valid);
    }
    case Container::Opus: {
        TagLib::Ogg::Opus::File opus(&stream);
        const bool valid = opus.isValid() && FillAudio(info, opus.audioProperties(), "Opus",
                                                       file.Size(), decimalSeparator);
        if (valid) {
            FillTag(tag, {opus.tag()});
            TakeVendor(info, opus.tag());
        }
        return finish(valid);
    }
    case Container::Mp4: {
        TagLib::MP4::File mp4(&stream);
        const TagLib::MP4::Properties* properties = mp4.audioProperties();
        bool valid = mp4.isValid() && properties != nullptr &&
                     properties->codec() != TagLib::MP4::Properties::Unknown;
        if (valid) {
            const bool alac = properties->codec() == TagLib::MP4::Properties::ALAC;
            valid =
                FillAudio(info, properties, alac ? "ALAC" : "AAC", file.Size(), decimalSeparator);
            if (valid && !alac) {
                TakeAacDataRate(info, mp4, info.DurationMilliseconds);
            }
        }
        if (valid) {
            FillTag(tag, {mp4.tag()});
        }
        return finish(valid);
    }
    case Container::Wav: {
        TagLib::RIFF::WAV::File wave(&stream);
        const TagLib::RIFF::WAV::Properties* properties = wave.audioProperties();
        // MPEG audio in a RIFF file, or one TagLib cannot make out: the
        // classic reading decides, as it always did.
        if (!wave.isValid() || properties == nullptr || properties->format() == kWaveMpeg ||
            properties->format() == kWaveMpegLayer3) {
            ProbeMpeg(info, tag, stream, file, window, decimalSeparator,
                      wave.isValid() ? &wave : nullptr);
            return finish(info.Valid);
        }
        const bool valid = FillAudio(info, properties, "WAV", file.Size(), decimalSeparator);
        if (valid) {
            FillTag(tag, {wave.ID3v2Tag(), wave.InfoTag()});
        }
        return finish(valid);
    }
    }
}

} // namespace FullAnalysis
