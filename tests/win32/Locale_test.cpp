// Conversions under the user's regional settings; a fresh Wine prefix has the English (United
// States) defaults.
#include <gtest/gtest.h>

#include <cmath>

#include "Win32Harness.h"
#include "common/Variant.h"

namespace orv {
namespace {

win32::Win32Locale locale;

std::int32_t ErrorOfToInt32(const std::string& text) {
    try {
        ToInt32(Variant(text), locale);
    } catch (const AgentError& e) {
        return e.Number();
    }
    return 0;
}

TEST(Win32Locale, ParseNumberFollowsTheClassicRules) {
    EXPECT_EQ(locale.ParseNumber(" 12 "), 12.0);
    EXPECT_EQ(locale.ParseNumber("1,234.5"), 1234.5);
    EXPECT_EQ(locale.ParseNumber("-3"), -3.0);
    EXPECT_EQ(locale.ParseNumber(".9"), 0.9);
    EXPECT_EQ(locale.ParseNumber("007"), 7.0);
    EXPECT_EQ(locale.ParseNumber("1.5E3"), 1500.0);
    EXPECT_EQ(locale.ParseNumber(""), std::nullopt);
    EXPECT_EQ(locale.ParseNumber("   "), std::nullopt);
    EXPECT_EQ(locale.ParseNumber("Access.Database"), std::nullopt);
    EXPECT_EQ(locale.ParseNumber("1.2.3"), std::nullopt);
    EXPECT_EQ(locale.ParseNumber("1e999"), std::nullopt);
}

TEST(Win32Locale, ToInt32RoundsHalvesToEvenAndRangeChecks) {
    EXPECT_EQ(ToInt32(Variant("2.5"), locale), 2);
    EXPECT_EQ(ToInt32(Variant("3.5"), locale), 4);
    EXPECT_EQ(ToInt32(Variant("-2.5"), locale), -2);
    EXPECT_EQ(ToInt32(Variant(".9"), locale), 1);
    EXPECT_EQ(ToInt32(Variant("11"), locale), 11);
    EXPECT_EQ(ToInt32(Variant("2147483647"), locale), 2147483647);
    EXPECT_EQ(ErrorOfToInt32("2147483648"), err::kOverflow);
    EXPECT_EQ(ErrorOfToInt32("se"), err::kTypeMismatch);
    EXPECT_TRUE(IsNumeric(Variant(".9"), locale));
    EXPECT_FALSE(IsNumeric(Variant("e."), locale));
}

TEST(Win32Locale, FormatNumberGivesTheShortestText) {
    EXPECT_EQ(locale.FormatNumber(7), "7");
    EXPECT_EQ(locale.FormatNumber(1.5), "1.5");
    EXPECT_EQ(locale.FormatNumber(-0.25), "-0.25");
    EXPECT_EQ(locale.FormatNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(locale.FormatNumber(34148), "34148");
    EXPECT_EQ(ToText(Variant(1.5), locale), "1.5");
}

TEST(Win32Locale, FormatGeneralDateShowsTheShortDateAndTheLongTime) {
    // 2024-01-02 15:04:05
    const double date = 45293 + (15 * 3600 + 4 * 60 + 5) / 86400.0;
    EXPECT_EQ(locale.FormatGeneralDate(date), "1/2/2024 3:04:05 PM");
    EXPECT_EQ(locale.FormatGeneralDate(45293), "1/2/2024");  // midnight: the date alone
}

TEST(Win32Locale, FormatFixed2GroupedRoundsToCentsAndGroupsThousands) {
    EXPECT_EQ(locale.FormatFixed2Grouped(0), "0.00");
    EXPECT_EQ(locale.FormatFixed2Grouped(0.5), "0.50");
    EXPECT_EQ(locale.FormatFixed2Grouped(1234567.891), "1,234,567.89");
    EXPECT_EQ(locale.FormatFixed2Grouped(-1234.5), "-1,234.50");
    EXPECT_EQ(locale.FormatFixed2Grouped(0.125), "0.13");
    EXPECT_EQ(locale.FormatFixed2Grouped(1.005), "1.01");
    EXPECT_EQ(locale.FormatFixed2Grouped(999.995), "1,000.00");
    EXPECT_EQ(locale.FormatFixed2Grouped(34148.0 * 1024), "34,967,552.00");
    EXPECT_EQ(locale.FormatFixed2Grouped(0.000001), "0.00");
    EXPECT_EQ(locale.FormatFixed2Grouped(-0.001), "0.00");
    EXPECT_EQ(locale.FormatFixed2Grouped(1e20), "100,000,000,000,000,000,000.00");
}

TEST(Win32Locale, FormatFixed2GroupedGroupsByThousandsWithTheLocalesSeparators) {
    // English (India) writes its own numbers 12,34,567.89; the pattern groups by thousands.
    const win32::Win32Locale indian(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_INDIA), SORT_DEFAULT));
    ASSERT_EQ(indian.FormatNumber(1.5), "1.5");
    EXPECT_EQ(indian.FormatFixed2Grouped(1234567.891), "1,234,567.89");
    EXPECT_EQ(indian.FormatFixed2Grouped(34148.0 * 1024), "34,967,552.00");
    // German: a point between the thousands, a comma before the cents.
    const win32::Win32Locale german(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT));
    EXPECT_EQ(german.FormatFixed2Grouped(1234567.891), "1.234.567,89");
}

} // namespace
} // namespace orv
