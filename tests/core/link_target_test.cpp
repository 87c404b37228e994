#include "core/link_target.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace vistra {
namespace {

TEST(LinkTarget, FollowsLinksToTheFileTheyName)
{
    const std::string dir = std::string(std::getenv("HOME")) + "/links";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string file = dir + "/file";
    std::ofstream(file) << "x";
    mkdir((dir + "/sub").c_str(), 0700);
    symlink(file.c_str(), (dir + "/absolute").c_str());
    symlink("../file", (dir + "/sub/relative").c_str());
    symlink("sub/relative", (dir + "/chain").c_str());
    symlink("none", (dir + "/dangling").c_str());
    symlink("loop2", (dir + "/loop1").c_str());
    symlink("loop1", (dir + "/loop2").c_str());
    struct Case {
        std::string path;
        std::string target;
    };
    const Case cases[] = {
        {file, file},
        {dir + "/missing", dir + "/missing"},
        {dir + "/absolute", file},
        {dir + "/sub/relative", dir + "/sub/../file"},
        {dir + "/chain", dir + "/sub/../file"},
        {dir + "/dangling", dir + "/none"}, // written, the file is made where the link points
        {dir + "/loop1", dir + "/loop1"},   // no file to write through to
    };
    for (const Case& c : cases)
        EXPECT_EQ(linkTarget(c.path), c.target) << c.path;
}

// Another user's link may point at any of the user's files, in /tmp as in a home of theirs
// that the user's program was started with: it is not followed in any folder.
TEST(LinkTarget, AnotherUsersLinksAreNotFollowed)
{
    const std::string home = std::getenv("HOME");
    const std::string shared = home + "/shared";
    const std::string own = home + "/own";
    ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0); // as /tmp
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    const std::string victim = home + "/victim";
    std::ofstream(victim) << "x";
    const uid_t other = geteuid() + 1000;
    for (const std::string& folder : {shared, own}) {
        const std::string link = folder + "/planted";
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        EXPECT_EQ(linkTarget(link), victim) << "the user's own link is followed anywhere";
        if (lchown(link.c_str(), other, getegid()) != 0)
            GTEST_SKIP() << "only root can give a link to another user";
        EXPECT_EQ(linkTarget(link), link) << folder;
    }
}

} // namespace
} // namespace vistra
