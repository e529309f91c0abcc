#include <gtest/gtest.h>

#include "common/Variant.h"
#include "fakes/Fakes.h"

namespace orv {
namespace {

using fakes::FakeLocale;

std::int32_t ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AgentError& e) {
        return e.Number();
    }
    return 0;
}

TEST(Variant, TextToIntegerRoundsHalvesToEvenUnderTheLocale) {
    const FakeLocale en, comma(FakeLocale::Kind::CommaDecimal);
    struct Case {
        const char *en, *comma;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"0.5", "0,5", 0},   {"1.5", "1,5", 2},     {"2.5", "2,5", 2},   {"-2.5", "-2,5", -2},
        {".9", ",9", 1},     {" 11 ", " 11 ", 11},  {"2.4", "2,4", 2},   {"1,234", "1.234", 1234},
        {"2147483647.4", "2147483647,4", 2147483647}, {"-2147483648.5", "-2147483648,5", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToInt32(Variant(c.en), en), c.expected) << c.en;
        EXPECT_EQ(ToInt32(Variant(c.comma), comma), c.expected) << c.comma;
    }
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant("2147483647.5"), en); }), 6);
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant("-2147483649"), en); }), 6);
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant(1e300), en); }), 6);
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant("Access.Database"), en); }), 13);
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant(""), en); }), 13);
    // The other locale's decimal separator groups thousands here.
    EXPECT_EQ(ToInt32(Variant("1,5"), en), 15);
}

TEST(Variant, NumbersBecomeTextInTheLocaleWithTheirOwnDigits) {
    const FakeLocale en, comma(FakeLocale::Kind::CommaDecimal);
    EXPECT_EQ(ToText(Variant(1.5), en), "1.5");
    EXPECT_EQ(ToText(Variant(1.5), comma), "1,5");
    EXPECT_EQ(ToText(Variant(0.1f), en), "0.1");
    EXPECT_EQ(ToText(Variant(2.3f), comma), "2,3");
    EXPECT_EQ(ToText(Variant(std::int32_t{-7}), comma), "-7");
    EXPECT_EQ(ToText(Variant(true), en), "True");
    EXPECT_DOUBLE_EQ(ToDouble(Variant("1,5"), comma), 1.5);
}

TEST(Variant, IsNumericFollowsTheLocale) {
    const FakeLocale en, comma(FakeLocale::Kind::CommaDecimal);
    EXPECT_TRUE(IsNumeric(Variant(".9"), en));
    EXPECT_FALSE(IsNumeric(Variant(".9"), comma));
    EXPECT_TRUE(IsNumeric(Variant(",9"), comma));
    EXPECT_FALSE(IsNumeric(Variant("e1"), en));
    EXPECT_FALSE(IsNumeric(Variant(""), en));
    EXPECT_FALSE(IsNumeric(Variant::Null(), en));
    EXPECT_FALSE(IsNumeric(Variant(DateValue{46000.5}), en));
    EXPECT_TRUE(IsNumeric(Variant(), en));
}

} // namespace
} // namespace orv
