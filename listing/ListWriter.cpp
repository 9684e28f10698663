#include "listing/ListWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <optional>
#include <ostream>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "base/IoError.h"
#include "base/LongPath.h"
#include "base/Parallel.h"
#include "base/UniqueFd.h"
#include "listing/TextConversion.h"
#include "listing/internal/TemporaryFile.h"
#include "profiles/ListFormat.h"

namespace Listing {

namespace {

constexpr const char* kLineEnd = "\r\n";
// Rows made into text at a time when several threads write a list.
constexpr std::size_t kRowsPerBlock = 512;
constexpr std::size_t kRowsAhead = 4;

// Asks the processor for the bytes of row before they are read.
void PrefetchRow(const RowCells& row)
{
    const std::string_view packed = row.Packed();
    for (std::size_t at = 0; at < packed.size(); at += 64) {
        __builtin_prefetch(packed.data() + at);
    }
}

constexpr const char* kMakerAddress = "https://sonorix.example.org/";
constexpr const char* kCreditLine =
    " &ndash; made by the Sonorix team, "
    "<a href=\"mailto:team@sonorix.example.org\">team@sonorix.example.org</a>";

// A stream buffer on a plain file descriptor, so a failed write keeps the
// system's reason (disk full, quota, I/O error) for the error text.
class FileBuffer final : public std::streambuf
{
public:
    // With durable set, the file is to be synced when it is closed: the
    // system is told to start writing it to the disk while it is still being
    // written, so the sync at the end has little left to wait for.
    FileBuffer(UniqueFd fd, bool durable) : m_fd(std::move(fd)), m_durable(durable)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    int Error() const { return m_error; }

    // Flushes, makes the bytes durable when sync is set, and closes; false
    // (with Error set) when any of it fails.
    bool Close(bool sync)
    {
        bool done = Flush();
        if (done && sync && ::fsync(m_fd.Get()) != 0) {
            m_error = errno;
            done = false;
        }
        if (::close(m_fd.Release()) != 0 && done) {
            m_error = errno;
            done = false;
        }
        return done;
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (!Flush()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

    int sync() override { return Flush() ? 0 : -1; }

private:
    bool Flush()
    {
        if (m_error != 0) {
            return false;
        }
        const char* data = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0) {
            const ssize_t written = ::write(m_fd.Get(), data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                m_error = errno;
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
            m_written += written;
        }
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
#ifdef SYNC_FILE_RANGE_WRITE
        if (m_durable && m_written - m_startedTo >= kWritebackStep) {
            // Only a start: whether it worked, the sync at the end tells.
            static_cast<void>(::sync_file_range(m_fd.Get(), m_startedTo, m_written - m_startedTo,
                                                SYNC_FILE_RANGE_WRITE));
            m_startedTo = m_written;
        }
#endif
        return true;
    }

    static constexpr off_t kWritebackStep = 1024 * 1024;

    UniqueFd m_fd;
    bool m_durable;
    off_t m_written = 0;
    off_t m_startedTo = 0;
    int m_error = 0;
    std::array<char, 65536> m_buffer{};
};

using Writer = std::function<void(std::ostream&)>;

// Lets write fill the open file fd and closes it; throws IoError naming
// fileName when a write, the sync or the close fails.
void FillFile(UniqueFd fd, const std::string& fileName, const Writer& write, bool sync)
{
    FileBuffer buffer(std::move(fd), sync);
    std::ostream out(&buffer);
    write(out);
    out.flush();
    if (buffer.Error() != 0 || !buffer.Close(sync)) {
        throw IoError(DescribeIoFailure("write", fileName, buffer.Error()));
    }
}

// Opens fileName itself (created when missing) and writes into it: for
// appending, and for outputs that are no regular file (a device, a pipe).
void WriteDirectly(const std::string& fileName, int flags, const Writer& write)
{
    UniqueFd fd;
    if (const int error =
            LongPath::Open(AT_FDCWD, fileName, O_WRONLY | O_CREAT | O_CLOEXEC | flags, fd, 0666)) {
        throw IoError(DescribeIoFailure("open", fileName, error));
    }
    FillFile(std::move(fd), fileName, write, false);
}

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinks = 40;

// The final target of a list that is written whole: the folder it lies in,
// open, its name there, and what is there now (when anything is).
struct ReplaceTarget
{
    UniqueFd Folder{};
    std::string FolderText{}; // the folder as the user would name it
    std::string Name{};
    bool Exists = false;

    struct stat Status
    {};
};

// True for a folder of /proc, whose links (a descriptor's, /proc/self/fd/1)
// stand for what a process has open, not for a path.
bool IsProcessFolder([[maybe_unused]] int folder)
{
#ifdef __linux__
    struct statfs system = {};
    return ::fstatfs(folder, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
#else
    return false;
#endif
}

// The text of the link name in folder, or nullopt.
std::optional<std::string> ReadLink(int folder, const std::string& name)
{
    std::vector<char> text(256);
    for (;;) {
        const ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < text.size()) {
            return std::string(text.data(), static_cast<std::size_t>(length));
        }
        text.resize(text.size() * 2);
    }
}

// Follows fileName through symbolic links to the file the list replaces or
// creates. nullopt when that is no regular file (a device, a pipe, a folder)
// or cannot be looked at: the output is then opened as it is, and the open
// reports any error.
std::optional<ReplaceTarget> FindReplaceTarget(const std::string& fileName)
{
    // What opening the name would reach. The links are then followed one by
    // one to find the folder, and what they lead to must be that very file:
    // a link the system resolves by magic (/dev/stdout on a pipe) is left to
    // the system.
    struct stat reached = {};
    const int error = LongPath::Stat(AT_FDCWD, fileName, reached);
    if ((error == 0 && !S_ISREG(reached.st_mode)) || (error != 0 && error != ENOENT)) {
        return std::nullopt;
    }
    ReplaceTarget target;
    std::string path = fileName;
    int base = AT_FDCWD;
    std::string baseText; // the folder base stands for, ending in "/" (empty: the working one)
    for (int links = 0; links <= kMaxLinks; ++links) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") {
            return std::nullopt;
        }
        UniqueFd opened;
        if (LongPath::Open(base, folder, LongPath::kFolderFlags, opened) != 0) {
            return std::nullopt;
        }
        target.Folder = std::move(opened);
        baseText =
            path.front() == '/' ? path.substr(0, slash + 1) : baseText + path.substr(0, slash + 1);
        target.FolderText = baseText.size() > 1 ? baseText.substr(0, baseText.size() - 1)
                                                : (baseText.empty() ? "." : baseText);
        base = target.Folder.Get();
        target.Name = std::move(name);
        if (::fstatat(base, target.Name.c_str(), &target.Status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT || error == 0) {
                return std::nullopt;
            }
            return target;
        }
        if (S_ISREG(target.Status.st_mode)) {
            if (error != 0 || target.Status.st_dev != reached.st_dev ||
                target.Status.st_ino != reached.st_ino) {
                return std::nullopt;
            }
            target.Exists = true;
            return target;
        }
        if (!S_ISLNK(target.Status.st_mode) || IsProcessFolder(base)) {
            return std::nullopt;
        }
        std::optional<std::string> link = ReadLink(base, target.Name);
        if (!link) {
            return std::nullopt;
        }
        path = std::move(*link); // relative to the link's folder, which is base now
    }
    return std::nullopt;
}

// Writes the list into a temporary file beside the target, makes it durable
// and renames it over the target only when all of it is there. The new file
// keeps the old one's permissions, and its owner and group where the system
// allows.
void WriteWhole(const std::string& fileName, const ReplaceTarget& target, const Writer& write)
{
    const int folder = target.Folder.Get();
    // The rename would replace a list the user may not write: refuse as
    // writing it in place would. The system's own rule decides (ACLs, a
    // read-only mount; root may write anything there).
    if (target.Exists && ::faccessat(folder, target.Name.c_str(), W_OK, AT_EACCESS) != 0) {
        throw IoError(DescribeIoFailure("open", fileName, errno));
    }
    // The list could be written in place, but the new one is made beside it:
    // name the folder that cannot take it, not the list.
    if (target.Exists && ::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        throw IoError("Cannot write '" + fileName + "': the folder '" + target.FolderText +
                      "' is not writable: " + std::strerror(errno));
    }
    Detail::TemporaryFile temporary(folder, target.Name, fileName);
    if (target.Exists) {
        const struct stat& old = target.Status;
        // Where not even the group can be kept, the list takes the writer's.
        // (Held in a variable: a cast to void does not quiet the C library's
        // warn_unused_result on fchown.)
        const bool kept = ::fchown(temporary.Fd(), old.st_uid, old.st_gid) == 0 ||
                          ::fchown(temporary.Fd(), static_cast<uid_t>(-1), old.st_gid) == 0;
        static_cast<void>(kept);
        if (::fchmod(temporary.Fd(), old.st_mode & 07777) != 0) {
            throw IoError(DescribeIoFailure("write", fileName, errno));
        }
    }
    FillFile(temporary.TakeFd(), fileName, write, true);
    if (::renameat(folder, temporary.Name().c_str(), folder, target.Name.c_str()) != 0) {
        throw IoError(DescribeIoFailure("write", fileName, errno));
    }
    temporary.Keep();
    // The new name itself lasts through a power cut once the folder is synced.
    const UniqueFd folderForSync(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderForSync.Valid()) {
        static_cast<void>(::fsync(folderForSync.Get()));
    }
}

} // namespace

std::string TodayText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 128> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%x", &local);
    return std::string(text.data(), length);
}

std::string HtmlHeadLine1(const ListPage& page)
{
    return "<html><head><meta http-equiv=\"Content-Type\"content=\"text/html; charset=utf-8\">"
           "<meta name=\"GENERATOR\" content=\"Sonorix 3.1\"><title>" +
           EscapeHtml(page.Headline) + "</title></head><basefont face=\"" +
           EscapeHtml(page.FontStyle) +
           "\"><basefont size=2><basefont color=" + EscapeHtml(page.FontColor) + ">";
}

std::string HtmlHeadLine2(const ListPage& page)
{
    const std::string font = EscapeHtml(page.FontStyle);
    return "<style type=\"text/css\"><!-- P { font-family : " + font +
           "; font-size : 10pt;} TD { font-family : " + font +
           "; font-size : 10pt;} H1 { font-family : " + font +
           "; font-size : 15pt;} TR { font-family : " + font + "; font-size : 10pt;} //--></style>";
}

std::string HtmlHeadLine3(const ListPage& page, const ListSummary& summary)
{
    const std::string fontColor = EscapeHtml(page.FontColor);
    return "<body bgcolor=\"" + EscapeHtml(page.BackColor) + "\" text=\"" + fontColor +
           "\" link=\"" + fontColor + "\"vlink=\"" + fontColor + "\"><p><h1>" +
           EscapeHtml(page.Headline) + "</h1></p><p>Scanned " + std::to_string(summary.FileCount) +
           " files, " + std::to_string(summary.UntaggedCount) + " untagged, " +
           EscapeHtml(summary.BytesText) + " bytes total, " + EscapeHtml(summary.LengthText) +
           " hours, " + EscapeHtml(summary.AverageText) +
           " average length.</p><table border=\"0\" width=\"100%\">";
}

std::string HtmlFooterLine(const std::string& date)
{
    return "</table><p>Index created on " + EscapeHtml(date) + " by <a href=\"" +
           std::string(kMakerAddress) + "\">Sonorix 4.1</a>" + kCreditLine +
           ".</p><p>&nbsp;</p></body></html>";
}

HtmlRowFrame SecondColorFrame(const std::string& back2Color)
{
    return HtmlRowFrame{.CellOpen = "<td bgcolor=\"" + EscapeHtml(back2Color) + "\">"};
}

HtmlRowFrame HeaderRowFrame(const std::string& headerColor)
{
    return HtmlRowFrame{.CellOpen = "<td bgcolor=\"" + EscapeHtml(headerColor) + "\"><strong>",
                        .RowEnd = "</strong></td></tr>"};
}

void RowText(std::string& text, const RowCells& row, const RowFormat& format,
             const HtmlRowFrame& frame)
{
    text.clear();
    bool first = true;
    switch (format.ListFormat) {
    case Profiles::ListFormat::Html: {
        // Most rows hold nothing to escape: one look at the whole row then
        // spares a look at every cell.
        const bool plain = !HoldsAnyOf(row.Packed(), '&', '<', '>', '"');
        text += "<tr>";
        row.ForEachCell([&](std::string_view cell) {
            if (!first) {
                text += "</td>";
            }
            first = false;
            text += frame.CellOpen;
            if (plain) {
                text += cell;
            } else {
                AppendEscapedHtml(text, cell);
            }
        });
        text += frame.RowEnd;
        return;
    }
    case Profiles::ListFormat::Csv:
        if (format.Separator.size() == 1 &&
            !HoldsAnyOf(row.Packed(), '"', '\r', '\n', format.Separator.front())) {
            break; // no cell to quote: the cells joined
        }
        row.ForEachCell([&](std::string_view cell) {
            if (!first) {
                text += format.Separator;
            }
            first = false;
            AppendCsvCell(text, cell, format.Separator);
        });
        return;
    case Profiles::ListFormat::Custom:
    case Profiles::ListFormat::Text:
    case Profiles::ListFormat::None:
        break;
    }
    row.JoinInto(text, format.Separator);
}

std::string RowText(const RowCells& row, const RowFormat& format, const HtmlRowFrame& frame)
{
    std::string text;
    RowText(text, row, format, frame);
    return text;
}

void WriteList(std::ostream& out, const ListContent& content)
{
    const bool html = content.Format.ListFormat == Profiles::ListFormat::Html;
    if (html) {
        out << HtmlHeadLine1(content.Page) << kLineEnd;
        out << HtmlHeadLine2(content.Page) << kLineEnd;
        out << HtmlHeadLine3(content.Page, content.Summary) << kLineEnd;
    }
    std::string line;
    const auto writeLine = [&] {
        line += kLineEnd;
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    };
    RowText(line, content.HeaderRow, content.Format, HeaderRowFrame(content.Page.HeaderColor));
    writeLine();
    const HtmlRowFrame plain;
    const HtmlRowFrame second =
        html && !content.Page.Save30 ? SecondColorFrame(content.Page.Back2Color) : HtmlRowFrame{};
    const auto rowText = [&](std::string& text, std::size_t i) {
        // Sorted rows lie all over memory: the bytes of a row a few ahead
        // are asked for while this one is made.
        if (i + kRowsAhead < content.Rows.size()) {
            PrefetchRow(content.Rows[i + kRowsAhead]);
        }
        RowText(text, content.Rows[i], content.Format, i % 2 == 1 ? second : plain);
    };
    const std::size_t blocks = (content.Rows.size() + kRowsPerBlock - 1) / kRowsPerBlock;
    if (content.Threads <= 1 || blocks < 2) {
        for (std::size_t i = 0; i < content.Rows.size(); ++i) {
            rowText(line, i);
            writeLine();
        }
    } else {
        // Blocks of rows are made into text by a few threads while this one
        // writes the blocks done before, in order.
        Parallel::OrderedPipeline<std::string> pool(
            content.Threads, 2 * static_cast<std::size_t>(content.Threads),
            [&](int, std::int64_t block, std::string& text) {
                text.clear();
                std::string row;
                const std::size_t first = static_cast<std::size_t>(block) * kRowsPerBlock;
                const std::size_t end = std::min(first + kRowsPerBlock, content.Rows.size());
                for (std::size_t i = first; i < end; ++i) {
                    rowText(row, i);
                    text += row;
                    text += kLineEnd;
                }
            });
        pool.MakeAvailable(static_cast<std::int64_t>(blocks));
        pool.Close();
        for (std::int64_t block = 0; block < static_cast<std::int64_t>(blocks); ++block) {
            const std::string& text = pool.Take(block);
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            pool.Release(block);
        }
    }
    if (html) {
        out << HtmlFooterLine(content.Date.empty() ? TodayText() : content.Date) << kLineEnd;
    }
}

void WriteOutputFile(const std::string& fileName, bool append,
                     const std::function<void(std::ostream&)>& write)
{
    try {
        if (append) {
            WriteDirectly(fileName, O_APPEND, write);
        } else if (const std::optional<ReplaceTarget> target = FindReplaceTarget(fileName)) {
            WriteWhole(fileName, *target, write);
        } else {
            WriteDirectly(fileName, O_TRUNC, write);
        }
    } catch (const std::bad_alloc&) {
        throw IoError(DescribeOutOfMemory("write", fileName));
    }
}

bool IsWrittenInPlace(const std::string& fileName)
{
    struct stat status = {};
    return LongPath::Stat(AT_FDCWD, fileName, status) == 0 && !FindReplaceTarget(fileName);
}

void WriteList(const std::string& fileName, bool append, const ListContent& content)
{
    WriteOutputFile(fileName, append, [&](std::ostream& out) { WriteList(out, content); });
}

} // namespace Listing
