#include "listing/ListWriter.h"

#include <array>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <ostream>
#include <streambuf>
#include <unistd.h>

#include "base/IoError.h"
#include "listing/TextConversion.h"
#include "profiles/ListFormat.h"

namespace Listing {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kMakerAddress = "https://sonorix.example.org/";
constexpr const char* kCreditLine =
    " &ndash; made by the Sonorix team, "
    "<a href=\"mailto:team@sonorix.example.org\">team@sonorix.example.org</a>";

// A stream buffer on a plain file descriptor, so a failed write keeps the
// system's reason (disk full, quota, I/O error) for the error text.
class FileBuffer final : public std::streambuf
{
public:
    explicit FileBuffer(int fd) : m_fd(fd)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    ~FileBuffer() override
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    int Error() const { return m_error; }

    // Flushes and closes; false (with Error set) when either fails.
    bool Close()
    {
        const bool flushed = Flush();
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && flushed) {
            m_error = errno;
            return false;
        }
        return flushed;
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
            const ssize_t written = ::write(m_fd, data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                m_error = errno;
                return false;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return true;
    }

    int m_fd;
    int m_error = 0;
    std::array<char, 65536> m_buffer{};
};

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
    case Profiles::ListFormat::Html:
        text += "<tr>";
        row.ForEachCell([&](std::string_view cell) {
            if (!first) {
                text += "</td>";
            }
            first = false;
            text += frame.CellOpen;
            text += EscapeHtml(cell);
        });
        text += frame.RowEnd;
        return;
    case Profiles::ListFormat::Csv:
        row.ForEachCell([&](std::string_view cell) {
            if (!first) {
                text += format.Separator;
            }
            first = false;
            text += QuoteCsvCell(cell, format.Separator);
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
    for (std::size_t i = 0; i < content.Rows.size(); ++i) {
        RowText(line, content.Rows[i], content.Format, i % 2 == 1 ? second : plain);
        writeLine();
    }
    if (html) {
        out << HtmlFooterLine(content.Date.empty() ? TodayText() : content.Date) << kLineEnd;
    }
}

void WriteOutputFile(const std::string& fileName, bool append,
                     const std::function<void(std::ostream&)>& write)
{
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int fd = -1;
    do {
        fd = ::open(fileName.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        throw IoError(DescribeIoFailure("open", fileName, errno));
    }
    FileBuffer buffer(fd);
    std::ostream out(&buffer);
    write(out);
    out.flush();
    if (buffer.Error() != 0) {
        throw IoError(DescribeIoFailure("write", fileName, buffer.Error()));
    }
    if (!buffer.Close()) {
        throw IoError(DescribeIoFailure("write", fileName, buffer.Error()));
    }
}

void WriteList(const std::string& fileName, bool append, const ListContent& content)
{
    WriteOutputFile(fileName, append, [&](std::ostream& out) { WriteList(out, content); });
}

} // namespace Listing
