#include "core/regular_file.h"

#include <glibmm/fileutils.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vistra {
namespace {

TEST(RegularFile, OnlyRegularFilesAreOpened)
{
    const std::string dir = std::getenv("HOME");
    const std::string text = dir + "/text";
    const std::string fifo = dir + "/fifo";
    Glib::file_set_contents(text, "content");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool ok, missing, irregular;
    };
    const Case cases[] = {
        {text, true, false, false},
        {dir + "/none", false, true, false},
        {dir, false, false, true},
        {fifo, false, false, true}, // opened without waiting for a writer
        {"/dev/zero", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RegularFile file(c.path);
        EXPECT_EQ(file.ok(), c.ok);
        EXPECT_EQ(file.missing(), c.missing);
        EXPECT_EQ(file.irregular(), c.irregular);
        if (c.irregular) {
            EXPECT_EQ(file.problem(), "not a regular file");
        }
    }
    RegularFile file(text);
    std::string content;
    ASSERT_TRUE(file.readAll(content));
    EXPECT_EQ(content, "content");

    // A link that is not to be followed is refused, not read.
    const std::string link = dir + "/link";
    ASSERT_EQ(symlink(text.c_str(), link.c_str()), 0);
    EXPECT_TRUE(RegularFile(link).ok());
    RegularFile unfollowed(link, false);
    EXPECT_FALSE(unfollowed.ok());
    EXPECT_FALSE(unfollowed.missing());
}

} // namespace
} // namespace vistra
