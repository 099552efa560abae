#include "settings_file.h"

#include "fake_file_access.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kPath[] = "C:\\Orva\\PANELSET.TXT";

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

// An accessor without a file: it says so, and every read and write fails with -1.
void ExpectNoFile(SettingsFile& settings) {
    EXPECT_EQ(settings.GetStatus(), -1);
    EXPECT_FALSE(settings.GetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    settings.value.number = 5;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
}

struct ParseCase {
    const char* text;
    int base;
    std::uint32_t expected;
};

TEST(ParseUnsigned32, FollowsStrtoulWithThirtyTwoBits) {
    const ParseCase cases[] = {
        {"42\r\n", 10, 42},
        {"  \t+17", 10, 17},
        {"-1", 10, 4294967295u},
        {"-4294967295", 10, 1},
        {"4294967295", 10, 4294967295u},
        {"4294967296", 10, 4294967295u},
        {"99999999999999999999999", 10, 4294967295u},
        {"abc", 10, 0},
        {"", 10, 0},
        {"-", 10, 0},
        {"12abc", 10, 12},
        {"001a\r\n", 16, 26},
        {"0x1A", 16, 26},
        {"0X", 16, 0},
        {"0xg", 16, 0},
        {"FFFFFFFF", 16, 4294967295u},
        {"100000000", 16, 4294967295u},
        {"-0x10", 16, 4294967280u},
        {" -5", 16, 4294967291u},
        {"0x10", 10, 0},
        {"\v\f 7", 10, 7},
    };
    // Overflow wins over the sign, as in glibc; the Windows C library under Wine
    // negates the clamped value instead, so this one is not compared with it.
    EXPECT_EQ(ParseUnsigned32("-4294967296", 10), 4294967295u);
    for (const ParseCase& c : cases) {
        EXPECT_EQ(ParseUnsigned32(c.text, c.base), c.expected) << '"' << c.text << "\" base " << c.base;
        // Where long has 32 bits (the Windows build) the C library is the reference.
        if (sizeof(unsigned long) == 4) {
            EXPECT_EQ(ParseUnsigned32(c.text, c.base), std::strtoul(c.text, nullptr, c.base)) << c.text;
        }
    }
}

// Every line ReadLine hands out of content.
std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, length; (length = SettingsFile::ReadLine(content, at)) > 0; at += length) {
        lines.push_back(content.substr(at, length));
    }
    return lines;
}

TEST(ReadLine, DeliversEveryLineWithItsEnd) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Lines("a=1\r\n\nb=2\n"), (V{"a=1\r\n", "\n", "b=2\n"}));
    EXPECT_EQ(Lines("a=1\r\nlast"), (V{"a=1\r\n", "last"}));
    EXPECT_EQ(Lines(""), V{});
    EXPECT_EQ(Lines("x"), V{"x"});
    EXPECT_EQ(Lines("\r\r\n\n"), (V{"\r\r\n", "\n"}));
    EXPECT_EQ(Lines(std::string("a\0b\n", 4)), (V{std::string("a\0b\n", 4)}));
    EXPECT_EQ(Lines(Repeat('x', 70000) + "\ny"), (V{Repeat('x', 70000) + "\n", "y"}));
    EXPECT_EQ(SettingsFile::ReadLine("ab", 2), 0u);
    EXPECT_EQ(SettingsFile::ReadLine("ab", 7), 0u);
}

TEST(SettingsFile, ReadsOfAnySizeGiveTheSameFile) {
    for (std::size_t limit : {1, 3, 4096}) {
        FakeFileAccess files;
        files.Put(kPath, "b=1\r\n\nlast=7");
        files.LimitReads(limit);
        SettingsFile settings(kPath, files);
        ASSERT_TRUE(settings.GetValue("last", kFormatDecimal)) << limit;
        EXPECT_EQ(settings.value.number, 7u) << limit;
        settings.value.number = 8;
        EXPECT_TRUE(settings.SetValue("b", kFormatDecimal)) << limit;
        EXPECT_EQ(files.Content(kPath), "b=8\r\n\r\nlast=7") << limit;
    }
}

struct GetCase {
    const char* name;
    std::string content;
    std::string key;
    int format;
    int status;
    std::uint32_t number;    // formats -5 to -2
    const char* text;        // format -1
};

TEST(GetValue, MatchesAndConvertsAsTheFileFormatSays) {
    const GetCase cases[] = {
        {"plain", "Frequency=1000\r\n", "Frequency", kFormatDecimal, 0, 1000, nullptr},
        {"first match wins", "Duration=5\r\nDuration=6\r\n", "Duration", kFormatDecimal, 0, 5, nullptr},
        {"key inside a longer key", "Beeper Function Extra=7\r\nBeeper Function=1\r\n", "Beeper Function",
         kFormatDecimal, 0, 7, nullptr},
        {"key inside a value", "Note=Frequency\r\nFrequency=9\r\n", "Frequency", kFormatText, 0, 0, "Frequency\r\n"},
        {"comment skipped", ";Frequency=1\r\nFrequency=2\r\n", "Frequency", kFormatDecimal, 0, 2, nullptr},
        {"blank then ; is no comment", " ;Frequency=1\r\nFrequency=2\r\n", "Frequency", kFormatDecimal, 0, 1, nullptr},
        {"only in comments", ";Frequency=1\r\n", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"absent", "Duration=1\r\n", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"case-sensitive", "frequency=1\r\n", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"double equals", "Frequency==12\r\n", "Frequency", kFormatDecimal, 0, 12, nullptr},
        {"a=b split", "Frequency=a=b\r\n", "Frequency", kFormatText, 0, 0, "a"},
        {"leading equals", "=Frequency=3\r\n", "Frequency", kFormatDecimal, 0, 3, nullptr},
        {"text keeps CR LF", "Touch Mode=2\r\n", "Touch Mode", kFormatText, 0, 0, "2\r\n"},
        {"text keeps LF", "Touch Mode=2\n", "Touch Mode", kFormatText, 0, 0, "2\n"},
        {"empty value is the line end", "Touch Mode=\r\n", "Touch Mode", kFormatText, 0, 0, "\r\n"},
        {"letters give 0", "Frequency=high\r\n", "Frequency", kFormatDecimal, 0, 0, nullptr},
        {"minus one", "Frequency=-1\r\n", "Frequency", kFormatSigned, 0, 4294967295u, nullptr},
        {"signed is base 10", "k=FFF\r\n", "k", kFormatSigned, 0, 0, nullptr},
        {"hex4", "Frequency=001a\r\n", "Frequency", kFormatHex4, 0, 26, nullptr},
        {"hex8", "Frequency=0000001A\r\n", "Frequency", kFormatHex8, 0, 26, nullptr},
        {"empty LF line does not stop", "\n\nFrequency=4\n", "Frequency", kFormatDecimal, 0, 4, nullptr},
        {"last line without LF", "a=1\r\nFrequency=8", "Frequency", kFormatText, 0, 0, "8"},
        {"unknown format", "Frequency=8\r\n", "Frequency", 3, -2, 0, nullptr},
        // The first line holding the key decides, even without a value.
        {"no equals", "Frequency\r\nFrequency=5\r\n", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"only leading equals", "=Frequency 5\r\n", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"equals at end of last line", "Frequency=", "Frequency", kFormatDecimal, -2, 0, nullptr},
        {"empty key", "Frequency=1\r\n", "", kFormatDecimal, -2, 0, nullptr},
        {"value of 255 bytes", "K=" + Repeat('7', 253) + "\r\n", "K", kFormatDecimal, 0, 4294967295u, nullptr},
        {"value of 256 bytes", "K=" + Repeat('7', 254) + "\r\n", "K", kFormatDecimal, -2, 0, nullptr},
        {"key at the end of a long line", Repeat('x', 10000) + "=5=Touch Mode\r\n", "Touch Mode", kFormatDecimal,
         0, 5, nullptr},
        {"key across piece boundary", Repeat('x', 510) + "Touch Mode=6\r\nTouch Mode=1\r\n", "Touch Mode",
         kFormatDecimal, 0, 6, nullptr},
        {"long comment skipped", ";" + Repeat('y', 9000) + "Touch Mode=1\r\nTouch Mode=2\r\n", "Touch Mode",
         kFormatDecimal, 0, 2, nullptr},
        {"# is no comment", "#Frequency=1\r\nFrequency=2\r\n", "Frequency", kFormatDecimal, 0, 1, nullptr},
        // A UTF-8 byte order mark that starts the file is no part of the first line.
        {"mark, comment", "\xEF\xBB\xBF;k=1\r\nk=2\r\n", "k", kFormatDecimal, 0, 2, nullptr},
        {"mark, setting", "\xEF\xBB\xBF=k=3\r\n", "k", kFormatDecimal, 0, 3, nullptr},
        {"mark alone", "\xEF\xBB\xBF", "k", kFormatText, -2, 0, nullptr},
        {"a later mark is no line start", ";\n\xEF\xBB\xBF;k=1\r\nk=2\r\n", "k", kFormatDecimal, 0, 1, nullptr},
        {"blank before a sign", "k= -5\r\n", "k", kFormatSigned, 0, 4294967291u, nullptr},
        {"format -6 is unknown", "Frequency=8\r\n", "Frequency", -6, -2, 0, nullptr},
        {"format 0 is unknown", "Frequency=8\r\n", "Frequency", 0, -2, 0, nullptr},
        {"key of 255 bytes", Repeat('k', 255) + "=5\r\n", Repeat('k', 255), kFormatDecimal, 0, 5, nullptr},
        {"key of 256 bytes", Repeat('k', 256) + "=5\r\n", Repeat('k', 256), kFormatDecimal, -2, 0, nullptr},
    };
    for (const GetCase& c : cases) {
        FakeFileAccess files;
        files.Put(kPath, c.content);
        SettingsFile settings(kPath, files);
        ASSERT_EQ(settings.GetStatus(), 0) << c.name;
        settings.value.number = 0xDEADBEEF;
        const bool found = settings.GetValue(c.key.c_str(), c.format);
        EXPECT_EQ(found, c.status == 0) << c.name;
        EXPECT_EQ(settings.status, c.status) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(settings.value.number, 0xDEADBEEFu) << c.name << ": value must stay";
        } else if (c.format == kFormatText) {
            EXPECT_STREQ(settings.value.text, c.text) << c.name;
        } else {
            EXPECT_EQ(settings.value.number, c.number) << c.name;
        }
        EXPECT_EQ(files.Content(kPath), c.content) << c.name << ": a lookup must not change the file";
    }
}

// A lookup whose reading fails says the file could not be read, and leaves the value
// alone; the next lookup reads again.
TEST(GetValue, FailedReadGivesMinusOne) {
    const struct {
        const char* name;
        FakeFileAccess::Op op;
        int nth;
    } cases[] = {
        {"seek", FakeFileAccess::kSeek, 1},
        {"first read", FakeFileAccess::kRead, 1},
        {"a later read", FakeFileAccess::kRead, 3},
    };
    for (const auto& c : cases) {
        FakeFileAccess files;
        files.Put(kPath, "a=1\r\nFrequency=2\r\n");
        files.LimitReads(4);
        SettingsFile settings(kPath, files);
        std::strcpy(settings.valueText, "before");
        settings.value.number = 0xDEADBEEF;
        files.FailCall(c.op, c.nth);
        EXPECT_FALSE(settings.GetValue("Frequency", kFormatDecimal)) << c.name;
        EXPECT_EQ(settings.status, -1) << c.name;
        EXPECT_STREQ(settings.valueText, "before") << c.name;
        EXPECT_EQ(settings.value.number, 0xDEADBEEFu) << c.name;
        EXPECT_TRUE(settings.GetValue("Frequency", kFormatDecimal)) << c.name;
        EXPECT_EQ(settings.value.number, 2u) << c.name;
    }
}

struct SetCase {
    const char* name;
    std::string content;
    const char* key;
    int format;
    std::uint32_t number;
    int status;
    std::string expected;
};

TEST(SetValue, RewritesMatchingLinesAndKeepsTheRest) {
    const std::string longLine = Repeat('q', 5000) + "=" + Repeat('r', 5000) + "\r\n";
    const SetCase cases[] = {
        {"plain", "; note\r\nFrequency=1000\r\nDuration=50\r\n", "Frequency", kFormatDecimal, 800, 0,
         "; note\r\nFrequency=800\r\nDuration=50\r\n"},
        {"every match replaced", "Duration=5\r\nx\r\nDuration=6\n", "Duration", kFormatDecimal, 7, 0,
         "Duration=7\r\nx\r\nDuration=7\r\n"},
        {"key inside a value replaced", "Note=Duration was 3\r\n", "Duration", kFormatDecimal, 4, 0, "Duration=4\r\n"},
        {"comment copied", ";Duration=1\r\nDuration=2\r\n", "Duration", kFormatDecimal, 3, 0,
         ";Duration=1\r\nDuration=3\r\n"},
        {"blank then ; replaced", " ;Duration=1\r\n", "Duration", kFormatDecimal, 3, 0, "Duration=3\r\n"},
        {"line without equals replaced", "Duration\r\n", "Duration", kFormatDecimal, 3, 0, "Duration=3\r\n"},
        {"minus one", "Frequency=1\r\n", "Frequency", kFormatDecimal, 4294967295u, 0, "Frequency=-1\r\n"},
        {"signed", "Frequency=1\r\n", "Frequency", kFormatSigned, 2147483648u, 0, "Frequency=-2147483648\r\n"},
        {"hex4", "Frequency=1\r\n", "Frequency", kFormatHex4, 26, 0, "Frequency=001a\r\n"},
        {"hex8", "Frequency=1\r\n", "Frequency", kFormatHex8, 26, 0, "Frequency=0000001a\r\n"},
        {"hex4 wide", "Frequency=1\r\n", "Frequency", kFormatHex4, 0x123456, 0, "Frequency=123456\r\n"},
        {"missing key, LF-only empty lines become CR LF", "a=1\n\n;c\n\r\n", "Duration", kFormatDecimal, 1, -2,
         "a=1\n\r\n;c\n\r\n"},
        {"missing key, CR LF file unchanged", "; x\r\n\r\nA=1\r\n  \r\nB=2\r\n", "Duration", kFormatDecimal, 1, -2,
         "; x\r\n\r\nA=1\r\n  \r\nB=2\r\n"},
        {"last line without LF kept", "Duration=1\r\ntail", "Duration", kFormatDecimal, 2, 0,
         "Duration=2\r\ntail"},
        {"last line without LF replaced", "a\r\nDuration=1", "Duration", kFormatDecimal, 2, 0, "a\r\nDuration=2\r\n"},
        {"single-byte last line kept", "Duration=1\r\nx", "Duration", kFormatDecimal, 2, 0, "Duration=2\r\nx"},
        {"long lines copied byte for byte", longLine + "Duration=1\r\n" + longLine, "Duration", kFormatDecimal, 2,
         0, longLine + "Duration=2\r\n" + longLine},
        {"long line with the key at its end replaced", Repeat('z', 7000) + "Duration\r\nb\r\n", "Duration",
         kFormatDecimal, 2, 0, "Duration=2\r\nb\r\n"},
        {"long comment copied", ";" + longLine + "Duration=1", "Duration", kFormatDecimal, 2, 0,
         ";" + longLine + "Duration=2\r\n"},
        {"embedded NUL kept", std::string("a\0b\r\nDuration=1\r\n", 17), "Duration", kFormatDecimal, 2, 0,
         std::string("a\0b\r\nDuration=2\r\n", 17)},
        {"empty key touches nothing", "a=1\n\n", "", kFormatDecimal, 2, -2, "a=1\n\n"},
        {"mark kept", "\xEF\xBB\xBF;Duration=1\nDuration=1\n\n", "Duration", kFormatDecimal, 2, 0,
         "\xEF\xBB\xBF;Duration=1\nDuration=2\r\n\r\n"},
        {"unknown format touches nothing", "Duration=1\n\n", "Duration", 0, 2, -2, "Duration=1\n\n"},
    };
    for (const SetCase& c : cases) {
        FakeFileAccess files;
        files.Put(kPath, c.content);
        SettingsFile settings(kPath, files);
        settings.value.number = c.number;
        EXPECT_EQ(settings.SetValue(c.key, c.format), c.status == 0) << c.name;
        EXPECT_EQ(settings.status, c.status) << c.name;
        EXPECT_EQ(files.Content(kPath), c.expected) << c.name;
        EXPECT_EQ(files.Snapshot().size(), 1u) << c.name << ": no temporary file may stay";
    }
}

TEST(SetValue, TextFormatWritesTheTextForm) {
    FakeFileAccess files;
    files.Put(kPath, "Touch Mode=1\r\n");
    SettingsFile settings(kPath, files);
    std::strcpy(settings.value.text, "fast");
    EXPECT_TRUE(settings.SetValue("Touch Mode", kFormatText));
    EXPECT_EQ(files.Content(kPath), "Touch Mode=fast\r\n");
    std::memset(settings.value.text, 'x', sizeof settings.value.text);  // no NUL: does not fit
    EXPECT_FALSE(settings.SetValue("Touch Mode", kFormatText));
    EXPECT_EQ(settings.status, -2);
    EXPECT_EQ(files.Content(kPath), "Touch Mode=fast\r\n");
}

// Both sides of each bound, with what valueText holds afterwards: a number format
// writes its text there even when no line takes it, a refused call leaves it alone.
TEST(SetValue, BoundsOfTextKeyAndFormat) {
    const struct {
        const char* name;
        std::string key;
        int format;
        std::string text;  // format -1: value.text's bytes, ended by a NUL only below 256
        int status;
        std::string valueText;
    } cases[] = {
        {"text of 255 bytes", "K", kFormatText, Repeat('t', 255), 0, Repeat('t', 255)},
        {"text of 256 bytes", "K", kFormatText, Repeat('t', 256), -2, "before"},
        {"key of 255 bytes", Repeat('k', 255), kFormatDecimal, "", 0, "26"},
        {"key of 256 bytes", Repeat('k', 256), kFormatDecimal, "", -2, "26"},
        {"format -5", "K", kFormatHex4, "", 0, "001a"},
        {"format -6", "K", -6, "", -2, "before"},
        {"format 0", "K", 0, "", -2, "before"},
    };
    for (const auto& c : cases) {
        const std::string content = c.key + "=1\n\n";
        FakeFileAccess files;
        files.Put(kPath, content);
        SettingsFile settings(kPath, files);
        std::strcpy(settings.valueText, "before");
        settings.value.number = 26;
        if (c.format == kFormatText) {
            std::memset(settings.value.text, 0, sizeof settings.value.text);
            std::memcpy(settings.value.text, c.text.data(), c.text.size());
        }
        EXPECT_EQ(settings.SetValue(c.key.c_str(), c.format), c.status == 0) << c.name;
        EXPECT_EQ(settings.status, c.status) << c.name;
        const char* const text = settings.valueText;
        EXPECT_EQ(std::string(text, std::find(text, text + sizeof settings.valueText, '\0')), c.valueText)
            << c.name;
        // A refused call does not even turn the lone LF into CR LF.
        EXPECT_EQ(files.Content(kPath), c.status == 0 ? c.key + "=" + c.valueText + "\r\n\r\n" : content)
            << c.name;
    }
}

TEST(SetValue, MinusOneReadsBackAsAllOnes) {
    FakeFileAccess files;
    files.Put(kPath, "Double Click Speed=500\r\n");
    SettingsFile settings(kPath, files);
    settings.value.number = 4294967295u;
    ASSERT_TRUE(settings.SetValue("Double Click Speed", kFormatDecimal));
    settings.value.number = 0;
    ASSERT_TRUE(settings.GetValue("Double Click Speed", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 4294967295u);
}

TEST(SettingsFile, SevenSavesThroughOneAccessorKeepEveryValue) {
    const char* keys[] = {"Beeper Function", "Beeper Routing", "Frequency", "Duration",
                          "Double Click Area", "Double Click Speed", "Touch Mode"};
    std::ifstream shipped(ORVA_SHIPPED_DIR "/PANELSET.TXT", std::ios::binary);
    ASSERT_TRUE(shipped) << "shipped PANELSET.TXT";
    std::stringstream original;
    original << shipped.rdbuf();
    FakeFileAccess files;
    files.Put(kPath, original.str());
    SettingsFile settings(kPath, files);
    for (std::uint32_t i = 0; i < 7; ++i) {
        settings.value.number = 100 + i;
        EXPECT_TRUE(settings.SetValue(keys[i], kFormatDecimal)) << keys[i];
    }
    for (std::uint32_t i = 0; i < 7; ++i) {
        ASSERT_TRUE(settings.GetValue(keys[i], kFormatDecimal)) << keys[i];
        EXPECT_EQ(settings.value.number, 100 + i) << keys[i];
    }
    // A fresh accessor sees the same, and every other line is as shipped.
    SettingsFile reopened(kPath, files);
    for (std::uint32_t i = 0; i < 7; ++i) {
        ASSERT_TRUE(reopened.GetValue(keys[i], kFormatDecimal));
        EXPECT_EQ(reopened.value.number, 100 + i);
    }
    std::string expected = original.str();
    for (std::uint32_t i = 0; i < 7; ++i) {
        const std::string line = std::string(keys[i]) + "=";
        const std::size_t at = expected.find("\n" + line);
        ASSERT_NE(at, std::string::npos) << keys[i];
        const std::size_t end = expected.find("\r\n", at + 1);
        expected.replace(at + 1, end - at - 1, line + std::to_string(100 + i));
    }
    EXPECT_EQ(files.Content(kPath), expected);
    EXPECT_EQ(files.Snapshot().size(), 1u);
}

TEST(SettingsFile, ShippedFileHoldsEachKeyOnceWithItsDefault) {
    std::ifstream shipped(ORVA_SHIPPED_DIR "/PANELSET.TXT", std::ios::binary);
    ASSERT_TRUE(shipped);
    std::stringstream text;
    text << shipped.rdbuf();
    const std::string content = text.str();
    const struct {
        const char* key;
        std::uint32_t value;
    } defaults[] = {{"Beeper Function", 1}, {"Beeper Routing", 0}, {"Frequency", 1000}, {"Duration", 50},
                    {"Double Click Area", 4}, {"Double Click Speed", 500}, {"Touch Mode", 0}};
    // Every line ends in CR LF, and each setting line holds exactly one key.
    std::size_t start = 0;
    int settingLines = 0;
    while (start < content.size()) {
        const std::size_t lf = content.find('\n', start);
        ASSERT_NE(lf, std::string::npos) << "last line without LF";
        ASSERT_GT(lf, start);
        EXPECT_EQ(content[lf - 1], '\r');
        const std::string line = content.substr(start, lf + 1 - start);
        if (line[0] != ';') {
            int keysInLine = 0;
            for (const auto& d : defaults) keysInLine += line.find(d.key) != std::string::npos;
            EXPECT_LE(keysInLine, 1) << line;
            settingLines += keysInLine;
        }
        start = lf + 1;
    }
    EXPECT_EQ(settingLines, 7);
    FakeFileAccess files;
    files.Put(kPath, content);
    SettingsFile settings(kPath, files);
    for (const auto& d : defaults) {
        ASSERT_TRUE(settings.GetValue(d.key, kFormatDecimal)) << d.key;
        EXPECT_EQ(settings.value.number, d.value) << d.key;
        EXPECT_EQ(std::string(settings.valueText), std::to_string(d.value) + "\r\n") << d.key;
    }
}

TEST(SettingsFile, MissingFileIsNeverCreated) {
    FakeFileAccess files;
    SettingsFile settings(kPath, files);
    ExpectNoFile(settings);
    EXPECT_TRUE(files.Snapshot().empty());
    EXPECT_EQ(files.Calls(FakeFileAccess::kCreate), 0);
}

TEST(SettingsFile, PathAsLongAsTheRegistryValueAllowsIsOpened) {
    FakeFileAccess files;
    const std::string tooLong = "C:\\" + Repeat('d', 255) + "\\P";  // 260 characters: no room for the NUL
    files.Put(tooLong, "Frequency=1\r\n");
    SettingsFile settings(tooLong.c_str(), files);
    EXPECT_EQ(settings.GetStatus(), -1);
    EXPECT_EQ(files.Calls(FakeFileAccess::kOpen), 0);

    const std::string fits = "C:\\" + Repeat('d', 254) + "\\P";  // 259 characters
    files.Put(fits, "Frequency=1\r\n");
    SettingsFile fitting(fits.c_str(), files);
    ASSERT_EQ(fitting.GetStatus(), 0);
    EXPECT_STREQ(fitting.path, fits.c_str());
    ASSERT_TRUE(fitting.GetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(fitting.value.number, 1u);
    // A temporary file name in that folder would not fit a path: the rewrite fails
    // and the file keeps its content.
    fitting.value.number = 2;
    EXPECT_FALSE(fitting.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(fitting.status, -1);
    EXPECT_EQ(files.Content(fits), "Frequency=1\r\n");
    EXPECT_EQ(files.Snapshot().size(), 2u);

    // The same length in a short folder leaves room for it.
    const std::string longName = "C:\\Orva\\" + Repeat('n', 251);  // 259 characters
    files.Put(longName, "Frequency=1\r\n");
    SettingsFile named(longName.c_str(), files);
    named.value.number = 2;
    EXPECT_TRUE(named.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(files.Content(longName), "Frequency=2\r\n");
    EXPECT_EQ(files.Snapshot().size(), 3u);
}

TEST(SettingsFile, FileAboveTheSizeCapCountsAsOneThatCannotBeOpened) {
    const std::string atCap = "Frequency=1\r\n" + Repeat(';', SettingsFile::kMaxFileSize - 13);
    FakeFileAccess files;
    files.Put(kPath, atCap);
    SettingsFile settings(kPath, files);
    ASSERT_EQ(settings.GetStatus(), 0);
    ASSERT_TRUE(settings.GetValue("Frequency", kFormatDecimal));
    settings.value.number = 2;
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(files.Content(kPath).size(), SettingsFile::kMaxFileSize);

    files.Put(kPath, atCap + "x");
    SettingsFile above(kPath, files);
    ExpectNoFile(above);
    EXPECT_TRUE(files.Content(kPath) == atCap + "x");
    EXPECT_EQ(files.Snapshot().size(), 1u);
    EXPECT_EQ(files.OpenHandles(), 1);  // only the first accessor's
}

TEST(SettingsFile, RewriteThatWouldPassTheSizeCapWritesNothing) {
    std::string content;
    while (content.size() < SettingsFile::kMaxFileSize / 2) content += "K\n";
    FakeFileAccess files;
    files.Put(kPath, content);
    SettingsFile settings(kPath, files);
    ASSERT_EQ(settings.GetStatus(), 0);
    settings.value.number = 12345;  // "K=12345\r\n" for every "K\n": four times the size
    EXPECT_FALSE(settings.SetValue("K", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_TRUE(files.Content(kPath) == content);
    EXPECT_EQ(files.Calls(FakeFileAccess::kCreate), 0);
    EXPECT_EQ(files.Snapshot().size(), 1u);
}

TEST(SettingsFile, TemporaryFileLiesBesideTheSettingsFileUnderAFreshName) {
    FakeFileAccess files;
    files.Put(kPath, "Frequency=1\r\n");
    files.Put("C:\\Orva\\pnl1.bak", "someone else's");
    SettingsFile settings(kPath, files);
    settings.value.number = 2;
    ASSERT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(files.Content("C:\\Orva\\pnl1.bak"), "someone else's");
    EXPECT_EQ(files.Snapshot().size(), 2u);
    EXPECT_FALSE(files.Exists("rand00.dat"));
    EXPECT_EQ(files.OpenHandles(), 1);  // only the accessor's own
}

TEST(SettingsFile, HolderWithoutDeleteSharingKeepsTheOldContent) {
    FakeFileAccess files;
    files.Put(kPath, "Frequency=1\r\n");
    SettingsFile settings(kPath, files);
    const OsHandle holder = files.HoldOpen(kPath, false);
    settings.value.number = 2;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(files.Content(kPath), "Frequency=1\r\n");
    EXPECT_EQ(files.Snapshot().size(), 1u);
    files.Release(holder);
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(files.Content(kPath), "Frequency=2\r\n");
}

TEST(SettingsFile, ReadsInBlocksNotBytes) {
    std::string content;
    for (int i = 0; i < 1000; ++i) content += "Line " + std::to_string(i) + "=1\r\n";
    content += "Touch Mode=3\r\n";
    FakeFileAccess files;
    files.Put(kPath, content);
    SettingsFile settings(kPath, files);
    const int reads = files.Calls(FakeFileAccess::kRead);
    ASSERT_TRUE(settings.GetValue("Touch Mode", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 3u);
    EXPECT_LE(files.Calls(FakeFileAccess::kRead) - reads, static_cast<int>(content.size() / 4096 + 2));
}

}  // namespace
