#include "core/message_log.h"
#include "core/report.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

TEST(MessageLog, DuplicatesAreSuppressedOnlyWhileQueued)
{
    auto& log = MessageLog::instance();
    test::drainLog();
    log.add(Level::Warning, "same");
    log.add(Level::Warning, "same");
    log.add(Level::Info, "same"); // another level is another entry
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.pop().level, Level::Warning);
    EXPECT_EQ(log.pop().level, Level::Info);
    log.add(Level::Warning, "same"); // popped before: queued again
    EXPECT_EQ(log.size(), 1u);
    test::drainLog();
}

TEST(MessageLog, ManyDistinctReportsCostLinearTime)
{
    // One report per record of a damaged log: 20000 distinct texts, each with a twin.
    auto& log = MessageLog::instance();
    test::drainLog();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20000; ++i) {
        const std::string text = "can message timestamp has overflowed (" + std::to_string(i) + ")";
        log.add(Level::Warning, text.c_str());
        log.add(Level::Warning, text.c_str());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Some 40 ms in a plain build and a few hundred under the sanitizers; comparing with every
    // queued entry took tens of seconds. The bound leaves room for a loaded CI machine.
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    ASSERT_EQ(log.size(), 20000u);
    EXPECT_EQ(log.pop().text, "can message timestamp has overflowed (0)"); // arrival order
    log.add(Level::Warning, "can message timestamp has overflowed (0)"); // popped: queued again
    log.add(Level::Warning, "can message timestamp has overflowed (1)"); // still queued
    EXPECT_EQ(log.size(), 20000u);
    test::drainLog();
}

TEST(MessageLog, PopOnEmptyThrows)
{
    test::drainLog();
    try {
        MessageLog::instance().pop();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Can not get message from empty list");
    }
}

TEST(Report, GoesToStandardErrorInColourAndToTheLog)
{
    test::drainLog();
    testing::internal::CaptureStderr();
    reportWarning("value %d of %s", 7, "%s%n"); // a text with % signs is an argument, never a format
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\033[33mWRN value 7 of %s%n\033[0m\n");
    const auto entry = MessageLog::instance().pop();
    EXPECT_EQ(entry.level, Level::Warning);
    EXPECT_EQ(entry.text, "value 7 of %s%n");
}

TEST(Report, ControlCharactersAndForeignBytesAreShownEscaped)
{
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"Sig\x1b[31mred", "Sig\\x1B[31mred"},
        {"bell\x07 back\b del\x7f", "bell\\x07 back\\x08 del\\x7F"},
        {"csi \xc2\x9b" "2J", "csi \\xC2\\x9B2J"}, // the one-character CSI of some terminals
        {"latin-1 \xe4 cut \xe2\x82", "latin-1 \\xE4 cut \\xE2\\x82"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"grad \xc2\xb0" "C, \xc3\xa4", "grad \xc2\xb0" "C, \xc3\xa4"}, // UTF-8 stays
        {"line\nbreak\ttab", "line\\x0Abreak\\x09tab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(printableText(c.text), c.shown);
    }
    EXPECT_EQ(printableText("a\nb\tc\r", "\n\t"), "a\nb\tc\\x0D");
    // Cut before a piece that does not fit whole.
    EXPECT_EQ(printableText("ab\x1b", {}, 5), "ab");
    EXPECT_EQ(printableText("ab\xc3\xa4", {}, 3), "ab");

    test::drainLog();
    testing::internal::CaptureStderr();
    reportWarning("Signal %s does not fit\n", "Big\x1b]0;title\x07");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\033[33mWRN Signal Big\\x1B]0;title\\x07 does not fit\n\033[0m\n");
    EXPECT_EQ(MessageLog::instance().pop().text, "Signal Big\\x1B]0;title\\x07 does not fit\n");
}

TEST(Report, LogCopyIsCutAt1023Characters)
{
    test::drainLog();
    const std::string longText(5000, 'x');
    testing::internal::CaptureStderr();
    reportInfo("%s", longText.c_str());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(MessageLog::instance().pop().text.bytes(), 1023u);
}

TEST(Report, FailReportsAnErrorAndThrows)
{
    test::drainLog();
    testing::internal::CaptureStderr();
    EXPECT_THROW(fail("bad %u", 3u), PrintMsgError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\033[31mERR bad 3\033[0m\n");
    const auto entry = MessageLog::instance().pop();
    EXPECT_EQ(entry.level, Level::Error);
    EXPECT_EQ(entry.text, "bad 3");
}

} // namespace
} // namespace vistra
