#include "tool_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrepareToolCommandLine, QuotesOnlyAnUnquotedPathNamingAFile) {
    const struct {
        const char* stored;
        bool namesFile;
        const char* expected;
    } cases[] = {
        {"C:\\Program Files (x86)\\OrvaPanels\\Tesvo.exe", true, "\"C:\\Program Files (x86)\\OrvaPanels\\Tesvo.exe\""},
        {"C:\\Program Files (x86)\\OrvaPanels\\Tesvo.exe /quiet", false, "C:\\Program Files (x86)\\OrvaPanels\\Tesvo.exe /quiet"},
        {"\"C:\\Program Files\\Tesvo.exe\" /x", false, "\"C:\\Program Files\\Tesvo.exe\" /x"},
        {"\"C:\\Program Files\\Tesvo.exe\"", true, "\"C:\\Program Files\\Tesvo.exe\""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        char line[300];
        ASSERT_TRUE(PrepareToolCommandLine(c.stored, c.namesFile, line, sizeof line)) << c.stored;
        EXPECT_STREQ(line, c.expected);
    }
}

TEST(PrepareToolCommandLine, AResultThatDoesNotFitFails) {
    const std::string stored(259, 'a');
    char line[262];
    EXPECT_TRUE(PrepareToolCommandLine(stored.c_str(), true, line, sizeof line));
    EXPECT_EQ(std::string(line), "\"" + stored + "\"");
    char shorter[261];
    EXPECT_FALSE(PrepareToolCommandLine(stored.c_str(), true, shorter, sizeof shorter));
    EXPECT_TRUE(PrepareToolCommandLine(stored.c_str(), false, shorter, sizeof shorter));
}

}  // namespace
