#include <gtest/gtest.h>

#include "util/Array.h"

namespace orv {
namespace {

using Parts = std::vector<std::string>;

Parts Split(const std::string& text, const std::string& delimiter, std::int32_t limit = -1,
            std::int32_t compare = kCompareBinary) {
    Parts parts = {"left", "over"};
    Parts& result = SplitText(text, parts, delimiter, limit, compare);
    EXPECT_EQ(&result, &parts);
    return parts;
}

TEST(Array, SplitsAtEveryDelimiterKeepingEmptyParts) {
    EXPECT_EQ(Split("", "\\"), Parts{""});
    EXPECT_EQ(Split("abc", "\\"), Parts{"abc"});
    EXPECT_EQ(Split("\\", "\\"), (Parts{"", ""}));
    EXPECT_EQ(Split("C:\\dir\\file", "\\"), (Parts{"C:", "dir", "file"}));
    EXPECT_EQ(Split("C:\\dir\\", "\\"), (Parts{"C:", "dir", ""}));
    EXPECT_EQ(Split("\\\\a", "\\"), (Parts{"", "", "a"}));
    EXPECT_EQ(Split("aXb", "x"), Parts{"aXb"});
    EXPECT_EQ(Split("one\r\ntwo\nstill two\r\n", "\r\n"), (Parts{"one", "two\nstill two", ""}));
    EXPECT_EQ(Split("a\rb\nc", "\r\n"), Parts{"a\rb\nc"});
    EXPECT_EQ(Split("a b  c", ""), (Parts{"a", "b", "", "c"}));  // an empty delimiter is a blank
}

TEST(Array, ALimitCutsThatManyPartsAndKeepsTheRestWhole) {
    EXPECT_EQ(Split("a|b|c|d", "|", 2), (Parts{"a", "b", "c|d"}));
    EXPECT_EQ(Split("a|b|c|d", "|", 3), (Parts{"a", "b", "c", "d"}));
    EXPECT_EQ(Split("a|b|c|d", "|", 10), (Parts{"a", "b", "c", "d"}));
    for (std::int32_t limit : {1, 0, -2}) EXPECT_EQ(Split("a|b|c", "|", limit), (Parts{"a", "b|c"})) << limit;
}

TEST(Array, PartsThatReadLikeTheEndMarkerAreKept) {
    EXPECT_EQ(Split("a,~END,b", ","), (Parts{"a", "~END", "b"}));
    EXPECT_EQ(Split("~END,~END,~END", ","), (Parts{"~END", "~END", "~END"}));
}

TEST(Array, TextsWithMoreThan32768PartsSplitCompletely) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += std::to_string(i % 10) + ";";
    const Parts parts = Split(text, ";");
    ASSERT_EQ(parts.size(), 40001u);
    EXPECT_EQ(parts[32768], "8");
    EXPECT_EQ(parts[39999], "9");
    EXPECT_EQ(parts.back(), "");
}

TEST(Array, OnlyTheFirstCutHonoursTheComparisonMode) {
    // The delimiter must occur exactly before anything is cut.
    EXPECT_EQ(Split("aXb", "x", -1, kCompareText), Parts{"aXb"});
    EXPECT_EQ(Split("aXbxcXd", "x", -1, kCompareText), (Parts{"a", "b", "cXd"}));
}

TEST(Array, ATextHeldInThePartsListItselfIsSplitIntact) {
    Parts parts = {"x", "C:\\dir\\file"};
    SplitText(parts[1], parts, "\\", -1, kCompareBinary);
    EXPECT_EQ(parts, (Parts{"C:", "dir", "file"}));
}

TEST(Array, NextTokenCutsOnePieceOrGivesTheEndMarker) {
    std::string text = "a\r\nb";
    EXPECT_EQ(NextToken(text, "\r\n", kCompareBinary), "a");
    EXPECT_EQ(text, "b");
    EXPECT_EQ(NextToken(text, "\r\n", kCompareBinary), "~END");
    EXPECT_EQ(text, "b");
    text = "KEY=value";
    EXPECT_EQ(NextToken(text, "key=", kCompareText), "");
    EXPECT_EQ(text, "value");
}

} // namespace
} // namespace orv
