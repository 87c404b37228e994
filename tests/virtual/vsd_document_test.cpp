#include "virtual/vsd_document.h"

#include "test_helpers.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace vistra {
namespace {

// A user's file: comments before the first group, above a group, above and among keys,
// a translation, and comments that introduce the group after the edited one.
const std::string kFile = "# my signals\n"
                          "[settings]\n"
                          "CAN0=a.dbc\n"
                          "\n"
                          "# wheel speed, averaged\n"
                          "[Calc.speed]\n"
                          "method=average\n"
                          "# front left wheel\n"
                          "signal_01=CAN0.Wheel.speed\n"
                          "step=100\n"
                          "window = 1000\n"
                          "fact=0.0174532925\n"
                          "comment=Speed\n"
                          "comment[de]=Geschwindigkeit\n"
                          "Tarnwick=2024-05-17 14:03:59\n"
                          "\n"
                          "# the other one\n"
                          "[Calc.other]\n"
                          "method=derive\n"
                          "signal_01=Calc.speed\n";

// As the editor writes the group back: numbers in Glib::KeyFile's 17-digit form.
const VsdGroupLines kSpeedUnchanged = {{"method", "average"},
                                       {"signal_01", "CAN0.Wheel.speed"},
                                       {"step", "100"},
                                       {"window", "1000"},
                                       {"fact", "0.017453292499999999"},
                                       {"comment", "Speed"},
                                       {"Tarnwick", "2024-05-17 14:03:59"}};

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(VsdRewrite, ReplacingAGroupKeepsEveryCommentTranslationAndPlace)
{
    struct Case {
        const char* what;
        std::string newName;
        VsdGroupLines lines;
        std::string expected;
    };
    VsdGroupLines newValue = kSpeedUnchanged;
    newValue[1].second = "CAN0.Wheel.rear";
    newValue.back().second = "2026-01-01 00:00:00";
    VsdGroupLines noInput = kSpeedUnchanged;
    noInput.erase(noInput.begin() + 1);
    VsdGroupLines added = kSpeedUnchanged;
    added.insert(added.begin() + 4, {"unit", "km/h"});
    VsdGroupLines otherFactor = kSpeedUnchanged;
    otherFactor[4].second = "0.017453292";
    const Case cases[] = {
        {"unchanged: byte for byte, 'window = 1000' and the factor's digits too", "Calc.speed", kSpeedUnchanged,
         kFile},
        {"another number is written", "Calc.speed", otherFactor, replaced(kFile, "0.0174532925", "0.017453292")},
        {"changed values: new lines, comments stay above", "Calc.speed", newValue,
         replaced(replaced(kFile, "signal_01=CAN0.Wheel.speed", "signal_01=CAN0.Wheel.rear"),
                  "Tarnwick=2024-05-17 14:03:59", "Tarnwick=2026-01-01 00:00:00")},
        {"a dropped key leaves its comment before the last line", "Calc.speed", noInput,
         replaced(kFile, "# front left wheel\nsignal_01=CAN0.Wheel.speed\nstep=100\nwindow = 1000\nfact=0.0174532925\n"
                         "comment=Speed\ncomment[de]=Geschwindigkeit\n",
                  "step=100\nwindow = 1000\nfact=0.0174532925\ncomment=Speed\ncomment[de]=Geschwindigkeit\n"
                  "# front left wheel\n")},
        {"an added key goes where the editor puts it", "Calc.speed", added,
         replaced(kFile, "fact=", "unit=km/h\nfact=")},
        {"a renamed group keeps its place", "Virtual.speed", kSpeedUnchanged,
         replaced(kFile, "[Calc.speed]", "[Virtual.speed]")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replaceVsdGroup(kFile, "Calc.speed", c.newName, c.lines), c.expected) << c.what;

    // Line ends of the file are kept, new lines take them too.
    std::string crlf;
    for (const std::string& line : test::linesOf(kFile))
        crlf += line + "\r\n";
    EXPECT_EQ(replaceVsdGroup(crlf, "Calc.speed", "Calc.speed", kSpeedUnchanged), crlf);
    const std::string changed = replaceVsdGroup(crlf, "Calc.speed", "Calc.speed", newValue);
    EXPECT_NE(changed.find("\r\nsignal_01=CAN0.Wheel.rear\r\n"), std::string::npos);

    EXPECT_THROW(replaceVsdGroup(kFile, "Calc.none", "Calc.none", kSpeedUnchanged), Glib::KeyFileError);
}

TEST(VsdRewrite, RemovingAndAppendingLeaveTheRestAsItWas)
{
    // The group's own keys and the comments among them go; the comments above it (they
    // may head a whole section) and those that introduce the next group stay.
    EXPECT_EQ(removeVsdGroup(kFile, "Calc.speed"), "# my signals\n"
                                                   "[settings]\n"
                                                   "CAN0=a.dbc\n"
                                                   "\n"
                                                   "# wheel speed, averaged\n"
                                                   "\n"
                                                   "# the other one\n"
                                                   "[Calc.other]\n"
                                                   "method=derive\n"
                                                   "signal_01=Calc.speed\n");
    EXPECT_EQ(removeVsdGroup(kFile, "Calc.other"), kFile.substr(0, kFile.find("[Calc.other]")));
    // Without comments the blank line between two groups is not doubled.
    EXPECT_EQ(removeVsdGroup("[a]\nx=1\n\n[b]\ny=2\n\n[c]\nz=3\n", "b"), "[a]\nx=1\n\n[c]\nz=3\n");
    EXPECT_THROW(removeVsdGroup(kFile, "Calc.none"), Glib::KeyFileError);

    const VsdGroupLines lines = {{"method", "average"}, {"step", "1"}};
    EXPECT_EQ(appendVsdGroup(kFile, "A.b", lines), kFile + "\n[A.b]\nmethod=average\nstep=1\n");
    EXPECT_EQ(appendVsdGroup("[settings]\nx=1", "A.b", lines), "[settings]\nx=1\n\n[A.b]\nmethod=average\nstep=1\n");
    EXPECT_EQ(appendVsdGroup("[settings]\n\n", "A.b", lines), "[settings]\n\n[A.b]\nmethod=average\nstep=1\n");
}

class VsdDocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vsd_document_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/signals.vsd";
        std::ofstream(path) << kFile;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string dir;
    std::string path;
};

TEST_F(VsdDocumentTest, EditsAreCheckedAndWrittenThroughALink)
{
    const std::string link = dir + "/link.vsd";
    std::filesystem::create_symlink(path, link);
    VsdDocument doc(link);
    EXPECT_TRUE(doc.hasGroup("Calc.speed"));
    EXPECT_FALSE(doc.hasGroup("Calc.new"));

    Glib::KeyFile group;
    group.set_string("Calc.new", "method", "derive");
    group.set_double("Calc.new", "fact", 3.6);
    doc.putGroup("", group, "Calc.new");
    doc.removeGroup("Calc.other");
    doc.save();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    const std::string written = test::readFileText(path);
    EXPECT_EQ(written, kFile.substr(0, kFile.find("[Calc.other]")) +
                           "\n[Calc.new]\nmethod=derive\nfact=3.6000000000000001\n");

    // A rename onto a group that exists would merge the two: refused, nothing changes.
    Glib::KeyFile other;
    other.set_string("Calc.new", "method", "average");
    EXPECT_THROW(doc.putGroup("Calc.speed", other, "Calc.new"), std::runtime_error);
    EXPECT_EQ(doc.text(), written);
}

// Root editing signals of a VSD path that is another user's link: the link may name any
// file of root's. It is neither written through nor replaced.
TEST_F(VsdDocumentTest, AnotherUsersLinkIsLeftAsItIs)
{
    const std::string link = dir + "/theirs.vsd";
    std::filesystem::create_symlink(path, link);
    if (::lchown(link.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    VsdDocument doc(link);
    doc.removeGroup("Calc.other");
    try {
        doc.save();
        ADD_FAILURE() << "saved";
    } catch (const Glib::FileError& e) {
        EXPECT_EQ(e.what(), link + " belongs to another user and is left as it is");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFileText(path), kFile);
}

TEST_F(VsdDocumentTest, RefusesWithoutALoadedFileOrWhenTheFileDoesNotParse)
{
    // The settings' placeholder for "no VSD file" is a relative path: a file of that name
    // in the working directory is never read or written.
    const std::string cwd = Glib::get_current_dir();
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    std::ofstream("dummy") << kFile;
    try {
        VsdDocument doc("./dummy");
        ADD_FAILURE() << "opened the placeholder";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "no VSD file loaded");
    }
    EXPECT_EQ(test::readFileText("dummy"), kFile);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);

    EXPECT_THROW(VsdDocument(dir + "/missing.vsd"), Glib::FileError);
    std::ofstream(path) << "not a key file\n";
    EXPECT_THROW(VsdDocument{path}, Glib::KeyFileError);
}

} // namespace
} // namespace vistra
