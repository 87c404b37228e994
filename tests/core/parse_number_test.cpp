#include "core/parse_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vistra {
namespace {

struct NumberCase {
    const char* text;
    double value;
    int used; // characters consumed; -1: none (end unchanged)
};

TEST(ParseNumberTest, ReadsTheLocaleFreeForms)
{
    const NumberCase cases[] = {
        {"-0.5", -0.5, 4},
        {"2,5", 2.5, 3},
        {"-3,25", -3.25, 5},
        {"1.5e3", 1500.0, 5},
        {"1.5E+2", 150.0, 6},
        {"2.5e-3", 0.0025, 6},
        {"1.5e", 1.5, 3},
        {"1.5e-", 1.5, 3},
        {"1.5ex", 1.5, 3},
        {"1e5", 1.0, 1},
        {"  7", 7.0, 3},
        {"+12;", 12.0, 3},
        {"12.", 12.0, 3},
        {"1.e2", 100.0, 4},
        {"0.1234 2 18FF00FEx", 0.1234, 6},
        {"-0", 0.0, 2},
        {"123456789012345678901234", 123456789012345678901234.0, 24},
        {"abc", 0.0, -1},
        {"-.5", 0.0, -1},
        {"", 0.0, -1},
        {"-", 0.0, -1},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        const double value = parseNumber(c.text, &end);
        EXPECT_EQ(value, c.value) << c.text;
        if (c.used < 0)
            EXPECT_EQ(end, nullptr) << c.text;
        else
            EXPECT_EQ(end, c.text + c.used) << c.text;
    }
}

TEST(ParseNumberTest, LongAndExtremeTextsStayMeaningful)
{
    const std::string longFraction = "3." + std::string(400, '3');
    const char* end = nullptr;
    const double value = parseNumber(longFraction.c_str(), &end);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_DOUBLE_EQ(value, 10.0 / 3.0);
    EXPECT_EQ(end, longFraction.c_str() + longFraction.size());

    EXPECT_EQ(parseNumber("1.0e999", nullptr), HUGE_VAL);
    EXPECT_EQ(parseNumber("-1.0e999", nullptr), -HUGE_VAL);
    EXPECT_EQ(parseNumber("1.0e-999", nullptr), 0.0);
    // Too small without any exponent: zero, not infinity.
    const std::string tinyFraction = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(parseNumber(tinyFraction.c_str(), nullptr), 0.0);
    EXPECT_EQ(parseNumber(("-" + tinyFraction).c_str(), nullptr), 0.0);
    EXPECT_EQ(parseNumber(("1" + std::string(400, '0') + ".5e-50").c_str(), nullptr), HUGE_VAL);
    EXPECT_EQ(parseNumber(("0." + std::string(300, '0') + "1e-30").c_str(), nullptr), 0.0);
    EXPECT_EQ(parseNumber("7", nullptr), 7.0); // a null end is allowed
}

} // namespace
} // namespace vistra
