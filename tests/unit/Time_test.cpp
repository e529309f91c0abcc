#include <gtest/gtest.h>

#include <limits>

#include "download/Time.h"

namespace orv {
namespace {

std::string Duration(std::int32_t n, std::int16_t style) { return FormatDuration(n, style); }

TEST(FormatDuration, DocumentedExamples) {
    EXPECT_EQ(Duration(42, 5), "42secs");
    EXPECT_EQ(Duration(1, 5), "1sec ");
    EXPECT_EQ(Duration(125, 4), "2mins 5secs");
    EXPECT_EQ(Duration(61, 4), "1min 1sec ");
    EXPECT_EQ(Duration(3725, 3), "1hr 2mins 5secs");
    EXPECT_EQ(Duration(90061, 2), "1 day 1hr 1min 1sec ");
    EXPECT_EQ(Duration(180000, 2), "2 days, 2hrs 0mins 0secs");
    EXPECT_EQ(Duration(3725, 1), "1:2:5");
    EXPECT_EQ(Duration(93784, 1), "1 day, 2:3:4");
    EXPECT_EQ(Duration(42, 0), "0h 0m 42s");
    EXPECT_EQ(Duration(93784, 0), "1d 2h 3m 4s");
}

TEST(FormatDuration, DaysAppearOnlyWhenNonZeroAndWordsFollowSingularOrPlural) {
    EXPECT_EQ(Duration(86400, 2), "1 day 0hrs 0mins 0secs");
    EXPECT_EQ(Duration(2 * 86400 + 3600 + 60 + 1, 1), "2 days, 1:1:1");
    EXPECT_EQ(Duration(3600, 1), "1:0:0");
    EXPECT_EQ(Duration(0, 2), "0hrs 0mins 0secs");
    EXPECT_EQ(Duration(0, 5), "0secs");
    // Styles without a word for a part drop it with its number, even when it is not zero.
    EXPECT_EQ(Duration(90061, 3), "1hr 1min 1sec ");
    EXPECT_EQ(Duration(3725, 4), "2mins 5secs");
    EXPECT_EQ(Duration(3725, 5), "5secs");
}

TEST(FormatDuration, StylesOutsideOneToFiveGiveTheShortStyle) {
    for (const std::int16_t style : {std::int16_t{0}, std::int16_t{6}, std::int16_t{-1}, std::int16_t{32767}}) {
        EXPECT_EQ(Duration(5, style), "0h 0m 5s") << style;
        EXPECT_EQ(Duration(86400, style), "1d 0h 0m 0s") << style;
    }
}

TEST(FormatDuration, NegativeDurationsHaveNegativeParts) {
    EXPECT_EQ(Duration(-1, 5), "-1secs");
    EXPECT_EQ(Duration(-61, 4), "-1mins -1secs");
    EXPECT_EQ(Duration(-93784, 0), "-1d -2h -3m -4s");
    EXPECT_EQ(Duration(-86400, 2), "-1 days, 0hrs 0mins 0secs");
    // The extremes of the range divide without overflow.
    EXPECT_EQ(Duration(std::numeric_limits<std::int32_t>::max(), 2), "24855 days, 3hrs 14mins 7secs");
    EXPECT_EQ(Duration(std::numeric_limits<std::int32_t>::min(), 0), "-24855d -3h -14m -8s");
}

TEST(FormatTimeLeft, ChoosesTheStyleBySizeAtTheBoundaries) {
    EXPECT_EQ(FormatTimeLeft(60.0), "1min 0secs");
    EXPECT_EQ(FormatTimeLeft(3600.0), "1hr 0mins 0secs");
    EXPECT_EQ(FormatTimeLeft(86400.0), "1 day 0hrs 0mins 0secs");
    EXPECT_EQ(FormatTimeLeft(59.0), "59secs");
    EXPECT_EQ(FormatTimeLeft(200.0), "3mins 20secs");
    EXPECT_EQ(FormatTimeLeft(3605.0), "1hr 0mins 5secs");
    EXPECT_EQ(FormatTimeLeft(std::int32_t{1}), "1sec ");
    EXPECT_EQ(FormatTimeLeft(std::int16_t{125}), "2mins 5secs");
    EXPECT_EQ(FormatTimeLeft(2.0f), "2secs");
}

TEST(FormatTimeLeft, TheStyleIsChosenBeforeRounding) {
    EXPECT_EQ(FormatTimeLeft(59.7), "0secs");
    EXPECT_EQ(FormatTimeLeft(3599.6), "0mins 0secs");
    EXPECT_EQ(FormatTimeLeft(86399.6), "0hrs 0mins 0secs");
    EXPECT_EQ(FormatTimeLeft(0.3), "0secs");
}

TEST(FormatTimeLeft, HalvesRoundToEven) {
    EXPECT_EQ(FormatTimeLeft(2.5), "2secs");
    EXPECT_EQ(FormatTimeLeft(3.5), "4secs");
    EXPECT_EQ(FormatTimeLeft(0.5), "0secs");
    EXPECT_EQ(FormatTimeLeft(60.5), "1min 0secs");
    EXPECT_EQ(FormatTimeLeft(61.5), "1min 2secs");
}

TEST(FormatTimeLeft, NothingToEstimateGivesCalculating) {
    EXPECT_EQ(FormatTimeLeft(0.0), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(-5.0), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(-1e-12), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(Variant::Null()), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(Variant()), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(std::numeric_limits<double>::quiet_NaN()), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(std::string("abc")), "Calculating...");
}

TEST(FormatTimeLeft, EstimatesBeyondThe32BitRangeDoNotFail) {
    EXPECT_EQ(FormatTimeLeft(2147483647.0), "24855 days, 3hrs 14mins 7secs");
    EXPECT_EQ(FormatTimeLeft(2147483647.4), "24855 days, 3hrs 14mins 7secs");
    EXPECT_EQ(FormatTimeLeft(2147483647.5), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(1e300), "Calculating...");
    EXPECT_EQ(FormatTimeLeft(std::numeric_limits<double>::infinity()), "Calculating...");
}

} // namespace
} // namespace orv
