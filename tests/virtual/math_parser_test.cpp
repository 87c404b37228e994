#include "virtual/math_parser.h"

#include "core/report.h"

#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistra {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The value of `text`, or the text of what it throws ("PrintMsgError" for that one).
struct Outcome {
    double value = kNaN;
    std::string error;
};

Outcome run(MathParser& parser, const std::string& text)
{
    try {
        std::list<MathParser::Token> tokens = parser.parseExpression(text);
        const std::vector<MathParser::Token> rpn = parser.toRpn(tokens);
        return {parser.evaluate(rpn), ""};
    } catch (const PrintMsgError&) {
        return {kNaN, "PrintMsgError"};
    } catch (const std::exception& e) {
        return {kNaN, e.what()};
    }
}

Outcome run(const std::string& text, bool radians = false)
{
    MathParser parser;
    parser.radians = radians;
    return run(parser, text);
}

TEST(MathParserTest, Values)
{
    struct Case {
        const char* text;
        double value;
        double tolerance = 0.0;
    };
    const Case cases[] = {
        // Precedence and associativity.
        {"1+2*3", 7},
        {"(1+2)*3", 9},
        {"2-3-1", -2},
        {"10/4/5", 0.5},
        {"2^3^2", 512},
        {"2*3^2", 18},
        {"7%3", 1},
        {"-7%3", -1},
        {"7.5 % 2", 1.5},
        // A "-" where an operand starts is part of the number.
        {"-2^2", 4},
        {"2*-3", -6},
        {"2^-1", 0.5},
        {"2--3", 5},
        {"(-3)", -3},
        {"max(1,-2)", 1},
        {"3-1", 2},
        {" 3 -1 ", 2},
        // Functions and the constant.
        {"max(2*3, 4)", 6},
        {"min(3, 1)", 1},
        {"max(2, 2)", 2},
        {"abs(-2.5)", 2.5},
        {"floor(-1.5)", -2},
        {"ceil(1.2)", 2},
        {"exp(0)", 1},
        {"sqrt(16)", 4},
        {"log(1000)", 3, 1e-15},
        {"pi", 3.141593},
        {"2*pi", 6.283186},
        {"sin(90)", 1},
        {"cos(60)", 0.5, 1e-15},
        {"tan(45)", 1, 1e-15},
        {"asin(1)", 90, 1e-12},
        {"acos(0)", 90, 1e-12},
        {"atan(1)", 45, 1e-12},
        {"atan2(0,1)", 90, 1e-12},
        {"atan2(1,0)", 0},
        {"atan2(1,1)", 45, 1e-12},
        // Comparisons and logic give exactly 1 or 0.
        {"3 > 2 && 1", 1},
        {"2 == 2.0", 1},
        {"1 != 1", 0},
        {"2 <= 2", 1},
        {"2 >= 3", 0},
        {"1 < 2", 1},
        {"0 || 0", 0},
        {"1 || 0 && 0", 0},
        {"2 && 0.5", 1},
        // Number texts.
        {"5.", 5},
        {"5.+1", 6},
        {"1.2.3", 1.2},
        {"007", 7},
        // No domain checks: the floating-point results stand.
        {"1/0", kInf},
        {"-1/0", -kInf},
        {"sqrt(-1)", kNaN},
        {"log(0)", -kInf},
        {"asin(2)", kNaN},
    };
    for (const Case& c : cases) {
        const Outcome out = run(c.text);
        EXPECT_EQ(out.error, "") << c.text;
        if (std::isnan(c.value))
            EXPECT_TRUE(std::isnan(out.value)) << c.text << " gave " << out.value;
        else if (c.tolerance == 0.0)
            EXPECT_EQ(out.value, c.value) << c.text;
        else
            EXPECT_NEAR(out.value, c.value, c.tolerance) << c.text;
    }
    test::drainLog();
}

TEST(MathParserTest, Radians)
{
    EXPECT_NEAR(run("sin(pi/6)", true).value, 0.5, 1e-6);
    EXPECT_EQ(run("sin(0.5)", true).value, std::sin(0.5));
    EXPECT_EQ(run("asin(1)", true).value, std::asin(1.0));
    EXPECT_EQ(run("atan2(0,1)", true).value, std::atan2(1.0, 0.0));
}

TEST(MathParserTest, Errors)
{
    const std::pair<const char*, const char*> cases[] = {
        {"-(1)", "PrintMsgError"},
        {"-pi", "PrintMsgError"},
        {"-sin(1)", "PrintMsgError"},
        {"max(1)", "Invalid expression, too few arguments to max"},
        {"sin 30", "Invalid expression, too few arguments to sin"},
        {"atan2(1)", "Invalid expression, too few arguments to atan2"},
        {".5", "Failed to parse expression, check for errors around character 0 (.)"},
        {"sinh(1)", "Failed to parse expression, check for errors around character 3 (h)"},
        {"1 $ 2", "Failed to parse expression, check for errors around character 2 ($)"},
        {"2 = 2", "Failed to parse expression, check for errors around character 2 (=)"},
        {"1 2", "Invalid expression: Check for missing operators"},
        {"", "Invalid expression: Check for missing operators"},
        {"   ", "Invalid expression: Check for missing operators"},
        {"()", "Invalid expression: Check for missing operators"},
        {"1,2", "Invalid expression: Check for missing operators"},
        {"max(1,2,3)", "Invalid expression: Check for missing operators"},
        {"(1+2", "Expression has mismatched parentheses"},
        {"1+2)", "Expression has mismatched parentheses"},
        {"((1)", "Expression has mismatched parentheses"},
        {"+1", "Invalid expression: not enough operands for operator: +"},
        {"1*", "Invalid expression: not enough operands for operator: *"},
    };
    for (const auto& [text, error] : cases)
        EXPECT_EQ(run(text).error, error) << text;
    // A number beyond the range of a double.
    EXPECT_EQ(run("1" + std::string(400, '0')).error, "stod");
    test::drainLog();

    // The ERR before PrintMsgError names the text that is no number.
    run("-(1)");
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Could not convert - to a number"});
    // A number ending in "." is read with a warning.
    EXPECT_EQ(run("5.").value, 5);
    EXPECT_EQ(test::drainLog(), std::vector<std::string>{"Missing decimal number(s) in '5.', adding 0"});
}

// Records the arguments of every call.
class Recorder : public MathParser {
public:
    double callCustomFunction(const std::list<double>& args, void* userData) override
    {
        calls.emplace_back(args.begin(), args.end());
        return *static_cast<double*>(userData);
    }
    std::vector<std::vector<double>> calls;
};

TEST(MathParserTest, CustomFunctions)
{
    Recorder parser;
    double seven = 7;
    double ten = 10;
    parser.registerFunction("$01", 0, &seven);
    parser.registerFunction("triple", 3, &ten);
    EXPECT_EQ(parser.functions[15].id, 15u);
    EXPECT_EQ(parser.functions[16].id, 16u);
    EXPECT_EQ(parser.maxFunctionLength, 6u);

    // A function of no arguments may go without parentheses; arguments arrive in the
    // order written.
    EXPECT_EQ(run(parser, "$01 * 2").value, 14);
    EXPECT_EQ(run(parser, "$01() + triple(1, 2*3, $01)").value, 17);
    EXPECT_EQ(parser.calls, (std::vector<std::vector<double>>{{}, {}, {}, {1, 6, 7}}));
    EXPECT_EQ(run(parser, "triple(1, 2)").error, "Invalid expression, too few arguments to triple");

    const std::pair<const char*, const char*> clashes[] = {
        {"max", "Registered function 'max' already exists"},
        {"$01", "Registered function '$01' already exists"},
        {"pi", "Registered function 'pi' already exists as a constant"},
        {"<=", "Registered function '<=' already exists as an operator"},
    };
    for (const auto& [name, text] : clashes) {
        try {
            parser.registerFunction(name, 0, nullptr);
            ADD_FAILURE() << name << " was registered";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }

    MathParser plain;
    plain.registerFunction("f", 0, nullptr);
    EXPECT_EQ(run(plain, "f").error, "Custom function registered but not implemented");
}

TEST(MathParserTest, AnOrderIsEvaluatedAgainAfterALaterShorterOne)
{
    // The value stack is sized by the last conversion; an earlier, longer order must still
    // be evaluated without writing past it.
    MathParser parser;
    std::string text = "1";
    for (int k = 0; k < 200; ++k)
        text = "(" + text + "+1)";
    std::list<MathParser::Token> tokens = parser.parseExpression(text);
    const std::vector<MathParser::Token> longOrder = parser.toRpn(tokens);
    tokens = parser.parseExpression("2");
    const std::vector<MathParser::Token> shortOrder = parser.toRpn(tokens);
    EXPECT_EQ(parser.evaluate(longOrder), 201);
    EXPECT_EQ(parser.evaluate(shortOrder), 2);
    EXPECT_EQ(parser.evaluate(longOrder), 201);
    EXPECT_TRUE(tokens.empty());
}

TEST(MathParserTest, ConversionOrder)
{
    MathParser parser;
    auto order = [&](const std::string& text) {
        std::list<MathParser::Token> tokens = parser.parseExpression(text);
        std::string out;
        for (const auto& token : parser.toRpn(tokens))
            out += (out.empty() ? "" : " ") + token.text;
        return out;
    };
    EXPECT_EQ(order("1+2*3-4"), "1 2 3 * + 4 -");
    EXPECT_EQ(order("2^3^2"), "2 3 2 ^ ^");
    EXPECT_EQ(order("max(1, 2) * pi"), "1 2 max 3.141593 *");
    EXPECT_EQ(order("5.+1"), "5.0 1 +");
}

} // namespace
} // namespace vistra
