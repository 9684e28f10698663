#include "listing/RowSorter.h"

#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <vector>

#include "listing/ListWriter.h"
#include "profiles/ListFormat.h"

using namespace Listing;

namespace {

const RowFormat kText{.ListFormat = Profiles::ListFormat::Text, .Separator = "\t"};

// The rows, given by their cells, sorted and then written.
std::vector<std::string> SortedRows(const std::vector<std::vector<std::string>>& cells,
                                    const RowFormat& format)
{
    std::vector<RowCells> rows;
    for (const std::vector<std::string>& rowCells : cells) {
        RowCells& row = rows.emplace_back();
        for (const std::string& cell : rowCells) {
            row.Add(cell);
        }
    }
    SortRows(rows, format.Separator);
    std::vector<std::string> written;
    for (const RowCells& row : rows) {
        written.push_back(RowText(row, format));
    }
    return written;
}

// One-cell text rows.
std::vector<std::string> Sorted(const std::vector<std::string>& rows)
{
    std::vector<std::vector<std::string>> cells;
    for (const std::string& row : rows) {
        cells.push_back({row});
    }
    return SortedRows(cells, kText);
}

} // namespace

TEST(SortRows, IgnoresLetterCaseButNotAccentsAndKeepsTies)
{
    EXPECT_EQ(Sorted({"zebra", "Banana", "résumé", "apple", "resume", "APPLE", "äpfel", "Apple"}),
              (std::vector<std::string>{"äpfel", "apple", "APPLE", "Apple", "Banana", "resume",
                                        "résumé", "zebra"}));
}

TEST(SortRows, RowsSharingALongBeginningAreComparedInFull)
{
    const std::string folder = "/home/listener/Music/Some Artist/Some Album With A Long Name/";
    EXPECT_EQ(
        Sorted({folder + "c", folder + "B", folder + "b", folder + "a", folder + "A", folder}),
        (std::vector<std::string>{folder, folder + "a", folder + "A", folder + "B", folder + "b",
                                  folder + "c"}));
}

// Two rows alone whose keys tie beyond the kept prefix are put in order too,
// wherever in the list the pair stands.
TEST(SortRows, APairTiedBeyondThePrefixIsOrderedAnywhereInTheList)
{
    const std::string folder = "/home/listener/Music/Some Artist/Some Album With A Long Name/";
    const std::string a = folder + "a";
    const std::string b = folder + "b";
    const std::pair<std::vector<std::string>, std::vector<std::string>> rows[] = {
        {{b, a}, {a, b}},
        {{b, a, "zulu"}, {a, b, "zulu"}},
        {{"zulu", b, "alpha", a}, {a, b, "alpha", "zulu"}},
    };
    for (const auto& [in, out] : rows) {
        SCOPED_TRACE(in.size());
        EXPECT_EQ(Sorted(in), out);
    }
}

TEST(SortRows, OrdersByThePlainTextNotByTheWrittenRow)
{
    // Quoting puts a '"' in front of the first row, escaping an '&' into the
    // second and a row frame around every row; the texts the user reads
    // decide, and a row without cells reads as nothing.
    const RowFormat csv{.ListFormat = Profiles::ListFormat::Csv, .Separator = ","};
    EXPECT_EQ(SortedRows({{"b,1", "x"}, {"a", "y"}, {"c", "z"}}, csv),
              (std::vector<std::string>{"a,y", "\"b,1\",x", "c,z"}));
    const RowFormat html{.ListFormat = Profiles::ListFormat::Html, .Separator = "</td><td>"};
    EXPECT_EQ(SortedRows({{"b"}, {"&"}, {"a"}, {"/x.mp3", "ERROR"}, {}}, html),
              (std::vector<std::string>{"<tr></td></tr>", "<tr><td>/x.mp3</td><td>ERROR</td></tr>",
                                        "<tr><td>&amp;</td></tr>", "<tr><td>a</td></tr>",
                                        "<tr><td>b</td></tr>"}));
}

TEST(SortRows, RowsThatAreNotUtf8StillSort)
{
    EXPECT_EQ(Sorted({"b\xE9", "a\xFF", "c"}), (std::vector<std::string>{"a\xFF", "b\xE9", "c"}));
}

namespace {

// The stable order of texts by ICU's own collator for locale (root when
// empty) at secondary strength: what the row sort must agree with.
std::vector<std::size_t> CollatorOrder(const std::vector<std::string>& texts,
                                       const std::string& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(
        locale.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(locale.c_str()),
        status));
    EXPECT_TRUE(U_SUCCESS(status));
    collator->setStrength(icu::Collator::SECONDARY);
    std::vector<std::size_t> order(texts.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compareUTF8(texts[a], texts[b], compareStatus) == UCOL_LESS;
    });
    return order;
}

} // namespace

TEST(CollationOrder, AgreesWithTheCollatorWhereKeysOutgrowTheirKeptPrefix)
{
    // Runs of letters whose keys end just before, at and after the kept
    // prefix, differing in the last letter, in letter case only, in an accent
    // at the front or the back, or not at all; and bytes that are not UTF-8.
    std::vector<std::string> texts;
    for (std::size_t n = 8; n <= 40; ++n) {
        const std::string run(n, 'a');
        for (const std::string& variant :
             {run, run + "b", run + "A", run + "\xC3\xA1", "\xC3\xA1" + run, "A" + run + "a",
              run + "\xFF", run + "\xFF" + "b", run + "\xE9", run}) {
            texts.push_back(variant);
        }
    }
    std::shuffle(texts.begin(), texts.end(), std::mt19937(7));

    const SortTextSource textOf = [&](std::size_t index, std::string& text) {
        text = texts[index];
    };
    EXPECT_EQ(CollationOrder(texts.size(), textOf, ""), CollatorOrder(texts, ""));
}

// Texts that tie beyond their kept prefix are ordered by what follows the
// beginning they share; that must order them as the whole texts do, also
// where the shared beginning ends inside a contraction ("ch" in Czech, "aa"
// in Danish), before a combining accent, inside a character, in Japanese
// whose length mark depends on the kana before it, and where accents count
// from the end (Canadian French) or digits as numbers.
TEST(CollationOrder, AgreesWithTheCollatorWhereTiedTextsShareALongBeginning)
{
    const std::string shared = "Same Artist</td><td>The Same Album Title</td><td>";
    // The endings of one row begin with the same character, so the shared
    // beginning ends right behind it.
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"", {"a\xCC\x81x", "ab", "a", "a\xC3\xA1", "a\xFF", "a\xC3", "A"}},
        {"cs", {"ch", "ci", "cz", "c", "cH"}},
        {"da", {"aa", "ab", "a", "az", "aA"}},
        {"ja",
         {"\xE3\x82\xAB\xE3\x83\xBC", "\xE3\x82\xAB\xE3\x82\xA2", "\xE3\x82\xAB",
          "\xE3\x82\xAB\xE3\x82\xA1"}},
        {"fr_CA", {"cote", "c\xC3\xB4te", "cot\xC3\xA9", "c\xC3\xB4t\xC3\xA9", "cote\xCC\x81"}},
        {"de@colNumeric=yes", {"19", "109", "1009", "190", "1"}},
    };
    for (const auto& [locale, endings] : rows) {
        SCOPED_TRACE(locale.empty() ? std::string("root") : locale);
        std::vector<std::string> texts;
        for (const std::string& ending : endings) {
            texts.push_back(shared + ending);
            texts.push_back("\xC3\xA9" + shared + ending); // begins alike but for an accent
        }
        std::shuffle(texts.begin(), texts.end(), std::mt19937(11));

        const SortTextSource textOf = [&](std::size_t index, std::string& text) {
            text = texts[index];
        };
        EXPECT_EQ(CollationOrder(texts.size(), textOf, locale), CollatorOrder(texts, locale));
    }
}

TEST(ApplyOrder, MovesRowsAlongEveryCycle)
{
    std::vector<std::string> rows = {"r0", "r1", "r2", "r3", "r4"};
    ApplyOrder(rows, {3, 0, 4, 1, 2});
    EXPECT_EQ(rows, (std::vector<std::string>{"r3", "r0", "r4", "r1", "r2"}));
}

TEST(CollationLocaleName, FollowsLcCollate)
{
    const std::string saved = std::setlocale(LC_COLLATE, nullptr);
    ASSERT_NE(std::setlocale(LC_COLLATE, "C"), nullptr);
    EXPECT_EQ(CollationLocaleName(), "");
    if (std::setlocale(LC_COLLATE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(CollationLocaleName(), "");
    }
    std::setlocale(LC_COLLATE, saved.c_str());
}
