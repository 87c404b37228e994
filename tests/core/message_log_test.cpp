#include "core/message_log.h"
#include "core/report.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

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
