#include "pending_deletions.h"

#include "install_sequence.h"
#include "sequence_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

// A REG_MULTI_SZ's bytes: each string with its NUL, then the empty string that ends them.
std::string MultiSz(std::initializer_list<std::u16string> strings, bool ended = true) {
    std::u16string units;
    for (const std::u16string& text : strings) units += text + u'\0';
    if (ended) units += u'\0';
    std::string bytes(units.size() * sizeof(char16_t), '\0');
    std::memcpy(&bytes[0], units.data(), bytes.size());
    return bytes;
}

const std::u16string kFolder = u"C:\\Program Files (x86)\\OrvaPanels";
const std::u16string kOurs = u"*1\\??\\" + kFolder + u"\\PANELSET.TXT";
const std::u16string kForeign = u"\\??\\C:\\Users\\Zo\u00eb\\\u65e5\u672c\U0001F600.tmp";
const std::u16string kOurExe = u"*1\\??\\" + kFolder + u"\\HIDWATCH.EXE";
const std::u16string kRenamed = u"!\\??\\C:\\Temp\\HIDWATCH.EXE";
const std::u16string kRename = u"\\??\\C:\\a.dll";

struct Case {
    const char* what;
    std::string data;
    std::size_t removed;
    std::string after;  // the data as left
};

TEST(PendingDeletions, RemovesOnlyTheFoldersOwnDeletionsOfWellFormedData) {
    const std::string untouchedOdd = MultiSz({kOurs, u""}) + '\0';
    const std::string cutShort = MultiSz({kOurs, u""}, false) + std::string("C\0", 2);
    const std::string afterTheEnd = MultiSz({kOurs, u""}) + MultiSz({kForeign, u""}, false);
    const Case cases[] = {
        {"as Windows writes them, the folder last", MultiSz({kOurs, u"", u"*1\\??\\" + kFolder, u""}), 2, ""},
        {"as Wine writes them, in another case",
         MultiSz({u"\\??\\c:\\program files (x86)\\orvapanels\\x", u""}), 1, ""},
        {"a \"!\" before the source", MultiSz({u"*12!\\??\\" + kFolder + u"\\HIDWATCH.EXE", u""}), 1, ""},
        {"\"*9\", \"*10\" and a lone \"!\"", MultiSz({u"*9\\??\\" + kFolder + u"\\a", u"", u"*10\\??\\" + kFolder, u"",
                                                   u"!\\??\\" + kFolder + u"\\b", u""}), 3, ""},
        {"a deletion that a rename onto the same file needs",
         MultiSz({kOurs, u"", kRename, u"\\??\\c:\\PROGRAM files (x86)\\OrvaPanels\\panelset.txt"}), 0,
         MultiSz({kOurs, u"", kRename, u"\\??\\c:\\PROGRAM files (x86)\\OrvaPanels\\panelset.txt"})},
        {"foreign pairs kept byte for byte", MultiSz({kForeign, u"", kOurs, u"", kRename, kRenamed}), 1,
         MultiSz({kForeign, u"", kRename, kRenamed})},
        {"a rename out of the folder stays", MultiSz({kOurExe, kRenamed, kOurs, u""}), 1,
         MultiSz({kOurExe, kRenamed})},
        {"no final empty string", MultiSz({kOurs, u"", kForeign, u""}, false), 1, MultiSz({kForeign, u""})},
        {"a folder that only begins like it", MultiSz({u"\\??\\" + kFolder + u"2\\PANELSET.TXT", u""}), 0,
         MultiSz({u"\\??\\" + kFolder + u"2\\PANELSET.TXT", u""})},
        {"nothing of the folder's", MultiSz({kForeign, u""}), 0, MultiSz({kForeign, u""})},
        {"an odd byte count", untouchedOdd, 0, untouchedOdd},
        {"a last string without its NUL", cutShort, 0, cutShort},
        {"a source without destination", MultiSz({kForeign, u"", kOurs}, false), 0,
         MultiSz({kForeign, u"", kOurs}, false)},
        {"a string after the end", afterTheEnd, 0, afterTheEnd},
        {"no data", "", 0, ""},
    };
    for (const Case& c : cases) {
        std::string data = c.data;
        EXPECT_EQ(RemoveDeletionsInFolder(data, kFolder), c.removed) << c.what;
        EXPECT_EQ(data, c.after) << c.what;
    }
    std::string data = MultiSz({u"*1\\??\\\\x", u""});
    EXPECT_EQ(RemoveDeletionsInFolder(data, u""), 0u) << "an unknown folder matches nothing, not even \\x";
}

const std::string kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::string kPending = "PendingFileRenameOperations";

class PendingDeletionsAtInstall : public SequenceTest {};

TEST_F(PendingDeletionsAtInstall, TakenBackBeforeTheCopiesAndWrittenOnlyWhereChanged) {
    const std::u16string target = u"\\??\\" + std::u16string(kTarget.begin(), kTarget.end());
    fakes.registry.keys[kSessionManager];
    auto& values = fakes.registry.multiStrings[kSessionManager];
    values[kPending] = MultiSz({kForeign, u""});
    values[kPending + "2"] = MultiSz({u"*1" + target + u"\\PANELSET.TXT", u"", u"*1" + target, u""});

    EXPECT_EQ(Install(""), 0);

    EXPECT_EQ(values, (std::map<std::string, std::string>{{kPending, MultiSz({kForeign, u""})}}));
    const CallLog& log = fakes.log;
    const auto at = [&](const std::string& step) { return std::find(log.begin(), log.end(), step); };
    EXPECT_LT(at("delete multi-string " + kPending + "2"), at("copy " + kSource + "\\PANELSET.TXT to " + kTarget +
                                                              "\\PANELSET.TXT"));
    EXPECT_EQ(CountInLog("write multi-string " + kPending), 0);
    EXPECT_TRUE(fakes.context.Logged("take back 2 deletions in " + kTarget + " from " + kPending + "2: done"));
}

// Another installer may queue its own entries meanwhile: what is written is what was parsed, less ours.
TEST_F(PendingDeletionsAtInstall, ValueChangedWhileReadIsParsedOnceMoreThenLeft) {
    const std::string first = MultiSz({kOurs, u""}), second = MultiSz({kOurs, u"", kForeign, u""});
    fakes.registry.keys[kSessionManager];
    for (const bool twice : {false, true}) {
        fakes.registry.multiStrings[kSessionManager][kPending] = "";
        fakes.registry.changesBeforeReads = {first, second, twice ? first : second};
        SetFolders(kSource, kTarget);
        EXPECT_EQ(Install(""), 0);
        EXPECT_EQ(fakes.registry.multiStrings[kSessionManager][kPending], twice ? first : MultiSz({kForeign, u""}));
    }
    EXPECT_TRUE(fakes.context.Logged(kPending + " changed while it was read, twice: its deletions stay"));
}

}  // namespace
