#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C");
    char home[] = "/tmp/tarnwick-test-XXXXXX";
    if (mkdtemp(home))
        setenv("HOME", home, 1);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const std::string cleanup = std::string("rm -rf '") + home + "'";
    if (std::system(cleanup.c_str()) != 0)
        return result ? result : 1;
    return result;
}
