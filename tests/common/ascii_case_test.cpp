#include "ascii_case.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(AsciiCase, EqualityFoldsAsciiLettersOnly) {
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
        {"@", "`", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.left, c.right), c.equal) << c.left << " / " << c.right;
    }
    EXPECT_FALSE(EqualsIgnoringAsciiCase(nullptr, ""));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("", nullptr));
}

TEST(AsciiCase, UpperCaseInPlace) {
    char text[] = "/u /s az AZ @[`{ \xe9";
    UpperCaseAscii(text);
    EXPECT_STREQ(text, "/U /S AZ AZ @[`{ \xe9");
    // The fold stops at the terminator: what lies after it is not text.
    char cut[] = "ab\0cd";
    UpperCaseAscii(cut);
    EXPECT_EQ(std::string(cut, sizeof cut), std::string("AB\0cd", sizeof cut));
}

TEST(AsciiCase, ContainsFindsTheNeedleAnywhereInAnyCase) {
    struct Case {
        const char* text;
        const char* needle;
        bool found;
    };
    const Case cases[] = {
        {"\\\\?\\HID#VID_0A7C&PID_0030#7", "hid#vid_0a7c&pid_0030", true},
        {"hid#vid_0a7c&pid_0030", "HID#Vid_0a7c&Pid_0030", true},
        {"xxHID", "hid", true},
        {"HIxD", "hid", false},
        {"HI", "hid", false},
        {"", "", true},
        {"abc", "", true},
        {"", "a", false},
        {"a[b", "A{B", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContainsIgnoringAsciiCase(c.text, std::strlen(c.text), c.needle), c.found)
            << c.text << " / " << c.needle;
    }
}

TEST(AsciiCase, ContainsReadsNoFurtherThanTheSizeOrTheFirstNul) {
    const char record[] = {'x', 'H', 'I', 'D'};  // no terminator: the size is the bound
    EXPECT_TRUE(ContainsIgnoringAsciiCase(record, sizeof record, "hid"));
    EXPECT_FALSE(ContainsIgnoringAsciiCase(record, sizeof record - 1, "hid"));
    const char withNul[] = "xH\0ID";
    EXPECT_FALSE(ContainsIgnoringAsciiCase(withNul, sizeof withNul, "hid"));
    EXPECT_FALSE(ContainsIgnoringAsciiCase(nullptr, 4, "hid"));
}

}  // namespace
