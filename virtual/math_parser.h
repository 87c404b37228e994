#pragma once
// Infix arithmetic expressions: the text is split into tokens, converted once into reverse
// Polish order, and that order is then evaluated as often as the owner asks. A subclass
// feeds its own values into an expression by registering custom functions and answering
// callCustomFunction.
//
// Quirks that stored expressions depend on, kept on purpose:
//   - "pi" is the six-decimal text 3.141593, not the full constant;
//   - a "-" is part of a number where an operand may start ("2*-3", "-2^2" is 4), and fails
//     before "(" or a name ("-(1)", "-pi");
//   - numbers have no exponent form, and "5." reads as 5.0 with a warning;
//   - atan2(p, q) is the angle of the point (p, q), that is C's atan2(q, p);
//   - angles are in degrees unless `radians` is set;
//   - "&&" and "||" share one precedence and group from the left.
#include "core/types.h"

#include <list>
#include <string>
#include <vector>

namespace vistra {

class MathParser {
public:
    struct Operator {
        std::string name;
        i32 precedence;
        bool leftAssociative;
        u32 id;
    };
    struct Function {
        std::string name;
        u32 arity;
        u32 id;
        void* userData; // handed back to callCustomFunction; not owned
    };
    struct Constant {
        std::string name;
        std::string value; // decimal text, read like a number in the expression
    };

    enum TokenType : u32 { kOperator = 0, kFunction = 1, kNumber = 2, kPunctuation = 3 };
    struct Token {
        std::string text;
        u32 type;
        i32 index; // into operators, functions or numbers by type; -1 for punctuation
    };

    MathParser();
    virtual ~MathParser();

    // Called for every custom function during evaluation with its arguments, first first.
    virtual double callCustomFunction(const std::list<double>& args, void* userData);

    // Adds a custom function; a name that is a function, constant or operator already
    // throws std::invalid_argument.
    void registerFunction(const std::string& name, u32 arity, void* userData);
    // Splits `text` into tokens; number values go into the pool.
    std::list<Token> parseExpression(const std::string& text);
    // Shunting-yard conversion; empties `tokens`.
    std::vector<Token> toRpn(std::list<Token>& tokens);
    // Evaluates an order that this parser's toRpn produced.
    double evaluate(const std::vector<Token>& rpn);

    bool radians = false;
    u32 maxOperatorLength = 0;
    u32 maxFunctionLength = 0;
    u32 maxConstantLength = 0;
    i32 lastBuiltinFunctionId = 0;
    std::vector<Operator> operators;
    std::vector<Function> functions;
    std::vector<Constant> constants;
    std::vector<double> numbers;
    std::vector<double> valueStack;

protected:
    int precedence(const std::string& name) const;
    bool isLeftAssociative(const std::string& name) const;
    // Reads an optional "-" and the digits and dots after it at `pos`.
    std::string readNumber(const std::string& text, std::size_t pos) const;
    // Puts the value of the longest decimal prefix of `text` into the pool; its index.
    int toNumber(const std::string& text);
    // Applies one operator or function to the values below `top` and pops them.
    double applyToken(const Token& token, int& top);

private:
    // The length of the longest name of `names` that starts `text` at `pos`; 0 for none.
    template <class T>
    static std::size_t longestMatch(const std::vector<T>& names, u32 maxLength, const std::string& text,
                                    std::size_t pos, int& index);
    int operatorIndex(const std::string& name) const;
    int functionIndex(const std::string& name) const;
    int constantIndex(const std::string& name) const;
};

} // namespace vistra
