#include "sequence_fixture.h"

#include "bounded_text.h"

#include <algorithm>

SequenceTest::SequenceTest() {
    FakeFileSystem& files = fakes.fileSystem;
    files.folders = {"C:", "C:\\Program Files (x86)", "C:\\Windows", kSystem, "D:", kSource, "C:\\Users", "C:\\Users\\me"};
    files.files[kSource + "\\PANELSET.TXT"] = "shipped settings";
    files.files[kSource + "\\HIDWATCH.EXE"] = "detector v2";
    // The driver package's own programs beside the installer.
    files.files[kSource + "\\kx.exe"] = "engine";
    files.files[kSource + "\\Tesvo.exe"] = "tool";
    fakes.registry.keys[kRunKeyText]["Other"] = "C:\\other.exe";
    SetFolders(kSource, kTarget);

    fakes.processes.onLaunch = [this](const std::string& commandLine) {
        if (commandLine.rfind("kx.exe ", 0) != 0) return;
        auto& keys = fakes.registry.keys;
        FakeFileSystem& files = fakes.fileSystem;
        const std::string folder = installerState.installFolder;
        static const char* const kEngineFiles[] = {"kx.exe", "menulinks.bat", "Tesvo.exe"};
        if (commandLine.find("/U") == std::string::npos) {
            if (engine.installsDriver) keys[kServiceKeyText]["Start"] = "3";
            if (engine.createsUninstallKey) keys[kUninstallKeyText]["DisplayName"] = "Orva touch driver";
            if (engine.createsToolRan) keys[kInstallerKeyText]["TesvoRan"] = "1";
            if (engine.putsItsFiles && files.folders.count(folder)) {
                for (const char* name : kEngineFiles) files.files[folder + "\\" + name] = name;
            }
        } else if (engine.removesDriver) {
            keys.erase(kServiceKeyText);
            keys.erase(kUninstallKeyText);
            if (engine.putsItsFiles) {
                for (const char* name : kEngineFiles) {
                    const std::string path = folder + "\\" + name;
                    if (!files.files.count(path)) continue;
                    bool deleted = files.RemoveFile(path.c_str());
                    fakes.log.pop_back();  // the engine's own deletions are not the sequence's steps
                    if (std::string(name) == "menulinks.bat") engineSawScriptDeletion = deleted ? "deleted" : "refused";
                }
            }
        }
    };
}

void SequenceTest::SetFolders(const std::string& source, const std::string& target) {
    installerState.installerKeyHandle.Reset();
    // A folder that does not fit is left empty, as the entry leaves it.
    (void)CopyWhole(installerState.sourceFolder, source.c_str());
    (void)CopyWhole(installerState.installFolder, target.c_str());
    OsHandle key = fakes.registry.CreateMachineKey(kInstallerKeyPath);
    EXPECT_TRUE(IsHandle(key));
    installerState.installerKeyHandle.Reset(fakes.registry, key);
    installerState.outcome = RunOutcome{};
    installerState.outcome.keyOpened = true;
    fakes.log.clear();
    fakes.context.lines.clear();
}

std::string SequenceTest::Value(const std::string& key, const std::string& name) const {
    auto found = fakes.registry.keys.find(key);
    if (found == fakes.registry.keys.end()) return "<no key>";
    auto value = found->second.find(name);
    return value == found->second.end() ? "<no value>" : value->second;
}

bool SequenceTest::HasValue(const std::string& key, const std::string& name) const {
    auto found = fakes.registry.keys.find(key);
    return found != fakes.registry.keys.end() && found->second.count(name) == 1;
}

int SequenceTest::CountInLog(const std::string& line) const {
    return static_cast<int>(std::count(fakes.log.begin(), fakes.log.end(), line));
}

void SequenceTest::ExpectNoHandleLeft(bool installerKeyOpen) const {
    EXPECT_EQ(fakes.registry.OpenKeyCount(), installerKeyOpen ? 1u : 0u);
    EXPECT_EQ(installerState.installerKeyHandle.IsValid(), installerKeyOpen);
    EXPECT_TRUE(fakes.processes.openHandles.empty());
    EXPECT_TRUE(fakes.fileSystem.held.empty());
    EXPECT_EQ(fakes.registry.badCloses + fakes.processes.badCloses + fakes.fileSystem.badCloses, 0);
}
