#include "bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr std::size_t kSize = 260;

TEST(BoundedText, CopyFitsUpToTheTerminator) {
    char buffer[kSize];
    std::string fits(kSize - 1, 'a');
    ASSERT_TRUE(CopyWhole(buffer, fits.c_str()));
    EXPECT_EQ(buffer, fits);
    std::string tooLong(kSize, 'b');
    EXPECT_FALSE(CopyWhole(buffer, tooLong.c_str()));
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "stale");
    EXPECT_FALSE(CopyWhole(buffer, nullptr));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, FormatFailsRatherThanCuts) {
    char buffer[kSize];
    std::string folder(kSize - 1 - 13, 'f');  // "\PANELSET.TXT" is 13 bytes
    ASSERT_TRUE(FormatWhole(buffer, sizeof buffer, "%s\\PANELSET.TXT", folder.c_str()));
    EXPECT_EQ(std::string(buffer), folder + "\\PANELSET.TXT");
    folder += 'f';
    EXPECT_FALSE(FormatWhole(buffer, sizeof buffer, "%s\\PANELSET.TXT", folder.c_str()));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, FormatHonoursTheSizeGivenNotTheArray) {
    // A caller formatting into the front of a larger buffer: nothing past size is
    // written, and a result of exactly size - 1 bytes still fits.
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(FormatWhole(buffer, 8, "%s %d", "abc", 123));
    EXPECT_STREQ(buffer, "abc 123");
    EXPECT_EQ(buffer[8], 'x');
    EXPECT_FALSE(FormatWhole(buffer, 8, "%s %d", "abc", 1234));
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[8], 'x');
    EXPECT_FALSE(FormatWhole(buffer, 0, "%s", ""));
    EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
