#include "bounded_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BoundedText, CopyFitsUpToTheTerminator) {
    char buffer[kMaxPath];
    std::string fits(kMaxPath - 1, 'a');
    ASSERT_TRUE(CopyText(buffer, fits.c_str()));
    EXPECT_EQ(buffer, fits);
    std::string tooLong(kMaxPath, 'b');
    EXPECT_FALSE(CopyText(buffer, tooLong.c_str()));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, FormatFailsRatherThanCuts) {
    char buffer[kMaxPath];
    std::string folder(kMaxPath - 1 - 13, 'f');  // "\PANELSET.TXT" is 13 bytes
    ASSERT_TRUE(FormatPath(buffer, "%s\\PANELSET.TXT", folder.c_str()));
    EXPECT_EQ(std::string(buffer), folder + "\\PANELSET.TXT");
    folder += 'f';
    EXPECT_FALSE(FormatPath(buffer, "%s\\PANELSET.TXT", folder.c_str()));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, AsciiCaseOnly) {
    struct Case {
        const char* left;
        const char* right;
        bool equal;
    };
    const Case cases[] = {
        {"hidwatch.exe", "HIDWATCH.EXE", true}, {"HidWatch.exe", "hidwatch.exe", true},
        {"hidwatch.exe", "hidwatch.exe ", false}, {"hidwatch.exe", "hidwatch.ex", false},
        {"", "", true}, {"\xe9", "\xc9", false},  // no code-page folding
        {"[", "{", false},                        // letters only, not the bytes 32 apart
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.left, c.right), c.equal) << c.left << " / " << c.right;
    }
}

}  // namespace
