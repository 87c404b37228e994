#include "virtual/math_parser.h"

#include "core/report.h"
#include "virtual/angle_units.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace vistra {
namespace {

enum OperatorId : u32 { Add, Sub, Div, Mul, Pow, Mod, Less, LessEq, Greater, GreaterEq, Equal, NotEqual, And, Or };
enum FunctionId : u32 { Sin, Cos, Tan, Asin, Acos, Atan, Log10, Sqrt, Max, Min, Abs, Exp, Floor, Ceil, Atan2 };

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isPunctuation(const MathParser::Token& token, char c)
{
    return token.type == MathParser::kPunctuation && token.text.size() == 1 && token.text[0] == c;
}

// Where the number text that starts at `pos` ends: an optional "-", then digits and dots.
std::size_t numberEnd(const std::string& text, std::size_t pos)
{
    if (pos < text.size() && text[pos] == '-')
        ++pos;
    while (pos < text.size() && (isDigit(text[pos]) || text[pos] == '.'))
        ++pos;
    return pos;
}

template <class T>
u32 longestName(const std::vector<T>& entries)
{
    std::size_t n = 0;
    for (const T& e : entries)
        n = std::max(n, e.name.size());
    return static_cast<u32>(n);
}

template <class T>
int indexOf(const std::vector<T>& entries, const std::string& name)
{
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (entries[k].name == name)
            return static_cast<int>(k);
    return -1;
}

double truth(bool b) { return b ? 1.0 : 0.0; }

} // namespace

MathParser::MathParser()
    : operators{
          {"+", 2, true, Add},       {"-", 2, true, Sub},        {"/", 3, true, Div},      {"*", 3, true, Mul},
          {"^", 4, false, Pow},      {"%", 3, true, Mod},        {"<", 1, true, Less},     {"<=", 1, true, LessEq},
          {">", 1, true, Greater},   {">=", 1, true, GreaterEq}, {"==", 1, true, Equal},   {"!=", 1, true, NotEqual},
          {"&&", 0, true, And},      {"||", 0, true, Or},
      },
      functions{
          {"sin", 1, Sin, nullptr},   {"cos", 1, Cos, nullptr},     {"tan", 1, Tan, nullptr},
          {"asin", 1, Asin, nullptr}, {"acos", 1, Acos, nullptr},   {"atan", 1, Atan, nullptr},
          {"log", 1, Log10, nullptr}, {"sqrt", 1, Sqrt, nullptr},   {"max", 2, Max, nullptr},
          {"min", 2, Min, nullptr},   {"abs", 1, Abs, nullptr},     {"exp", 1, Exp, nullptr},
          {"floor", 1, Floor, nullptr}, {"ceil", 1, Ceil, nullptr}, {"atan2", 2, Atan2, nullptr},
      },
      // Pi as "%f" prints it: expressions have always seen six decimals.
      constants{{"pi", "3.141593"}}
{
    maxOperatorLength = longestName(operators);
    maxFunctionLength = longestName(functions);
    maxConstantLength = longestName(constants);
    lastBuiltinFunctionId = static_cast<i32>(functions.back().id);
}

MathParser::~MathParser() = default;

double MathParser::callCustomFunction(const std::list<double>&, void*)
{
    throw std::runtime_error("Custom function registered but not implemented");
}

int MathParser::operatorIndex(const std::string& name) const { return indexOf(operators, name); }
int MathParser::functionIndex(const std::string& name) const { return indexOf(functions, name); }
int MathParser::constantIndex(const std::string& name) const { return indexOf(constants, name); }

void MathParser::registerFunction(const std::string& name, u32 arity, void* userData)
{
    if (functionIndex(name) >= 0)
        throw std::invalid_argument("Registered function '" + name + "' already exists");
    if (constantIndex(name) >= 0)
        throw std::invalid_argument("Registered function '" + name + "' already exists as a constant");
    if (operatorIndex(name) >= 0)
        throw std::invalid_argument("Registered function '" + name + "' already exists as an operator");
    functions.push_back({name, arity, functions.back().id + 1, userData});
    maxFunctionLength = std::max(maxFunctionLength, static_cast<u32>(name.size()));
}

int MathParser::precedence(const std::string& name) const
{
    const int k = operatorIndex(name);
    if (k < 0) {
        reportWarning("Failed to find precedence: Could not find %s", name.c_str());
        return -1;
    }
    return operators[k].precedence;
}

bool MathParser::isLeftAssociative(const std::string& name) const
{
    const int k = operatorIndex(name);
    if (k < 0) {
        reportWarning("Failed to find associativity: Could not find %s", name.c_str());
        return true;
    }
    return operators[k].leftAssociative;
}

std::string MathParser::readNumber(const std::string& text, std::size_t pos) const
{
    std::string number = text.substr(pos, numberEnd(text, pos) - pos);
    if (!number.empty() && number.back() == '.') {
        reportWarning("Missing decimal number(s) in '%s', adding 0", number.c_str());
        number += '0';
    }
    return number;
}

int MathParser::toNumber(const std::string& text)
{
    // from_chars reads "." as the decimal point whatever the locale, and stops at a second
    // dot ("1.2.3" is 1.2).
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        throw std::out_of_range("stod");
    if (result.ec != std::errc())
        fail("Could not convert %s to a number", text.c_str());
    numbers.push_back(value);
    return static_cast<int>(numbers.size() - 1);
}

template <class T>
std::size_t MathParser::longestMatch(const std::vector<T>& names, u32 maxLength, const std::string& text,
                                     std::size_t pos, int& index)
{
    std::size_t best = 0;
    index = -1;
    const std::size_t limit = std::min<std::size_t>(maxLength, text.size() - pos);
    for (std::size_t length = 1; length <= limit; ++length) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            if (names[k].name.size() == length && text.compare(pos, length, names[k].name) == 0) {
                best = length;
                index = static_cast<int>(k);
                break;
            }
        }
    }
    return best;
}

std::list<MathParser::Token> MathParser::parseExpression(const std::string& text)
{
    std::list<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const char prev = tokens.empty() || tokens.back().text.empty() ? '\0' : tokens.back().text.back();
        const bool prevIsOperator = !tokens.empty() && tokens.back().type == kOperator;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == ',' || c == '(' || c == ')') {
            tokens.push_back({std::string(1, c), kPunctuation, -1});
            ++i;
            continue;
        }
        // A "-" where an operand may start belongs to the number.
        if (isDigit(c) || (c == '-' && (prev == '\0' || prev == '(' || prev == ',' || prevIsOperator))) {
            std::string number = readNumber(text, i);
            const int index = toNumber(number);
            tokens.push_back({std::move(number), kNumber, index});
            i = numberEnd(text, i);
            continue;
        }
        int function = -1;
        int constant = -1;
        int op = -1;
        const std::size_t f = longestMatch(functions, maxFunctionLength, text, i, function);
        const std::size_t k = longestMatch(constants, maxConstantLength, text, i, constant);
        const std::size_t o = longestMatch(operators, maxOperatorLength, text, i, op);
        if (k > f) {
            const std::string& value = constants[constant].value;
            tokens.push_back({value, kNumber, toNumber(value)});
            i += k;
        } else if (f > 0) {
            tokens.push_back({functions[function].name, kFunction, function});
            i += f;
        } else if (o > 0) {
            tokens.push_back({operators[op].name, kOperator, op});
            i += o;
        } else {
            throw std::invalid_argument("Failed to parse expression, check for errors around character " +
                                        std::to_string(i) + " (" + c + ")");
        }
    }
    // A function written without parentheses is called with none: "$01" means "$01()".
    for (auto it = tokens.begin(); it != tokens.end(); ++it) {
        if (it->type != kFunction)
            continue;
        const auto next = std::next(it);
        if (next == tokens.end() || !isPunctuation(*next, '(')) {
            tokens.insert(next, Token{"(", kPunctuation, -1});
            tokens.insert(next, Token{")", kPunctuation, -1});
        }
    }
    return tokens;
}

std::vector<MathParser::Token> MathParser::toRpn(std::list<Token>& tokens)
{
    std::vector<Token> output;
    std::vector<Token> stack;
    auto moveTop = [&] {
        output.push_back(std::move(stack.back()));
        stack.pop_back();
    };
    while (!tokens.empty()) {
        Token token = std::move(tokens.front());
        tokens.pop_front();
        switch (token.type) {
        case kNumber:
            output.push_back(std::move(token));
            break;
        case kFunction:
            stack.push_back(std::move(token));
            break;
        case kOperator: {
            const int p = precedence(token.text);
            const bool left = isLeftAssociative(token.text);
            while (!stack.empty() && !isPunctuation(stack.back(), '(')) {
                const int top = precedence(stack.back().text);
                if (top > p || (top == p && left))
                    moveTop();
                else
                    break;
            }
            stack.push_back(std::move(token));
            break;
        }
        default:
            if (isPunctuation(token, '(')) {
                stack.push_back(std::move(token));
            } else if (isPunctuation(token, ',')) {
                while (!stack.empty() && !isPunctuation(stack.back(), '('))
                    moveTop();
            } else {
                for (;;) {
                    if (stack.empty())
                        throw std::invalid_argument("Expression has mismatched parentheses");
                    if (isPunctuation(stack.back(), '('))
                        break;
                    moveTop();
                }
                stack.pop_back();
                if (!stack.empty() && stack.back().type == kFunction)
                    moveTop();
            }
            break;
        }
    }
    while (!stack.empty()) {
        if (isPunctuation(stack.back(), '('))
            throw std::invalid_argument("Expression has mismatched parentheses");
        moveTop();
    }
    valueStack.assign(output.size(), 0.0);
    return output;
}

double MathParser::evaluate(const std::vector<Token>& rpn)
{
    // Every token pushes at most one value: a stack as long as the order always suffices,
    // also for an order converted before the last toRpn.
    if (valueStack.size() < rpn.size())
        valueStack.resize(rpn.size());
    int top = -1;
    for (const Token& token : rpn) {
        double value;
        if (token.type == kNumber) {
            if (token.index < 0 || static_cast<std::size_t>(token.index) >= numbers.size())
                throw std::runtime_error("Invalid number index");
            value = numbers[token.index];
        } else {
            value = applyToken(token, top);
        }
        valueStack[++top] = value;
    }
    if (top != 0)
        throw std::invalid_argument("Invalid expression: Check for missing operators");
    return valueStack[0];
}

double MathParser::applyToken(const Token& token, int& top)
{
    if (token.type == kOperator) {
        if (top < 1)
            throw std::invalid_argument("Invalid expression: not enough operands for operator: " + token.text);
        const double b = valueStack[top--];
        const double a = valueStack[top--];
        if (token.index < 0 || static_cast<std::size_t>(token.index) >= operators.size())
            throw std::invalid_argument("Invalid operator ID");
        switch (operators[token.index].id) {
        case Add: return a + b;
        case Sub: return a - b;
        case Div: return a / b;
        case Mul: return a * b;
        case Pow: return std::pow(a, b);
        case Mod: return std::fmod(a, b);
        case Less: return truth(a < b);
        case LessEq: return truth(a <= b);
        case Greater: return truth(a > b);
        case GreaterEq: return truth(a >= b);
        case Equal: return truth(a == b);
        case NotEqual: return truth(a != b);
        case And: return truth(a != 0 && b != 0);
        case Or: return truth(a != 0 || b != 0);
        default: throw std::invalid_argument("Invalid operator ID");
        }
    }
    if (token.type != kFunction)
        throw std::runtime_error("Unexpected operator " + token.text);
    if (token.index < 0 || static_cast<std::size_t>(token.index) >= functions.size())
        throw std::runtime_error("Invalid function ID");
    const Function& function = functions[token.index];
    if (static_cast<i64>(top) + 1 < static_cast<i64>(function.arity))
        throw std::invalid_argument("Invalid expression, too few arguments to " + token.text);

    if (static_cast<i64>(function.id) > lastBuiltinFunctionId) {
        std::list<double> args;
        for (u32 k = 0; k < function.arity; ++k)
            args.push_front(valueStack[top--]);
        return callCustomFunction(args, function.userData);
    }
    double last = 0.0;
    double first = 0.0;
    if (function.arity >= 1)
        last = valueStack[top--];
    if (function.arity == 2)
        first = valueStack[top--];
    const double x = last;
    const double angle = radians ? x : x * kDegToRad;
    const double toAngle = radians ? 1.0 : kRadToDeg;
    switch (function.id) {
    case Sin: return std::sin(angle);
    case Cos: return std::cos(angle);
    case Tan: return std::tan(angle);
    case Asin: return std::asin(x) * toAngle;
    case Acos: return std::acos(x) * toAngle;
    case Atan: return std::atan(x) * toAngle;
    case Log10: return std::log10(x);
    case Sqrt: return std::sqrt(x);
    case Max: return first <= last ? last : first;
    case Min: return last <= first ? last : first;
    case Abs: return std::fabs(x);
    case Exp: return std::exp(x);
    case Floor: return std::floor(x);
    case Ceil: return std::ceil(x);
    case Atan2: return std::atan2(last, first) * toAngle; // the angle of the point (first, last)
    default: throw std::runtime_error("Invalid function ID");
    }
}

} // namespace vistra
