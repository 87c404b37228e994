// Feeds arbitrary text to the expression parser: tokens, reverse Polish order, evaluation.
// Refusals end in an exception (std::exception or PrintMsgError), which is the expected way
// out; anything else (a crash, a sanitizer report, another exception, a hang) is a finding.
// Run with -close_fd_mask=2 to silence the parser's reports.
#include "core/message_log.h"
#include "core/report.h"
#include "virtual/math_parser.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <string>

using namespace vistra;

namespace {

// Input references as an expression signal registers them, and one function of two
// arguments, so that custom calls are part of the search.
class Parser : public MathParser {
public:
    Parser()
    {
        for (u32 k = 0; k < 3; ++k) {
            index[k] = k;
            registerFunction("$0" + std::to_string(k + 1), 0, &index[k]);
        }
        registerFunction("hyp", 2, nullptr);
    }
    double callCustomFunction(const std::list<double>& args, void* userData) override
    {
        if (!userData)
            return args.size() == 2 ? std::hypot(args.front(), args.back()) : -1.0;
        return 1.5 * (1 + *static_cast<u32*>(userData));
    }
    u32 index[3];
};

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Parser parser;
    parser.radians = size % 2 == 0;
    try {
        std::list<MathParser::Token> tokens = parser.parseExpression(text);
        const std::vector<MathParser::Token> rpn = parser.toRpn(tokens);
        const double first = parser.evaluate(rpn);
        // A later, shorter conversion must not spoil the evaluation of the longer one.
        tokens = parser.parseExpression("1");
        const std::vector<MathParser::Token> shorter = parser.toRpn(tokens);
        if (!same(parser.evaluate(rpn), first) || parser.evaluate(shorter) != 1.0)
            std::abort();
    } catch (const PrintMsgError&) {
    } catch (const std::exception&) {
    }
    auto& log = MessageLog::instance();
    while (!log.empty())
        log.pop();
    return 0;
}
