#include "command_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Built(bool ok, const char (&buffer)[kMaxPath]) { return ok ? std::string(buffer) : "<fails:" + std::string(buffer) + ">"; }

TEST(CommandLines, ScriptCommandKeepsAPathWithParenthesesInItsQuotes) {
    char command[kMaxPath];
    bool ok = ScriptCommand(command, "C:\\windows\\system32", "C:\\Program Files (x86)\\OrvaPanels", "INSTALL");
    EXPECT_EQ(Built(ok, command),
              "\"C:\\windows\\system32\\cmd.exe\" /s /c \"\"C:\\Program Files (x86)\\OrvaPanels\\menulinks.bat\" INSTALL\"");
}

struct BuildCase {
    const char* name;
    std::string folder;
    std::string expected;  // "<fails:>" when nothing may be built
};

class Built260 : public ::testing::TestWithParam<BuildCase> {};

// "C:\" and 246 more bytes make a 249-byte folder.
const std::string kFolder249 = "C:\\" + std::string(246, 'f');

TEST_P(Built260, PathInFolder) {
    char path[kMaxPath] = "stale";
    bool ok = PathInFolder(path, GetParam().folder.c_str(), "PANELSET.TXT");
    EXPECT_EQ(Built(ok, path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Built260,
    ::testing::Values(BuildCase{"Usual", "C:\\P (x86)\\O", "C:\\P (x86)\\O\\PANELSET.TXT"},
                      BuildCase{"UnknownFolder", "", "<fails:>"},
                      BuildCase{"NoProgramFiles", "\\OrvaPanels", "\\OrvaPanels\\PANELSET.TXT"},
                      BuildCase{"Fits259", kFolder249.substr(0, 246), kFolder249.substr(0, 246) + "\\PANELSET.TXT"},
                      BuildCase{"TooLong260", kFolder249.substr(0, 247), "<fails:>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLines, DetectorCommandIsQuotedAndWholeOrNothing) {
    char command[kMaxPath] = "stale";
    EXPECT_EQ(Built(DetectorCommand(command, "C:\\Program Files (x86)\\OrvaPanels"), command),
              "\"C:\\Program Files (x86)\\OrvaPanels\\hidwatch.exe\"");
    EXPECT_EQ(Built(DetectorCommand(command, ""), command), "<fails:>");
    const std::string fits = "C:\\" + std::string(241, 'f');  // 244 + 15 = 259
    EXPECT_TRUE(DetectorCommand(command, fits.c_str()));
    EXPECT_EQ(std::string(command).size(), 259u);
    EXPECT_EQ(Built(DetectorCommand(command, (fits + "g").c_str()), command), "<fails:>");
}

TEST(CommandLines, EngineCommand) {
    char command[kMaxPath];
    EXPECT_EQ(Built(EngineCommand(command, ""), command), "kx.exe ");
    EXPECT_EQ(Built(EngineCommand(command, nullptr), command), "kx.exe ");
    EXPECT_EQ(Built(EngineCommand(command, "/U /S"), command), "kx.exe /U /S");
    EXPECT_EQ(Built(EngineCommand(command, std::string(253, 'x').c_str()), command), "<fails:>");
}

TEST(CommandLines, ScriptCommandNeedsBothFoldersAndFitsWhole) {
    char command[kMaxPath] = "stale";
    EXPECT_EQ(Built(ScriptCommand(command, "", "C:\\O", "INSTALL"), command), "<fails:>");
    EXPECT_EQ(Built(ScriptCommand(command, "C:\\W", "", "INSTALL"), command), "<fails:>");
    EXPECT_EQ(Built(ScriptCommand(command, "C:\\W", "C:\\O", "UNINSTALL"), command),
              "\"C:\\W\\cmd.exe\" /s /c \"\"C:\\O\\menulinks.bat\" UNINSTALL\"");
    // 36 bytes of quotes, names and switches, 4 of system folder, 9 of argument.
    const std::string system = "C:\\W";
    const std::string fits = "C:\\" + std::string(259 - 36 - 4 - 9 - 3, 'o');
    EXPECT_TRUE(ScriptCommand(command, system.c_str(), fits.c_str(), "UNINSTALL"));
    EXPECT_EQ(std::string(command).size(), 259u);
    EXPECT_EQ(Built(ScriptCommand(command, system.c_str(), (fits + "o").c_str(), "UNINSTALL"), command), "<fails:>");
}

}  // namespace
