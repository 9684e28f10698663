#include "base/Ascii.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

TEST(Ascii, FoldsTheLettersAToZAndNothingElse)
{
    for (char upper = 'A'; upper <= 'Z'; ++upper) {
        const auto lower = static_cast<char>(upper - 'A' + 'a');
        SCOPED_TRACE(std::string(1, upper));
        EXPECT_EQ(Ascii::ToLower(upper), lower);
        EXPECT_EQ(Ascii::ToLower(lower), lower);
        EXPECT_TRUE(Ascii::EqualsIgnoringCase(std::string{upper, 'x'}, std::string{lower, 'X'}));
    }
    // Pairs a fold by code page or by locale would take as equal: the store
    // does not, so neither may any name comparison beside it.
    const std::pair<const char*, const char*> distinct[] = {
        {"×", "÷"},                   // C3 97 and C3 B7, 0x20 apart like a letter pair
        {"\xD7", "\xF7"},             // the same two in Latin-1
        {"Ä", "ä"},       {"İ", "i"}, // Turkish dotted capital I
        {"I", "ı"},                   // Turkish dotless small i
        {"@", "`"},       {"[", "{"},
    };
    for (const auto& [a, b] : distinct) {
        SCOPED_TRACE(std::string(a) + " " + b);
        EXPECT_FALSE(Ascii::EqualsIgnoringCase(a, b));
        EXPECT_NE(Ascii::ToLower(a), Ascii::ToLower(b));
    }
}

TEST(Ascii, OrdersAsTheStoreDoesAfterFolding)
{
    struct Row
    {
        const char* A;
        const char* B;
        bool Less;
    };

    const Row rows[] = {
        {"_", "A", true}, // "A" sorts as "a", behind "_"
        {"A", "_", false},   {"abc", "ABD", true}, {"ABC", "abc", false},
        {"ab", "ABC", true}, {"Z", "ä", true}, // bytes compare unsigned: 0x7A before 0xC3
        {"ä", "Z", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.A) + " " + row.B);
        EXPECT_EQ(Ascii::LessIgnoringCase(row.A, row.B), row.Less);
    }
}
